#pragma once
// Constants of the update that the device programs, the maker's tools and the
// tests share. Platform-free.
#include <cstdint>

// The update server: one host name, port 80, plain HTTP.
constexpr char kUpdateHostA[] = "update.morvane.example";
constexpr wchar_t kUpdateHost[] = L"update.morvane.example";
constexpr uint16_t kUpdatePort = 80;

// The one-byte key that scrambles the payload of the update container (not
// the key of the virus database).
constexpr uint8_t kUpdateContainerKey = 0x5D;

// The package version this build is; a package is new when its version is greater.
constexpr uint16_t kInstalledPackageVersion = 429;

constexpr wchar_t kUpdateUserAgent[] = L"zerbin! 4.1.19 PDA";

// How long one network step of an update may wait: connecting (the name
// lookup included where the platform bounds it), sending the request, and
// each wait for data. Mobile networks drop connections and leave them
// half-open; a stalled server must neither freeze zerbin, whose Update runs on
// its interface thread, nor stop the monitor's checks. A server that never
// answers costs one receive wait, well under a minute.
constexpr uint32_t kUpdateConnectTimeoutMs = 20000;
constexpr uint32_t kUpdateSendTimeoutMs = 20000;
constexpr uint32_t kUpdateReceiveTimeoutMs = 20000;

// The maker's key in the program folder: with it, only packages that the
// maker signed are installed. Without it, nothing is signed or asked for.
constexpr wchar_t kUpdateKeyFile[] = L"update.key";
// The signature beside the package on the server.
constexpr wchar_t kSignatureFile[] = L"upgrade.sig";

// The path of the URL that the connection manager maps to choose a network
// (never fetched).
constexpr wchar_t kConnectionRoutePath[] = L"/files/pda/sphone/version.dat";

// Update modes: flags passed to every update operation.
constexpr uint32_t modeUnattended = 1;   // nobody watches
constexpr uint32_t modeInteractive = 2;  // failures in message boxes; installer line begins with "@"

// The editions' directories under /files/pda/ on the server, for the maker's tools.
struct EditionDirectory {
    const char* edition;    // as ./zb names it
    const char* directory;  // below /files/pda/
};
constexpr EditionDirectory kEditionDirectories[] = {
    {"ppc", "ppc_arm"}, {"wm5", "ppc_wm5"}, {"hpc", "hpc_arm"}, {"sphone", "sphone2003"}};
