#pragma once
// Places of the Smartphone screens' lines and controls, upright (176 x 220)
// and held sideways (220 x 176). Platform-free, like the Pocket PC places in
// metrics.h; the widths of texts come from the caller, measured in the fonts
// the screens draw with.
//
// Where the plain places would not fit the phone's narrow or low screen:
// - a line of the main screen that is wider than the screen is drawn as two
//   lines, its label and then its value, where the screen has room for one
//   more line, and otherwise in the 8-point font; sideways the lines follow
//   one another without the blank line before the versions;
// - the scan screen's counts move left to end at the right margin, and go
//   under their labels when that would bring them onto the labels; sideways
//   the screen starts half a line higher;
// - sideways the settings keep the upright line height: 5 pixels less would
//   put the report level's spinner over the storage-card box;
// - a check box's caption that does not fit (captions.h) widens the box to
//   the spinners' right edge, and where that is not enough breaks onto a
//   second line, the auto-update box moving down by it.
#include <array>

#include "shell/metrics.h"

namespace layout::smartphone {

// Half the left margin: the Smartphone screens' left edge.
constexpr int kHalfMargin = 6;
// The width the arrows of a spinner take at the right end of its list (the
// up-down control places itself there, and the list gives way).
constexpr int kSpinnerArrowsWidth = 16;

// ---- main screen ----

// The main screen's lines, from the top: the copyright line, the web address,
// the engine's version, the database's version and the age of the last check.
constexpr int kMainLines = 5;

// A line's drawn width, label and value together, in the screen's 10-point
// font and in its 8-point font.
struct LineWidths {
    int normal = 0;
    int small = 0;
};

enum class LineForm {
    oneLine,    // label and value, centred as one text in the 10-point font
    smallFont,  // the same in the 8-point font
    twoLines,   // the label centred, and the value centred on the line below
};

struct MainLine {
    int top = 0;
    LineForm form = LineForm::oneLine;
};

std::array<MainLine, kMainLines> mainLines(const ScreenMetrics& m, bool landscape,
                                           const std::array<LineWidths, kMainLines>& widths);

// ---- scan screen ----

struct ScanPlaces {
    int headingTop = 0;        // "Scanning:"
    ControlPlace currentFile;  // the file being scanned
    int labelTop[2] = {};      // "Scanned files:", "Infected files:"
    ControlPlace count[2];     // their counts
};

// `labelWidths`: the drawn widths of "Scanned files:" and "Infected files:".
ScanPlaces scanPlaces(const ScreenMetrics& m, bool landscape, const int (&labelWidths)[2]);

// The list of infected files, hidden during the scan and shown on the
// infected-files screen under its heading.
ControlPlace infectedList(const ScreenMetrics& m);
// Top of the headings of the infected-files and report screens.
int headingTop(const ScreenMetrics& m);
ControlPlace reportText(const ScreenMetrics& m);

// ---- settings screen ----

ControlPlace settingsLanguageLabel(const ScreenMetrics& m);
ControlPlace settingsReportLabel(const ScreenMetrics& m);
// The places the spinners are made with: a one-row list, its arrows included.
ControlPlace settingsLanguageSpinner(const ScreenMetrics& m);
ControlPlace settingsReportSpinner(const ScreenMetrics& m);
ControlPlace settingsStorageCard(const ScreenMetrics& m);
ControlPlace settingsAutoUpdate(const ScreenMetrics& m);
// The same two with room for the storage card's caption in the current language.
captions::CheckBoxRoom settingsStorageCard(const ScreenMetrics& m, const captions::SettingsCaptions& c);
ControlPlace settingsAutoUpdate(const ScreenMetrics& m, const captions::SettingsCaptions& c);
// Where a spinner's list and its arrows end up: the arrows at the right end of
// the place, the list giving way to them.
ControlPlace spinnerList(const ControlPlace& spinner);
ControlPlace spinnerArrows(const ControlPlace& spinner);

}  // namespace layout::smartphone
