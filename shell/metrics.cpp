#include "shell/metrics.h"

#include "shell/captions.h"

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
    if (clientWidth > clientHeight && m.buttonRowTop + m.buttonHeight > clientHeight) {
        m.turned = true;
        m.buttonRowTop = m.lineHeight * kTurnedButtonRowLines;
    }
    return m;
}

namespace layout {

namespace {
ControlPlace buttonAt(const ScreenMetrics& m, int x, int y) { return {x, y, m.buttonWidth, m.buttonHeight}; }
int pitch(const ScreenMetrics& m) { return m.buttonWidth + m.buttonGap; }
int settingsY9(const ScreenMetrics& m) { return 9 * m.lineHeight + 20; }
int fullWidth(const ScreenMetrics& m) { return m.clientWidth - 2 * m.leftMargin; }
// A turned screen's settings: the language list in the left half, the report
// level in the right half.
int halfWidth(const ScreenMetrics& m) { return m.clientWidth / 2 - 2 * m.leftMargin; }
int rightHalf(const ScreenMetrics& m) { return m.clientWidth / 2 + m.leftMargin; }

// The row a turned screen gives the main screen's line: its blank lines closed up.
int turnedRow(int line) {
    switch (line) {
        case 0: return 0;
        case 2: return 1;
        case 6: return 3;
        case 7: return 4;
        case 10: return 5;
        default: return line;
    }
}

// The counts' left edge: beside the "Scanned files:" label, but never so far
// right that they leave the client area.
int countLeft(const ScreenMetrics& m, int scannedLabelWidth) {
    int beside = m.leftMargin + 15 * m.charWidth + scannedLabelWidth;
    int rightmost = m.clientWidth - m.leftMargin - 10 * m.charWidth;
    return beside < rightmost ? beside : rightmost;
}
}  // namespace

ControlPlace mainButton(const ScreenMetrics& m, int index) {
    return buttonAt(m, m.leftMargin + index * pitch(m), m.buttonRowTop);
}

int mainTextTop(const ScreenMetrics& m, int line) {
    // Room under the last line for the descenders of its letters.
    constexpr int kBottomRoom = 4;
    int top = 3 * m.lineHeight + 35 + (m.turned ? turnedRow(line) : line) * m.lineHeight;
    int lowest = m.clientHeight - m.lineHeight - kBottomRoom;
    return top < lowest ? top : lowest;
}

ControlPlace scanCurrentFile(const ScreenMetrics& m) {
    return {m.leftMargin, 2 * m.lineHeight, fullWidth(m), 2 * m.lineHeight};
}

ControlPlace scanScannedCount(const ScreenMetrics& m, int scannedLabelWidth) {
    return {countLeft(m, scannedLabelWidth), 5 * m.lineHeight, 10 * m.charWidth, m.lineHeight};
}

ControlPlace scanInfectedCount(const ScreenMetrics& m, int scannedLabelWidth) {
    return {countLeft(m, scannedLabelWidth), 6 * m.lineHeight, 10 * m.charWidth, m.lineHeight};
}

ControlPlace scanList(const ScreenMetrics& m) {
    const int h = m.lineHeight;
    // Turned: right under the infected count, and a line above the buttons.
    if (m.turned) return {m.leftMargin, 7 * h + 1, fullWidth(m), m.buttonRowTop - 8 * h - 1};
    return {m.leftMargin, 8 * h, fullWidth(m), 9 * h};
}

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
    return {m.leftMargin, m.lineHeight, m.turned ? halfWidth(m) : fullWidth(m), m.lineHeight};
}

ControlPlace settingsLanguageList(const ScreenMetrics& m) {
    return {m.leftMargin, 2 * m.lineHeight + 2, m.turned ? halfWidth(m) : fullWidth(m), 4 * m.lineHeight + 3};
}

ControlPlace settingsStorageCard(const ScreenMetrics& m) {
    return {m.leftMargin, 7 * m.lineHeight, fullWidth(m), m.lineHeight + 2};
}

ControlPlace settingsAutoUpdate(const ScreenMetrics& m) {
    return {m.leftMargin, 8 * m.lineHeight + 10, fullWidth(m), m.lineHeight + 2};
}

ControlPlace settingsReportLabel(const ScreenMetrics& m) {
    // Turned: beside the language list's label.
    if (m.turned) return {rightHalf(m), m.lineHeight, halfWidth(m), m.lineHeight};
    return {m.leftMargin, settingsY9(m) + 2 * (m.lineHeight + 7), fullWidth(m), m.lineHeight + 2};
}

ControlPlace settingsReportLevel(const ScreenMetrics& m) {
    if (m.turned) return {rightHalf(m), 2 * m.lineHeight + 2, halfWidth(m), 3 * m.lineHeight + 22};
    return {m.leftMargin, settingsY9(m) + 3 * (m.lineHeight + 6), fullWidth(m), 3 * m.lineHeight + 22};
}

ControlPlace settingsUpdate(const ScreenMetrics& m) { return buttonAt(m, m.leftMargin, m.buttonRowTop - 12); }

ControlPlace settingsDone(const ScreenMetrics& m) {
    return buttonAt(m, m.leftMargin + 2 * pitch(m), m.buttonRowTop - 12);
}

ControlPlace settingsUpdate(const ScreenMetrics& m, const captions::SettingsCaptions& c) {
    const ControlPlace update = settingsUpdate(m);
    return captions::roomyButton(update, c.update, settingsDone(m).x - m.buttonGap - update.x);
}

captions::CheckBoxRoom settingsStorageCard(const ScreenMetrics& m, const captions::SettingsCaptions& c) {
    const ControlPlace card = settingsStorageCard(m);
    return captions::roomyCheckBox(card, c.storageCard, c.checkBoxDigit, m.clientWidth - m.leftMargin - card.x);
}

ControlPlace settingsAutoUpdate(const ScreenMetrics& m, const captions::SettingsCaptions& c) {
    ControlPlace place = settingsAutoUpdate(m);
    place.y += settingsStorageCard(m, c).grown;
    return place;
}

}  // namespace layout
