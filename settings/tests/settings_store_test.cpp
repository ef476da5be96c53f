// The settings store against the device's real registry: defaults, the first
// save, flags by their lowest byte, values that round-trip, the log lines of
// regLoad, and the age of the last check from a stored OLE date.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>

#include "log/diaglog.h"
#include "settings/check_age.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "shell/config.h"

DiagnosticLog g_log;
Config g_config;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    // Every test starts from an empty registry and leaves it so.
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsVendorKeyPath);
        resetConfig();
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsVendorKeyPath); }

    static void resetConfig() {
        Config defaults;
        g_config.s_nLanguage = defaults.s_nLanguage;
        g_config.s_bStorageCard = defaults.s_bStorageCard;
        g_config.s_bAutoUpdate = defaults.s_bAutoUpdate;
        g_config.s_nReportLevel = defaults.s_nReportLevel;
    }

    static void put(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void putDword(const wchar_t* name, DWORD value) { put(name, REG_DWORD, &value, sizeof value); }

    static void putCheckTime(const SYSTEMTIME& time) {
        double date = 0.0;
        ASSERT_TRUE(SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&time), &date));
        put(kValueUpdateLastCheck, REG_BINARY, &date, sizeof date);
    }

    // Type, size and bytes of a stored value.
    struct Stored {
        bool present = false;
        DWORD type = 0;
        DWORD size = 0;
        BYTE data[16] = {};
        uint32_t dword() const {
            uint32_t value = 0;
            memcpy(&value, data, 4);
            return value;
        }
    };
    static Stored stored(const wchar_t* name) {
        Stored value;
        value.size = sizeof value.data;
        value.present = RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_ANY | RRF_NOEXPAND,
                                     &value.type, value.data, &value.size) == ERROR_SUCCESS;
        return value;
    }
    static bool keyExists() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
};

std::wstring testFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

std::wstring readText(const std::wstring& path) {
    std::wstring text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    text.resize(GetFileSize(file, nullptr) / 2);
    DWORD got = 0;
    if (!text.empty()) ReadFile(file, text.data(), static_cast<DWORD>(text.size() * 2), &got, nullptr);
    CloseHandle(file);
    return text;
}

}  // namespace

