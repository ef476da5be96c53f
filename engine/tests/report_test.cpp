// The report on the test device: header, entries with their markers, footer
// with the totals and the scan time, in English and in French (8-bit text in
// the device's code page).
#include "engine/report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/fileio.h"
#include "engine/report_text.h"
#include "engine/vps.h"
#include "shell/config.h"
#include "shell/lang.h"

Language lang;
Config g_config;

namespace {

std::wstring reportPath() {
    wchar_t folder[kModuleDirectoryCapacity];
    moduleDirectory(folder);
    return std::wstring(folder) + L"\\report.txt";
}

std::string readReport() {
    std::string bytes;
    FILE* f = _wfopen(reportPath().c_str(), L"rb");
    if (!f) return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

// Lines of the report; every line must end in CR LF.
std::vector<std::string> reportLines() {
    std::string bytes = readReport();
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = bytes.find("\r\n", start)) != std::string::npos; start = at + 2) {
        lines.push_back(bytes.substr(start, at - start));
    }
    EXPECT_EQ(start, bytes.size()) << "the report ends with a whole line";
    return lines;
}

std::string ansi(const wchar_t* text) {
    char buffer[1024];
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return n > 0 ? std::string(buffer) : std::string();
}

std::string twoDigits(int value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

// The date line as the language's texts compose it.
std::string createdLine(const SYSTEMTIME& t) {
    std::string weekday = ansi(lang.GetString(weekdayTextId(t.wDayOfWeek)));
    std::string suffix = ansi(lang.GetString(ordinalSuffixTextId(t.wDay)));
    std::string month = ansi(lang.GetString(monthTextId(t.wMonth)));
    return ansi(lang.GetString(8316)) + " " + weekday + ", " + std::to_string(t.wDay) + suffix + " " + month + ", " +
           std::to_string(t.wYear) + " " + ansi(lang.GetString(8059)) + " " + twoDigits(t.wHour) + ":" +
           twoDigits(t.wMinute) + ":" + twoDigits(t.wSecond);
}

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        lang.Init(9);
        report.text = languageText;
        g_vps.versionMajor = 1;
        g_vps.versionMinor = 57;
        DeleteFileW(reportPath().c_str());
    }
    void TearDown() override { lang.Init(9); }
    ScanReport report;
};

TEST_F(ReportTest, CleanScanLeavesHeaderAndFooterOnly) {
    report.s_nScanned = 99;  // a new report starts from zero
    ASSERT_EQ(reportBegin(report, L"report.txt"), kStatusOk);
    EXPECT_EQ(report.s_nScanned.load(), 0u);
    EXPECT_EQ(report.file, nullptr) << "the file is closed between pieces";
    EXPECT_TRUE(reportExists());
    report.s_nScanned = 12;
    reportEnd(report);

    std::vector<std::string> lines = reportLines();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0], "Report list of zerbin! antivirus v.4.1.19");
    EXPECT_EQ(report.headerLength, lines[0].size());
    EXPECT_EQ(lines[1], std::string(lines[0].size(), '-'));
    EXPECT_EQ(lines[2], createdLine(report.startTime));
    EXPECT_EQ(lines[2].rfind("Created: ", 0), 0u);
    EXPECT_EQ(lines[3], "Database version: 1.57");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "Scan process completed.");
    EXPECT_EQ(lines[7], lines[1]) << "the footer's rule has the title's length";
    EXPECT_EQ(lines[8], "Scanned files: 12");
    EXPECT_EQ(lines[9], "Known viruses: 0");
    EXPECT_EQ(lines[10], "Unknown viruses: 0");
    EXPECT_EQ(lines[11], "Skipped: 0");
    EXPECT_EQ(lines[12], "Deleted: 0");
    EXPECT_EQ(lines[13], "");
    ScanDuration d = scanDuration(report.startTime.wHour, report.startTime.wMinute, report.startTime.wSecond,
                                  report.endTime.wHour, report.endTime.wMinute, report.endTime.wSecond);
    EXPECT_EQ(lines[14], "Scan time: " + twoDigits(d.hours) + ":" + twoDigits(d.minutes) + ":" + twoDigits(d.seconds));
}

