// TOOLHELP.DLL on the device: the process list as a program walks it to find
// "zbMonitor.exe" by its file name. A stand-in monitor (a helper that only
// waits) runs from a folder of its own under that name while the list is
// taken.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ce_toolhelp.h"
#include "device/tests/celibs_test_util.h"

namespace {

struct ToolHelp {
    HMODULE module = LoadLibraryW(L"TOOLHELP.DLL");
    template <typename T>
    T entry(const char* name) {
        return celibs_test::entryOf<T>(module, name);
    }
    PFN_CreateToolhelp32Snapshot snapshot = entry<PFN_CreateToolhelp32Snapshot>("CreateToolhelp32Snapshot");
    PFN_CloseToolhelp32Snapshot close = entry<PFN_CloseToolhelp32Snapshot>("CloseToolhelp32Snapshot");
    PFN_Process32First first = entry<PFN_Process32First>("Process32First");
    PFN_Process32Next next = entry<PFN_Process32Next>("Process32Next");
    bool complete() const { return snapshot && close && first && next; }
};

// The process list, walked as a program walks it.
std::vector<PROCESSENTRY32> processes(ToolHelp& th) {
    std::vector<PROCESSENTRY32> list;
    HANDLE snap = th.snapshot(TH32CS_SNAPPROCESS, 0);
    EXPECT_NE(snap, INVALID_HANDLE_VALUE);
    if (snap == INVALID_HANDLE_VALUE) return list;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = th.first(snap, &entry); more; more = th.next(snap, &entry)) list.push_back(entry);
    EXPECT_TRUE(th.close(snap));
    return list;
}

const PROCESSENTRY32* findById(const std::vector<PROCESSENTRY32>& list, DWORD id) {
    for (const PROCESSENTRY32& p : list) {
        if (p.th32ProcessID == id) return &p;
    }
    return nullptr;
}

class MonitorStandIn {
public:
    MonitorStandIn() {
        const std::wstring folder = celibs_test::ownFolder() + L"monitor";
        CreateDirectoryW(folder.c_str(), nullptr);
        path_ = folder + L"\\zbMonitor.exe";
        extracted_ = celibs_test::extractPayload(L"HELPER", path_);
        std::wstring line = L"\"" + path_ + L"\" wait";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (extracted_) CreateProcessW(path_.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &si, &info_);
    }
    ~MonitorStandIn() { end(); }
    MonitorStandIn(const MonitorStandIn&) = delete;
    MonitorStandIn& operator=(const MonitorStandIn&) = delete;
    bool running() const { return info_.hProcess != nullptr; }
    DWORD id() const { return info_.dwProcessId; }
    void end() {
        if (!info_.hProcess) return;
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, 10000);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
        info_ = PROCESS_INFORMATION{};
    }

private:
    std::wstring path_;
    bool extracted_ = false;
    PROCESS_INFORMATION info_{};
};

TEST(ToolHelpTest, ListsARunningMonitorByItsFileNameAndForgetsItWhenItEnds) {
    ToolHelp th;
    ASSERT_TRUE(th.complete());
    MonitorStandIn monitor;
    ASSERT_TRUE(monitor.running());
    const DWORD id = monitor.id();

    std::vector<PROCESSENTRY32> list = processes(th);
    const PROCESSENTRY32* found = findById(list, monitor.id());
    ASSERT_NE(found, nullptr) << "the monitor is in the list";
    EXPECT_EQ(_wcsicmp(found->szExeFile, L"zbMonitor.exe"), 0) << celibs_test::narrow(found->szExeFile);
    EXPECT_EQ(found->th32ParentProcessID, GetCurrentProcessId());
    EXPECT_GE(found->cntThreads, 1u);
    EXPECT_EQ(found->dwSize, sizeof(PROCESSENTRY32));
    // The list holds this test as well, under its own file name.
    const PROCESSENTRY32* self = findById(list, GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(_wcsicmp(self->szExeFile, L"test_toolhelp.exe"), 0) << celibs_test::narrow(self->szExeFile);

    // The process that the list names can be opened and ended by its id.
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, found->th32ProcessID);
    ASSERT_NE(process, nullptr);
    CloseHandle(process);
    monitor.end();
    EXPECT_EQ(findById(processes(th), id), nullptr);
}

TEST(ToolHelpTest, RecordsOfAnotherSizeAreRefused) {
    ToolHelp th;
    ASSERT_TRUE(th.complete());
    HANDLE snap = th.snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snap, INVALID_HANDLE_VALUE);
    PROCESSENTRY32 entry{};
    entry.dwSize = 0;
    EXPECT_FALSE(th.first(snap, &entry));
    entry.dwSize = offsetof(PROCESSENTRY32, th32MemoryBase);  // the desktop's record is shorter too
    EXPECT_FALSE(th.first(snap, &entry));
    EXPECT_EQ(entry.szExeFile[0], 0);
    EXPECT_FALSE(th.first(snap, nullptr));
    entry.dwSize = sizeof entry;
    EXPECT_TRUE(th.first(snap, &entry));
    EXPECT_NE(entry.szExeFile[0], 0);
    EXPECT_TRUE(th.close(snap));
    EXPECT_FALSE(th.close(INVALID_HANDLE_VALUE));
}

TEST(ToolHelpTest, CeOnlyFlagsAreAccepted) {
    ToolHelp th;
    ASSERT_TRUE(th.complete());
    // Programs on the device ask for the process list without heap lists.
    HANDLE snap = th.snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPNOHEAPS, 0);
    ASSERT_NE(snap, INVALID_HANDLE_VALUE);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    EXPECT_TRUE(th.first(snap, &entry));
    EXPECT_TRUE(th.close(snap));
}

}  // namespace
