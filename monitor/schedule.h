#pragma once
// The monitor's check schedule: the first check one minute after the start,
// then four hours after each check that could open the Internet handle, and
// every minute while it cannot. A failed download does not shorten the four
// hours. Platform-free: the sleep and the check's steps are injected.
#include <cstdint>

constexpr uint32_t kRetryIntervalMs = 60000;     // the first check, and while off line
constexpr uint32_t kCheckIntervalMs = 14400000;  // after a check that got on line

// The steps of one check, as the worker runs them.
class CheckSteps {
public:
    virtual ~CheckSteps() = default;
    virtual void sleep(uint32_t milliseconds) = 0;
    virtual bool openInternet() = 0;      // false: not on line, try again in a minute
    virtual void recordCheckTime() = 0;
    virtual bool newerPackageOnOffer() = 0;  // and the main program allows the install
    virtual void installPackage() = 0;       // ends the process when the installer has started
    virtual void closeInternet() = 0;
};

// One pass of the worker: sleeps `interval`, checks, and returns the
// interval of the next pass.
uint32_t checkPass(CheckSteps& steps, uint32_t interval);

// The worker's body: passes forever, from a one-minute interval.
[[noreturn]] void checkForever(CheckSteps& steps);
