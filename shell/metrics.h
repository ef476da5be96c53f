#pragma once
// Layout values shared by every screen, and the computation of the controls'
// places from them. Platform-free: plain integers in pixels.

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
};

// The metrics for a client area of the given size and a font with the given
// average character width, height and external leading. `buttonRowLines` is
// the button row's top in lines (18 on the Pocket PC screens).
ScreenMetrics computeScreenMetrics(int clientWidth, int clientHeight, int aveCharWidth, int fontHeight,
                                   int externalLeading, int borderWidth, int buttonRowLines = 18);

struct ControlPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

namespace layout {

// Main screen: the three buttons of the row (index 0 Scan, 1 Settings, 2 Report).
ControlPlace mainButton(const ScreenMetrics& m, int index);
// Top of the main screen's text line `line` (0 the copyright, 10 the age of the
// update check): 3 lines and 35 pixels down, one line height apart, but never
// so low that the line leaves the bottom of a short screen.
int mainTextTop(const ScreenMetrics& m, int line);

// Scan screen. `scannedLabelWidth` is the drawn width of the "Scanned files:" text.
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

}  // namespace layout