TEST_F(SettingsStoreTest, AnEmptyRegistryKeepsTheDefaults) {
    EXPECT_EQ(regLoad(g_config), static_cast<Status>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(g_config.s_nLanguage, 9u);
    EXPECT_EQ(g_config.s_bStorageCard, 0);
    EXPECT_EQ(g_config.s_bAutoUpdate, 1);
    EXPECT_EQ(g_config.s_nReportLevel, 2u);
    EXPECT_FALSE(keyExists()) << "loading creates nothing";
}

TEST_F(SettingsStoreTest, TheFirstSaveCreatesTheKeyWithAllFiveValues) {
    EXPECT_EQ(regSave(g_config), 0u);
    ASSERT_TRUE(keyExists());
    const wchar_t* names[] = {kValueLanguage, kValueStorageCard, kValueAutoUpdate, kValueReport};
    const uint32_t values[] = {9, 0, 1, 2};
    for (int i = 0; i < 4; ++i) {
        Stored value = stored(names[i]);
        ASSERT_TRUE(value.present) << i;
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << i;
        EXPECT_EQ(value.size, 4u) << i;
        EXPECT_EQ(value.dword(), values[i]) << i;
    }
    Stored lastCheck = stored(kValueUpdateLastCheck);
    ASSERT_TRUE(lastCheck.present);
    EXPECT_EQ(lastCheck.type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(lastCheck.size, 8u);
    const BYTE zeros[8] = {};
    EXPECT_EQ(memcmp(lastCheck.data, zeros, 8), 0);
    EXPECT_EQ(lastCheckAge(), kCheckAgeNever);
}

TEST_F(SettingsStoreTest, SavedSettingsLoadBack) {
    g_config.s_nLanguage = 12;
    g_config.s_bStorageCard = 1;
    g_config.s_bAutoUpdate = 0;
    g_config.s_nReportLevel = 6;
    ASSERT_EQ(regSave(g_config), 0u);
    resetConfig();
    ASSERT_EQ(regLoad(g_config), 0u);
    EXPECT_EQ(g_config.s_nLanguage, 12u);
    EXPECT_EQ(g_config.s_bStorageCard, 1);
    EXPECT_EQ(g_config.s_bAutoUpdate, 0);
    EXPECT_EQ(g_config.s_nReportLevel, 6u);
}

TEST_F(SettingsStoreTest, FlagsCountByTheirLowestByteAndAreSavedAsZeroOrOne) {
    putDword(kValueStorageCard, 256);
    putDword(kValueAutoUpdate, 0x100);
    g_config.s_bStorageCard = 1;
    ASSERT_EQ(regLoad(g_config), 0u);
    EXPECT_EQ(g_config.s_bStorageCard, 0) << "256 reads as off";
    EXPECT_EQ(g_config.s_bAutoUpdate, 0);

    putDword(kValueStorageCard, 0x1FF);
    ASSERT_EQ(regLoad(g_config), 0u);
    EXPECT_NE(g_config.s_bStorageCard, 0);

    g_config.s_bStorageCard = 0xFF;
    g_config.s_bAutoUpdate = 7;
    ASSERT_EQ(regSave(g_config), 0u);
    EXPECT_EQ(stored(kValueStorageCard).dword(), 1u);
    EXPECT_EQ(stored(kValueAutoUpdate).dword(), 1u);
}

TEST_F(SettingsStoreTest, AReportLevelOfFourRoundTrips) {
    putDword(kValueReport, 4);
    ASSERT_EQ(regLoad(g_config), 0u);
    EXPECT_EQ(g_config.s_nReportLevel, 4u);
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsVendorKeyPath);
    ASSERT_EQ(regSave(g_config), 0u);
    EXPECT_EQ(stored(kValueReport).dword(), 4u);
}

TEST_F(SettingsStoreTest, MissingValuesKeepTheirFieldsAndTypesAreNotExamined) {
    g_config.s_nLanguage = 27;
    g_config.s_bAutoUpdate = 0;
    const uint8_t french[4] = {12, 0, 0, 0};
    put(kValueReport, REG_BINARY, french, sizeof french);  // read for what it holds
    ASSERT_EQ(regLoad(g_config), 0u);
    EXPECT_EQ(g_config.s_nLanguage, 27u);
    EXPECT_EQ(g_config.s_bAutoUpdate, 0);
    EXPECT_EQ(g_config.s_bStorageCard, 0);
    EXPECT_EQ(g_config.s_nReportLevel, 12u);

    // An oversized value cannot be read and keeps its field too.
    const uint8_t eight[8] = {6, 0, 0, 0, 0, 0, 0, 0};
    put(kValueLanguage, REG_BINARY, eight, sizeof eight);
    ASSERT_EQ(regLoad(g_config), 0u);
    EXPECT_EQ(g_config.s_nLanguage, 27u);
}

TEST_F(SettingsStoreTest, SavingKeepsAStoredCheckTime) {
    const double checked = 46000.5;
    put(kValueUpdateLastCheck, REG_BINARY, &checked, sizeof checked);
    ASSERT_EQ(regSave(g_config), 0u);
    Stored lastCheck = stored(kValueUpdateLastCheck);
    ASSERT_EQ(lastCheck.size, 8u);
    EXPECT_EQ(memcmp(lastCheck.data, &checked, 8), 0);
}

TEST_F(SettingsStoreTest, LoadingLogsItsEntryAndItsFailure) {
    std::wstring logPath = testFolder() + L"settings_store.log";
    DeleteFileW(logPath.c_str());
    g_log.Open(logPath.c_str());
    regLoad(g_config);
    putDword(kValueLanguage, 5);
    regLoad(g_config);
    g_log.Close();
    std::wstring text = readText(logPath);
    DeleteFileW(logPath.c_str());

    const std::wstring entry = L"  regLoad inside - key: Software\\Morvane Software\\ZerbinPDA\\4.1\r\n";
    const std::wstring failure = L"  regLoad failed - error: 2\r\n";
    size_t first = text.find(entry);
    ASSERT_NE(first, std::wstring::npos) << "the entry";
    size_t failed = text.find(failure);
    ASSERT_NE(failed, std::wstring::npos) << "the failure with its error";
    EXPECT_LT(first, failed);
    size_t second = text.find(entry, failed);
    ASSERT_NE(second, std::wstring::npos) << "the second entry";
    EXPECT_EQ(text.find(failure, failed + 1), std::wstring::npos) << "the second load succeeded";
    EXPECT_EQ(g_config.s_nLanguage, 5u);
}

TEST_F(SettingsStoreTest, NoCheckTimeHasNoAge) {
    EXPECT_EQ(lastCheckAge(), kCheckAgeNever) << "no key";
    putDword(kValueLanguage, 9);
    EXPECT_EQ(lastCheckAge(), kCheckAgeNever) << "no value";
    const double never = 0.0;
    put(kValueUpdateLastCheck, REG_BINARY, &never, sizeof never);
    EXPECT_EQ(lastCheckAge(), kCheckAgeNever) << "0.0";
    const uint8_t shortValue[4] = {0, 0, 0, 0x40};
    put(kValueUpdateLastCheck, REG_BINARY, shortValue, sizeof shortValue);
    EXPECT_EQ(lastCheckAge(), kCheckAgeNever) << "not eight bytes";
    const uint8_t notANumber[8] = {0, 0, 0, 0, 0, 0, 0xF8, 0x7F};
    put(kValueUpdateLastCheck, REG_BINARY, notANumber, sizeof notANumber);
    EXPECT_EQ(lastCheckAge(), kCheckAgeNever) << "not a number";
}

TEST_F(SettingsStoreTest, ACheckInAnEarlierYearIsTooOld) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    SYSTEMTIME lastYear = now;
    lastYear.wYear = static_cast<WORD>(now.wYear - 1);
    lastYear.wDay = 1;
    putCheckTime(lastYear);
    EXPECT_EQ(lastCheckAge(), kCheckAgeTooOld);
}

