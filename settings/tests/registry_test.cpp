// RegistryKey against the device's real registry, in a scratch key of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "settings/registry.h"

namespace {

constexpr wchar_t kScratch[] = L"Software\\ZbTests\\RegistryKey";
constexpr wchar_t kScratchChild[] = L"Software\\ZbTests\\RegistryKey\\Child";

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\ZbTests"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\ZbTests"); }

    // Writes a value under `path` without going through the wrapper.
    static void put(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // Type and bytes of a value, read without going through the wrapper.
    static bool get(const wchar_t* name, DWORD& type, BYTE* data, DWORD& size) {
        return RegGetValueW(HKEY_CURRENT_USER, kScratch, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) ==
               ERROR_SUCCESS;
    }
};

}  // namespace

TEST_F(RegistryKeyTest, CloseWithoutAKeyIsHarmlessAndTwiceMakesNoSecondCall) {
    RegistryKey key;
    EXPECT_EQ(key.Close(), 0u);
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kScratch, nullptr, 0, KEY_ALL_ACCESS, nullptr), 0u);
    ASSERT_NE(key.handle(), nullptr);
    EXPECT_EQ(key.Close(), 0u);
    EXPECT_EQ(key.handle(), nullptr);
    // A second RegCloseKey, on the stale handle or on none, would fail.
    EXPECT_EQ(key.Close(), 0u);
    EXPECT_EQ(key.handle(), nullptr);
}

TEST_F(RegistryKeyTest, CreateReportsItsDispositionAndHoldsTheKey) {
    RegistryKey key;
    DWORD disposition = 0;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kScratch, nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition), 0u);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(key.SetDword(7, L"Seven"), 0u);

    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kScratch, nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition), 0u);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    uint32_t value = 0;
    EXPECT_EQ(key.QueryDword(&value, L"Seven"), 0u);
    EXPECT_EQ(value, 7u);
}

TEST_F(RegistryKeyTest, AFailedCreateLeavesTheHeldKeyInUse) {
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kScratch, nullptr, 0, KEY_ALL_ACCESS, nullptr), 0u);
    ASSERT_EQ(key.SetDword(11, L"Eleven"), 0u);
    HKEY held = key.handle();

    DWORD disposition = 0xDEADBEEF;
    HKEY bogusParent = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7FFF1230));
    EXPECT_NE(key.Create(bogusParent, L"Nowhere", nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition), 0u);
    // The disposition place is written even when the call failed.
    EXPECT_NE(disposition, 0xDEADBEEFu);
    EXPECT_EQ(key.handle(), held);
    uint32_t value = 0;
    EXPECT_EQ(key.QueryDword(&value, L"Eleven"), 0u);
    EXPECT_EQ(value, 11u);
}

TEST_F(RegistryKeyTest, AFailedOpenLeavesTheHeldKeyAndASuccessfulOneReplacesIt) {
    uint32_t one = 1, two = 2;
    put(kScratch, L"Which", REG_DWORD, &one, 4);
    put(kScratchChild, L"Which", REG_DWORD, &two, 4);

    RegistryKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kScratch, KEY_ALL_ACCESS), 0u);
    EXPECT_EQ(key.Open(HKEY_CURRENT_USER, L"Software\\ZbTests\\Missing", KEY_ALL_ACCESS),
              static_cast<Status>(ERROR_FILE_NOT_FOUND));
    uint32_t which = 0;
    ASSERT_EQ(key.QueryDword(&which, L"Which"), 0u);
    EXPECT_EQ(which, 1u);

    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kScratchChild, KEY_ALL_ACCESS), 0u);
    ASSERT_EQ(key.QueryDword(&which, L"Which"), 0u);
    EXPECT_EQ(which, 2u);
}

