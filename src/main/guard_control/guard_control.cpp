#include "guard_control.h"

#include <algorithm>
#include <string>
#include <vector>

#include "shared/process_shell.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "main/code_page.h"
#include "guard_copy.h"
#include "guard_folder.h"
#include "main/main_state.h"
#include "main/texts.h"

using namespace win;

namespace {

constexpr char kGuardService[] = "Velmora";
constexpr char kGuardDisplayName[] = "Velmora Tollvard";

// The waits of a press, each named after its step.
constexpr DWORD kStopGraceMs = 1500;        // after the stop request, before the deletion
constexpr DWORD kStartWaitLimitMs = 30000;  // for a start to end, running or stopped
constexpr DWORD kLeaveWaitLimitMs = 15000;  // for a removed guard to end, so its copy can go
// Poll between these bounds whatever the wait hint says: a hint of 0 must not
// spin, and a long hint must not keep the window frozen past the service.
constexpr DWORD kPollMinMs = 100;
constexpr DWORD kPollMaxMs = 1000;

SC_HANDLE OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE); }

// The guard's registration as one look finds it.
struct GuardLook {
    bool registered = false;
    bool readable = false;  // state holds its current state
    DWORD state = 0;
    DWORD error = 0;        // why it is not readable
};

GuardLook LookAtGuard(SC_HANDLE manager) {
    GuardLook look;
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_ALL_ACCESS);
    if (!guard) {
        look.error = GetLastError();
        look.registered = look.error != ERROR_SERVICE_DOES_NOT_EXIST;
        return look;
    }
    look.registered = true;
    SERVICE_STATUS status = {};
    look.readable = QueryServiceStatus(guard, &status);
    if (look.readable)
        look.state = status.dwCurrentState;
    else
        look.error = GetLastError();
    // Closed before anybody acts: an open handle would keep a deleted registration.
    CloseServiceHandle(guard);
    return look;
}

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

// Whether the guard still runs after its registration was deleted; *hint is
// its wait hint. Gone, or stopped while somebody else still holds it open,
// it runs no more and its copy may go.
bool GuardStillRuns(SC_HANDLE manager, DWORD* hint = nullptr) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_QUERY_STATUS);
    // One marked for deletion may refuse to be opened until it has gone.
    if (!guard) return GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
    SERVICE_STATUS status = {};
    bool runs = QueryServiceStatus(guard, &status) && status.dwCurrentState != SERVICE_STOPPED;
    CloseServiceHandle(guard);
    if (hint) *hint = status.dwWaitHint;
    return runs;
}

// After the registration was deleted: waits, at most 15 s, until the guard has
// left, then deletes its copy and the folder when empty. A copy still in use
// then stays for the next install to overwrite: where it lies it does no harm,
// and a delete scheduled for the restart would take a later install's copy.
void RemoveGuardCopyOnceGone(SC_HANDLE manager) {
    GuardCopy copy;
    std::string refusal;
    bool located = LocateGuardCopy(copy, refusal);

    for (DWORD waited = 0;;) {
        DWORD hint = 0;
        bool runs = GuardStillRuns(manager, &hint);
        if (!runs && (!located || DeleteGuardCopy(copy))) break;
        if (waited >= kLeaveWaitLimitMs) break;
        DWORD pause = std::min(std::clamp(hint, kPollMinMs, kPollMaxMs), kLeaveWaitLimitMs - waited);
        Sleep(pause);
        waited += pause;
    }
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

// The program path and start type the guard is registered with; false when
// unreadable.
bool ReadGuardConfig(SC_HANDLE guard, std::string& path, DWORD& startType) {
    DWORD needed = 0;
    if (QueryServiceConfigA(guard, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    // Records, not bytes, so that the record at its start is aligned.
    std::vector<QUERY_SERVICE_CONFIGA> buffer(needed / sizeof(QUERY_SERVICE_CONFIGA) + 1);
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(QUERY_SERVICE_CONFIGA));
    if (!QueryServiceConfigA(guard, buffer.data(), size, &needed)) return false;
    path = buffer[0].lpBinaryPathName ? buffer[0].lpBinaryPathName : "";
    startType = buffer[0].dwStartType;
    return true;
}

// Makes the registered guard run our own copy, and nothing else: Windows
// starts whatever the registration names as LocalSystem. Older versions
// registered Velmora.exe in the folder we were unpacked to, unquoted, where
// every user may write; such a registration is pointed at the verified copy.
// A press that turns the guard on also lifts the disabled start type that the
// start-up repair may have set. True when the registration is not there or
// runs our copy; false, with the message that says why, otherwise.
bool PointGuardAtCopy(SC_HANDLE manager, std::string& refusal) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
    if (!guard) {
        DWORD error = GetLastError();
        refusal = WithErrorCode(text::kGuardNotInstalled, error);
        return error == ERROR_SERVICE_DOES_NOT_EXIST;
    }
    GuardCopy copy;
    bool placed =
        LocateGuardCopy(copy, refusal) && CheckGuardProgramBesideUs(refusal) && PlaceGuardCopy(copy, refusal);
    const std::string quoted = placed ? QuotedGuardProgram(copy) : std::string();
    std::string registered;
    DWORD startType = 0;
    bool pointed = placed && ReadGuardConfig(guard, registered, startType) && registered == quoted &&
                   startType != SERVICE_DISABLED;
    if (placed && !pointed) {
        pointed = ChangeServiceConfigA(guard, SERVICE_NO_CHANGE,
                                       startType == SERVICE_DISABLED ? SERVICE_AUTO_START : SERVICE_NO_CHANGE,
                                       SERVICE_NO_CHANGE, registered == quoted ? nullptr : quoted.c_str(), nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr);
        if (!pointed) refusal = WithErrorCode(text::kGuardNotInstalled, GetLastError());
    }
    CloseServiceHandle(guard);
    return pointed;
}

// A registered guard that is stopped: start it, once it is sure to start
// our own copy; otherwise say why not and leave it stopped.
void StartStoppedGuard(SC_HANDLE manager) {
    std::string refusal;
    if (!PointGuardAtCopy(manager, refusal)) {
        ShowNotice(refusal.c_str());
        return;
    }
    DWORD error = 0;
    DWORD state = StartGuardService(manager, &error);
    if (state == SERVICE_RUNNING) {
        ShowNotice(text::kStarted);
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    } else {
        ShowGuardNotRunning(state, error);
    }
}

}  // namespace

