#include "device/aygshell/menubar_template.h"

namespace {

uint16_t wordAt(const uint8_t* data, size_t index) {
    return static_cast<uint16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

}  // namespace

Status parseMenuBarTemplate(const uint8_t* data, size_t size, MenuBarTemplate& out) {
    out = MenuBarTemplate{};
    if (!data || size < 2 * kMenuBarHeaderWords) return kStatusBadArgument;
    const uint16_t count = wordAt(data, 1);
    if (count == 0 || count > kMenuBarMaxKeys) return kStatusBadArgument;
    if (size < 2 * (kMenuBarHeaderWords + count * kMenuBarWordsPerKey)) return kStatusBadArgument;

    MenuBarTemplate parsed{};
    parsed.menuId = wordAt(data, 0);
    parsed.keyCount = count;
    for (size_t k = 0; k < count; ++k) {
        const size_t w = kMenuBarHeaderWords + k * kMenuBarWordsPerKey;
        const uint16_t state = wordAt(data, w + 2);
        const uint16_t style = wordAt(data, w + 3);
        // The toolbar keeps state and style in one byte each.
        if (state > 0xFF || style > 0xFF) return kStatusBadArgument;
        SoftKeyTemplate& key = parsed.keys[k];
        key.image = wordAt(data, w);
        key.command = wordAt(data, w + 1);
        key.state = static_cast<uint8_t>(state);
        key.style = static_cast<uint8_t>(style);
        key.stringId = wordAt(data, w + 4);
        // word w + 5 is reserved
        key.subMenu = wordAt(data, w + 6);
    }
    out = parsed;
    return kStatusOk;
}
