#include "update/signature.h"

#include <utility>

namespace {

constexpr uint8_t kPublicKeyBlobType = 0x06;
constexpr uint8_t kBlobVersion = 0x02;
constexpr uint32_t kRsaPublicMagic = 0x31415352;  // "RSA1"

uint32_t readU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

}  // namespace

uint32_t publicKeyBlobModulusSize(const uint8_t* blob, size_t size) {
    if (blob == nullptr || size < kPublicKeyBlobHeaderSize) return 0;
    if (blob[0] != kPublicKeyBlobType || blob[1] != kBlobVersion || blob[2] != 0 || blob[3] != 0) return 0;
    const uint32_t algorithm = readU32(blob + 4);
    if (algorithm != kAlgorithmRsaSign && algorithm != kAlgorithmRsaKeyExchange) return 0;
    if (readU32(blob + 8) != kRsaPublicMagic) return 0;
    const uint32_t bits = readU32(blob + 12);
    if (bits % 8 != 0 || bits < kSignatureKeyMinimumBits || bits > kSignatureKeyMaximumBits) return 0;
    const uint32_t exponent = readU32(blob + 16);
    if (exponent < 3 || exponent % 2 == 0) return 0;
    const uint32_t modulusSize = bits / 8;
    if (size != kPublicKeyBlobHeaderSize + modulusSize) return 0;
    // A modulus of `bits` bits has its top byte set; one that does not is
    // shorter than the header says.
    if (blob[kPublicKeyBlobHeaderSize + modulusSize - 1] == 0) return 0;
    return modulusSize;
}

void signatureReverse(const uint8_t* in, uint8_t* out, size_t size) {
    if (in != out) {
        for (size_t i = 0; i < size; ++i) out[i] = in[size - 1 - i];
        return;
    }
    for (size_t i = 0; i < size / 2; ++i) std::swap(out[i], out[size - 1 - i]);
}
