#pragma once
// How much of a control's width its caption may use, as the device's button
// and static controls draw their text, and the room a control makes for a
// caption that needs more. Platform-free: the caller measures the caption in
// its control's font and hands the widths over.
//
// The rules, one per kind of control:
// - a push button keeps its text inside its frame and a margin; one whose
//   caption does not fit widens to the caption and its margins, keeping its
//   left edge, as far as the space beside it is free;
// - a check box draws its box, a gap of half a digit, then its text; one
//   whose caption does not fit widens first to the screen's right margin and,
//   where that is not enough, breaks its caption at its blanks onto more
//   lines, one line of its font taller for each (the layout moves the
//   controls under it down by as much).
// A control whose caption fits keeps the place the layout gives it.
#include <string_view>
#include <vector>

#include "shell/metrics.h"

namespace captions {

// A push button's frame, on each side: its text may run up to it.
constexpr int kButtonFrame = 2;
// The room a widened push button gives its caption on each side: the frame
// and as much air again.
constexpr int kButtonMargin = 2 * kButtonFrame;
// The check box's box, at the device's 96 pixels per inch.
constexpr int kCheckBoxSize = 13;

// A caption as measured in its control's font.
struct Measured {
    int whole = 0;           // its drawn width in one line
    int blank = 0;           // the width of a blank between two words
    std::vector<int> words;  // the width of each word (the text between blanks)
    int lineHeight = 0;      // the font's height: what each more line takes
};

// Measures `text` with `width(std::basic_string_view<Char>)`, the drawn
// width of a text in the control's font.
template <class Char, class Width>
Measured measure(std::basic_string_view<Char> text, int lineHeight, Width width) {
    Measured m;
    m.whole = width(text);
    const Char blank[1] = {Char(' ')};
    m.blank = width(std::basic_string_view<Char>(blank, 1));
    m.lineHeight = lineHeight;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(Char(' '), start);
        if (end == std::basic_string_view<Char>::npos) end = text.size();
        if (end > start) m.words.push_back(width(text.substr(start, end - start)));
        start = end + 1;
    }
    return m;
}

// The lines `caption` takes when broken at its blanks into lines at most
// `width` wide, as the device breaks a multi-line control's text; 0 when a
// word alone is wider (the device does not break inside a word).
int wrappedLines(const Measured& caption, int width);

// The width a push button of `controlWidth` leaves its caption.
int buttonTextWidth(int controlWidth);
// The width a check box of `controlWidth` leaves its caption; `digitWidth`
// is the width of "0" in its font (the gap after the box is half of it).
int checkBoxTextWidth(int controlWidth, int digitWidth);

// `place` of a push button whose caption is `captionWidth` wide: widened to
// the caption and its margins, but never wider than `widest`.
ControlPlace roomyButton(const ControlPlace& place, int captionWidth, int widest);

// A check box given room for its caption: its place, and the lines its
// caption takes there (more than one: the control breaks its caption, and
// is `grown` pixels taller than the layout's place).
struct CheckBoxRoom {
    ControlPlace place;
    int lines = 1;
    int grown = 0;
};
// `place` of a check box whose caption is `caption` in a font whose "0" is
// `digitWidth` wide; it may widen to `widest`. A caption measured as nothing
// (no words) fits any place.
CheckBoxRoom roomyCheckBox(const ControlPlace& place, const Measured& caption, int digitWidth, int widest);

// The settings screen's captions whose room depends on the language, as the
// layout needs them. Left empty, every control keeps its place.
struct SettingsCaptions {
    int update = 0;           // the Update button's caption, in the buttons' font
    Measured storageCard;     // the storage card's caption, in the check boxes' font
    int checkBoxDigit = 0;    // the width of "0" in the check boxes' font
};

}  // namespace captions
