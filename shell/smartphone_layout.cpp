#include "shell/smartphone_layout.h"

#include "shell/captions.h"

namespace layout::smartphone {

namespace {
// Room between a label and its count.
int labelGap(const ScreenMetrics& m) { return m.charWidth; }
}  // namespace

std::array<MainLine, kMainLines> mainLines(const ScreenMetrics& m, bool landscape,
                                           const std::array<LineWidths, kMainLines>& widths) {
    const int h = m.lineHeight, W = m.clientWidth;
    const int first = landscape ? h + 25 : 2 * h + 25;
    // Upright, a blank line parts the versions from the address.
    const int blank = landscape ? 0 : h;
    // Lines the screen has room for under the five.
    int spare = (m.clientHeight - (first + blank + kMainLines * h)) / h;

    std::array<MainLine, kMainLines> lines{};
    // A line too wide even in the 8-point font needs two lines; of the others
    // too wide for one, the lowest take two lines while there is room (the
    // age of the check is the widest), the rest the 8-point font.
    for (int i = 0; i < kMainLines; ++i) {
        if (widths[i].small > W) {
            lines[i].form = LineForm::twoLines;
            --spare;
        }
    }
    for (int i = kMainLines - 1; i >= 0; --i) {
        if (widths[i].normal <= W || lines[i].form == LineForm::twoLines) continue;
        if (spare > 0) {
            lines[i].form = LineForm::twoLines;
            --spare;
        } else {
            lines[i].form = LineForm::smallFont;
        }
    }
    int top = first;
    for (int i = 0; i < kMainLines; ++i) {
        if (i == 2) top += blank;
        lines[i].top = top;
        top += lines[i].form == LineForm::twoLines ? 2 * h : h;
    }
    return lines;
}

ScanPlaces scanPlaces(const ScreenMetrics& m, bool landscape, const int (&labelWidths)[2]) {
    const int h = m.lineHeight, c = m.charWidth;
    // Sideways the screen is too low for the upright rows by a few pixels.
    const int shift = landscape ? h / 2 : 0;
    ScanPlaces p;
    p.headingTop = h - shift;
    p.currentFile = {kHalfMargin, 2 * h - shift, m.clientWidth - 12, 3 * h};

    const int widest = labelWidths[0] > labelWidths[1] ? labelWidths[0] : labelWidths[1];
    const int beside = kHalfMargin + 11 * c + labelWidths[0];
    const int rightmost = m.clientWidth - kHalfMargin - 10 * c;
    const int x = beside < rightmost ? beside : rightmost;
    const bool under = x < kHalfMargin + widest + labelGap(m);
    int top = 6 * h - shift;
    for (int row = 0; row < 2; ++row) {
        p.labelTop[row] = top;
        if (under) top += h;
        p.count[row] = {x, top, 10 * c, h};
        top += h;
    }
    return p;
}

ControlPlace infectedList(const ScreenMetrics& m) {
    const int top = 2 * m.lineHeight - 5;
    return {0, top, m.clientWidth, m.clientHeight - top};
}

int headingTop(const ScreenMetrics& m) { return m.lineHeight / 2; }

ControlPlace reportText(const ScreenMetrics& m) {
    const int top = 2 * m.lineHeight;
    return {0, top, m.clientWidth, m.clientHeight - top};
}

ControlPlace settingsLanguageLabel(const ScreenMetrics& m) {
    return {kHalfMargin, m.lineHeight / 2, m.clientWidth - m.leftMargin, m.lineHeight};
}

ControlPlace settingsReportLabel(const ScreenMetrics& m) {
    return {kHalfMargin, 3 * m.lineHeight + 2, m.clientWidth - m.leftMargin, m.lineHeight};
}

ControlPlace settingsLanguageSpinner(const ScreenMetrics& m) {
    return {kHalfMargin, 2 * m.lineHeight - 5, m.clientWidth - 2 * kHalfMargin, m.lineHeight + 2};
}

ControlPlace settingsReportSpinner(const ScreenMetrics& m) {
    ControlPlace p = settingsLanguageSpinner(m);
    p.y = 4 * m.lineHeight + 3;
    return p;
}

ControlPlace settingsStorageCard(const ScreenMetrics& m) {
    return {kHalfMargin, 6 * m.lineHeight - 10, m.clientWidth - 2 * m.leftMargin, m.lineHeight + 2};
}

ControlPlace settingsAutoUpdate(const ScreenMetrics& m) {
    return {kHalfMargin, 7 * m.lineHeight - 7, m.clientWidth - 2 * m.leftMargin, m.lineHeight + 2};
}

captions::CheckBoxRoom settingsStorageCard(const ScreenMetrics& m, const captions::SettingsCaptions& c) {
    return captions::roomyCheckBox(settingsStorageCard(m), c.storageCard, c.checkBoxDigit,
                                   m.clientWidth - 2 * kHalfMargin);
}

ControlPlace settingsAutoUpdate(const ScreenMetrics& m, const captions::SettingsCaptions& c) {
    ControlPlace place = settingsAutoUpdate(m);
    place.y += settingsStorageCard(m, c).grown;
    return place;
}

ControlPlace spinnerList(const ControlPlace& spinner) {
    return {spinner.x, spinner.y, spinner.width - kSpinnerArrowsWidth, spinner.height};
}

ControlPlace spinnerArrows(const ControlPlace& spinner) {
    return {spinner.x + spinner.width - kSpinnerArrowsWidth, spinner.y, kSpinnerArrowsWidth, spinner.height};
}

}  // namespace layout::smartphone
