// The installer's command line as the unpacking program writes it.
#include <gtest/gtest.h>

#include "tools/installer/install_args.h"

namespace {

TEST(InstallArgs, InteractiveAndUnattendedLines) {
    InstallArgs a;
    ASSERT_TRUE(parseInstallArgs(L"@1234 \\Program Files\\zerbin\\temp\\", &a));
    EXPECT_TRUE(a.interactive);
    EXPECT_EQ(a.starterPid, 1234u);
    EXPECT_STREQ(a.tempFolder, L"\\Program Files\\zerbin\\temp\\");
    EXPECT_STREQ(a.programFolder, L"\\Program Files\\zerbin\\");

    ASSERT_TRUE(parseInstallArgs(L"4294967295 C:\\Program Files\\zerbin\\temp\\", &a));
    EXPECT_FALSE(a.interactive);
    EXPECT_EQ(a.starterPid, 4294967295u);
    EXPECT_STREQ(a.tempFolder, L"C:\\Program Files\\zerbin\\temp\\");
    EXPECT_STREQ(a.programFolder, L"C:\\Program Files\\zerbin\\");
}

TEST(InstallArgs, OwnNameFirstAndSmallLiberties) {
    InstallArgs a;
    ASSERT_TRUE(parseInstallArgs(L"\"C:\\Program Files\\zerbin\\temp\\zbinstall.exe\" @7 C:\\p\\temp\\", &a));
    EXPECT_TRUE(a.interactive);
    EXPECT_EQ(a.starterPid, 7u);
    EXPECT_STREQ(a.programFolder, L"C:\\p\\");
    ASSERT_TRUE(parseInstallArgs(L"zbinstall.exe 8 C:/p/temp", &a));
    EXPECT_FALSE(a.interactive);
    EXPECT_STREQ(a.tempFolder, L"C:\\p\\temp\\");
    ASSERT_TRUE(parseInstallArgs(L"9 \"C:\\p q\\temp\\\"\r\n", &a));
    EXPECT_STREQ(a.tempFolder, L"C:\\p q\\temp\\");
    EXPECT_STREQ(a.programFolder, L"C:\\p q\\");
}

TEST(InstallArgs, RefusesWhatNamesNoSafeFolder) {
    InstallArgs a;
    for (const wchar_t* line : {L"", L"@", L"@ C:\\p\\temp\\", L"12", L"12 ", L"@12", L"x12 C:\\p\\temp\\ extra",
                                L"4294967296 C:\\p\\temp\\", L"12 temp\\", L"12 C:\\", L"12 \\", L"12 C:temp\\",
                                L"12 C:\\p\\..\\", L"12 C:\\..\\temp\\", L"12 C:\\p\\.\\temp\\", L"prog.exe",
                                L"\"prog.exe 12 C:\\p\\temp\\", L"12  C:\\p\\temp\\"}) {
        EXPECT_FALSE(parseInstallArgs(line, &a)) << "'" << std::wstring(line).size() << "'";
    }
}

}  // namespace
