// The device's boot, run as the device runs it: every entry of the "Init"
// start list below 51 is started and acknowledges; an entry added by the test
// runs in the order of its number, and one that does not acknowledge is
// reported as such rather than as started.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"

namespace {

struct Entry {
    unsigned long number;
    std::string program;
};

std::string narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

// The device's own entries of the start list: numbers below 51.
std::vector<Entry> deviceEntries() {
    std::vector<Entry> entries;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256], data[1024];
        DWORD nameLength = 256, size = sizeof data - sizeof(wchar_t), type = 0;
        LONG r = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ || _wcsnicmp(name, L"Launch", 6) != 0) continue;
        data[size / sizeof(wchar_t)] = 0;
        unsigned long number = wcstoul(name + 6, nullptr, 10);
        if (number < 51) entries.push_back({number, narrow(data)});
    }
    RegCloseKey(key);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.number < b.number; });
    return entries;
}

// Test entries of the start list, removed again whatever the test's outcome.
class TestEntries {
public:
    ~TestEntries() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        for (const std::wstring& name : names_) RegDeleteValueW(key, name.c_str());
        RegCloseKey(key);
    }
    bool add(const std::wstring& name, const std::wstring& program) {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Init", 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
        names_.push_back(name);
        LONG r = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(program.c_str()),
                                static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        return r == ERROR_SUCCESS;
    }

private:
    std::vector<std::wstring> names_;
};

TEST(Boot, DeviceEntriesAcknowledgeAndTestEntriesRunInNumberOrder) {
    std::vector<Entry> system = deviceEntries();
    ASSERT_GE(system.size(), 4u) << "the device's own start list";

    const wchar_t* runs = L"C:\\Temp\\e2e_boot_runs.txt";
    DeleteFileW(runs);
    TestEntries entries;
    // As text "Launch100" sorts before "Launch60"; the boot must go by number.
    ASSERT_TRUE(entries.add(L"Launch60", e2e::selfPath()));
    ASSERT_TRUE(entries.add(L"Launch100", e2e::selfPath()));

    std::string output, errors;
    DWORD code = 1;
    ASSERT_TRUE(e2e::runProgram(L"C:\\windows\\ceboot.exe --timeout-ms 10000", output, errors, code)) << errors;
    EXPECT_EQ(code, 0u);
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    SCOPED_TRACE("boot output:\n" + output);

    size_t previous = 0;
    for (const Entry& e : system) {
        std::string line = "Launch" + std::to_string(e.number) + ": " + e.program + ": started\n";
        size_t at = output.find(line);
        EXPECT_NE(at, std::string::npos) << line;
        if (at != std::string::npos) {
            EXPECT_GE(at, previous) << "out of order: " << line;
            previous = at;
        }
    }
    const std::string self = narrow(e2e::selfPath());
    size_t acknowledged = output.find("Launch60: " + self + ": started\n");
    size_t silent = output.find("Launch100: " + self + ": ended without acknowledgement\n");
    ASSERT_NE(acknowledged, std::string::npos);
    ASSERT_NE(silent, std::string::npos);
    EXPECT_GT(acknowledged, previous);
    EXPECT_GT(silent, acknowledged);
    EXPECT_EQ(output.find("not started"), std::string::npos);

    std::vector<uint8_t> log = e2e::readFileBytes(runs);
    EXPECT_EQ(std::string(log.begin(), log.end()), "60\n100\n") << "each ran once, with its number, in number order";
    DeleteFileW(runs);
}

}  // namespace
