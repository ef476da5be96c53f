#pragma once
// zerbin under test: a copy of the device's installed program in a folder of
// the test's own (so that its database, report and libraries beside it are the
// test's), started as a person starts it and driven from outside.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/win_files.h"
#include "tools/drive/automation.h"

namespace e2e {

// Patterns of the test databases, put together at run time so that no
// program file of the device carries them whole.
std::string infectedPattern();
std::string anchoredPattern();

class ZerbinApp {
public:
    ZerbinApp();  // ends any running zerbin, empties the settings key, prepares the folder
    ~ZerbinApp();
    ZerbinApp(const ZerbinApp&) = delete;
    ZerbinApp& operator=(const ZerbinApp&) = delete;

    const std::wstring& folder() const { return folder_; }
    std::wstring path(const wchar_t* name) const { return folder_ + L"\\" + name; }

    // The database beside the program: "Test.Virus" (the infected pattern),
    // "Test.Anchored" (the anchored pattern, counted only at offset 0).
    void writeDatabase(uint16_t minor = 7);
    // A database whose one record (the infected pattern) carries `virusName`.
    void writeDatabaseNamed(const char* virusName);
    // A database whose only pattern lies nowhere on the device.
    void writeCleanDatabase();
    void writeRawDatabase(const std::vector<uint8_t>& bytes);
    void removeDatabase();
    // Places a library file (from the test's resources) beside the program.
    void putLibrary(const wchar_t* resourceName, const wchar_t* fileName);

    // Starts the program. Does not wait for anything.
    bool start();
    bool start(Status& status);  // the same, with the last try's status
    // Starts and waits for the main window; false (with a reason) otherwise.
    bool startAndWait(std::string& why);
    DWORD processId() const { return info_.dwProcessId; }
    HANDLE process() const { return info_.hProcess; }
    HWND window() const { return window_; }
    // Waits for the process to end; its exit code, or -1 on a time-out.
    long waitExit(DWORD timeoutMs = 20000);
    void end();

    // Controls of the main window.
    HWND control(int id, DWORD timeoutMs = 5000) const;
    bool exists(int id) const;
    std::wstring text(int id) const;
    bool waitText(int id, const std::wstring& expected, DWORD timeoutMs = 60000) const;
    bool enabled(int id) const;
    void press(int id) const;
    void command(int id, int code = 0) const;
    std::vector<std::vector<std::wstring>> listItems(int id) const;
    std::vector<std::wstring> rows(int id) const;
    int selection(int id) const;
    void select(int id, int row) const;
    bool checked(int id) const;

    // The message box the program shows (its caption and text), pressed with `button`.
    bool answerBox(int button, std::wstring* caption = nullptr, std::wstring* text = nullptr, DWORD timeoutMs = 15000);
    bool boxOpen(DWORD timeoutMs = 0) const;

    // The report the program wrote beside itself.
    std::string report() const;

private:
    std::wstring folder_;
    PROCESS_INFORMATION info_{};
    HWND window_ = nullptr;
};

// The settings key, read and written as the program stores it.
void clearSettings();
bool readSetting(const wchar_t* name, DWORD& value);
void writeSetting(const wchar_t* name, DWORD value);
bool readCheckTime(std::vector<uint8_t>& bytes);
void writeCheckTime(const SYSTEMTIME& utc);

std::string utf8(const std::wstring& text);
void writeFile(const std::wstring& path, const std::string& bytes);
using testfiles::removeTree;

// Polls `condition` every 50 ms until it holds (true) or `timeoutMs` passes.
bool waitFor(DWORD timeoutMs, const std::function<bool()>& condition);

// A file's content that the test database detects with infectedPattern().
std::string infectedContent();

// The folder "\My Documents\e2e" with the infected files of one test,
// emptied when the test starts and removed when it ends.
class InfectedFiles {
public:
    InfectedFiles();
    ~InfectedFiles();
    InfectedFiles(const InfectedFiles&) = delete;
    InfectedFiles& operator=(const InfectedFiles&) = delete;
    std::wstring put(const wchar_t* name, const std::string& content = infectedContent());
};

}  // namespace e2e
