// Report screen: the text of the last scan's "report.txt" in a scrollable box,
// with Back to the main screen.
#include <cwchar>
#include <string>
#include <vector>

#include "base/edition.h"
#include "engine/fileio.h"
#include "shell/config.h"
#include "shell/controls.h"
#include "shell/draw.h"
#include "shell/handheld_layout.h"
#include "shell/keyboard.h"
#include "shell/lang.h"
#include "shell/screens.h"

namespace {

constexpr uint32_t kModeRead = 1;

}  // namespace

void loadReportText(HWND box) {
    wchar_t folder[MAX_PATH + 1];
    if (moduleDirectory(folder) != kStatusOk) return;
    std::wstring path = std::wstring(folder) + L"\\report.txt";
    HANDLE file = nullptr;
    if (fileOpen(path.c_str(), kModeRead, &file) != kStatusOk) return;
    uint64_t size = fileSize(file);
    if (size != ~uint64_t(0) && size < 0x7FFFFFFF) {
        std::vector<char> bytes(size_t(size) + 1, 0);
        if (fileRead(file, bytes.data(), static_cast<uint32_t>(size), nullptr) == kStatusOk) {
            // Each byte becomes one character through the device's code page.
            std::vector<wchar_t> wide(size_t(size) + 1, 0);
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(size), wide.data(), int(size));
            // A long report (every file of the device) is more than an edit
            // box takes by default.
            SendMessageW(box, EM_SETLIMITTEXT, WPARAM(size + 1), 0);
            SetWindowTextW(box, wide.data());
        }
    }
    fileClose(file);
}

void buildReportScreen(HWND window) {
    g_config.s_nScreen = kScreenReport;
    const ScreenMetrics& m = g_config.s_metrics;
    {
        ScreenDC dc(window);
        drawText(dc.get(), m.leftMargin, m.lineHeight, lang.GetString(8317), kTextBlack);
    }
    if (GetDlgItem(window, kReportText)) return;
    HWND box = createControl(window, L"EDIT", L"",
                             WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                 ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                             kHasLandscapeScreens ? layout::handheld::reportText(m) : layout::reportText(m),
                             kReportText);
    createControl(window, L"BUTTON", lang.GetString(kReportBack), WS_CHILD | WS_VISIBLE,
                  kHasLandscapeScreens ? layout::handheld::reportBack(m) : layout::reportBack(m), kReportBack);
    focusControl(window, kReportBack);
    if (box) loadReportText(box);
}

void tearDownReportScreen(HWND window) {
    destroyControl(window, kReportText);
    destroyControl(window, kReportBack);
    ScreenDC dc(window);
    clearClient(dc.get(), g_config.s_metrics);
    ValidateRect(window, nullptr);
}
