#pragma once
// The maker's signing key, on the maker's machine only: making one, reading
// one, the public half as devices read it (update.key), and the signature
// of a served file (upgrade.sig). All arithmetic is OpenSSL's: an RSA key,
// PKCS#1 v1.5 signatures of SHA-256 digests, written most significant byte
// first, exactly as `openssl dgst -sha256 -sign KEY -out SIG FILE` writes
// them.
#include <cstdint>
#include <string>
#include <vector>

struct evp_pkey_st;

// One private key, freed with its owner.
class SigningKey {
public:
    SigningKey() = default;
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;
    evp_pkey_st* get() const { return key_; }
    void reset(evp_pkey_st* key);

private:
    evp_pkey_st* key_ = nullptr;
};

constexpr uint32_t kSigningKeyBits = 3072;
constexpr char kSigningKeyFile[] = "update-signing.pem";
constexpr char kPublicKeyFile[] = "update.key";

// Makes a new key pair in `folder` (created if need be): the private key
// as `update-signing.pem`, readable by its owner only, and the public key
// as `update.key`. Refuses to replace a private key that is there already:
// devices that hold its public half would refuse every package signed by
// another. `report` gets a line per written file.
bool signingKeyGenerate(const std::string& folder, std::string& report, std::string& error);

// Reads a private key (PEM) for signing: RSA of 2048 bits or more.
bool signingKeyLoad(const std::string& path, SigningKey& key, std::string& error);

// The key file a device holds for this key.
bool signingPublicKeyBlob(const SigningKey& key, std::vector<uint8_t>& blob, std::string& error);

// The signature of `data`, most significant byte first.
bool signingSign(const SigningKey& key, const std::vector<uint8_t>& data, std::vector<uint8_t>& signature,
                 std::string& error);

// True when `signature` is the key's signature of `data` (the maker's own
// check, and the tests').
bool signingVerify(const SigningKey& key, const std::vector<uint8_t>& data, const std::vector<uint8_t>& signature);
