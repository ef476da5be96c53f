#pragma once
// Where one control stands in its window's client area, in pixels: what the
// layouts compute and the room made for a caption adjusts.

struct ControlPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
