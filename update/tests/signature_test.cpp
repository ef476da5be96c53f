// The key file and the signature's byte order, as the device reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "update/package_maker.h"
#include "update/signature.h"

namespace {

// A modulus of `bits` bits, most significant byte first, top bit set.
std::vector<uint8_t> modulus(uint32_t bits) {
    std::vector<uint8_t> out(bits / 8);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 37 + 11);
    out[0] = 0xC3;
    return out;
}

TEST(KeyFile, TheMakersBlobCarriesTheModulusLeastSignificantByteFirst) {
    const std::vector<uint8_t> n = modulus(3072);
    const std::vector<uint8_t> blob = publicKeyBlobMake(n, 65537);
    ASSERT_EQ(blob.size(), kPublicKeyBlobHeaderSize + 384);
    const uint8_t header[] = {0x06, 0x02, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 'R', 'S', 'A', '1',
                              0x00, 0x0C, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00};
    EXPECT_EQ(std::memcmp(blob.data(), header, sizeof header), 0);
    EXPECT_EQ(blob[kPublicKeyBlobHeaderSize], n.back());
    EXPECT_EQ(blob.back(), n.front());
    EXPECT_EQ(publicKeyBlobModulusSize(blob.data(), blob.size()), 384u);

    // OpenSSL may hand the modulus over with a leading zero byte.
    std::vector<uint8_t> padded = n;
    padded.insert(padded.begin(), 0);
    EXPECT_EQ(publicKeyBlobMake(padded, 65537), blob);
}

TEST(KeyFile, OnlyAWellFormedRsaPublicKeyIsTaken) {
    const std::vector<uint8_t> good = publicKeyBlobMake(modulus(2048), 65537);
    struct Case {
        const char* what;
        size_t at;      // byte to set, or SIZE_MAX for none
        uint8_t value;
        int resize;     // bytes added (or taken away) at the end
        uint32_t expected;
    } cases[] = {
        {"as made", SIZE_MAX, 0, 0, 256},
        {"an exchange key, as OpenSSL writes one", 5, 0xA4, 0, 256},
        {"a private key blob", 0, 0x07, 0, 0},
        {"blob version 1", 1, 0x01, 0, 0},
        {"reserved bytes set", 2, 0x01, 0, 0},
        {"another algorithm", 5, 0x66, 0, 0},
        {"magic RSA2", 11, '2', 0, 0},
        {"bits not whole bytes", 12, 0x01, 0, 0},
        {"1024 bits", 13, 0x04, -128, 0},
        {"an even exponent", 16, 0x00, 0, 0},
        {"one byte short", SIZE_MAX, 0, -1, 0},
        {"one byte over", SIZE_MAX, 0, 1, 0},
        {"header only", SIZE_MAX, 0, -256, 0},
        {"a modulus shorter than its bits", kPublicKeyBlobHeaderSize + 255, 0x00, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> blob = good;
        if (c.at != SIZE_MAX) blob[c.at] = c.value;
        blob.resize(static_cast<size_t>(static_cast<int>(blob.size()) + c.resize), 0x55);
        EXPECT_EQ(publicKeyBlobModulusSize(blob.data(), blob.size()), c.expected) << c.what;
    }
    EXPECT_EQ(publicKeyBlobModulusSize(nullptr, good.size()), 0u);
    const std::vector<uint8_t> huge = publicKeyBlobMake(modulus(kSignatureKeyMaximumBits + 8), 3);
    EXPECT_EQ(publicKeyBlobModulusSize(huge.data(), huge.size()), 0u);
}

TEST(Signature, TheBytesAreReversedForTheDevicesProvider) {
    const std::vector<uint8_t> openssl = {1, 2, 3, 4, 5};
    std::vector<uint8_t> out(5);
    signatureReverse(openssl.data(), out.data(), out.size());
    EXPECT_EQ(out, (std::vector<uint8_t>{5, 4, 3, 2, 1}));
    std::vector<uint8_t> inPlace = {1, 2, 3, 4};
    signatureReverse(inPlace.data(), inPlace.data(), inPlace.size());
    EXPECT_EQ(inPlace, (std::vector<uint8_t>{4, 3, 2, 1}));
}

}  // namespace