TEST_F(SettingsStoreTest, ACheckJustMadeIsOneSecondOld) {
    // Within one minute of the system clock (UTC) the age of a check stored
    // now is exactly 1; retry when a minute boundary falls in between.
    for (int attempt = 0; attempt < 3; ++attempt) {
        SYSTEMTIME before{};
        GetSystemTime(&before);
        putCheckTime(before);
        uint32_t age = lastCheckAge();
        SYSTEMTIME after{};
        GetSystemTime(&after);
        if (before.wMinute != after.wMinute) continue;
        EXPECT_EQ(age, 1u);
        return;
    }
    FAIL() << "the minute changed on every attempt";
}

TEST_F(SettingsStoreTest, ACheckTimeAheadOfTheClockCountsAsJustMade) {
    // Later in the same month than now: the clock was set back.
    SYSTEMTIME now{};
    GetSystemTime(&now);
    SYSTEMTIME ahead = now;
    if (now.wDay < 28) {
        ahead.wDay = static_cast<WORD>(now.wDay + 1);
    } else if (now.wHour < 22) {
        ahead.wHour = 23;
    } else {
        ahead.wMinute = 59, ahead.wSecond = 59;
    }
    putCheckTime(ahead);
    uint32_t age = lastCheckAge();
    SYSTEMTIME after{};
    GetSystemTime(&after);
    auto key = [](const SYSTEMTIME& t) {
        return ((((uint64_t{t.wYear} * 13 + t.wMonth) * 32 + t.wDay) * 24 + t.wHour) * 60 + t.wMinute) * 60 + t.wSecond;
    };
    if (after.wMonth == ahead.wMonth && key(after) < key(ahead)) {
        EXPECT_EQ(age, 1u);
    }

    // A stored month later than the current one gives 0, as the arithmetic says.
    if (after.wMonth < 12) {
        SYSTEMTIME nextMonth = after;
        nextMonth.wMonth = static_cast<WORD>(after.wMonth + 1);
        nextMonth.wDay = 1;
        putCheckTime(nextMonth);
        EXPECT_EQ(lastCheckAge(), 0u);
    }
}
