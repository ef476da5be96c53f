#pragma once
// Drawing helpers shared by the screens: one device context per drawing, the
// screen font, white clearing, text in the screens' colours, child controls.
#include <windows.h>

#include "shell/captions.h"
#include "shell/metrics.h"

constexpr COLORREF kTextBlack = RGB(0, 0, 0);
constexpr COLORREF kValueBlue = RGB(0, 0, 255);
constexpr COLORREF kWarningRed = RGB(255, 0, 0);
constexpr COLORREF kBackgroundWhite = RGB(255, 255, 255);

// The font every screen draws and labels its controls with. On a handheld the
// device context's default font is the device's 8-point interface font; the
// desktop's default is a 16-pixel bold system font whose metrics would push
// the screens' layout off a handheld screen, so the screens ask explicitly for
// the platform's interface font.
HFONT screenFont();

// A device context of the main window with the screen font selected, released
// (with the font deselected) when it goes out of scope.
class ScreenDC {
public:
    explicit ScreenDC(HWND window);
    ~ScreenDC();
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ previousFont_;
};

// Fills the client area white: the rectangle (0, 0) to (width + 1, height + 1).
void clearClient(HDC dc, const ScreenMetrics& metrics);

// Draws a text with its top-left corner at (x, y), transparent, in `color`.
void drawText(HDC dc, int x, int y, const wchar_t* text, COLORREF color);

// Copies a w x h bitmap to (x, y) of `dc`.
void drawBitmap(HDC dc, HBITMAP bitmap, int x, int y, int w, int h);

// The drawn width of a text in the screen font.
int textWidth(HDC dc, const wchar_t* text);

// A caption as the font selected into `dc` draws it, for the layout's room
// for captions (captions.h).
captions::Measured measureCaption(HDC dc, const wchar_t* text);
// The width of "0" in the font selected into `dc`: a check box's gap is half of it.
int digitWidth(HDC dc);

// Creates a child control of the main window with the screen font.
HWND createControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, const ControlPlace& place,
                   int id, DWORD extendedStyle = 0);

// Moves the child control `id` of `parent` to `place` when it stands
// elsewhere (a caption of another language needs other room), whitening the
// parent where it stood.
void placeControl(HWND parent, int id, const ControlPlace& place);
// A check box breaks its caption onto more lines only with BS_MULTILINE:
// set for more than one line, cleared for one.
void setCheckBoxLines(HWND parent, int id, int lines);
// The style bit that lets a button show `lines` lines.
constexpr DWORD multiLineStyle(int lines) { return lines > 1 ? DWORD(BS_MULTILINE) : 0; }

// Destroys the child control `id` of `parent` if it exists.
void destroyControl(HWND parent, int id);
