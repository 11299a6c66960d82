#include "guard_control.h"

#include <algorithm>
#include <string>
#include <vector>

#include "../shared/process_shell.h"
#include "../shared/service_manager.h"
#include "../shared/win_defs.h"
#include "../shared/window_dialog.h"
#include "code_page.h"
#include "guard_copy.h"
#include "main_state.h"
#include "texts.h"

using namespace win;

namespace {

constexpr char kGuardService[] = "Velmora";
constexpr char kGuardDisplayName[] = "Velmora Tollvard";

constexpr DWORD kStopGraceMs = 1500;
constexpr DWORD kStartWaitLimitMs = 30000;
constexpr DWORD kLeaveWaitLimitMs = 15000;
// Poll between these bounds whatever the wait hint says: a hint of 0 must not
// spin, and a long hint must not keep the window frozen past the service.
constexpr DWORD kPollMinMs = 100;
constexpr DWORD kPollMaxMs = 1000;

SC_HANDLE OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE); }

void ShowGuardTexts(const char* button, const char* status) {
    ShowLabel(GuardButton, button);
    ShowLabel(GuardStatusLabel, status);
}

// After a start that did not reach SERVICE_RUNNING: say so, and label the
// guard by the state it is really in, which is also what the next press acts
// on (a stopped guard is started, any other one is removed).
void ShowGuardNotRunning(DWORD state, DWORD startError) {
    if (startError == ERROR_SERVICE_MARKED_FOR_DELETE) {
        // The last removal is not through yet; the next press installs anew.
        ShowNotice(text::kGuardBeingRemoved);
        ShowGuardTexts(text::kGuardTurnOn, text::kGuardOff);
    } else if (state == SERVICE_STOPPED || state == 0) {
        ShowNotice(text::kGuardNotStarted);
        ShowGuardTexts(text::kGuardTurnOn, text::kGuardStopped);
    } else {
        ShowNotice(text::kGuardStillStarting);
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    }
}

// Polls until the guard runs or stops, the status cannot be read, or the time
// limit is spent; returns the last state seen, 0 when none could be read.
DWORD WaitForGuardStart(SC_HANDLE guard) {
    DWORD waited = 0;
    for (;;) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(guard, &status)) return 0;
        DWORD state = status.dwCurrentState;
        if (state == SERVICE_RUNNING || state == SERVICE_STOPPED || waited >= kStartWaitLimitMs) return state;
        DWORD pause = std::clamp(status.dwWaitHint, kPollMinMs, kPollMaxMs);
        pause = std::min(pause, kStartWaitLimitMs - waited);
        Sleep(pause);
        waited += pause;
    }
}

// How long to wait before looking again whether the guard has left; 0 once
// its registration is gone, which the manager does when the guard has stopped
// and nobody holds a handle to it.
DWORD GuardLeavePause(SC_HANDLE manager) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_QUERY_STATUS);
    if (!guard) return GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE ? kPollMinMs : 0;
    SERVICE_STATUS status = {};
    QueryServiceStatus(guard, &status);
    CloseServiceHandle(guard);
    return std::clamp(status.dwWaitHint, kPollMinMs, kPollMaxMs);
}

// After the registration was deleted: waits, at most 15 s, until the guard has
// left, then deletes its copy and the folder when empty. A copy still in use
// then stays for the next install to overwrite: where it lies it does no harm,
// and a delete scheduled for the restart would take a later install's copy.
void RemoveGuardCopyOnceGone(SC_HANDLE manager) {
    GuardCopy copy;
    std::string refusal;
    bool ours = LocateGuardCopy(copy, refusal) && !copy.ownFolder;

    for (DWORD waited = 0;;) {
        DWORD pause = GuardLeavePause(manager);
        if (pause == 0 && (!ours || DeleteGuardCopy(copy))) break;
        if (waited >= kLeaveWaitLimitMs) break;
        pause = std::min(std::max(pause, kPollMinMs), kLeaveWaitLimitMs - waited);
        Sleep(pause);
        waited += pause;
    }
}

// Whether the guard still runs although its registration was deleted: it
// took no stop, and Windows keeps such a service until the next restart.
bool GuardStillRuns(SC_HANDLE manager) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_QUERY_STATUS);
    if (!guard) return false;
    SERVICE_STATUS status = {};
    bool runs = QueryServiceStatus(guard, &status) && status.dwCurrentState != SERVICE_STOPPED;
    CloseServiceHandle(guard);
    return runs;
}

