#pragma once
// The size a server announces for the package. Platform-free.
#include <cstdint>

// The Content-Length text as a size: a plain decimal number (digits only,
// at least one) within 32 bits; anything else counts as 0, the "no size"
// that refuses the download.
uint32_t contentLengthValue(const wchar_t* text);
