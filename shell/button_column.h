#pragma once
// The Handheld PC's main screen: a column of four buttons (Scan, Settings,
// Report, Exit) on the left of its landscape screen, each with its
// description beside it. Built into the Handheld PC edition only.
#include <windows.h>

#include "shell/metrics.h"

namespace handheld {

// Creates the column's four buttons; Report disabled when there is no report.
void createButtonColumn(HWND window, const ScreenMetrics& m);
// Draws the four descriptions and gives back the right edge of the widest.
int drawDescriptions(HDC dc, const ScreenMetrics& m);
// Destroys the four buttons.
void destroyButtonColumn(HWND window);

}  // namespace handheld
