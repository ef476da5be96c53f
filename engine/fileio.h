#pragma once
// The file layer: every file access of both programs goes through these free
// functions over the platform's file handles. Each returns a status (0, 87
// for a missing argument, 259 for a short read, 29 for a short write, else
// the platform's error unchanged); none keeps state of its own.
#include <windows.h>

#include <cstdint>

#include "base/status.h"

// fileOpen modes (low 16 bits): access / sharing with others / existing or not.
constexpr uint32_t kFileRead = 1;               // read / read / open, else fail
constexpr uint32_t kFileCreateWrite = 2;        // write / none / truncate, else create
constexpr uint32_t kFileUpdate = 3;             // read-write / none / open, else fail
constexpr uint32_t kFileCreateUpdate = 4;       // read-write / none / truncate, else create
constexpr uint32_t kFileAppendUpdate = 5;       // read-write / none / open, else fail; at end
constexpr uint32_t kFileReadShared = 6;         // read / read-write / open, else fail
constexpr uint32_t kFileUpdateShared = 7;       // read-write / read-write / open, else fail
constexpr uint32_t kFileCreateShared = 8;       // read-write / read-write / truncate, else create
constexpr uint32_t kFileAppend = 9;             // write / read / open, else create; at end
constexpr uint32_t kFileWriteShared = 10;       // write / read-write / open, else create
// High flag bits, added to a mode.
constexpr uint32_t kFileDeleteOnClose = 0x80000000u;  // the platform deletes the file at its last close
constexpr uint32_t kFileAtEnd = 0x40000000u;          // position the new handle at the end

constexpr uint64_t kFileFailed = UINT64_MAX;  // fileTell / fileSize failure

constexpr uint32_t kFileBegin = 0;    // fileSeek origins
constexpr uint32_t kFileCurrent = 1;
constexpr uint32_t kFileEnd = 2;

constexpr uint32_t kModuleDirectoryCapacity = 256;  // UTF-16 characters, with the terminating zero

Status fileOpen(const wchar_t* path, uint32_t mode, HANDLE* handle);
Status fileClose(HANDLE handle);
Status fileRead(HANDLE handle, void* buffer, uint32_t length, uint32_t* bytesRead);
Status fileWrite(HANDLE handle, const void* buffer, uint32_t length, uint32_t* bytesWritten);
Status fileSeek(HANDLE handle, uint32_t offsetLow, uint32_t offsetHigh, uint32_t origin);
uint64_t fileTell(HANDLE handle);
uint64_t fileSize(HANDLE handle);
Status fileDelete(const wchar_t* path, bool force);
bool pathExists(const wchar_t* path, bool wantFile);
Status moduleDirectory(wchar_t* directory);  // at least kModuleDirectoryCapacity characters
Status directoryCreate(const wchar_t* path);

// Owns one open file for the length of a piece of work: closed on every path.
class FileHandle {
public:
    FileHandle() = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (handle_ != nullptr) fileClose(handle_);
    }
    Status open(const wchar_t* path, uint32_t mode) {
        if (handle_ != nullptr) fileClose(handle_);
        handle_ = nullptr;
        return fileOpen(path, mode, &handle_);
    }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};
