// Each screen as a list of controls and drawn lines, placed by the layout
// functions that the screens themselves call (metrics.h, handheld_layout.h,
// smartphone_layout.h) and measured with the device's fonts. The main
// screen is modelled once for each wording of the age of the last update
// check, since each has its own width.
#include "shell/tests/screen_models.h"

#include <array>

#include "shell/age_text.h"
#include "shell/handheld_layout.h"
#include "shell/smartphone_layout.h"

namespace screens {

namespace {

// A drop-down list (the Pocket PC's report level) is as tall as its one row
// while closed: its font's height and its frame, as measured on the device.
constexpr int kDropDownFrame = 8;

bool overlap(const ControlPlace& a, const ControlPlace& b) {
    return a.width > 0 && b.width > 0 && a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

std::string describe(const ControlPlace& p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + " " + std::to_string(p.width) + "x" +
           std::to_string(p.height) + ")";
}

std::string utf8(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The wordings of the age line that a user can meet, each with its label.
struct AgeWording {
    std::u16string label;
    std::u16string value;
};

std::vector<AgeWording> ageWordings(const Texts& texts, uint16_t language) {
    std::vector<AgeWording> out;
    // Never checked, checked in another year, and the widest count of each unit.
    for (uint32_t age : {0u, 0xFFFFFFFFu, 59u, 59u * 60, 23u * 3600, 364u * 86400}) {
        CheckAgeText wording = describeCheckAge(age);
        std::u16string value = u" ";
        if (wording.hasCount) {
            for (char c : std::to_string(wording.count)) value += char16_t(c);
            value += u" ";
        }
        value += texts(wording.textId);
        out.push_back({texts(checkAgeLabelId(language, wording)), value});
    }
    return out;
}

captions::Measured measured(const DeviceFontTable& fonts, DeviceFont font, const std::u16string& text) {
    return captions::measure(std::u16string_view(text), fonts.metrics(font).height,
                             [&](std::u16string_view s) { return fonts.width(font, s); });
}

// A screen under construction.
class Builder {
public:
    Builder(std::string name, const ScreenMetrics& m, int bottom, const DeviceFontTable& fonts) : fonts_(fonts) {
        screen_.name = std::move(name);
        screen_.width = m.clientWidth;
        screen_.height = m.clientHeight;
        screen_.bottom = bottom;
    }
    void control(int id, const ControlPlace& place) { screen_.controls.push_back({id, place}); }
    // A control with a caption in `font`; of several captions (a button
    // relabelled while shown), the widest.
    void captioned(int id, const ControlPlace& place, CaptionKind kind, DeviceFont font,
                   std::initializer_list<std::u16string> texts, int lines = 1) {
        ModelCaption caption{id, kind, {}, fonts_.advance(font, u'0'), lines};
        for (const std::u16string& text : texts) {
            captions::Measured m = measured(fonts_, font, text);
            if (m.whole >= caption.text.whole) caption.text = m;
        }
        screen_.controls.push_back({id, place});
        screen_.captions.push_back(caption);
    }
    void text(const std::string& what, int x, int y, int width, int height) {
        screen_.texts.push_back({what, {x, y, width, height}});
    }
    ScreenModel done() { return std::move(screen_); }

private:
    const DeviceFontTable& fonts_;
    ScreenModel screen_;
};

// The four Pocket PC screens, or the Handheld PC's where `handheld`.
std::vector<ScreenModel> touchScreens(const DeviceScreen& device, const ScreenMetrics& m, bool handheld,
                                      const DeviceFontTable& fonts, const Texts& texts, uint16_t language,
                                      const std::u16string& databaseVersion) {
    namespace hpc = layout::handheld;
    const DeviceFont font = DeviceFont::interface8;
    const int fontHeight = fonts.metrics(font).height;
    auto width = [&](const std::u16string& s) { return fonts.width(font, s); };
    const int h = m.lineHeight;
    const std::string prefix = std::string(device.name) + " ";
    std::vector<ScreenModel> out;

    // Main screen, once per wording of the age line.
    for (const AgeWording& age : ageWordings(texts, language)) {
        Builder b(prefix + "main, age \"" + utf8(age.value) + "\"", m, m.clientHeight, fonts);
        int areaLeft = 0;
        if (handheld) {
            const uint32_t ids[hpc::kColumnRows] = {8102, 8103, 8104, 8120};
            const uint32_t descriptions[hpc::kColumnRows] = {8116, 8117, 8118, 8119};
            int right = 0;
            for (int row = 0; row < hpc::kColumnRows; ++row) {
                b.captioned(int(ids[row]), hpc::columnButton(m, row), CaptionKind::button, font, {texts(ids[row])});
                ControlPlace at = hpc::columnDescription(m, row);
                int w = width(texts(descriptions[row]));
                b.text("description " + std::to_string(descriptions[row]), at.x, at.y, w, fontHeight);
                if (at.x + w > right) right = at.x + w;
            }
            areaLeft = hpc::textAreaLeft(m, right);
        } else {
            for (int i = 0; i < 3; ++i) {
                b.captioned(8102 + i, layout::mainButton(m, i), CaptionKind::button, font, {texts(8102 + i)});
            }
        }
        const struct {
            int line;
            std::u16string text;
        } lines[] = {{0, texts(8100)},
                     {2, texts(8101)},
                     {6, texts(8105) + texts(8021)},
                     {7, texts(8112) + databaseVersion},
                     {10, age.label + age.value}};
        for (const auto& line : lines) {
            int w = width(line.text);
            b.text("line " + std::to_string(line.line), areaLeft + (m.clientWidth - areaLeft - w) / 2,
                   layout::mainTextTop(m, line.line), w, fontHeight);
        }
        out.push_back(b.done());
    }

    // Scan screen.
    {
        Builder b(prefix + "scan", m, m.clientHeight, fonts);
        const int scanned = width(texts(8201));
        b.text("label 8200", m.leftMargin, h, width(texts(8200)), fontHeight);
        b.text("label 8201", m.leftMargin, 5 * h, scanned, fontHeight);
        b.text("label 8202", m.leftMargin, 6 * h, width(texts(8202)), fontHeight);
        b.control(8211, layout::scanCurrentFile(m));
        b.control(8212, layout::scanScannedCount(m, scanned));
        b.control(8213, layout::scanInfectedCount(m, scanned));
        b.control(116, handheld ? hpc::scanList(m) : layout::scanList(m));
        b.captioned(8206, handheld ? hpc::scanDelete(m) : layout::scanDelete(m), CaptionKind::button, font,
                    {texts(8206)});
        // Cancel becomes Done when the scan has ended.
        b.captioned(8207, handheld ? hpc::scanCancel(m) : layout::scanCancel(m), CaptionKind::button, font,
                    {texts(8207), texts(8214)});
        out.push_back(b.done());
    }

    // Report screen.
    {
        Builder b(prefix + "report", m, m.clientHeight, fonts);
        b.text("label 8317", m.leftMargin, h, width(texts(8317)), fontHeight);
        b.control(118, handheld ? hpc::reportText(m) : layout::reportText(m));
        b.captioned(8318, handheld ? hpc::reportBack(m) : layout::reportBack(m), CaptionKind::button, font,
                    {texts(8318)});
        out.push_back(b.done());
    }

    // Settings screen: above the band under the input panel's button.
    {
        Builder b(prefix + "settings", m, m.clientHeight - device.inputPanelBand, fonts);
        const auto label = [&](int id, const ControlPlace& place) {
            b.captioned(id, place, CaptionKind::label, font, {texts(uint32_t(id))});
        };
        const auto box = [&](int id, const ControlPlace& place, int lines) {
            b.captioned(id, place, CaptionKind::checkBox, font, {texts(uint32_t(id))}, lines);
        };
        const captions::SettingsCaptions c{width(texts(8402)), measured(fonts, font, texts(8404)),
                                           fonts.advance(font, u'0')};
        if (handheld) {
            label(8400, hpc::settingsLanguageLabel(m));
            b.control(8401, hpc::settingsLanguageList(m));
            label(8408, hpc::settingsReportLabel(m));
            b.control(8410, hpc::settingsReportLevel(m));
            const captions::CheckBoxRoom card = hpc::settingsStorageCard(m, c);
            box(8404, card.place, card.lines);
            box(8409, hpc::settingsAutoUpdate(m), 1);
        } else {
            label(8400, layout::settingsLanguageLabel(m));
            b.control(8401, layout::settingsLanguageList(m));
            label(8408, layout::settingsReportLabel(m));
            ControlPlace levels = layout::settingsReportLevel(m);
            levels.height = fontHeight + kDropDownFrame;
            b.control(8410, levels);
            const captions::CheckBoxRoom card = layout::settingsStorageCard(m, c);
            box(8404, card.place, card.lines);
            box(8409, layout::settingsAutoUpdate(m, c), 1);
        }
        b.captioned(8402, layout::settingsUpdate(m, c), CaptionKind::button, font, {texts(8402)});
        b.captioned(8403, layout::settingsDone(m), CaptionKind::button, font, {texts(8403)});
        out.push_back(b.done());
    }
    return out;
}

// Why a control's caption is cut, or nothing when it reads whole.
std::string captionFault(const ModelControl& c, const ModelCaption& caption) {
    const int whole = caption.text.whole;
    const std::string wide = "is " + std::to_string(whole) + " wide";
    switch (caption.kind) {
        case CaptionKind::none: return "";
        case CaptionKind::button: {
            const int room = captions::buttonTextWidth(c.place.width);
            return whole <= room ? "" : wide + ", its text area " + std::to_string(room);
        }
        case CaptionKind::checkBox: {
            const int room = captions::checkBoxTextWidth(c.place.width, caption.digitWidth);
            if (caption.lines == 1) return whole <= room ? "" : wide + ", its text area " + std::to_string(room);
            break;
        }
        case CaptionKind::label: break;
    }
    // Broken at its blanks: as many lines as the control shows or its height holds.
    const int room = caption.kind == CaptionKind::checkBox
                         ? captions::checkBoxTextWidth(c.place.width, caption.digitWidth)
                         : c.place.width;
    const int height = caption.text.lineHeight > 0 ? caption.text.lineHeight : 1;
    int shown = c.place.height / height;
    if (caption.kind == CaptionKind::checkBox && caption.lines < shown) shown = caption.lines;
    const int lines = captions::wrappedLines(caption.text, room);
    if (lines == 0) return "holds a word wider than its text area " + std::to_string(room);
    if (lines > shown) {
        return wide + ", takes " + std::to_string(lines) + " lines of " + std::to_string(room) + ", the control shows " +
               std::to_string(shown);
    }
    return "";
}

}  // namespace

std::vector<std::string> layoutFaults(const ScreenModel& screen) {
    std::vector<std::string> faults;
    auto fault = [&](const std::string& what) { faults.push_back(screen.name + ": " + what); };
    auto inside = [&](const ControlPlace& p) {
        return p.x >= 0 && p.y >= 0 && p.x + p.width <= screen.width && p.y + p.height <= screen.bottom;
    };
    const std::string area = " leaves the client area (" + std::to_string(screen.width) + "x" +
                             std::to_string(screen.bottom) + " to use)";
    for (size_t i = 0; i < screen.controls.size(); ++i) {
        const ModelControl& c = screen.controls[i];
        if (!inside(c.place)) fault("control " + std::to_string(c.id) + " " + describe(c.place) + area);
        for (size_t j = i + 1; j < screen.controls.size(); ++j) {
            const ModelControl& d = screen.controls[j];
            if (overlap(c.place, d.place)) {
                fault("controls " + std::to_string(c.id) + " " + describe(c.place) + " and " + std::to_string(d.id) +
                      " " + describe(d.place) + " overlap");
            }
        }
    }
    for (const ModelCaption& caption : screen.captions) {
        for (const ModelControl& c : screen.controls) {
            const std::string why = c.id == caption.id ? captionFault(c, caption) : "";
            if (!why.empty()) fault("the caption of control " + std::to_string(c.id) + " " + describe(c.place) + " " + why);
        }
    }
    for (size_t i = 0; i < screen.texts.size(); ++i) {
        const ModelText& t = screen.texts[i];
        if (!inside(t.place)) fault(t.what + " " + describe(t.place) + area);
        for (const ModelControl& c : screen.controls) {
            if (overlap(t.place, c.place)) {
                fault(t.what + " " + describe(t.place) + " runs under control " + std::to_string(c.id) + " " +
                      describe(c.place));
            }
        }
        for (size_t j = i + 1; j < screen.texts.size(); ++j) {
            const ModelText& u = screen.texts[j];
            if (overlap(t.place, u.place)) {
                fault(t.what + " " + describe(t.place) + " and " + u.what + " " + describe(u.place) + " overlap");
            }
        }
    }
    return faults;
}

ScreenMetrics pocketPcMetrics(const DeviceScreen& device, const DeviceFontTable& fonts) {
    const DeviceFontMetrics& f = fonts.metrics(DeviceFont::interface8);
    return computeScreenMetrics(device.clientWidth, device.clientHeight, f.average, f.height, f.leading, 1);
}

ScreenMetrics handheldPcMetrics(const DeviceScreen& device, const DeviceFontTable& fonts) {
    const DeviceFontMetrics& f = fonts.metrics(DeviceFont::interface8);
    return computeScreenMetrics(device.clientWidth, device.clientHeight, f.average, f.height, f.leading, 1, 14);
}

ScreenMetrics smartphoneMetrics(const DeviceScreen& device, const DeviceFontTable& fonts) {
    ScreenMetrics m = pocketPcMetrics(device, fonts);
    // The Smartphone's lines are those of its 10-point font.
    const DeviceFontMetrics& normal = fonts.metrics(DeviceFont::normal10);
    m.lineHeight = normal.height + normal.leading;
    return m;
}

std::vector<ScreenModel> pocketPcScreens(const DeviceScreen& device, const DeviceFontTable& fonts, const Texts& texts,
                                         uint16_t language, const std::u16string& databaseVersion) {
    return touchScreens(device, pocketPcMetrics(device, fonts), false, fonts, texts, language, databaseVersion);
}

std::vector<ScreenModel> handheldPcScreens(const DeviceScreen& device, const DeviceFontTable& fonts,
                                           const Texts& texts, uint16_t language,
                                           const std::u16string& databaseVersion) {
    return touchScreens(device, handheldPcMetrics(device, fonts), true, fonts, texts, language, databaseVersion);
}

std::vector<ScreenModel> smartphoneScreens(const DeviceScreen& device, bool landscape, const DeviceFontTable& fonts,
                                           const Texts& texts, uint16_t language,
                                           const std::u16string& databaseVersion) {
    namespace sp = layout::smartphone;
    const ScreenMetrics m = smartphoneMetrics(device, fonts);
    const int h = m.lineHeight;
    const std::string prefix = std::string(device.name) + " ";
    auto height = [&](DeviceFont f) { return fonts.metrics(f).height; };
    std::vector<ScreenModel> out;

    for (const AgeWording& age : ageWordings(texts, language)) {
        Builder b(prefix + "main, age \"" + utf8(age.value) + "\"", m, m.clientHeight, fonts);
        const std::pair<std::u16string, std::u16string> pairs[sp::kMainLines] = {
            {u"", texts(10002)},
            {u"", texts(8101)},
            {texts(8105), texts(8021)},
            {texts(8112), databaseVersion},
            {age.label, age.value}};
        std::array<sp::LineWidths, sp::kMainLines> widths;
        for (int i = 0; i < sp::kMainLines; ++i) {
            const std::u16string whole = pairs[i].first + pairs[i].second;
            widths[i] = {fonts.width(DeviceFont::normal10, whole), fonts.width(DeviceFont::light8, whole)};
        }
        const auto lines = sp::mainLines(m, landscape, widths);
        for (int i = 0; i < sp::kMainLines; ++i) {
            const std::string what = "line " + std::to_string(i);
            switch (lines[i].form) {
                case sp::LineForm::oneLine:
                    b.text(what, (m.clientWidth - widths[i].normal) / 2, lines[i].top, widths[i].normal,
                           height(DeviceFont::normal10));
                    break;
                case sp::LineForm::smallFont:
                    b.text(what, (m.clientWidth - widths[i].small) / 2, lines[i].top, widths[i].small,
                           height(DeviceFont::light8));
                    break;
                case sp::LineForm::twoLines:
                    for (int part = 0; part < 2; ++part) {
                        const std::u16string& s = part == 0 ? pairs[i].first : pairs[i].second;
                        int w = fonts.width(DeviceFont::normal10, s);
                        b.text(what + (part == 0 ? " label" : " value"), (m.clientWidth - w) / 2,
                               lines[i].top + part * h, w, height(DeviceFont::normal10));
                    }
                    break;
            }
        }
        out.push_back(b.done());
    }

    {
        Builder b(prefix + "scan", m, m.clientHeight, fonts);
        const int labels[2] = {fonts.width(DeviceFont::bold10, texts(8201)),
                               fonts.width(DeviceFont::bold10, texts(8202))};
        const sp::ScanPlaces p = sp::scanPlaces(m, landscape, labels);
        const int bold = height(DeviceFont::bold10);
        b.text("label 8200", sp::kHalfMargin, p.headingTop, fonts.width(DeviceFont::bold10, texts(8200)), bold);
        b.text("label 8201", sp::kHalfMargin, p.labelTop[0], labels[0], bold);
        b.text("label 8202", sp::kHalfMargin, p.labelTop[1], labels[1], bold);
        b.control(8211, p.currentFile);
        b.control(8212, p.count[0]);
        b.control(8213, p.count[1]);
        out.push_back(b.done());
    }

    {
        Builder b(prefix + "infected files", m, m.clientHeight, fonts);
        b.text("heading 10012", sp::kHalfMargin, sp::headingTop(m), fonts.width(DeviceFont::bold10, texts(10012)),
               height(DeviceFont::bold10));
        b.control(10009, sp::infectedList(m));
        out.push_back(b.done());
    }

    {
        Builder b(prefix + "report", m, m.clientHeight, fonts);
        b.text("heading 8317", sp::kHalfMargin, sp::headingTop(m), fonts.width(DeviceFont::bold10, texts(8317)),
               height(DeviceFont::bold10));
        b.control(118, sp::reportText(m));
        out.push_back(b.done());
    }

    {
        Builder b(prefix + "settings", m, m.clientHeight, fonts);
        for (int id : {8400, 8408}) {
            b.captioned(id, id == 8400 ? sp::settingsLanguageLabel(m) : sp::settingsReportLabel(m), CaptionKind::label,
                        DeviceFont::bold8, {texts(uint32_t(id))});
        }
        b.control(8401, sp::spinnerList(sp::settingsLanguageSpinner(m)));
        b.control(10003, sp::spinnerArrows(sp::settingsLanguageSpinner(m)));
        b.control(8410, sp::spinnerList(sp::settingsReportSpinner(m)));
        b.control(10007, sp::spinnerArrows(sp::settingsReportSpinner(m)));
        const DeviceFont boxes = DeviceFont::light8;
        const captions::SettingsCaptions c{0, measured(fonts, boxes, texts(8404)), fonts.advance(boxes, u'0')};
        const captions::CheckBoxRoom card = sp::settingsStorageCard(m, c);
        b.captioned(8404, card.place, CaptionKind::checkBox, boxes, {texts(8404)}, card.lines);
        b.captioned(8409, sp::settingsAutoUpdate(m, c), CaptionKind::checkBox, boxes, {texts(8409)});
        out.push_back(b.done());
    }
    return out;
}

}  // namespace screens