void ShowGuardState(SC_HANDLE manager) {
    GuardLook look = LookAtGuard(manager);
    if (!look.registered) {
        ShowGuardTexts(text::kGuardTurnOn, text::kGuardOff);
    } else if (look.readable && look.state != SERVICE_STOPPED) {
        ShowLabel(GuardStatusLabel, text::kGuardInUse);
        ShowLabel(GuardButton, text::kGuardTurnOff);
    } else if (look.readable) {
        ShowLabel(GuardStatusLabel, text::kGuardStopped);
        ShowLabel(GuardButton, text::kGuardTurnOn);
    }
    // Unreadable: the start-up has nothing true to say; the first press tells.
}

void ToggleGuardService() {
    // 1. One service manager handle for the whole press.
    SC_HANDLE manager = OpenManager();
    if (!manager) {
        ShowNotice(text::kRunAgainAsAdministrator);
        return;
    }

    // 2. Its state decides: not registered, stopped, or any other state.
    // An unreadable state gives no safe choice between start and removal.
    GuardLook look = LookAtGuard(manager);
    if (!look.registered)
        InstallGuardService(manager);
    else if (!look.readable)
        ShowNotice(WithErrorCode(text::kGuardStateUnknown, look.error).c_str());
    else if (look.state == SERVICE_STOPPED)
        StartStoppedGuard(manager);
    else
        RemoveGuardService(manager);

    // 3. Closed once, after the last step.
    CloseServiceHandle(manager);
}

void InstallGuardService(SC_HANDLE manager) {
    GuardCopy copy;
    std::string refusal;
    if (!LocateGuardCopy(copy, refusal) || !CheckGuardProgramBesideUs(refusal) ||
        !PlaceGuardCopy(copy, refusal)) {
        ShowNotice(refusal.c_str());
        return;
    }

    const std::string quoted = QuotedGuardProgram(copy);
    SC_HANDLE guard = CreateServiceA(manager, kGuardService, kGuardDisplayName,
                                     SERVICE_CHANGE_CONFIG | SERVICE_PAUSE_CONTINUE, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, quoted.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
    if (!guard) {
        DWORD error = GetLastError();
        DeleteGuardCopy(copy);
        // Right after a removal the old registration lingers until its
        // process has gone; that resolves itself within seconds.
        ShowNotice(error == ERROR_SERVICE_MARKED_FOR_DELETE ? text::kGuardBeingRemoved
                                                            : WithErrorCode(text::kGuardNotInstalled, error).c_str());
        return;
    }
    ChangeServiceConfig2A(guard, SERVICE_CONFIG_DESCRIPTION, InProcessCodePage(text::kGuardDescription).c_str());
    ShowNotice(text::kInstalled);

    // The texts wait for the outcome of the start, so the window never claims
    // a running guard that is not.
    DWORD error = 0;
    DWORD state = StartGuardService(manager, &error);
    if (state == SERVICE_RUNNING)
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    else
        ShowGuardNotRunning(state, error);

    CloseServiceHandle(guard);
}

DWORD StartGuardService(SC_HANDLE manager, DWORD* startError) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_QUERY_STATUS | SERVICE_START);
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
    if (startError) *startError = error;
    return state;
}

void RemoveGuardService(SC_HANDLE manager) {
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
}

void RepairGuardRegistration(SC_HANDLE manager) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
    if (!guard) return;

    // 1. Already the quoted copy, in a folder that passes its check: only
    // administrators could have put there what it runs, ours or another
    // build's (after an upgrade, the older guard runs on from it). Left
    // exactly as it is, whatever lies beside us.
    GuardCopy copy;
    std::string refusal, registered;
    DWORD startType = 0;
    bool located = LocateGuardCopy(copy, refusal);
    const std::string quoted = located ? QuotedGuardProgram(copy) : std::string();
    bool named = located && ReadGuardConfig(guard, registered, startType) && registered == quoted;
    if (named && GuardFolderHoldsSoundCopy(copy)) {
        CloseServiceHandle(guard);
        return;
    }

    // 2. Anything else names that copy, once it is placed from the bytes we
    // carry in a folder that passed its check or was made fresh.
    bool pointed = located && PlaceGuardCopy(copy, refusal);
    if (pointed && !named)
        pointed = ChangeServiceConfigA(guard, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, quoted.c_str(),
                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);

    // 3. Otherwise it keeps its path and does not start with Windows: a
    // folder that could not be used, or a copy that is not there, must not
    // run as LocalSystem at the next boot. A press that places the copy
    // lets it start again.
    if (!pointed)
        ChangeServiceConfigA(guard, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
    CloseServiceHandle(guard);
}
