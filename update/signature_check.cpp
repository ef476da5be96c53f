// The check of the maker's signature on the device, through the platform's
// CryptoAPI: the RSA and AES provider (the one with SHA-256), the key file
// imported as it is, the package hashed whole, the signature verified. The
// layout rules are in update/signature.cpp; this file only feeds the
// platform.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "update/signature.h"
#include "update/update.h"

namespace {

// One provider context, released on every path.
class CryptContext {
public:
    CryptContext() = default;
    ~CryptContext() {
        if (handle_) CryptReleaseContext(handle_, 0);
    }
    CryptContext(const CryptContext&) = delete;
    CryptContext& operator=(const CryptContext&) = delete;
    bool acquire(DWORD providerType) {
        return CryptAcquireContextW(&handle_, nullptr, nullptr, providerType, CRYPT_VERIFYCONTEXT | CRYPT_SILENT);
    }
    HCRYPTPROV get() const { return handle_; }

private:
    HCRYPTPROV handle_ = 0;
};

// One imported key or hash object, destroyed on every path by the function
// that destroys its kind (CryptDestroyKey or CryptDestroyHash).
class CryptObject {
public:
    using Destroy = BOOL(WINAPI*)(ULONG_PTR);
    explicit CryptObject(Destroy destroy) : destroy_(destroy) {}
    ~CryptObject() {
        if (handle_) destroy_(handle_);
    }
    CryptObject(const CryptObject&) = delete;
    CryptObject& operator=(const CryptObject&) = delete;
    ULONG_PTR* out() { return &handle_; }
    ULONG_PTR get() const { return handle_; }

private:
    Destroy destroy_;
    ULONG_PTR handle_ = 0;
};

SignatureVerdict refuse(SignatureVerdict verdict, DWORD* error, DWORD code) {
    if (error) *error = code;
    return verdict;
}

}  // namespace

SignatureVerdict updateVerifySignature(const uint8_t* data, uint32_t size, const uint8_t* signature,
                                       uint32_t signatureSize, const uint8_t* key, uint32_t keySize,
                                       DWORD providerType, DWORD* error) {
    if (error) *error = 0;
    const uint32_t modulusSize = publicKeyBlobModulusSize(key, keySize);
    if (modulusSize == 0) return refuse(SignatureVerdict::badKey, error, static_cast<DWORD>(NTE_BAD_KEY));

    CryptContext provider;
    if (!provider.acquire(providerType)) return refuse(SignatureVerdict::noSha256, error, GetLastError());
    // What the device can do decides first: a provider without SHA-256
    // refuses every signed package, whatever its key.
    CryptObject hash(CryptDestroyHash);
    if (!CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.out())) {
        return refuse(SignatureVerdict::noSha256, error, GetLastError());
    }
    CryptObject publicKey(CryptDestroyKey);
    if (!CryptImportKey(provider.get(), key, keySize, 0, 0, publicKey.out())) {
        return refuse(SignatureVerdict::badKey, error, GetLastError());
    }
    if (!CryptHashData(hash.get(), data, size, 0)) return refuse(SignatureVerdict::noSha256, error, GetLastError());

    // A signature is exactly as long as the modulus; anything else cannot be
    // the maker's, whatever the provider would make of it.
    if (signature == nullptr || signatureSize != modulusSize) {
        return refuse(SignatureVerdict::mismatch, error, static_cast<DWORD>(NTE_BAD_SIGNATURE));
    }
    uint8_t reversed[kSignatureMaximumSize];
    signatureReverse(signature, reversed, signatureSize);
    if (!CryptVerifySignatureW(hash.get(), reversed, signatureSize, publicKey.get(), nullptr, 0)) {
        return refuse(SignatureVerdict::mismatch, error, GetLastError());
    }
    return SignatureVerdict::valid;
}
