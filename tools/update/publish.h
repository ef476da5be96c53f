#pragma once
// The maker's side of an update: the server tree that `./zb publish` writes,
// files/pda/<edition directory>/version.dat and upgrade.dat. Platform-free.
#include <cstdint>
#include <string>
#include <vector>

// What goes into one edition's package.
struct PublishEdition {
    std::string edition;    // ppc, wm5, hpc, sphone
    std::string directory;  // below files/pda/ on the server
    std::string zerbinPath;
    std::string monitorPath;
};

struct PublishRequest {
    uint16_t version = 0;
    std::string databasePath;
    std::string installerPath;
    std::string outputFolder;  // the server's root: files/pda/... goes below it
    std::vector<PublishEdition> editions;
    std::string signingKeyPath;  // the maker's private key; empty: unsigned packages
    std::string newKeyPath;      // with it: the update.key the packages carry in place of the signing key's
    bool databaseOnly = false;   // the database and the installer only: the programs are not read
};

// Checks every input (the database must load as the program loads it, the
// programs must carry no debug information, a signing key must be one
// devices can check), then writes each edition's upgrade.dat, its
// upgrade.sig when signing, and last its version.dat, each through a file
// beside it and a rename, so that a server never offers a version whose
// package or signature is not there yet. A signed package also carries the
// public key as update.key, so that it can hand devices a new key. Every
// package carries the record of its version (kPackageRecordName), which the
// installer leaves on the device after a complete install. Returns
// false with a message in `error`; `report` gets a line per written file and
// per package entry.
bool publishTree(const PublishRequest& request, std::string& report, std::string& error);