TEST_F(ReportTest, EntriesCarryTheirMarkersAndCountTheVariants) {
    ASSERT_EQ(reportBegin(report, L"report.txt"), kStatusOk);
    reportWritePath(report, L"\\clean.txt");
    reportWriteResult(report, kReportClean, L"is OK");
    reportWritePath(report, L"\\a.exe");
    reportWriteResult(report, kReportInfected, L"is infected by A");
    reportWritePath(report, L"\\b.exe");
    reportWriteResult(report, kReportVariant, L"new or modified variant of B (exact)");
    reportWritePath(report, L"\\c.exe");
    reportWriteResult(report, kReportInfected, L"is infected by C");
    reportWritePath(report, L"\\locked.dat");
    reportWriteResult(report, kReportError, L"(32)");
    EXPECT_EQ(report.s_nUnknown.load(), 1u) << "only the variant wording counts as unknown";
    report.s_nScanned = 5;
    report.s_nInfected = 3;
    reportEnd(report);

    std::vector<std::string> lines = reportLines();
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[5], "\\clean.txt [+] is OK");
    EXPECT_EQ(lines[6], "\\a.exe [L] is infected by A");
    EXPECT_EQ(lines[7], "\\b.exe [L] new or modified variant of B (exact)");
    EXPECT_EQ(lines[8], "\\c.exe [L] is infected by C");
    EXPECT_EQ(lines[9], "\\locked.dat [E] (32)");
    EXPECT_EQ(lines[13], "Scanned files: 5");
    EXPECT_EQ(lines[14], "Known viruses: 2");
    EXPECT_EQ(lines[15], "Unknown viruses: 1");
    EXPECT_EQ(lines[16], "Skipped: 3") << "nothing renames or deletes during a scan";
    EXPECT_EQ(lines[17], "Deleted: 0");
}

TEST_F(ReportTest, EndedEntryKeepsTheNextOnItsOwnLine) {
    ASSERT_EQ(reportBegin(report, L"report.txt"), kStatusOk);
    reportWritePath(report, L"\\unreadable.bin");
    reportEndEntry(report);
    reportWritePath(report, L"\\next.txt");
    reportWriteResult(report, kReportClean, L"is OK");
    std::vector<std::string> lines = reportLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[5], "\\unreadable.bin");
    EXPECT_EQ(lines[6], "\\next.txt [+] is OK");
}

TEST_F(ReportTest, FrenchReportCarriesItsAccentedLettersInTheCodePage) {
    ASSERT_EQ(lang.Init(12), kStatusOk);
    ASSERT_EQ(reportBegin(report, L"report.txt"), kStatusOk);
    reportWritePath(report, L"\\Mes documents\\résumé.doc");
    reportWriteResult(report, kReportInfected, L"est infecté par X");
    reportEnd(report);
    std::vector<std::string> lines = reportLines();
    ASSERT_GE(lines.size(), 16u);
    ASSERT_EQ(GetACP(), 1252u) << "the test device's code page";
    EXPECT_NE(lines[0].find("zerbin! antivirus"), std::string::npos);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 6), "4.1.19");
    EXPECT_EQ(lines[2], createdLine(report.startTime));
    EXPECT_EQ(lines[5], "\\Mes documents\\r\xE9sum\xE9.doc [L] est infect\xE9 par X")
        << "the device's code page (1252) holds é as one byte";
    EXPECT_EQ(lines[7], ansi(lang.GetString(8306)));
}

TEST_F(ReportTest, FailuresAreReportedAndNothingIsWrittenWithoutAReport) {
    EXPECT_EQ(reportBegin(report, nullptr), kStatusBadArgument);
    EXPECT_EQ(reportBegin(report, L""), kStatusBadArgument);
    EXPECT_FALSE(reportExists());
    wcscpy(report.path, reportPath().c_str());
    EXPECT_EQ(reportWritePath(report, L"\\x"), static_cast<Status>(ERROR_FILE_NOT_FOUND))
        << "appending needs an existing report";
    reportEnd(report);
    EXPECT_FALSE(reportExists());

    // A report held open by someone else cannot be created anew.
    HANDLE holder = CreateFileW(reportPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(reportBegin(report, L"report.txt"), static_cast<Status>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(report.file, nullptr);
    CloseHandle(holder);
}

}  // namespace
