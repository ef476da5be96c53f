#pragma once
// The message boxes every part of the main program uses: errors with the fixed
// product caption, questions with the product name of the current language.
#include <windows.h>

#include <cstdint>

// Shows an error with the stop icon. Codes 8600-8620 are language texts and
// are shown alone; any other non-zero code follows the text as "Error code: %d".
int ShowErrorBox(const wchar_t* text, uint32_t code);

// Shows language text `id` with the given message-box flags and the product
// name of the current language as caption; returns the button pressed.
int AskUser(uint32_t id, UINT flags);

// The text ShowErrorBox shows (the caller's text is copied first: it usually
// lives in the language object's shared buffer, which the next lookup reuses).
void composeErrorText(const wchar_t* text, uint32_t code, wchar_t* out, size_t capacity);
