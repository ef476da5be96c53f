// The Windows Mobile 5 edition on a device without the connection manager's
// library: it binds the Internet and shell libraries only, so it starts and
// shows its main screen where the Pocket PC edition would stop at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/zerbin_app.h"

namespace {

using e2e::utf8;
using e2e::ZerbinApp;

bool deviceHas(const wchar_t* library) {
    return GetFileAttributesW((std::wstring(L"\\Windows\\System32\\") + library).c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(ZerbinWm5, StartsOnADeviceWithoutTheConnectionManager) {
    ASSERT_FALSE(deviceHas(L"cellcore.dll")) << "the test device must lack cellcore.dll";
    ASSERT_TRUE(deviceHas(L"AygShell.dll"));
    ZerbinApp app;
    app.writeDatabase();
    DeleteFileW(L"\\morvane_pda.log");
    std::string why;
    ASSERT_TRUE(app.startAndWait(why)) << why;
    EXPECT_FALSE(app.boxOpen(0)) << "no message at start-up";
    EXPECT_EQ(utf8(app.text(8102)), "Scan");
    EXPECT_FALSE(app.exists(8120)) << "the Pocket PC screens, without the Handheld PC's Exit";

    // The start-up got past the binding: its log holds the whole start-up run.
    std::vector<uint8_t> bytes = e2e::readFileBytes(L"\\morvane_pda.log");
    std::wstring log(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    EXPECT_NE(log.find(L"init VPS"), std::wstring::npos);
    EXPECT_NE(log.find(L"Stopped:"), std::wstring::npos);

    // The shell library is bound and used: the title bar's OK button closes.
    app.command(IDOK);
    EXPECT_EQ(app.waitExit(), 0);
}

}  // namespace