TEST_F(RegistryKeyTest, QueryDwordTakesAtMostFourBytesAndKeepsTheDestinationOnFailure) {
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kScratch, nullptr, 0, KEY_ALL_ACCESS, nullptr), 0u);

    uint32_t destination = 0xAAAAAAAA;
    EXPECT_EQ(key.QueryDword(&destination, L"Missing"), static_cast<Status>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(destination, 0xAAAAAAAAu);

    // A value too long for four bytes fails, and the destination stays.
    const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    put(kScratch, L"Eight", REG_BINARY, eight, sizeof eight);
    EXPECT_EQ(key.QueryDword(&destination, L"Eight"), static_cast<Status>(ERROR_MORE_DATA));
    EXPECT_EQ(destination, 0xAAAAAAAAu);

    // The type is not examined; a shorter value fills only its own bytes.
    const uint8_t two[2] = {0x34, 0x12};
    put(kScratch, L"Two", REG_BINARY, two, sizeof two);
    EXPECT_EQ(key.QueryDword(&destination, L"Two"), 0u);
    EXPECT_EQ(destination, 0xAAAA1234u);

    const uint8_t four[4] = {0x78, 0x56, 0x34, 0x12};
    put(kScratch, L"Four", REG_BINARY, four, sizeof four);
    EXPECT_EQ(key.QueryDword(&destination, L"Four"), 0u);
    EXPECT_EQ(destination, 0x12345678u);
}

TEST_F(RegistryKeyTest, QueryValueReportsTheBytesStored) {
    const uint8_t data[6] = {9, 8, 7, 6, 5, 4};
    put(kScratch, L"Six", REG_BINARY, data, sizeof data);
    RegistryKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kScratch, KEY_ALL_ACCESS), 0u);

    uint8_t buffer[8] = {};
    DWORD size = sizeof buffer;
    ASSERT_EQ(key.QueryValue(buffer, L"Six", &size), 0u);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(memcmp(buffer, data, 6), 0);

    size = 4;
    EXPECT_EQ(key.QueryValue(buffer, L"Six", &size), static_cast<Status>(ERROR_MORE_DATA));
    size = sizeof buffer;
    EXPECT_EQ(key.QueryValue(buffer, L"Missing", &size), static_cast<Status>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryKeyTest, SettersStoreTheirTypesAndSizes) {
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kScratch, nullptr, 0, KEY_ALL_ACCESS, nullptr), 0u);
    ASSERT_EQ(key.SetDword(0x01020304, L"Number"), 0u);
    ASSERT_EQ(key.SetString(L"", L"Empty"), 0u);
    ASSERT_EQ(key.SetString(L"\\Program Files\\zerbin", L"Path"), 0u);
    key.Close();

    BYTE data[128] = {};
    DWORD type = 0, size = sizeof data;
    ASSERT_TRUE(get(L"Number", type, data, size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[0], 0x04);
    EXPECT_EQ(data[3], 0x01);

    size = sizeof data;
    ASSERT_TRUE(get(L"Empty", type, data, size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 2u);  // the terminator alone

    size = sizeof data;
    ASSERT_TRUE(get(L"Path", type, data, size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (wcslen(L"\\Program Files\\zerbin") + 1) * 2);
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(data), L"\\Program Files\\zerbin");
}

TEST_F(RegistryKeyTest, OperationsWithoutAKeyReturnThePlatformError) {
    RegistryKey key;
    uint32_t value = 5;
    EXPECT_NE(key.QueryDword(&value, L"Any"), 0u);
    EXPECT_EQ(value, 5u);
    EXPECT_NE(key.SetDword(1, L"Any"), 0u);
    EXPECT_NE(key.SetString(L"x", L"Any"), 0u);
}

// A closed key handle answers ERROR_INVALID_HANDLE. Each new key is opened
// before the old one is closed, so a replaced handle cannot come back as the
// new one.
TEST_F(RegistryKeyTest, EveryKeyLetGoIsClosed) {
    HKEY last = nullptr;
    {
        RegistryKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kScratch, nullptr, 0, KEY_ALL_ACCESS, nullptr), 0u);
        HKEY first = key.handle();
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kScratchChild, nullptr, 0, KEY_ALL_ACCESS, nullptr), 0u);
        EXPECT_EQ(RegQueryValueExW(first, L"Any", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE)
            << "Create closes the key it replaces";
        HKEY second = key.handle();
        ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kScratch, KEY_ALL_ACCESS), 0u);
        EXPECT_EQ(RegQueryValueExW(second, L"Any", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE)
            << "Open closes the key it replaces";
        last = key.handle();
        EXPECT_EQ(RegQueryValueExW(last, L"Any", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND)
            << "the held key is open";
    }
    EXPECT_EQ(RegQueryValueExW(last, L"Any", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE)
        << "the destructor closes a key still held";
}
