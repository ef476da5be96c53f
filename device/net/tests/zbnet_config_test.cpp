// The device network's rules: which names are the update server and what the
// device file may say.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/net/zbnet_config.h"
#include "update/update_config.h"

namespace {

bool parse(const std::string& text, ZbNetTarget* target) { return zbnet_parse(text.data(), text.size(), target) == 1; }

TEST(ZbNetHost, OnlyTheUpdateServerNameIsTaken) {
    EXPECT_STREQ(ZBNET_HOST, kUpdateHostA);  // one name for the programs and their network
    EXPECT_TRUE(zbnet_is_update_host("update.morvane.example"));
    EXPECT_TRUE(zbnet_is_update_host("UPDATE.Morvane.Example"));
    EXPECT_TRUE(zbnet_is_update_host("update.morvane.example."));
    EXPECT_FALSE(zbnet_is_update_host("update.morvane.example.."));
    EXPECT_FALSE(zbnet_is_update_host("update.morvane.exampl"));
    EXPECT_FALSE(zbnet_is_update_host("xupdate.morvane.example"));
    EXPECT_FALSE(zbnet_is_update_host("update.morvane.example.com"));
    EXPECT_FALSE(zbnet_is_update_host("localhost"));
    EXPECT_FALSE(zbnet_is_update_host(""));
}

TEST(ZbNetSetting, HostAndPortOnTheFirstLine) {
    ZbNetTarget t{};
    ASSERT_TRUE(parse("127.0.0.1:8080", &t));
    EXPECT_STREQ(t.host, "127.0.0.1");
    EXPECT_EQ(t.port, 8080);
    ASSERT_TRUE(parse("  localhost:65535\r\nignored:1\r\n", &t));
    EXPECT_STREQ(t.host, "localhost");
    EXPECT_EQ(t.port, 65535);
    ASSERT_TRUE(parse("127.0.0.1:1\n", &t));
    EXPECT_EQ(t.port, 1);
}

TEST(ZbNetSetting, OffEmptyAndMalformedMeanOff) {
    ZbNetTarget t{};
    for (const char* text : {"off", "OFF\n", "", "\r\n", "127.0.0.1", "127.0.0.1:", ":80", "127.0.0.1:0",
                             "127.0.0.1:65536", "127.0.0.1:123456", "127.0.0.1:8o", "127.0.0.1:-1",
                             "127 0.0.1:80", "\n127.0.0.1:80x"}) {
        EXPECT_FALSE(parse(text, &t)) << "'" << text << "'";
    }
    std::string longHost(300, 'a');
    EXPECT_FALSE(parse(longHost + ":80", &t));
    // A NUL inside the text is no host name.
    EXPECT_FALSE(parse(std::string("127.0\0.0.1:80", 13), &t));
}

}  // namespace
