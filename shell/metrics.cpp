#include "shell/metrics.h"

ScreenMetrics computeScreenMetrics(int clientWidth, int clientHeight, int aveCharWidth, int fontHeight,
                                   int externalLeading, int borderWidth, int buttonRowLines) {
    ScreenMetrics m;
    m.valid = true;
    m.clientWidth = clientWidth;
    m.clientHeight = clientHeight;
    m.charWidth = aveCharWidth;
    m.lineHeight = fontHeight + externalLeading;
    m.buttonWidth = m.charWidth * 13;
    m.buttonHeight = m.lineHeight * 6 / 4;
    m.buttonGap = 10;
    m.buttonRowTop = m.lineHeight * buttonRowLines;
    m.leftMargin = 13;
    m.borderWidth = borderWidth;
    return m;
}

namespace layout {

namespace {
ControlPlace buttonAt(const ScreenMetrics& m, int x, int y) { return {x, y, m.buttonWidth, m.buttonHeight}; }
int pitch(const ScreenMetrics& m) { return m.buttonWidth + m.buttonGap; }
int settingsY9(const ScreenMetrics& m) { return 9 * m.lineHeight + 20; }
int fullWidth(const ScreenMetrics& m) { return m.clientWidth - 2 * m.leftMargin; }
}  // namespace

ControlPlace mainButton(const ScreenMetrics& m, int index) {
    return buttonAt(m, m.leftMargin + index * pitch(m), m.buttonRowTop);
}

int mainTextTop(const ScreenMetrics& m, int line) {
    // Room under the last line for the descenders of its letters.
    constexpr int kBottomRoom = 4;
    int top = 3 * m.lineHeight + 35 + line * m.lineHeight;
    int lowest = m.clientHeight - m.lineHeight - kBottomRoom;
    return top < lowest ? top : lowest;
}

ControlPlace scanCurrentFile(const ScreenMetrics& m) {
    return {m.leftMargin, 2 * m.lineHeight, fullWidth(m), 2 * m.lineHeight};
}

ControlPlace scanScannedCount(const ScreenMetrics& m, int scannedLabelWidth) {
    return {m.leftMargin + 15 * m.charWidth + scannedLabelWidth, 5 * m.lineHeight, 10 * m.charWidth, m.lineHeight};
}

ControlPlace scanInfectedCount(const ScreenMetrics& m, int scannedLabelWidth) {
    return {m.leftMargin + 15 * m.charWidth + scannedLabelWidth, 6 * m.lineHeight, 10 * m.charWidth, m.lineHeight};
}

ControlPlace scanList(const ScreenMetrics& m) { return {m.leftMargin, 8 * m.lineHeight, fullWidth(m), 9 * m.lineHeight}; }

ControlPlace scanDelete(const ScreenMetrics& m) { return buttonAt(m, m.leftMargin, m.buttonRowTop); }

ControlPlace scanCancel(const ScreenMetrics& m) { return buttonAt(m, m.leftMargin + 2 * pitch(m), m.buttonRowTop); }

int scanFirstColumnWidth(const ScreenMetrics& m, int listWidth) {
    // Kept to 16 bits, as the column width travels in a 16-bit field.
    return static_cast<int>(static_cast<short>(4 * (listWidth - 2 * m.borderWidth) / 7));
}

int scanSecondColumnWidth(const ScreenMetrics& m, int listWidth) {
    return listWidth - 2 * m.borderWidth - scanFirstColumnWidth(m, listWidth);
}

ControlPlace reportText(const ScreenMetrics& m) {
    return {m.leftMargin, 3 * m.lineHeight, fullWidth(m), m.buttonRowTop - 4 * m.lineHeight};
}

ControlPlace reportBack(const ScreenMetrics& m) {
    return buttonAt(m, (m.clientWidth - m.buttonWidth) / 2, m.buttonRowTop);
}

ControlPlace settingsLanguageLabel(const ScreenMetrics& m) {
    return {m.leftMargin, m.lineHeight, fullWidth(m), m.lineHeight};
}

ControlPlace settingsLanguageList(const ScreenMetrics& m) {
    return {m.leftMargin, 2 * m.lineHeight + 2, fullWidth(m), 4 * m.lineHeight + 3};
}

ControlPlace settingsStorageCard(const ScreenMetrics& m) {
    return {m.leftMargin, 7 * m.lineHeight, fullWidth(m), m.lineHeight + 2};
}

ControlPlace settingsAutoUpdate(const ScreenMetrics& m) {
    return {m.leftMargin, 8 * m.lineHeight + 10, fullWidth(m), m.lineHeight + 2};
}

ControlPlace settingsReportLabel(const ScreenMetrics& m) {
    return {m.leftMargin, settingsY9(m) + 2 * (m.lineHeight + 7), fullWidth(m), m.lineHeight + 2};
}

ControlPlace settingsReportLevel(const ScreenMetrics& m) {
    return {m.leftMargin, settingsY9(m) + 3 * (m.lineHeight + 6), fullWidth(m), 3 * m.lineHeight + 22};
}

ControlPlace settingsUpdate(const ScreenMetrics& m) { return buttonAt(m, m.leftMargin, m.buttonRowTop - 12); }

ControlPlace settingsDone(const ScreenMetrics& m) {
    return buttonAt(m, m.leftMargin + 2 * pitch(m), m.buttonRowTop - 12);
}

}  // namespace layout
