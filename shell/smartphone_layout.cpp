#include "shell/smartphone_layout.h"

namespace layout::smartphone {

namespace {
// Room between a label and its count.
int labelGap(const ScreenMetrics& m) { return m.charWidth; }
}  // namespace

std::array<MainLine, kMainLines> mainLines(const ScreenMetrics& m, bool landscape,
                                           const std::array<LineWidths, kMainLines>& widths) {
    const int h = m.lineHeight;
    std::array<MainLine, kMainLines> lines{};
    int top = landscape ? h + 25 : 2 * h + 25;
    for (int i = 0; i < kMainLines; ++i) {
        // Upright, a blank line parts the versions from the address.
        if (i == 2 && !landscape) top += h;
        const LineWidths& w = widths[i];
        lines[i].top = top;
        lines[i].form = w.normal <= m.clientWidth  ? LineForm::oneLine
                        : w.small <= m.clientWidth ? LineForm::smallFont
                                                   : LineForm::twoLines;
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

ControlPlace spinnerList(const ControlPlace& spinner) {
    return {spinner.x, spinner.y, spinner.width - kSpinnerArrowsWidth, spinner.height};
}

ControlPlace spinnerArrows(const ControlPlace& spinner) {
    return {spinner.x + spinner.width - kSpinnerArrowsWidth, spinner.y, kSpinnerArrowsWidth, spinner.height};
}

}  // namespace layout::smartphone
