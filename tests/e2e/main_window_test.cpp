// zerbin started on the device as a person starts it: its main window, with
// the class and title that the monitor and a second instance look for, fills
// the work area of the 240x320 screen, and the screen can be photographed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/e2e_support.h"
#include "tools/drive/automation.h"
#include "tools/drive/tests/png_reader.h"

namespace {

using namespace zbauto;

constexpr wchar_t kProgram[] = L"\"C:\\Program Files\\zerbin\\zerbin.exe\"";

std::string narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

TEST(MainWindow, FillsTheWorkAreaOfTheScreenAndEndsOnClose) {
    e2e::endAll(L"zerbin.exe");  // a program left by an earlier run would be found instead
    PROCESS_INFORMATION info{};
    ASSERT_EQ(startProgram(kProgram, info), kStatusOk);
    CloseHandle(info.hThread);

    WindowQuery query;
    query.className = L"zerbin4windowClass";
    query.title = L"zerbin! antivirus";
    query.processId = info.dwProcessId;
    HWND window = nullptr;
    Status found = waitTopWindow(query, 30000, window);
    if (found != kStatusOk) {
        // Say why: a start-up message box is the likeliest.
        HWND box = nullptr;
        MessageBoxContent content;
        if (waitMessageBox(info.dwProcessId, nullptr, 0, box) == kStatusOk && readMessageBox(box, content) == kStatusOk) {
            ADD_FAILURE() << "zerbin shows a message box: " << narrow(content.caption) << ": " << narrow(content.text);
        }
        TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
        FAIL() << "no main window (status " << found << ")";
    }

    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
    RECT work{}, rect{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_EQ(readRect(window, rect), kStatusOk);
    EXPECT_TRUE(EqualRect(&rect, &work)) << "window " << rect.left << " " << rect.top << " " << rect.right << " "
                                         << rect.bottom << ", work area " << work.left << " " << work.top << " "
                                         << work.right << " " << work.bottom;
    EXPECT_GE(work.right - work.left, 200);
    EXPECT_LE(work.right, 240);
    EXPECT_LE(work.bottom, 320);

    const std::wstring path = L"C:\\Temp\\e2e_main_window.png";
    DeleteFileW(path.c_str());
    ASSERT_EQ(saveScreenshot(path), kStatusOk);
    std::vector<uint8_t> file = e2e::readFileBytes(path);
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(file.size(), 33u);
    EXPECT_TRUE(std::equal(signature, signature + 8, file.begin()));
    pngtest::Image image;
    std::string error;
    ASSERT_TRUE(pngtest::readPng(file, image, error)) << error;
    EXPECT_EQ(image.width, 240u);
    EXPECT_EQ(image.height, 320u);
    ASSERT_EQ(image.rgb.size(), 240u * 320u * 3u);

    // A pixel in the middle of the window, read from the screen, is the
    // screenshot's pixel there.
    RECT client{};
    GetClientRect(window, &client);
    POINT middle{client.right / 2, client.bottom / 2};
    ClientToScreen(window, &middle);
    COLORREF colour = 0;
    ASSERT_EQ(readPixel(middle.x, middle.y, colour), kStatusOk);
    const uint8_t* px = &image.rgb[(static_cast<size_t>(middle.y) * 240 + middle.x) * 3];
    EXPECT_EQ(RGB(px[0], px[1], px[2]), colour);
    DeleteFileW(path.c_str());

    ASSERT_EQ(postClose(window), kStatusOk);
    DWORD code = 1;
    EXPECT_EQ(waitProcess(info.hProcess, 30000, code), kStatusOk);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(IsWindow(window));
    CloseHandle(info.hProcess);
}

}  // namespace
