// The platform-free parts of the device's CE libraries: the menu-bar template
// reader and the connection manager's configured modes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/aygshell/menubar_template.h"
#include "device/cellcore/connmgr_mode.h"

namespace {

std::vector<uint8_t> bytesOf(std::initializer_list<uint16_t> words) {
    std::vector<uint8_t> bytes;
    for (uint16_t w : words) {
        bytes.push_back(static_cast<uint8_t>(w & 0xFF));
        bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    return bytes;
}

// The program's soft-key template: two keys, commands 11000 and 11001.
const std::vector<uint8_t> kSoftKeys = bytesOf({40006, 2,                                            //
                                                0xFFFE, 11000, 0x0004, 0x0010, 10000, 0, 0xFFFF,     //
                                                0xFFFE, 11001, 0x0004, 0x0011, 10001, 0, 0xFFFF});

TEST(MenuBarTemplateTest, ReadsBothSoftKeysOfTheProgramsTemplate) {
    ASSERT_EQ(kSoftKeys.size(), 32u);
    MenuBarTemplate t;
    ASSERT_EQ(parseMenuBarTemplate(kSoftKeys.data(), kSoftKeys.size(), t), kStatusOk);
    EXPECT_EQ(t.menuId, 40006);
    ASSERT_EQ(t.keyCount, 2);
    EXPECT_EQ(t.keys[0].image, kMenuBarNoImage);
    EXPECT_EQ(t.keys[0].command, 11000);
    EXPECT_EQ(t.keys[0].state, 0x04);
    EXPECT_EQ(t.keys[0].style, 0x10);
    EXPECT_EQ(t.keys[0].stringId, 10000);
    EXPECT_EQ(t.keys[0].subMenu, kMenuBarNoSubMenu);
    EXPECT_EQ(t.keys[1].command, 11001);
    EXPECT_EQ(t.keys[1].style, 0x11);
    EXPECT_EQ(t.keys[1].stringId, 10001);
}

TEST(MenuBarTemplateTest, WordsAreLittleEndian) {
    std::vector<uint8_t> b = kSoftKeys;
    b[2 * 3] = 0x34;  // first key's command, low byte first
    b[2 * 3 + 1] = 0x12;
    MenuBarTemplate t;
    ASSERT_EQ(parseMenuBarTemplate(b.data(), b.size(), t), kStatusOk);
    EXPECT_EQ(t.keys[0].command, 0x1234);
}

TEST(MenuBarTemplateTest, OneKeyAndTrailingPaddingAreAccepted) {
    std::vector<uint8_t> one = bytesOf({1, 1, 0xFFFE, 500, 0x04, 0, 0, 0, 0xFFFF});
    MenuBarTemplate t;
    ASSERT_EQ(parseMenuBarTemplate(one.data(), one.size(), t), kStatusOk);
    EXPECT_EQ(t.keyCount, 1);
    EXPECT_EQ(t.keys[0].command, 500);

    std::vector<uint8_t> padded = kSoftKeys;
    padded.resize(padded.size() + 4, 0);
    ASSERT_EQ(parseMenuBarTemplate(padded.data(), padded.size(), t), kStatusOk);
    EXPECT_EQ(t.keys[1].command, 11001);
}

TEST(MenuBarTemplateTest, MalformedTemplatesAreRefusedAndLeaveNoKeys) {
    MenuBarTemplate t;
    // Every length short of the announced keys, including an odd one.
    for (size_t size = 0; size < kSoftKeys.size(); ++size) {
        t.keyCount = 99;
        EXPECT_EQ(parseMenuBarTemplate(kSoftKeys.data(), size, t), kStatusBadArgument) << size;
        EXPECT_EQ(t.keyCount, 0) << size;
    }
    EXPECT_EQ(parseMenuBarTemplate(nullptr, 32, t), kStatusBadArgument);

    std::vector<uint8_t> none = bytesOf({40006, 0});
    EXPECT_EQ(parseMenuBarTemplate(none.data(), none.size(), t), kStatusBadArgument);

    std::vector<uint8_t> three = kSoftKeys;
    three[2] = 3;
    three.resize(2 * (2 + 3 * 7), 0);
    EXPECT_EQ(parseMenuBarTemplate(three.data(), three.size(), t), kStatusBadArgument);

    std::vector<uint8_t> wideState = kSoftKeys;
    wideState[2 * 4 + 1] = 1;  // state 0x0104 does not fit a byte
    EXPECT_EQ(parseMenuBarTemplate(wideState.data(), wideState.size(), t), kStatusBadArgument);
    std::vector<uint8_t> wideStyle = kSoftKeys;
    wideStyle[2 * 12 + 1] = 1;  // second key's style 0x0111
    EXPECT_EQ(parseMenuBarTemplate(wideStyle.data(), wideStyle.size(), t), kStatusBadArgument);
    EXPECT_EQ(t.keyCount, 0);
}

bool modeOf(const char16_t* text, ConnMgrMode& mode) {
    size_t n = 0;
    while (text[n]) ++n;
    return connMgrModeFromText(text, n, mode);
}

TEST(ConnMgrModeTest, NamesDefaultAndCase) {
    ConnMgrMode m = ConnMgrMode::statusFailed;
    ASSERT_TRUE(modeOf(u"", m));
    EXPECT_EQ(m, ConnMgrMode::connected);
    m = ConnMgrMode::statusFailed;
    ASSERT_TRUE(connMgrModeFromText(nullptr, 0, m));
    EXPECT_EQ(m, ConnMgrMode::connected);
    ASSERT_TRUE(modeOf(u"connected", m));
    EXPECT_EQ(m, ConnMgrMode::connected);
    ASSERT_TRUE(modeOf(u"Disconnected", m));
    EXPECT_EQ(m, ConnMgrMode::disconnected);
    ASSERT_TRUE(modeOf(u"ESTABLISH-FAILS", m));
    EXPECT_EQ(m, ConnMgrMode::establishFails);
    ASSERT_TRUE(modeOf(u"status-failed", m));
    EXPECT_EQ(m, ConnMgrMode::statusFailed);
}

TEST(ConnMgrModeTest, UnknownNamesAreNoMode) {
    ConnMgrMode m = ConnMgrMode::disconnected;
    for (const char16_t* bad : {u"connect", u"connectedx", u" connected", u"status_failed", u"off", u"c"}) {
        EXPECT_FALSE(modeOf(bad, m));
    }
    // Only `length` units count: a longer buffer holding a mode name is no mode.
    EXPECT_FALSE(connMgrModeFromText(u"connected", 7, m));
    EXPECT_TRUE(connMgrModeFromText(u"connectedXYZ", 9, m));
    EXPECT_EQ(m, ConnMgrMode::connected);
}

TEST(ConnMgrModeTest, EachModeEndsInItsStatus) {
    struct Case {
        ConnMgrMode mode;
        uint32_t last;
    };
    for (Case c : {Case{ConnMgrMode::connected, 0x10}, Case{ConnMgrMode::disconnected, 0x20},
                   Case{ConnMgrMode::statusFailed, 0x21}}) {
        size_t n = 0;
        const ConnMgrStep* plan = connMgrPlan(c.mode, n);
        ASSERT_NE(plan, nullptr);
        ASSERT_GE(n, 1u);
        EXPECT_EQ(plan[n - 1].status, c.last);
        // A caller always sees the connection come up after it started waiting.
        EXPECT_GT(plan[0].delayMs, 0u);
        EXPECT_LE(plan[0].delayMs, 1000u);
        // "disconnected" signals once: a later signal would wake a waiting caller again.
        if (c.mode == ConnMgrMode::disconnected) {
            EXPECT_EQ(n, 1u);
        }
    }
    size_t n = 7;
    EXPECT_EQ(connMgrPlan(ConnMgrMode::establishFails, n), nullptr);
    EXPECT_EQ(n, 0u);
}

}  // namespace
