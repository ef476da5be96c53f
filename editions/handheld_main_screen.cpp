#include "shell/button_column.h"

#include <string>

#include "engine/report.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/handheld_layout.h"
#include "shell/keyboard.h"
#include "shell/lang.h"

namespace handheld {

namespace {
// Row by row: the button and the text that describes it.
struct ColumnRow {
    int id;
    uint32_t description;
};
constexpr ColumnRow kRows[layout::handheld::kColumnRows] = {
    {kMainScan, 8116}, {kMainSettings, 8117}, {kMainReport, 8118}, {kMainExit, 8119}};
}  // namespace

void createButtonColumn(HWND window, const ScreenMetrics& m) {
    for (int row = 0; row < layout::handheld::kColumnRows; ++row) {
        const int id = kRows[row].id;
        DWORD style = WS_CHILD | WS_VISIBLE;
        if (id == kMainReport && !reportExists()) style |= WS_DISABLED;
        std::wstring caption = lang.GetString(uint32_t(id));
        createControl(window, L"BUTTON", caption.c_str(), style, layout::handheld::columnButton(m, row), id);
    }
    focusControl(window, kMainScan);
}

int drawDescriptions(HDC dc, const ScreenMetrics& m) {
    int right = 0;
    for (int row = 0; row < layout::handheld::kColumnRows; ++row) {
        ControlPlace at = layout::handheld::columnDescription(m, row);
        std::wstring description = lang.GetString(kRows[row].description);
        drawText(dc, at.x, at.y, description.c_str(), kTextBlack);
        int end = at.x + textWidth(dc, description.c_str());
        if (end > right) right = end;
    }
    return right;
}

void destroyButtonColumn(HWND window) {
    for (const ColumnRow& row : kRows) destroyControl(window, row.id);
}

}  // namespace handheld
