// The monitor's schedule against a scripted day: a clock that only the
// injected sleep moves, and a network that is on or off line at set times.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/schedule.h"

namespace {

constexpr uint64_t kMinute = 60000;
constexpr uint64_t kHour = 60 * kMinute;

struct ScriptedDay : CheckSteps {
    uint64_t now = 0;  // milliseconds since the monitor started
    // On line except within [offFrom, offUntil).
    uint64_t offFrom = UINT64_MAX, offUntil = UINT64_MAX;
    bool newer = false;
    std::vector<std::string> events;  // "T+<minutes> step"

    void note(const char* step) { events.push_back(std::to_string(now / kMinute) + " " + step); }
    void sleep(uint32_t ms) override { now += ms; }
    bool openInternet() override {
        const bool online = now < offFrom || now >= offUntil;
        note(online ? "open" : "offline");
        return online;
    }
    void recordCheckTime() override { note("record"); }
    bool newerPackageOnOffer() override {
        note("version");
        return newer;
    }
    void installPackage() override {
        note("install");
    }
    void closeInternet() override { note("close"); }

    // Runs the passes whose check falls before `until`.
    void runUntil(uint64_t until) {
        uint32_t interval = kRetryIntervalMs;
        while (now + interval <= until) interval = checkPass(*this, interval);
    }
    std::vector<uint64_t> checkMinutes() const {
        std::vector<uint64_t> minutes;
        for (const std::string& e : events) {
            if (e.find(" open") != std::string::npos || e.find(" offline") != std::string::npos) {
                minutes.push_back(std::stoull(e));
            }
        }
        return minutes;
    }
};

TEST(MonitorScheduleTest, FirstCheckAfterAMinuteThenEveryFourHours) {
    ScriptedDay day;
    day.runUntil(13 * kHour);
    const std::vector<uint64_t> expected = {1, 241, 481, 721};
    EXPECT_EQ(day.checkMinutes(), expected);
    // Each check on line records its time, asks for the version and closes the handle.
    ASSERT_GE(day.events.size(), 4u);
    EXPECT_EQ(day.events[0], "1 open");
    EXPECT_EQ(day.events[1], "1 record");
    EXPECT_EQ(day.events[2], "1 version");
    EXPECT_EQ(day.events[3], "1 close");
}

TEST(MonitorScheduleTest, OffLineItTriesEveryMinuteUntilItGetsOnLine) {
    ScriptedDay day;
    day.offFrom = 0;
    day.offUntil = 5 * kMinute;
    day.runUntil(5 * kHour);
    // Minutes 1 to 4 off line, on line at 5, then four hours later.
    const std::vector<uint64_t> expected = {1, 2, 3, 4, 5, 245};
    EXPECT_EQ(day.checkMinutes(), expected);
    for (const std::string& e : day.events) {
        if (std::stoull(e) < 5) EXPECT_NE(e.find("offline"), std::string::npos) << e;  // nothing recorded off line
    }
}

TEST(MonitorScheduleTest, LosingTheNetworkAfterALongWaitFallsBackToEveryMinute) {
    ScriptedDay day;
    day.offFrom = 2 * kMinute;
    day.offUntil = 243 * kMinute;
    day.runUntil(9 * kHour);
    // On line at 1; off at 241 and 242; on at 243; then 243 + 240.
    const std::vector<uint64_t> expected = {1, 241, 242, 243, 483};
    EXPECT_EQ(day.checkMinutes(), expected);
}

TEST(MonitorScheduleTest, ANewerPackageIsInstalledAndAFailedInstallKeepsTheFourHours) {
    ScriptedDay day;
    day.newer = true;
    day.runUntil(5 * kHour);
    // The install did not end the process (a failed download): the next check waits four hours.
    const std::vector<uint64_t> expected = {1, 241};
    EXPECT_EQ(day.checkMinutes(), expected);
    const std::vector<std::string> first = {"1 open", "1 record", "1 version", "1 install", "1 close"};
    ASSERT_GE(day.events.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(day.events.begin(), day.events.begin() + 5), first);
}

TEST(MonitorScheduleTest, NoNewerPackageMeansNoInstall) {
    ScriptedDay day;
    day.runUntil(9 * kHour);
    for (const std::string& e : day.events) EXPECT_EQ(e.find("install"), std::string::npos) << e;
}

}  // namespace
