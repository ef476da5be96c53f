#pragma once
// What the parts of AygShell.dll share.
#include <windows.h>

namespace aygshell {

// This library's module (for its window classes).
HINSTANCE thisModule();

// The input panel's button window of a touch-screen device, created on the
// first call into the library; null on a device without a touch screen.
HWND sipButton();

}  // namespace aygshell
