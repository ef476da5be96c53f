#include "shell/handheld_layout.h"

#include "shell/captions.h"

namespace layout::handheld {

namespace {
// The main screen's column starts this far below the client's top, its
// descriptions a little lower so that they sit on the buttons' text line.
constexpr int kColumnTop = 75;
constexpr int kDescriptionTop = 78;
// Room between a button and its description.
constexpr int kDescriptionGap = 30;

int halfWidth(const ScreenMetrics& m) { return m.clientWidth / 2 - 2 * m.leftMargin; }
ControlPlace buttonAt(const ScreenMetrics& m, int x, int y) { return {x, y, m.buttonWidth, m.buttonHeight}; }
}  // namespace

int columnLeft(const ScreenMetrics& m) { return m.clientWidth / 35; }

int columnPitch(const ScreenMetrics& m) { return m.buttonHeight + m.buttonGap; }

ControlPlace columnButton(const ScreenMetrics& m, int row) {
    return buttonAt(m, columnLeft(m) + 10, kColumnTop + row * columnPitch(m));
}

ControlPlace columnDescription(const ScreenMetrics& m, int row) {
    return {columnLeft(m) + m.buttonWidth + kDescriptionGap, kDescriptionTop + row * columnPitch(m), 0, m.lineHeight};
}

int productLeft(const ScreenMetrics& m) { return columnLeft(m) + 10; }

int textAreaLeft(const ScreenMetrics& m, int descriptionsRight) {
    int left = descriptionsRight + kDescriptionGap;
    return left < m.clientWidth ? left : 0;
}

ControlPlace scanList(const ScreenMetrics& m) {
    // Under the "Infected files:" line, and clear of the buttons below it.
    return {m.leftMargin, 7 * m.lineHeight + 1, m.clientWidth - 2 * m.leftMargin, 6 * m.lineHeight - 3};
}

ControlPlace scanDelete(const ScreenMetrics& m) { return buttonAt(m, m.leftMargin, m.buttonRowTop - 11); }

ControlPlace scanCancel(const ScreenMetrics& m) {
    return buttonAt(m, m.leftMargin + m.buttonWidth + m.buttonGap, m.buttonRowTop - 11);
}

ControlPlace reportText(const ScreenMetrics& m) {
    return {m.leftMargin, 2 * m.lineHeight + 2, m.clientWidth - 2 * m.leftMargin,
            m.buttonRowTop - 4 * m.lineHeight + 5};
}

ControlPlace reportBack(const ScreenMetrics& m) {
    return buttonAt(m, (m.clientWidth - m.buttonWidth) / 2, m.buttonRowTop - 12);
}

ControlPlace settingsLanguageLabel(const ScreenMetrics& m) {
    return {m.leftMargin, m.lineHeight, halfWidth(m), m.lineHeight};
}

ControlPlace settingsLanguageList(const ScreenMetrics& m) {
    return {m.leftMargin, 2 * (m.lineHeight + 1), halfWidth(m), 4 * m.lineHeight + 3};
}

ControlPlace settingsReportLabel(const ScreenMetrics& m) {
    return {m.clientWidth / 2 + m.leftMargin, m.lineHeight, halfWidth(m), m.lineHeight};
}

ControlPlace settingsReportLevel(const ScreenMetrics& m) {
    return {m.clientWidth / 2 + m.leftMargin, 2 * (m.lineHeight + 1), halfWidth(m), 4 * m.lineHeight + 3};
}

ControlPlace settingsStorageCard(const ScreenMetrics& m) {
    return {m.leftMargin, 7 * m.lineHeight, halfWidth(m), m.lineHeight + 2};
}

ControlPlace settingsAutoUpdate(const ScreenMetrics& m) {
    return {m.clientWidth / 2 + m.leftMargin, 7 * m.lineHeight, halfWidth(m), m.lineHeight + 2};
}

captions::CheckBoxRoom settingsStorageCard(const ScreenMetrics& m, const captions::SettingsCaptions& c) {
    const ControlPlace card = settingsStorageCard(m);
    return captions::roomyCheckBox(card, c.storageCard, c.checkBoxDigit, card.width);
}

}  // namespace layout::handheld
