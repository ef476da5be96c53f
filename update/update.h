#pragma once
// The update operations, compiled into zerbin (every edition) and into
// zbMonitor. The WinInet and connection-manager entries are called through
// the program's binding table g_api (base/binding.h), which each program
// fills at its start.
#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "update/update_config.h"

// Shows `text` (stop icon, caption "zerbin! antivirus", no owner) only with
// modeInteractive; sets the arrow cursor first.
void updateErrorBox(uint32_t mode, const wchar_t* text);

// True when the buffer holds a valid container, which is then unscrambled in
// place; false (buffer unchanged) otherwise.
bool updateDecryptFile(uint8_t* buffer, uint32_t size);

// Unpacks a downloaded package into the temporary folder and starts its
// installer; on success the process ends and this never returns. 0 on failure.
uint32_t updateDataFile(uint8_t* buffer, uint32_t size, uint32_t mode);

// Stores the time of this check as "UpdateLastCheck"; the result of closing the key.
uint32_t updateRegistry();

// Pocket PC and Smartphone: requests a data connection from the connection
// manager; the connection handle (0 on failure), the proxy name (capacity
// kProxyNameCapacity) and access type to open the Internet handle with.
constexpr size_t kProxyNameCapacity = 257;
HANDLE updateGetConnectType(uint32_t mode, wchar_t* proxyName, DWORD* accessType);

// Opens the Internet handle; 0 on failure. The form with the proxy name and
// access type is the connection-manager editions'; the form with the mode
// alone (preconfigured, then direct) is the WM5's, the Handheld PC's and the
// monitor's.
HINTERNET updateConnect(uint32_t mode, const wchar_t* proxyName, DWORD accessType);
HINTERNET updateConnect(uint32_t mode);

// True when a newer package is on offer and may be installed now.
bool downloadVersionFile(HINTERNET internet, uint32_t mode);

// Fetches the package and hands it to updateDataFile; 0 on any failure.
// With the maker's key in the program folder (kUpdateKeyFile), the package
// must come with the maker's signature (kSignatureFile) first.
uint32_t downloadDataFile(HINTERNET internet, uint32_t mode);

// What the device's CryptoAPI makes of a package's signature.
enum class SignatureVerdict {
    valid,
    mismatch,  // not the maker's signature of these bytes
    badKey,    // the key file is damaged, or the provider cannot import it
    noSha256,  // the provider cannot be had, or cannot compute SHA-256
};

// Checks `signature` (bytes as OpenSSL writes them) of `data` with the key
// file's bytes, through a provider of `providerType` (the programs ask for
// PROV_RSA_AES). `error` gets the platform's error of a refusal.
SignatureVerdict updateVerifySignature(const uint8_t* data, uint32_t size, const uint8_t* signature,
                                       uint32_t signatureSize, const uint8_t* key, uint32_t keySize,
                                       DWORD providerType, DWORD* error);

// ---- what each program provides (zerbin in shell/, zbMonitor in monitor/) ----

// downloadVersionFile found no 10-byte version file: zerbin shows language
// text 8511 in interactive mode; the monitor reports the fixed English text
// through updateErrorBox.
void updateReportNoNewVersion(uint32_t mode);

// True in zbMonitor: its install ends no other monitor and leaves the cursor alone.
bool updateRunsInMonitor();
