#pragma once
// Places of the Handheld PC screens' controls on its wide, low landscape
// screen: a button column with descriptions on the main screen, lower and
// shorter scan and report screens, and settings in two halves. Platform-free,
// like the Pocket PC places in metrics.h.
#include "shell/metrics.h"

namespace layout::handheld {

// The rows of the main screen's button column: 0 Scan, 1 Settings, 2 Report, 3 Exit.
constexpr int kColumnRows = 4;

// Left edge of the column's area: a 35th of the client width.
int columnLeft(const ScreenMetrics& m);
// Vertical distance between two buttons of the column.
int columnPitch(const ScreenMetrics& m);
ControlPlace columnButton(const ScreenMetrics& m, int row);
// Top-left point of the description drawn beside the button of `row`.
ControlPlace columnDescription(const ScreenMetrics& m, int row);
// Left edge of the product bitmap.
int productLeft(const ScreenMetrics& m);
// Where the main screen's centred lines are centred: the part of the screen
// right of the longest description (`descriptionsRight`, its right edge), so
// that no line runs into the descriptions.
int textAreaLeft(const ScreenMetrics& m, int descriptionsRight);

ControlPlace scanList(const ScreenMetrics& m);
ControlPlace scanDelete(const ScreenMetrics& m);
ControlPlace scanCancel(const ScreenMetrics& m);

ControlPlace reportText(const ScreenMetrics& m);
ControlPlace reportBack(const ScreenMetrics& m);

// Settings: the language list in the left half, the report levels in the right.
ControlPlace settingsLanguageLabel(const ScreenMetrics& m);
ControlPlace settingsLanguageList(const ScreenMetrics& m);
ControlPlace settingsReportLabel(const ScreenMetrics& m);
ControlPlace settingsReportLevel(const ScreenMetrics& m);
ControlPlace settingsStorageCard(const ScreenMetrics& m);
ControlPlace settingsAutoUpdate(const ScreenMetrics& m);
// The storage card's box with room for its caption (captions.h): it stays in
// its half, and takes more lines there; the auto-update box beside it stays.
captions::CheckBoxRoom settingsStorageCard(const ScreenMetrics& m, const captions::SettingsCaptions& c);

}  // namespace layout::handheld
