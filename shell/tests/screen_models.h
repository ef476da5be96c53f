#pragma once
// Models of every edition's screens for the layout check: where each screen
// puts its controls and draws its lines of text, from the same layout
// functions the screens call, with the widths the texts have in the device's
// fonts. Shared by the native layout check and the device test that confirms
// the models on the landscape Smartphone.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/captions.h"
#include "shell/metrics.h"
#include "shell/tests/device_fonts.h"

namespace screens {

// How a control draws its caption, which decides the room the text has.
enum class CaptionKind {
    none,      // no caption, or one the check does not measure (a file's path)
    button,    // one line inside the frame and its margins
    checkBox,  // after the box and its gap, on as many lines as the control shows
    label,     // a static: broken at blanks onto as many lines as its height holds
};

// The caption of the control `id`.
struct ModelCaption {
    int id = 0;
    CaptionKind kind = CaptionKind::none;
    captions::Measured text;  // in the control's font
    int digitWidth = 0;       // "0" in that font (the check box's gap)
    int lines = 1;            // the lines a check box shows (more than one: it breaks its caption)
};

struct ModelControl {
    int id = 0;
    ControlPlace place;
};

// A line of text drawn on the screen itself: its width is the text's, its
// height the font's.
struct ModelText {
    std::string what;
    ControlPlace place;
};

struct ScreenModel {
    std::string name;
    int width = 0;   // the client area, without the caption or menu bar
    int height = 0;
    int bottom = 0;  // what the screen may use from the top: above the input panel's band
    std::vector<ModelControl> controls;
    std::vector<ModelText> texts;
    std::vector<ModelCaption> captions;
};

// What does not fit: controls or lines outside the client area (or below
// `bottom`), controls over one another, lines over controls or over other
// lines, captions wider than their control's text area (or on more lines
// than it shows). One readable sentence each; empty when the screen fits.
std::vector<std::string> layoutFaults(const ScreenModel& screen);

// A language's text by its ID, as the screens look it up.
using Texts = std::function<std::u16string(uint32_t id)>;

// A device's screen: the client area of the program's window on it (without
// its caption and, on the Smartphone, its menu bar) and the band the settings
// screen draws under the input panel's button (0 where there is none).
struct DeviceScreen {
    const char* name;
    int clientWidth;
    int clientHeight;
    int inputPanelBand;
};

// The devices' screens, as measured there: 240 x 320 and 320 x 240 (the
// Pocket PC turned) under a caption of 22 pixels and frame of 3, with the
// input panel's band of 26 + 2; 640 x 240; the Smartphone's 176 x 220 and
// 220 x 176, above a menu bar of 26 pixels.
inline constexpr DeviceScreen kPocketPcScreen{"ppc", 234, 295, 28};
// Windows Mobile 5 runs the Pocket PC's screens on the same screen.
inline constexpr DeviceScreen kWindowsMobile5Screen{"wm5", 234, 295, 28};
inline constexpr DeviceScreen kPocketPcSidewaysScreen{"ppc-land", 314, 215, 28};
inline constexpr DeviceScreen kHandheldPcScreen{"hpc", 634, 215, 0};
inline constexpr DeviceScreen kSmartphoneScreen{"sphone", 170, 169, 0};
inline constexpr DeviceScreen kSmartphoneSidewaysScreen{"sphone-land", 214, 125, 0};

// A database version as wide as any release's will be.
inline const std::u16string kWidestDatabaseVersion = u"1.999";

// The screens of one edition on one device in one language (`language`, the
// primary language ID, decides the French label of the age line), the main
// screen showing `databaseVersion`. The main screen comes first, once for each
// wording of the age of the last check, never checked first.
std::vector<ScreenModel> pocketPcScreens(const DeviceScreen& device, const DeviceFontTable& fonts, const Texts& texts,
                                         uint16_t language,
                                         const std::u16string& databaseVersion = kWidestDatabaseVersion);
std::vector<ScreenModel> handheldPcScreens(const DeviceScreen& device, const DeviceFontTable& fonts,
                                           const Texts& texts, uint16_t language,
                                           const std::u16string& databaseVersion = kWidestDatabaseVersion);
// `landscape`: the phone held sideways (its screen wider than high).
std::vector<ScreenModel> smartphoneScreens(const DeviceScreen& device, bool landscape, const DeviceFontTable& fonts,
                                           const Texts& texts, uint16_t language,
                                           const std::u16string& databaseVersion = kWidestDatabaseVersion);

// The metrics each edition's window computes on a device.
ScreenMetrics pocketPcMetrics(const DeviceScreen& device, const DeviceFontTable& fonts);
ScreenMetrics handheldPcMetrics(const DeviceScreen& device, const DeviceFontTable& fonts);
ScreenMetrics smartphoneMetrics(const DeviceScreen& device, const DeviceFontTable& fonts);

}  // namespace screens