// Stops the guard unless it is stopped and deletes its registration; a guard
// still running is only marked and leaves once it has stopped. Then its copy
// goes. False, with the error, when the registration could not be deleted.
bool DeleteGuardRegistration(SC_HANDLE manager, DWORD& error) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_ALL_ACCESS);
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    bool removed;
    if (guard) {
        SERVICE_STATUS status = {};
        DWORD state = QueryServiceStatus(guard, &status) ? status.dwCurrentState : 0;
        // Windows takes no stop from a guard that is still starting: let it
        // run first, as long as a start may take.
        if (state == SERVICE_START_PENDING) state = WaitForGuardStart(guard);
        if (state != SERVICE_STOPPED) {
            ControlService(guard, SERVICE_CONTROL_STOP, &status);
            Sleep(kStopGraceMs);
        }
        // One already marked is as good as removed.
        removed = DeleteService(guard);
        if (!removed) {
            error = GetLastError();
            removed = error == ERROR_SERVICE_MARKED_FOR_DELETE;
        }
        // Our own handle would keep the registration alive.
        CloseServiceHandle(guard);
    } else {
        error = GetLastError();
        removed = error == ERROR_SERVICE_DOES_NOT_EXIST;
    }
    if (removed) RemoveGuardCopyOnceGone(manager);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    return removed;
}

// The program path the guard is registered with; false when unreadable.
bool ReadGuardProgramPath(SC_HANDLE guard, std::string& path) {
    DWORD needed = 0;
    if (QueryServiceConfigA(guard, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    // Records, not bytes, so that the record at its start is aligned.
    std::vector<QUERY_SERVICE_CONFIGA> buffer(needed / sizeof(QUERY_SERVICE_CONFIGA) + 1);
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(QUERY_SERVICE_CONFIGA));
    if (!QueryServiceConfigA(guard, buffer.data(), size, &needed)) return false;
    path = buffer[0].lpBinaryPathName ? buffer[0].lpBinaryPathName : "";
    return true;
}

// Makes the registered guard run our own copy, and nothing else: Windows
// starts whatever the registration names as LocalSystem. Older versions
// registered Velmora.exe in the folder we were unpacked to, unquoted, where
// every user may write; such a registration is pointed at the verified copy,
// and only its program path changes. True when the registration is not there
// or runs our copy; false, with the message that says why, otherwise.
bool PointGuardAtCopy(SC_HANDLE manager, std::string& refusal) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
    if (!guard) {
        DWORD error = GetLastError();
        refusal = WithErrorCode(text::kGuardNotInstalled, error);
        return error == ERROR_SERVICE_DOES_NOT_EXIST;
    }
    GuardCopy copy;
    bool placed = LocateGuardCopy(copy, refusal) && PlaceGuardCopy(copy, refusal);
    const std::string quoted = QuotedGuardProgram(copy);
    std::string registered;
    bool pointed = placed && ReadGuardProgramPath(guard, registered) && registered == quoted;
    if (placed && !pointed) {
        pointed = ChangeServiceConfigA(guard, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, quoted.c_str(),
                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        if (!pointed) refusal = WithErrorCode(text::kGuardNotInstalled, GetLastError());
    }
    CloseServiceHandle(guard);
    return pointed;
}

// A registered guard that is stopped: start it, once it is sure to start
// our own copy; otherwise say why not and leave it stopped.
void StartStoppedGuard() {
    SC_HANDLE manager = OpenManager();
    if (!manager) return;
    std::string refusal;
    bool pointed = PointGuardAtCopy(manager, refusal);
    CloseServiceHandle(manager);
    if (!pointed) {
        ShowNotice(refusal.c_str());
        return;
    }

    DWORD error = 0;
    DWORD state = StartGuardService(&error);
    if (state == SERVICE_RUNNING) {
        ShowNotice(text::kStarted);
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    } else {
        ShowGuardNotRunning(state, error);
    }
}

void RefuseInstall(SC_HANDLE manager, const std::string& message) {
    CloseServiceHandle(manager);
    ShowNotice(message.c_str());
}

}  // namespace

