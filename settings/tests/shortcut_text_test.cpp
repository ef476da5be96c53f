// The Startup shortcut's content: the count is the number of characters after
// "#", whatever the target's length, so the platform reads the whole quoted path.
#include <gtest/gtest.h>

#include <string>

#include "settings/shortcut_text.h"

namespace {

std::string make(const std::string& target) {
    char out[kShortcutTextCapacity];
    return std::string(out, shortcutText(target.data(), target.size(), out));
}

TEST(ShortcutTextTest, CountsTheQuotedTargetAfterTheHash) {
    EXPECT_EQ(make("\\Program Files\\zerbin\\zbMonitor.exe"), "37#\"\\Program Files\\zerbin\\zbMonitor.exe\"");
    EXPECT_EQ(make(""), "2#\"\"");
    // Across the lengths where the count gains a digit, it stays the length after "#".
    for (size_t length : {7u, 8u, 97u, 98u, 99u, 1000u, 1024u}) {
        const std::string text = make(std::string(length, 'a'));
        const size_t hash = text.find('#');
        ASSERT_NE(hash, std::string::npos);
        EXPECT_EQ(std::stoul(text.substr(0, hash)), text.size() - hash - 1) << length;
        EXPECT_EQ(text.substr(hash + 1), "\"" + std::string(length, 'a') + "\"");
    }
}

TEST(ShortcutTextTest, RefusesATargetLongerThanAPathCanBe) {
    char out[kShortcutTextCapacity];
    const std::string target(1025, 'a');
    EXPECT_EQ(shortcutText(target.data(), target.size(), out), 0u);
}

}  // namespace
