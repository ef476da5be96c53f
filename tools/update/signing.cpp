#include "tools/update/signing.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "update/package_maker.h"
#include "update/signature.h"

namespace {

std::string opensslError(const std::string& what) {
    const unsigned long code = ERR_get_error();
    char text[256] = "unknown error";
    if (code != 0) ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return what + ": " + text;
}

// One digest context, freed on every path.
struct DigestContext {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~DigestContext() { EVP_MD_CTX_free(ctx); }
};

// One big number, freed on every path.
struct BigNumber {
    BIGNUM* value = nullptr;
    ~BigNumber() { BN_free(value); }
};

bool writePrivateKey(const std::string& path, EVP_PKEY* key, std::string& error) {
    // Created for its owner alone, and never over an existing file.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
        error = "cannot create " + path;
        return false;
    }
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        close(fd);
        unlink(path.c_str());
        error = "cannot write " + path;
        return false;
    }
    const bool written = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    const bool closed = fclose(file) == 0;
    if (!written || !closed) {
        unlink(path.c_str());
        error = opensslError("cannot write " + path);
        return false;
    }
    return true;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

SigningKey::~SigningKey() { EVP_PKEY_free(key_); }

void SigningKey::reset(evp_pkey_st* key) {
    EVP_PKEY_free(key_);
    key_ = key;
}

bool signingKeyGenerate(const std::string& folder, std::string& report, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string privatePath = (std::filesystem::path(folder) / kSigningKeyFile).string();
    const std::string publicPath = (std::filesystem::path(folder) / kPublicKeyFile).string();
    if (std::filesystem::exists(privatePath, ec)) {
        error = privatePath + " exists already; devices that hold its update.key accept only packages it signs";
        return false;
    }
    SigningKey key;
    key.reset(EVP_RSA_gen(kSigningKeyBits));
    if (key.get() == nullptr) {
        error = opensslError("cannot make an RSA key");
        return false;
    }
    std::vector<uint8_t> blob;
    if (!signingPublicKeyBlob(key, blob, error)) return false;
    if (!writePrivateKey(privatePath, key.get(), error)) return false;
    if (!writeBytes(publicPath, blob, error)) return false;
    report += privatePath + ": private key, RSA " + std::to_string(kSigningKeyBits) +
              " bits, readable by its owner only; keep it off the update server\n";
    report += publicPath + ": public key for devices (" + std::to_string(blob.size()) + " bytes)\n";
    return true;
}

bool signingKeyLoad(const std::string& path, SigningKey& key, std::string& error) {
    FILE* file = fopen(path.c_str(), "r");
    if (file == nullptr) {
        error = "cannot read " + path;
        return false;
    }
    key.reset(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr));
    fclose(file);
    if (key.get() == nullptr) {
        error = opensslError(path + " is no private key");
        return false;
    }
    if (!EVP_PKEY_is_a(key.get(), "RSA")) {
        error = path + " is not an RSA key";
        return false;
    }
    const int bits = EVP_PKEY_get_bits(key.get());
    if (bits < static_cast<int>(kSignatureKeyMinimumBits) || bits > static_cast<int>(kSignatureKeyMaximumBits)) {
        error = path + " is an RSA key of " + std::to_string(bits) + " bits; devices take keys of " +
                std::to_string(kSignatureKeyMinimumBits) + " to " + std::to_string(kSignatureKeyMaximumBits) + " bits";
        return false;
    }
    return true;
}

bool signingPublicKeyBlob(const SigningKey& key, std::vector<uint8_t>& blob, std::string& error) {
    BigNumber modulus, exponent;
    if (EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_N, &modulus.value) != 1 ||
        EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_E, &exponent.value) != 1) {
        error = opensslError("cannot read the RSA key");
        return false;
    }
    if (BN_num_bits(exponent.value) > 32) {
        error = "the key's public exponent does not fit the device's key file";
        return false;
    }
    std::vector<uint8_t> n(static_cast<size_t>(BN_num_bytes(modulus.value)));
    BN_bn2bin(modulus.value, n.data());
    blob = publicKeyBlobMake(n, static_cast<uint32_t>(BN_get_word(exponent.value)));
    if (publicKeyBlobModulusSize(blob.data(), blob.size()) == 0) {
        error = "the key does not make a key file devices take (modulus of whole bytes, 2048 bits or more)";
        return false;
    }
    return true;
}

bool signingSign(const SigningKey& key, const std::vector<uint8_t>& data, std::vector<uint8_t>& signature,
                 std::string& error) {
    DigestContext digest;
    size_t length = 0;
    if (digest.ctx == nullptr ||
        EVP_DigestSignInit(digest.ctx, nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(digest.ctx, nullptr, &length, data.data(), data.size()) != 1) {
        error = opensslError("cannot sign");
        return false;
    }
    signature.resize(length);
    if (EVP_DigestSign(digest.ctx, signature.data(), &length, data.data(), data.size()) != 1) {
        error = opensslError("cannot sign");
        return false;
    }
    signature.resize(length);
    return true;
}

bool signingVerify(const SigningKey& key, const std::vector<uint8_t>& data, const std::vector<uint8_t>& signature) {
    DigestContext digest;
    const bool valid = digest.ctx != nullptr &&
                       EVP_DigestVerifyInit(digest.ctx, nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
                       EVP_DigestVerify(digest.ctx, signature.data(), signature.size(), data.data(), data.size()) == 1;
    ERR_clear_error();
    return valid;
}
