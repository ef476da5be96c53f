// The signature check through the device's CryptoAPI, with keys and
// signatures that OpenSSL made when the tests ran (make_signing_files.sh):
// a package signed by key a, its signature by key b, and both keys' public
// halves as OpenSSL writes them for CryptoAPI.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "engine/crc32.h"
#include "tests/win_files.h"
#include "update/signature.h"
#include "update/update.h"

namespace {

std::vector<uint8_t> input(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path);
    return testfiles::readBytes(self.substr(0, self.rfind(L'\\') + 1) + name);
}

struct Verdict {
    SignatureVerdict verdict;
    DWORD error;
};

Verdict check(const std::vector<uint8_t>& data, const std::vector<uint8_t>& signature, const std::vector<uint8_t>& key,
              DWORD provider = PROV_RSA_AES) {
    DWORD error = 0;
    const SignatureVerdict verdict =
        updateVerifySignature(data.data(), static_cast<uint32_t>(data.size()), signature.data(),
                              static_cast<uint32_t>(signature.size()), key.data(), static_cast<uint32_t>(key.size()),
                              provider, &error);
    return {verdict, error};
}

TEST(SignatureCheck, OnlyTheMakersSignatureOfTheseVeryBytesIsValid) {
    const std::vector<uint8_t> package = input(L"download.dat");
    const std::vector<uint8_t> signature = input(L"download.sig");
    const std::vector<uint8_t> otherSignature = input(L"download.b.sig");
    const std::vector<uint8_t> key = input(L"a.key");
    const std::vector<uint8_t> otherKey = input(L"b.key");
    ASSERT_FALSE(package.empty());
    ASSERT_EQ(signature.size(), 384u);
    ASSERT_EQ(publicKeyBlobModulusSize(key.data(), key.size()), 384u) << "OpenSSL's blob is a key file";

    // The key as a signature key, as ./zb keygen writes it.
    std::vector<uint8_t> signingKey = key;
    signingKey[5] = 0x24;
    // A package changed by one byte, its container checksum made right again.
    std::vector<uint8_t> changed = package;
    changed[package.size() - 1] ^= 0x01;
    const uint32_t crc = crc32(changed.data() + 8, changed.size() - 8, 0);
    for (int i = 0; i < 4; ++i) changed[4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    std::vector<uint8_t> cut(signature.begin(), signature.end() - 1);
    std::vector<uint8_t> flipped = signature;
    flipped[100] ^= 0x10;
    std::vector<uint8_t> reversed(signature.rbegin(), signature.rend());

    struct Case {
        const char* what;
        const std::vector<uint8_t>& data;
        const std::vector<uint8_t>& signature;
        const std::vector<uint8_t>& key;
        SignatureVerdict expected;
    } cases[] = {
        {"valid", package, signature, key, SignatureVerdict::valid},
        {"valid, signature key", package, signature, signingKey, SignatureVerdict::valid},
        {"signed by another key", package, otherSignature, key, SignatureVerdict::mismatch},
        {"checked with another key", package, signature, otherKey, SignatureVerdict::mismatch},
        {"one byte changed, checksum fixed", changed, signature, key, SignatureVerdict::mismatch},
        {"signature cut short", package, cut, key, SignatureVerdict::mismatch},
        {"signature with a bit flipped", package, flipped, key, SignatureVerdict::mismatch},
        {"signature in CryptoAPI's order already", package, reversed, key, SignatureVerdict::mismatch},
    };
    for (const Case& c : cases) {
        const Verdict got = check(c.data, c.signature, c.key);
        EXPECT_EQ(got.verdict, c.expected) << c.what << ", error 0x" << std::hex << got.error;
        if (c.expected != SignatureVerdict::valid) {
            EXPECT_NE(got.error, 0u) << c.what;
        }
    }
}

TEST(SignatureCheck, ADamagedKeyOrAProviderWithoutSha256RefusesEveryPackage) {
    const std::vector<uint8_t> package = input(L"download.dat");
    const std::vector<uint8_t> signature = input(L"download.sig");
    const std::vector<uint8_t> key = input(L"a.key");
    ASSERT_FALSE(key.empty());
    std::vector<uint8_t> truncated(key.begin(), key.end() - 10);
    std::vector<uint8_t> badMagic = key;
    badMagic[8] = 'X';
    const std::vector<uint8_t> damagedKeys[] = {truncated, badMagic, {}};
    for (const std::vector<uint8_t>& damaged : damagedKeys) {
        const Verdict got = check(package, signature, damaged);
        EXPECT_EQ(got.verdict, SignatureVerdict::badKey);
        EXPECT_EQ(got.error, static_cast<DWORD>(NTE_BAD_KEY));
    }
    // The base provider of older devices has no SHA-256.
    const Verdict base = check(package, signature, key, PROV_RSA_FULL);
    EXPECT_EQ(base.verdict, SignatureVerdict::noSha256) << "error 0x" << std::hex << base.error;
    // No provider of the kind at all.
    const Verdict none = check(package, signature, key, 999);
    EXPECT_EQ(none.verdict, SignatureVerdict::noSha256);
}

}  // namespace
