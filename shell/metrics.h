#pragma once
// Layout values shared by every screen, and the computation of the controls'
// places from them. Platform-free: plain integers in pixels.
//
// A Pocket PC can turn its screen: held sideways (320 x 240) the client area
// is too low for the button row 18 lines down. Such a turned screen keeps
// every control of the upright one, with these changes: the button row stands
// 13 lines down, above the input panel's band; the main screen's lines close
// up (copyright and web address, a blank line, the two versions and the age of
// the check); the scan screen's list starts a line higher and ends a line
// above the buttons; the settings screen sets the language list and the
// report level side by side, as the Handheld PC does.

namespace captions {
struct SettingsCaptions;
struct CheckBoxRoom;
}  // namespace captions

struct ScreenMetrics {
    bool valid = false;
    int clientWidth = 0;
    int clientHeight = 0;
    int charWidth = 0;
    int lineHeight = 0;
    int buttonWidth = 0;
    int buttonHeight = 0;
    int buttonGap = 0;
    int buttonRowTop = 0;
    int leftMargin = 0;
    int borderWidth = 0;
    bool turned = false;  // a Pocket PC screen held sideways (above)
};

// The metrics for a client area of the given size and a font with the given
// average character width, height and external leading. `buttonRowLines` is
// the button row's top in lines (18 on the Pocket PC screens). A client area
// wider than high whose button row would leave its bottom is a turned screen.
ScreenMetrics computeScreenMetrics(int clientWidth, int clientHeight, int aveCharWidth, int fontHeight,
                                   int externalLeading, int borderWidth, int buttonRowLines = 18);

// The button row's top in lines on a turned screen.
constexpr int kTurnedButtonRowLines = 13;

struct ControlPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

namespace layout {

// Main screen: the three buttons of the row (index 0 Scan, 1 Settings, 2 Report).
ControlPlace mainButton(const ScreenMetrics& m, int index);
// Top of the main screen's text line `line` (0 the copyright, 2 the web
// address, 6 and 7 the versions, 10 the age of the update check): 3 lines and
// 35 pixels down, one line height apart (on a turned screen closed up to the
// rows 0, 1, 3, 4 and 5), but never so low that the line leaves the bottom of
// a short screen.
int mainTextTop(const ScreenMetrics& m, int line);

// Scan screen. `scannedLabelWidth` is the drawn width of the "Scanned files:"
// text. The counts stand 15 characters right of it, or further left where
// that would take them past the right margin.
ControlPlace scanCurrentFile(const ScreenMetrics& m);
ControlPlace scanScannedCount(const ScreenMetrics& m, int scannedLabelWidth);
ControlPlace scanInfectedCount(const ScreenMetrics& m, int scannedLabelWidth);
ControlPlace scanList(const ScreenMetrics& m);
ControlPlace scanDelete(const ScreenMetrics& m);
ControlPlace scanCancel(const ScreenMetrics& m);
// Widths of the list's two columns for a list of the given width.
int scanFirstColumnWidth(const ScreenMetrics& m, int listWidth);
int scanSecondColumnWidth(const ScreenMetrics& m, int listWidth);

// Report screen.
ControlPlace reportText(const ScreenMetrics& m);
ControlPlace reportBack(const ScreenMetrics& m);

// Settings screen.
ControlPlace settingsLanguageLabel(const ScreenMetrics& m);
ControlPlace settingsLanguageList(const ScreenMetrics& m);
ControlPlace settingsStorageCard(const ScreenMetrics& m);
ControlPlace settingsAutoUpdate(const ScreenMetrics& m);
ControlPlace settingsReportLabel(const ScreenMetrics& m);
ControlPlace settingsReportLevel(const ScreenMetrics& m);
ControlPlace settingsUpdate(const ScreenMetrics& m);
ControlPlace settingsDone(const ScreenMetrics& m);

// The same places with room made for the captions of the current language
// (captions.h): the Update button widens towards Done; the storage card's box
// takes a second line where its caption needs it, and the auto-update box
// under it moves down by that line (the space above the report level's label
// takes it). The places of the Handheld PC and of a turned screen are given
// room by the same rules.
ControlPlace settingsUpdate(const ScreenMetrics& m, const captions::SettingsCaptions& c);
captions::CheckBoxRoom settingsStorageCard(const ScreenMetrics& m, const captions::SettingsCaptions& c);
ControlPlace settingsAutoUpdate(const ScreenMetrics& m, const captions::SettingsCaptions& c);

}  // namespace layout
