// The simulated events, waits and clock: Sleep and every wait advance the
// clock at once, running what falls due on the way.
#include <algorithm>

#include "sim/sim_kernel.h"

using namespace sim::kernel;

namespace {

// A process handle is signalled once its process has ended.
bool ProcessEnded(HANDLE handle) {
    auto* info = M().Handle(handle, Kind::Process);
    if (!info) return false;
    const auto& ps = M().processes;
    return std::none_of(ps.begin(), ps.end(), [&](const sim::Process& p) { return info->pid && p.pid == info->pid; });
}

}  // namespace

namespace win {

HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name) {
    M().Log("CreateEventA " + std::string(securityAttributes ? "attrs" : "<null>") + " " +
            std::to_string(manualReset) + " " + std::to_string(initialState) + " " + Str(name));
    if (M().createEventFails) {
        M().lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    auto& others = M().otherObjectNames;
    if (name && std::find(others.begin(), others.end(), name) != others.end()) {
        M().lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    // A name already taken opens the existing event, as it is, and says so.
    std::shared_ptr<sim::Machine::EventObject> existing = name ? M().EventNamed(name) : nullptr;
    void* handle = M().NewHandle(Kind::Event, "event " + Str(name));
    auto* info = M().Handle(handle, Kind::Event);
    if (existing) {
        info->event = existing;
        M().lastError = ERROR_ALREADY_EXISTS;
    } else {
        info->event = std::make_shared<sim::Machine::EventObject>();
        info->event->signalled = initialState != 0;
        info->event->manualReset = manualReset != 0;
        info->event->name = Str(name);
        M().lastError = ERROR_SUCCESS;
    }
    return static_cast<HANDLE>(handle);
}

BOOL SetEvent(HANDLE event) {
    M().Log("SetEvent");
    auto* info = M().Handle(event, Kind::Event);
    if (!info) {
        M().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    info->event->signalled = true;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    M().Log("WaitForSingleObject " + std::to_string(milliseconds));
    auto signalled = [&]() {
        auto* info = M().Handle(handle, Kind::Event);
        return info && info->event->signalled;
    };
    if (!M().Handle(handle, Kind::Event)) {
        M().lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    std::int64_t deadline = M().now + milliseconds;
    while (!signalled() && M().RunNextEventUntil(deadline)) {
    }
    if (signalled()) {
        auto* info = M().Handle(handle, Kind::Event);
        if (!info->event->manualReset) info->event->signalled = false;
        return WAIT_OBJECT_0;
    }
    M().now = deadline;
    M().Refresh();
    return WAIT_TIMEOUT;
}

// All of them (the only wait the programs make on several): processes only.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    M().Log("WaitForMultipleObjects " + std::to_string(count) + " " + std::to_string(milliseconds));
    if (!waitAll || count == 0 || count > 64) M().misuse.push_back("WaitForMultipleObjects other than for all");
    for (DWORD i = 0; i < count; ++i)
        if (!M().Handle(handles[i], Kind::Process)) {
            Fail(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    auto all = [&]() {
        for (DWORD i = 0; i < count; ++i)
            if (!ProcessEnded(handles[i])) return false;
        return true;
    };
    std::int64_t deadline = M().now + milliseconds;
    while (!all() && M().RunNextEventUntil(deadline)) {
    }
    if (all()) return WAIT_OBJECT_0;
    M().now = deadline;
    M().Refresh();
    return WAIT_TIMEOUT;
}

void Sleep(DWORD milliseconds) {
    M().Log("Sleep " + std::to_string(milliseconds));
    M().slept += milliseconds;
    M().Advance(milliseconds);
}

}  // namespace win
