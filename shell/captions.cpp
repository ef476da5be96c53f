#include "shell/captions.h"

namespace captions {

int wrappedLines(const Measured& caption, int width) {
    int lines = 0, used = 0;
    for (int word : caption.words) {
        if (word > width) return 0;
        if (lines > 0 && used + caption.blank + word <= width) {
            used += caption.blank + word;
        } else {
            ++lines;
            used = word;
        }
    }
    return lines > 0 ? lines : 1;
}

int buttonTextWidth(int controlWidth) { return controlWidth - 2 * kButtonFrame; }

int checkBoxTextWidth(int controlWidth, int digitWidth) { return controlWidth - kCheckBoxSize - digitWidth / 2; }

ControlPlace roomyButton(const ControlPlace& place, int captionWidth, int widest) {
    ControlPlace out = place;
    if (captionWidth <= buttonTextWidth(place.width)) return out;
    const int wanted = captionWidth + 2 * kButtonMargin;
    out.width = wanted < widest ? wanted : widest;
    return out;
}

CheckBoxRoom roomyCheckBox(const ControlPlace& place, const Measured& caption, int digitWidth, int widest) {
    CheckBoxRoom room{place, 1, 0};
    if (caption.words.empty() || caption.whole <= checkBoxTextWidth(place.width, digitWidth)) return room;
    if (widest > place.width && caption.whole <= checkBoxTextWidth(widest, digitWidth)) {
        room.place.width = widest;
        return room;
    }
    const int lines = wrappedLines(caption, checkBoxTextWidth(place.width, digitWidth));
    // A word wider than the box cannot be broken: the box keeps one line,
    // and the layout check names the cut caption.
    if (lines <= 1) return room;
    room.lines = lines;
    room.grown = (lines - 1) * caption.lineHeight;
    room.place.height += room.grown;
    return room;
}

}  // namespace captions