void ToggleGuardService() {
    SC_HANDLE manager = OpenManager();
    if (!manager) {
        ShowNotice(text::kRunAgainAsAdministrator);
        return;
    }

    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_ALL_ACCESS);
    SERVICE_STATUS status = {};
    // An unreadable state gives no safe choice between start and removal.
    bool known = guard && QueryServiceStatus(guard, &status);
    // Closed before acting: an open handle would keep a deleted registration.
    if (guard) CloseServiceHandle(guard);
    CloseServiceHandle(manager);

    if (!guard)
        InstallGuardService();
    else if (known && status.dwCurrentState == SERVICE_STOPPED)
        StartStoppedGuard();
    else if (known)
        RemoveGuardService();
}

void InstallGuardService() {
    SC_HANDLE manager = OpenManager();
    if (!manager) {
        ShowNotice(text::kRunAgainAsAdministrator);
        return;
    }

    std::string source;
    if (!FindGuardProgramBesideUs(source)) {
        RefuseInstall(manager, text::kGuardProgramMissing);
        return;
    }
    GuardCopy copy;
    std::string refusal;
    if (!LocateGuardCopy(copy, refusal) || !PlaceGuardCopy(copy, refusal)) {
        RefuseInstall(manager, refusal);
        return;
    }

    const std::string quoted = QuotedGuardProgram(copy);
    SC_HANDLE guard = CreateServiceA(manager, kGuardService, kGuardDisplayName,
                                     SERVICE_CHANGE_CONFIG | SERVICE_PAUSE_CONTINUE, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, quoted.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
    if (!guard) {
        DWORD error = GetLastError();
        if (!copy.ownFolder) DeleteGuardCopy(copy);
        // Right after a removal the old registration lingers until its
        // process has gone; that resolves itself within seconds.
        RefuseInstall(manager, error == ERROR_SERVICE_MARKED_FOR_DELETE
                                   ? std::string(text::kGuardBeingRemoved)
                                   : WithErrorCode(text::kGuardNotInstalled, error));
        return;
    }
    ChangeServiceConfig2A(guard, SERVICE_CONFIG_DESCRIPTION, InProcessCodePage(text::kGuardDescription).c_str());
    ShowNotice(text::kInstalled);

    // The texts wait for the outcome of the start, so the window never claims
    // a running guard that is not.
    DWORD error = 0;
    DWORD state = StartGuardService(&error);
    if (state == SERVICE_RUNNING)
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    else
        ShowGuardNotRunning(state, error);

    CloseServiceHandle(guard);
    CloseServiceHandle(manager);
}

DWORD StartGuardService(DWORD* startError) {
    SC_HANDLE manager = OpenManager();
    SC_HANDLE guard = manager ? OpenServiceA(manager, kGuardService, SERVICE_QUERY_STATUS | SERVICE_START) : nullptr;
    DWORD error = guard ? 0 : GetLastError();

    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    DWORD state = 0;
    if (guard) {
        if (StartServiceA(guard, 0, nullptr)) {
            state = WaitForGuardStart(guard);
        } else {
            // Refused, perhaps because it already runs: report what it is.
            error = GetLastError();
            SERVICE_STATUS status = {};
            if (QueryServiceStatus(guard, &status)) state = status.dwCurrentState;
        }
    }
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));

    if (guard) CloseServiceHandle(guard);
    if (manager) CloseServiceHandle(manager);
    if (startError) *startError = error;
    return state;
}

void RemoveGuardService() {
    SC_HANDLE manager = OpenManager();
    if (!manager) {
        ShowNotice(text::kRunAgainAsAdministrator);
        return;
    }

    DWORD error = 0;
    if (!DeleteGuardRegistration(manager, error)) {
        ShowNotice(WithErrorCode(text::kGuardNotRemoved, error).c_str());
    } else if (GuardStillRuns(manager)) {
        // It goes with the next restart; until then it is still at work.
        ShowNotice(text::kGuardStillRunning);
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    } else {
        ShowNotice(text::kRemoved);
        ShowGuardTexts(text::kGuardTurnOn, text::kGuardOff);
    }
    CloseServiceHandle(manager);
}

void RepairGuardRegistration(SC_HANDLE manager) {
    // What cannot be repaired now is refused, with its reason, by the next
    // press that would start it.
    std::string refusal;
    PointGuardAtCopy(manager, refusal);
}
