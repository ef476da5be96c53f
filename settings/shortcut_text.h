#pragma once
// The content of a Startup-folder shortcut: `count#"target"`, 8-bit, with no
// line end and no terminating zero, where count is the number of characters
// after "#" (the target and its two quotes), as the platform reads it.
// Platform-free.
#include <cstddef>

// Enough for a target of 1024 bytes (a 512-character path in a double-byte
// code page), its quotes and the count.
constexpr size_t kShortcutTextCapacity = 1024 + 2 + 16;

// Writes the content for `target` (`targetLength` bytes, at most 1024) into
// `out` and returns its length in bytes; 0 when the target is too long.
size_t shortcutText(const char* target, size_t targetLength, char (&out)[kShortcutTextCapacity]);
