#pragma once
// How the emulated device's connection manager behaves: the mode that the
// device configuration names, and the statuses a connection goes through in
// it. Platform-free so that it is tested natively.
#include <cstddef>
#include <cstdint>

enum class ConnMgrMode {
    connected,       // the connection comes up
    disconnected,    // it reports "disconnected" once and then never changes
    establishFails,  // the request itself is refused
    statusFailed,    // it ends in "connection failed"
};

// The mode named by the configuration text (UTF-16, `length` units, no
// terminator needed). Letter case does not matter; an absent or empty text is
// the default, `connected`. Returns false for a name that is no mode: the
// caller then refuses connections, so that a misconfigured device shows it.
bool connMgrModeFromText(const char16_t* text, size_t length, ConnMgrMode& mode);

// The status of a new connection before its first change.
constexpr uint32_t kConnMgrInitialStatus = 0x40;  // waiting for the connection

// One status change of a connection: after `delayMs` from the previous one,
// the status becomes `status` and the connection's handle is signalled.
struct ConnMgrStep {
    uint32_t delayMs;
    uint32_t status;
};

// The changes of a connection in `mode`, in order; `count` receives their
// number (0 for establishFails, which makes no connection). After the last
// change nothing happens until the connection is released.
const ConnMgrStep* connMgrPlan(ConnMgrMode mode, size_t& count);

