#pragma once
// The device's fonts as numbers, so that a platform-free test can lay out the
// screens with the widths their texts really have there. The table
// (shell/tests/device_fonts.txt) is measured once on the device with
// `test_device_fonts --print`, and the device test `win.device_fonts` checks
// that the device still measures every font and text as the table says.
//
// Text format, one record a line ('#' starts a comment):
//   font NAME HEIGHT LEADING AVERAGE   a font: tmHeight, tmExternalLeading, tmAveCharWidth
//   XXXX W1 W2 ...                     a character (hex code unit) and its advance
//                                      width in each font, in the order of the fonts
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The fonts the screens draw with: the platform's interface font of the
// Pocket PC and Handheld PC screens, and the Smartphone's four.
enum class DeviceFont { interface8, normal10, bold10, bold8, light8 };
constexpr int kDeviceFontCount = 5;
// The names of the fonts in the table, in DeviceFont's order.
extern const char* const kDeviceFontNames[kDeviceFontCount];

struct DeviceFontMetrics {
    int height = 0;   // tmHeight
    int leading = 0;  // tmExternalLeading
    int average = 0;  // tmAveCharWidth
};

class DeviceFontTable {
public:
    // Reads the table's text; false (with the line's number and why in
    // `error`) when it is malformed or lacks a font.
    bool parse(std::string_view text, std::string& error);

    const DeviceFontMetrics& metrics(DeviceFont font) const { return metrics_[int(font)]; }
    // The characters the table knows, in order.
    std::vector<char16_t> characters() const;
    // A character's advance width, or -1 when the table does not hold it.
    int advance(DeviceFont font, char16_t c) const;
    // A text's width as drawn: the sum of its characters' advances (the
    // device's text output adds no kerning). Characters the table lacks are
    // counted as the font's widest known character, and `missing` (when
    // given) is set.
    int width(DeviceFont font, std::u16string_view text, bool* missing = nullptr) const;

private:
    DeviceFontMetrics metrics_[kDeviceFontCount];
    std::map<char16_t, std::vector<int>> advances_;
    int widest_[kDeviceFontCount] = {};
};
