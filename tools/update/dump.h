#pragma once
// What `./zb update dump FILE` shows of a version file or a package.
#include <cstdint>
#include <string>
#include <vector>

// Describes `file` into `out`; 0 when it is a well-formed version file or
// package that a device would read, otherwise 1 with the reason in `error`.
int dumpUpdateFile(const std::vector<uint8_t>& file, std::string& out, std::string& error);
