#pragma once
// The Smartphone's keys, platform-free: what a soft key or the Back key means
// on each screen, the focus chain of the settings screen, and the path of an
// infected file taken back from its line in the list.
#include <string_view>

namespace smartphone {

// Screens, as held in g_config.s_nScreen (4 is the Smartphone's own).
constexpr int kScreenMain = 0;
constexpr int kScreenScan = 1;
constexpr int kScreenSettings = 2;
constexpr int kScreenReport = 3;
constexpr int kScreenInfected = 4;

// Commands of the menu bar's two keys, and the Skip command.
constexpr int kLeftSoftKey = 11000;
constexpr int kRightSoftKey = 11001;
constexpr int kBackKey = 2;  // IDCANCEL
constexpr int kSkip = 10011;

// Controls of the settings screen that the Up and Down keys move between.
constexpr int kLanguageSpinner = 8401;
constexpr int kReportLevelSpinner = 8410;
constexpr int kStorageCardBox = 8404;
constexpr int kAutoUpdateBox = 8409;

enum class CommandRoute {
    command,          // handle `command` as the window's command
    ignore,           // nothing happens
    defaultHandling,  // the default window procedure gets the message as it came
};

struct TranslatedCommand {
    CommandRoute route;
    int command;
};

// What a WM_COMMAND identifier stands for on `screen`: the soft keys and the
// Back key become the command of the screen's button; every other identifier
// stays as it is.
TranslatedCommand translateCommand(int screen, int command);

// The control the focus goes to from control `current` (any other identifier,
// 0 for none) with Down (`forward`) or Up.
int nextFocus(int current, bool forward);

// The full path of an infected file from its list line "name (path) detection".
// The path is the part that starts with a backslash and ends with a backslash
// and the name itself, so that parentheses in the name or in the detection
// text never cut it short. Empty when the line holds no such part.
std::wstring_view pathFromInfectedLine(std::wstring_view line);

// The Smartphone's fonts: their size in points and their weight.
struct FontSpec {
    int points;
    int weight;
};
inline constexpr FontSpec kFontNormal10{10, 400};  // the screens' lines and values
inline constexpr FontSpec kFontBold10{10, 600};    // the scan screen's labels, the headings
inline constexpr FontSpec kFontBold8{8, 600};      // the settings screen's labels
inline constexpr FontSpec kFontLight8{8, 100};     // the settings screen's lists and check boxes

// The height of a font record for a size in points on a screen of
// `pixelsPerInch` vertically: negative, a character height, truncated.
int fontHeight(int points, int pixelsPerInch);

}  // namespace smartphone
