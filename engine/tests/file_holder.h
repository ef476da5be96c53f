#pragma once
// Holds a file open in another process, to test what the sharing modes do
// across processes. The other process is the test program itself, started
// again with the request in its environment: file_holder.cpp, linked into
// the test program, serves the request before the tests would start.
#include <windows.h>

#include <cstdint>
#include <string>

#include "base/status.h"

class FileHolder {
public:
    FileHolder() = default;
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    ~FileHolder() { release(); }

    // Starts the holder and waits until it has the file open with `mode`
    // (fileOpen's modes). Returns the holder's open status (0: it holds it).
    Status hold(const std::wstring& path, uint32_t mode);
    // Lets the file go and waits for the holder to end.
    void release();

private:
    HANDLE process_ = nullptr;
    HANDLE held_ = nullptr;
    HANDLE release_ = nullptr;
};

// A folder of the test program's own, emptied: "<program folder>\<name>".
std::wstring testFolder(const wchar_t* name);
void writeBytes(const std::wstring& path, const std::string& bytes);
