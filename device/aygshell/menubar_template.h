#pragma once
// The menu-bar template that SHCreateMenuBar reads from a program's RCDATA
// resource: little-endian 16-bit words, the bar's menu resource, the number
// of soft keys, then seven words per key. Platform-free so that it is tested
// natively.
#include <cstddef>
#include <cstdint>

#include "base/status.h"

constexpr size_t kMenuBarMaxKeys = 2;          // a handheld has two soft keys
constexpr size_t kMenuBarHeaderWords = 2;      // menu resource, key count
constexpr size_t kMenuBarWordsPerKey = 7;
constexpr uint16_t kMenuBarNoImage = 0xFFFE;   // the key shows text only
constexpr uint16_t kMenuBarNoSubMenu = 0xFFFF;

struct SoftKeyTemplate {
    uint16_t image;      // image index, kMenuBarNoImage for none
    uint16_t command;    // sent as WM_COMMAND when the key is pressed
    uint8_t state;       // toolbar button state bits (enabled 0x04)
    uint8_t style;       // toolbar button style bits as the template wrote them
    uint16_t stringId;   // label from the program's string table, if it has it
    uint16_t subMenu;    // kMenuBarNoSubMenu for a key without a pop-up menu
};

struct MenuBarTemplate {
    uint16_t menuId;
    uint16_t keyCount;
    SoftKeyTemplate keys[kMenuBarMaxKeys];
};

// Reads a template of `size` bytes. Returns 0, or kStatusBadArgument when the
// bytes are too few for the keys they announce, announce no key or more keys
// than a handheld has, or a state or style does not fit its byte. Bytes after
// the last key are ignored, as resource compilers may pad.
Status parseMenuBarTemplate(const uint8_t* data, size_t size, MenuBarTemplate& out);
