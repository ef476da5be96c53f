#include "monitor/schedule.h"

uint32_t checkPass(CheckSteps& steps, uint32_t interval) {
    steps.sleep(interval);
    if (interval == kCheckIntervalMs) interval = kRetryIntervalMs;
    if (!steps.openInternet()) return interval;
    interval = kCheckIntervalMs;
    steps.recordCheckTime();
    if (steps.newerPackageOnOffer()) steps.installPackage();
    steps.closeInternet();
    return interval;
}

void checkForever(CheckSteps& steps) {
    uint32_t interval = kRetryIntervalMs;
    for (;;) interval = checkPass(steps, interval);
}
