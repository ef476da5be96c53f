// The worker's steps over the update operations, always unattended.
#include <windows.h>
#include <wininet.h>

#include "base/binding.h"
#include "monitor/monitor.h"
#include "monitor/schedule.h"
#include "update/update.h"

namespace {

class UpdateSteps : public CheckSteps {
public:
    void sleep(uint32_t milliseconds) override { Sleep(milliseconds); }
    bool openInternet() override {
        internet_ = updateConnect(modeUnattended);
        return internet_ != nullptr;
    }
    void recordCheckTime() override { updateRegistry(); }
    bool newerPackageOnOffer() override { return downloadVersionFile(internet_, modeUnattended); }
    void installPackage() override { downloadDataFile(internet_, modeUnattended); }
    void closeInternet() override {
        g_api.InternetCloseHandle(internet_);
        internet_ = nullptr;
    }

private:
    HINTERNET internet_ = nullptr;
};

}  // namespace

DWORD WINAPI checkThread(void*) {
    UpdateSteps steps;
    checkForever(steps);
}
