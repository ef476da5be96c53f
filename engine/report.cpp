#include "engine/report.h"

#include <cstdio>
#include <cwchar>
#include <string>

#include "engine/fileio.h"
#include "engine/report_text.h"
#include "engine/vps.h"

namespace {

constexpr uint32_t kModeCreateShared = 8;  // read and write, shared, emptied
constexpr uint32_t kModeAppend = 5;        // read and write, not shared, at the end

std::wstring text(const ScanReport& report, uint32_t id) { return report.text ? report.text(id) : std::wstring(); }

// "%S" on the way in: UTF-16 to the device's 8-bit code page.
std::string ansi(const std::wstring& wide) {
    if (wide.empty()) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size_t(size) : 0, '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// A language text used as a format with numeric arguments.
template <typename... Args>
std::wstring formatText(const ScanReport& report, uint32_t id, Args... args) {
    wchar_t buffer[1025];
    wsprintfW(buffer, text(report, id).c_str(), args...);
    return buffer;
}

Status writeAll(HANDLE file, const std::string& bytes) {
    if (bytes.empty()) return kStatusOk;
    return fileWrite(file, bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
}

Status appendToReport(ScanReport& report, const std::string& bytes) {
    Status status = fileOpen(report.path, kModeAppend, &report.file);
    if (status != kStatusOk) return status;
    status = writeAll(report.file, bytes);
    fileClose(report.file);
    report.file = nullptr;
    return status;
}

std::string number(unsigned value) { return std::to_string(value); }

std::string twoDigits(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02u", value);
    return buffer;
}

const char* markerOf(uint32_t kind) {
    if (kind & 1) return " [+] ";
    if (kind & 2) return " [L] ";
    if (kind & 4) return " [E] ";
    return "";
}

}  // namespace

void resetCounters(ScanReport& report) {
    report.s_nScanned = 0;
    report.s_nInfected = 0;
    report.s_nUnknown = 0;
    report.s_nInfectedOpen = 0;
    report.s_nRenamed = 0;
    report.s_nDeleted = 0;
}

Status reportBegin(ScanReport& report, const wchar_t* fileName) {
    resetCounters(report);
    if (!fileName || !*fileName) return kStatusBadArgument;

    wchar_t folder[MAX_PATH + 1];
    Status status = moduleDirectory(folder);
    if (status != kStatusOk) return status;
    std::wstring path = std::wstring(folder) + L"\\" + fileName;
    if (path.size() >= sizeof report.path / sizeof report.path[0]) return ERROR_FILENAME_EXCED_RANGE;
    wcscpy(report.path, path.c_str());

    status = fileOpen(report.path, kModeCreateShared, &report.file);
    if (status != kStatusOk) {
        report.file = nullptr;
        return status;
    }

    std::wstring title = L"";
    {
        wchar_t buffer[1025];
        wsprintfW(buffer, text(report, 8304).c_str(), ansi(text(report, 8020)).c_str());
        title = buffer + text(report, 8021) + text(report, 8022);
    }
    std::string titleLine = ansi(title);
    report.headerLength = static_cast<uint32_t>(titleLine.size());
    std::string dashes(report.headerLength, '-');

    status = writeAll(report.file, titleLine + "\r\n");
    if (status == kStatusOk) status = writeAll(report.file, dashes + "\r\n");
    if (status == kStatusOk) {
        GetLocalTime(&report.startTime);
        const SYSTEMTIME& t = report.startTime;
        std::string created = ansi(text(report, 8316)) + " " + ansi(text(report, weekdayTextId(t.wDayOfWeek))) + ", " +
                              number(t.wDay) + ansi(text(report, ordinalSuffixTextId(t.wDay))) + " " +
                              ansi(text(report, monthTextId(t.wMonth))) + ", " + number(t.wYear) + " " +
                              ansi(text(report, 8059)) + " " + twoDigits(t.wHour) + ":" + twoDigits(t.wMinute) + ":" +
                              twoDigits(t.wSecond);
        status = writeAll(report.file, created + "\r\n");
    }
    if (status == kStatusOk) {
        status = writeAll(report.file, ansi(formatText(report, 8305, int(g_vps.versionMajor), int(g_vps.versionMinor))) + "\r\n");
    }
    if (status == kStatusOk) status = writeAll(report.file, "\r\n");
    fileClose(report.file);
    report.file = nullptr;
    return status;
}

Status reportWritePath(ScanReport& report, const wchar_t* path) {
    if (!path) return kStatusBadArgument;
    return appendToReport(report, ansi(path));
}

Status reportWriteResult(ScanReport& report, uint32_t kind, const wchar_t* resultText) {
    Status status = appendToReport(report, markerOf(kind) + ansi(resultText ? resultText : L"") + "\r\n");
    if (status == kStatusOk && (kind & 8)) ++report.s_nUnknown;
    return status;
}

Status reportEndEntry(ScanReport& report) { return appendToReport(report, "\r\n"); }

void reportEnd(ScanReport& report) {
    if (fileOpen(report.path, kModeAppend, &report.file) != kStatusOk) {
        report.file = nullptr;
        return;
    }
    uint32_t infected = report.s_nInfected, unknown = report.s_nUnknown;
    uint32_t renamed = report.s_nRenamed, deleted = report.s_nDeleted;
    const std::string lines[] = {
        "\r\n" + ansi(text(report, 8306)) + "\r\n" + std::string(report.headerLength, '-') + "\r\n",
        ansi(formatText(report, 8307, int(report.s_nScanned.load()))) + "\r\n",
        ansi(formatText(report, 8308, int(infected - unknown))) + "\r\n",
        ansi(formatText(report, 8309, int(unknown))) + "\r\n",
        ansi(formatText(report, 8310, int(infected - renamed - deleted))) + "\r\n",
        ansi(formatText(report, 8312, int(deleted))) + "\r\n",
        "\r\n",
    };
    Status status = kStatusOk;
    for (const std::string& line : lines) {
        status = writeAll(report.file, line);
        if (status != kStatusOk) break;
    }
    if (status == kStatusOk) {
        GetLocalTime(&report.endTime);
        const SYSTEMTIME &s = report.startTime, &e = report.endTime;
        ScanDuration d = scanDuration(s.wHour, s.wMinute, s.wSecond, e.wHour, e.wMinute, e.wSecond);
        writeAll(report.file, ansi(formatText(report, 8313, int(d.hours), int(d.minutes), int(d.seconds))) + "\r\n");
    }
    fileClose(report.file);
    report.file = nullptr;
}

bool reportExists() {
    wchar_t folder[MAX_PATH + 1];
    if (moduleDirectory(folder) != kStatusOk) return false;
    std::wstring path = std::wstring(folder) + L"\\report.txt";
    return pathExists(path.c_str(), true);
}
