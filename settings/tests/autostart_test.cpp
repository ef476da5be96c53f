// The monitor autostart through the boot start list, against the device's
// real HKLM\Init: which "Launch" number it takes, what switching off removes,
// and the monitor process started and ended with it. Every test restores the
// start list as it found it.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "settings/autostart.h"
#include "settings/process_search.h"
#include "settings/tests/autostart_test_util.h"

std::vector<std::wstring> g_messages;
void showProcessSearchMessage(const wchar_t* text) { g_messages.push_back(text); }

namespace {

using autostart_test::monitorBeside;

struct RegValue {
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const RegValue&) const = default;
};
using Values = std::map<std::wstring, RegValue>;

Values readInit() {
    Values values;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0;
        BYTE data[4096];
        DWORD size = sizeof data;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        values[name] = RegValue{type, std::vector<BYTE>(data, data + size)};
    }
    RegCloseKey(key);
    return values;
}

void writeInit(const Values& values) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, value] : readInit()) RegDeleteValueW(key, name.c_str());
    for (const auto& [name, value] : values) {
        RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    }
    RegCloseKey(key);
}

RegValue text(const std::wstring& s) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(s.c_str());
    return RegValue{REG_SZ, std::vector<BYTE>(bytes, bytes + (s.size() + 1) * sizeof(wchar_t))};
}

std::wstring launch(int n) { return L"Launch" + std::to_wstring(n); }

class BootListAutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = readInit();
        autostart_test::endAllMonitors();
        ASSERT_TRUE(autostart_test::placeMonitor());
        g_messages.clear();
        // Start each test from the device's own list, with nothing in 51 to 99.
        Values base;
        for (const auto& [name, value] : saved_) {
            if (!isOurs(name)) base[name] = value;
        }
        writeInit(base);
    }
    void TearDown() override {
        autostart_test::endAllMonitors();
        writeInit(saved_);
        DeleteFileW(monitorBeside().c_str());
        EXPECT_TRUE(g_messages.empty());
    }

    static bool isOurs(const std::wstring& name) {
        if (name.size() < 7 || _wcsnicmp(name.c_str(), L"Launch", 6) != 0) return false;
        const long n = wcstol(name.c_str() + 6, nullptr, 10);
        return n >= 51 && n <= 99;
    }

    static void apply(bool on) {
        monitorAutostart(on);
    }

    Values saved_;
};

TEST_F(BootListAutostartTest, TakesNinetyNineWhenFreeEvenIfAnotherNumberNamesTheMonitor) {
    Values before = readInit();
    before[launch(98)] = text(monitorBeside());
    writeInit(before);
    apply(true);
    Values after = readInit();
    Values expected = before;
    expected[launch(99)] = text(monitorBeside());
    EXPECT_EQ(after, expected);
    EXPECT_TRUE(autostart_test::waitMonitorCount(1));
}

TEST_F(BootListAutostartTest, SkipsOtherProgramsDownwardsAndStopsAtItsOwnValue) {
    Values before = readInit();
    before[launch(99)] = text(L"\\Windows\\other.exe");
    writeInit(before);
    apply(true);
    Values expected = before;
    expected[launch(98)] = text(monitorBeside());
    EXPECT_EQ(readInit(), expected);
    ASSERT_TRUE(autostart_test::waitMonitorCount(1));

    // Registered already: a second switch on writes nothing and starts no second monitor.
    apply(true);
    EXPECT_EQ(readInit(), expected);
    Sleep(500);
    EXPECT_EQ(autostart_test::monitorCount(), 1);
}

TEST_F(BootListAutostartTest, AFullListRegistersNothingButStartsTheMonitor) {
    Values before = readInit();
    for (int n = 51; n <= 99; ++n) before[launch(n)] = text(L"\\Windows\\program" + std::to_wstring(n) + L".exe");
    writeInit(before);
    apply(true);
    EXPECT_EQ(readInit(), before);
    EXPECT_TRUE(autostart_test::waitMonitorCount(1));
}

TEST_F(BootListAutostartTest, APathInOtherLetterCaseIsAnotherProgram) {
    std::wstring otherCase = monitorBeside();
    for (wchar_t& c : otherCase) c = towupper(c);
    ASSERT_NE(otherCase, monitorBeside());
    Values before = readInit();
    before[launch(99)] = text(otherCase);
    writeInit(before);
    apply(true);
    Values expected = before;
    expected[launch(98)] = text(monitorBeside());
    EXPECT_EQ(readInit(), expected);
    apply(false);
    EXPECT_EQ(readInit(), before);  // the value in other case stays
}

TEST_F(BootListAutostartTest, SwitchingOffRemovesEveryValueOfItsRangeThatNamesTheMonitorAndEndsIt) {
    Values before = readInit();
    for (int n : {99, 75, 51, 50, 30}) before[launch(n)] = text(monitorBeside());
    before[launch(80)] = text(L"\\Windows\\other.exe");
    before[launch(70)] = text(monitorBeside() + L" 1");  // more than the path: another program
    writeInit(before);
    apply(true);  // registered already at 99: nothing written, the monitor started
    EXPECT_EQ(readInit(), before);
    ASSERT_TRUE(autostart_test::waitMonitorCount(1));

    apply(false);
    Values expected = before;
    for (int n : {99, 75, 51}) expected.erase(launch(n));
    EXPECT_EQ(readInit(), expected);
    EXPECT_TRUE(autostart_test::waitMonitorCount(0));

    // Off again, with nothing left to remove and nothing running: nothing changes.
    apply(false);
    EXPECT_EQ(readInit(), expected);
}

TEST_F(BootListAutostartTest, AMissingMonitorIsRegisteredAllTheSame) {
    DeleteFileW(monitorBeside().c_str());
    apply(true);
    Values after = readInit();
    ASSERT_EQ(after.count(launch(99)), 1u);
    EXPECT_EQ(after[launch(99)], text(monitorBeside()));
    Sleep(300);
    EXPECT_EQ(autostart_test::monitorCount(), 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (autostart_test::runningAsMonitor()) {
        Sleep(60000);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
