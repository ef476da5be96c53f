// zbkey: the maker's signing key (./zb keygen).
//   zbkey keygen DIR        a new key pair: DIR/update-signing.pem, DIR/update.key
//   zbkey public KEY OUT    the device's key file for a private key made elsewhere
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tools/update/signing.h"

namespace {

constexpr const char* kUsage =
    "usage: zb keygen DIR\n"
    "           a new signing key: DIR/update-signing.pem (RSA 3072 bits, readable by its owner\n"
    "           only; it signs packages: ./zb publish ... --sign DIR/update-signing.pem) and\n"
    "           DIR/update.key (the public key as devices read it: ./zb device key EDITION FILE)\n"
    "       zbkey public KEY OUT\n"
    "           OUT: the devices' key file for the private key KEY (PEM)\n";

int keygen(const char* folder) {
    std::string report, error;
    if (!signingKeyGenerate(folder, report, error)) {
        fprintf(stderr, "zb keygen: %s\n", error.c_str());
        return 1;
    }
    fputs(report.c_str(), stdout);
    return 0;
}

int publicKey(const char* keyPath, const char* outPath) {
    SigningKey key;
    std::vector<uint8_t> blob;
    std::string error;
    if (!signingKeyLoad(keyPath, key, error) || !signingPublicKeyBlob(key, blob, error)) {
        fprintf(stderr, "zbkey: %s\n", error.c_str());
        return 1;
    }
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(blob.data()), static_cast<std::streamsize>(blob.size()));
    out.close();
    if (!out) {
        fprintf(stderr, "zbkey: cannot write %s\n", outPath);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && !strcmp(argv[1], "keygen")) return keygen(argv[2]);
    if (argc == 4 && !strcmp(argv[1], "public")) return publicKey(argv[2], argv[3]);
    if (argc == 2 && (!strcmp(argv[1], "help") || !strcmp(argv[1], "--help"))) {
        fputs(kUsage, stdout);
        return 0;
    }
    fputs(kUsage, stderr);
    return 2;
}
