#pragma once
// The diagnostic log: a UTF-16LE text trace of the main program's start-up,
// one block per program start ("Started:" ... "Stopped:"). The log never
// influences the program: none of its failures reaches a caller.
#include <windows.h>

#include "base/status.h"

class DiagnosticLog {
public:
    DiagnosticLog();
    ~DiagnosticLog();  // releases the file; no banner (that is Close's job)
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // Opens or creates the log at `path` (taken as given: a bare name lands in
    // the working folder) for appending, after cutting a log that has grown to
    // 1 MiB down to its recent blocks, then writes the "Started:" banner.
    // Returns 0 whether or not the file could be opened.
    Status Open(const wchar_t* path);

    // One line: the local time with milliseconds, two blanks, at most
    // kMaxTextLength characters of `text`, CR LF. Goes to the current end of
    // the file. Dropped while the log is closed; write errors are ignored.
    // `category` ("Internal", "Information") is not written.
    void Write(const wchar_t* category, const wchar_t* text);

    // Formats like _vsnwprintf (%s takes a wide string) and writes the line.
    void Printf(const wchar_t* category, const wchar_t* format, ...);

    // Writes the "Stopped:" banner and closes the file. Nothing on a closed log.
    void Close();

    bool isOpen() const { return m_file != INVALID_HANDLE_VALUE; }
    const wchar_t* path() const { return m_path; }

    static constexpr size_t kMaxTextLength = 1241;
    static constexpr size_t kFormatCapacity = 32768;

private:
    HANDLE m_file;
    wchar_t m_path[MAX_PATH];
};

extern DiagnosticLog g_log;
