// Every edition carries the same resources: the icon, the product bitmap and
// the emblem, the five languages, the accelerator table, the about dialog and
// the soft-key menu-bar template. Checked on the installed program file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(L"\\Program Files\\zerbin\\zerbin.exe", nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "error " << GetLastError();
    }
    void TearDown() override { FreeLibrary(module_); }

    const void* data(LPCWSTR type, int id, DWORD& size) {
        HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        if (!found) return nullptr;
        size = SizeofResource(module_, found);
        return LockResource(LoadResource(module_, found));
    }
    HMODULE module_ = nullptr;
};

TEST_F(ProgramResources, BitmapsIconAcceleratorsAndDialog) {
    DWORD size = 0;
    const auto* product = static_cast<const BITMAPINFOHEADER*>(data(RT_BITMAP, 111, size));
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->biWidth, 100);
    EXPECT_EQ(product->biHeight, 27);
    EXPECT_EQ(product->biBitCount, 8);
    EXPECT_EQ(product->biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_NE(data(RT_BITMAP, 129, size), nullptr);
    EXPECT_NE(data(RT_GROUP_ICON, 108, size), nullptr);
    EXPECT_NE(data(RT_ACCELERATOR, 109, size), nullptr);
    EXPECT_NE(data(RT_DIALOG, 103, size), nullptr);
}

TEST_F(ProgramResources, FiveLanguages) {
    for (int id : {104, 105, 114, 121, 125}) {
        DWORD size = 0;
        const auto* text = static_cast<const unsigned char*>(data(L"LANG", id, size));
        ASSERT_NE(text, nullptr) << id;
        ASSERT_GT(size, 2u);
        EXPECT_EQ(text[0], 0xFF);
        EXPECT_EQ(text[1], 0xFE);
    }
}

TEST_F(ProgramResources, SoftKeyMenuBarTemplate) {
    DWORD size = 0;
    const auto* words = static_cast<const uint16_t*>(data(RT_RCDATA, 7239, size));
    ASSERT_NE(words, nullptr);
    ASSERT_EQ(size, 32u);
    const uint16_t expected[16] = {40006, 2,      0xFFFE, 11000, 0x0004, 0x0010, 10000, 0,
                                   0xFFFF, 0xFFFE, 11001,  0x0004, 0x0011, 10001, 0,     0xFFFF};
    EXPECT_EQ(std::memcmp(words, expected, sizeof expected), 0);
}

// The Smartphone edition alone carries the same bar as template 40007, the one
// it builds its menu bar from.
TEST_F(ProgramResources, SmartphoneMenuBarTemplateOnlyInTheSmartphoneEdition) {
    char device[64] = {};
    GetEnvironmentVariableA("ZB_DEVICE", device, sizeof device);
    const bool smartphone = std::strncmp(device, "sphone", 6) == 0;
    DWORD size = 0;
    const auto* words = static_cast<const uint16_t*>(data(RT_RCDATA, 40007, size));
    if (!smartphone) {
        EXPECT_EQ(words, nullptr) << "device " << device;
        return;
    }
    ASSERT_NE(words, nullptr);
    ASSERT_EQ(size, 32u);
    const uint16_t expected[16] = {40006, 2,      0xFFFE, 11000, 0x0004, 0x0010, 10000, 0,
                                   0xFFFF, 0xFFFE, 11001,  0x0004, 0x0011, 10001, 0,     0xFFFF};
    EXPECT_EQ(std::memcmp(words, expected, sizeof expected), 0);
}

}  // namespace
