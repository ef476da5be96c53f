#pragma once
// What the end-to-end tests share. Each test program is also its own helper:
// started with "--fixture" it shows the fixture window that the driver tests
// read and press; with a bare number it behaves as a program of the boot start
// list; with "--exit N" it ends at once with code N; with "--sleep" it waits
// until it is ended.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// The fixture window and its controls.
inline constexpr wchar_t kFixtureClass[] = L"ZbDriveFixture";
inline constexpr wchar_t kFixtureTitle[] = L"Drive fixture";
enum FixtureId : int {
    kPress = 1001,     // push button: "pressed N"
    kLabel = 1002,     // static: the last event
    kAsk = 1003,       // push button: a Yes/No message box, then "answer yes" / "answer no"
    kOff = 1004,       // disabled push button
    kCard = 1005,      // auto check box: "check 0|1"
    kFiles = 1010,     // list view, two columns: "clicked N" on NM_CLICK
    kLanguages = 1020, // list box with LBS_NOTIFY: "list N"
    kQuiet = 1021,     // list box without LBS_NOTIFY: "quiet N" should it ever notify
    kLevels = 1030,    // drop-down combo box: "combo N"
    kEdit = 1040,      // edit control
    kSwatch = 1050,    // static painted red
    kBlue = 1051,      // static with blue text on white
    kLog = 1060,       // hidden static: every event so far, separated by ";"
    kFocusEdit = 1095, // WM_COMMAND id that gives the edit the keyboard focus
    kBlinkOff = 1096,  // WM_COMMAND ids that start and stop the swatch blinking
    kBlinkOn = 1097,
    kBusy = 1098,      // WM_COMMAND id that keeps the fixture busy for half a second
    kClearLog = 1099,  // WM_COMMAND id that empties the log and the edit
};
inline constexpr COLORREF kSwatchColour = RGB(255, 0, 0);
inline constexpr COLORREF kBlueColour = RGB(0, 0, 255);
inline constexpr wchar_t kQuestionCaption[] = L"Fixture question";
inline constexpr wchar_t kQuestionText[] = L"Delete the infected file?";

// Runs the fixture window until it is closed (the "--fixture" mode).
int runFixture();

// The full path of this test program.
std::wstring selfPath();

// Runs a command line with the working folder "\" and collects what it
// writes to standard output and standard error. False when it cannot be
// started or does not end within `timeoutMs` (it is then ended).
bool runProgram(const std::wstring& commandLine, std::string& output, std::string& errors, DWORD& exitCode,
                DWORD timeoutMs = 60000);

std::vector<uint8_t> readFileBytes(const std::wstring& path);

// Ends every running process with this executable name.
void endAll(const wchar_t* exeName);

}  // namespace e2e
