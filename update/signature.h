#pragma once
// The maker's signature beside a package, as the device reads it. Platform-
// free: the layout of the key file and the signature's byte order. The
// arithmetic is the platform's (CryptoAPI on the device, OpenSSL on the
// maker's side); nothing here computes a signature.
//
// update.key, in the program folder, is a CryptoAPI PUBLICKEYBLOB of an RSA
// key (all numbers little-endian): BLOBHEADER (bType 6, bVersion 2, two
// reserved bytes, aiKeyAlg CALG_RSA_SIGN or CALG_RSA_KEYX), RSAPUBKEY
// ("RSA1", the modulus length in bits, the public exponent), then the
// modulus, least significant byte first. upgrade.sig, beside upgrade.dat on
// the server, is the RSA PKCS#1 v1.5 signature of the SHA-256 of the whole
// upgrade.dat as served, most significant byte first, as OpenSSL writes it.
#include <cstddef>
#include <cstdint>

constexpr uint32_t kPublicKeyBlobHeaderSize = 20;  // BLOBHEADER (8) and RSAPUBKEY (12)
constexpr uint32_t kSignatureKeyMinimumBits = 2048;
constexpr uint32_t kSignatureKeyMaximumBits = 16384;
// The largest key file and signature a device reads: a key of the maximum size.
constexpr uint32_t kPublicKeyBlobMaximumSize = kPublicKeyBlobHeaderSize + kSignatureKeyMaximumBits / 8;
constexpr uint32_t kSignatureMaximumSize = kSignatureKeyMaximumBits / 8;

// The RSA algorithm identifiers a key file may carry: a signature key, or
// an exchange key (what OpenSSL's own blob writer puts there).
constexpr uint32_t kAlgorithmRsaSign = 0x00002400;
constexpr uint32_t kAlgorithmRsaKeyExchange = 0x0000A400;

// The modulus length in bytes of a well-formed key file: the blob's type,
// version, algorithm and magic are right, the modulus has a whole number of
// bytes within the accepted key sizes, the exponent is odd and above 1, and
// the file is exactly header and modulus long. 0 for anything else.
uint32_t publicKeyBlobModulusSize(const uint8_t* blob, size_t size);

// The signature in the order CryptVerifySignature takes it: OpenSSL's bytes
// reversed. `out` may be `in`.
void signatureReverse(const uint8_t* in, uint8_t* out, size_t size);
