#include "guard_control.h"

#include <algorithm>
#include <string>

#include "../shared/process_shell.h"
#include "../shared/service_manager.h"
#include "../shared/win_defs.h"
#include "../shared/window_dialog.h"
#include "main_state.h"
#include "paths.h"
#include "texts.h"

using namespace win;

namespace {

constexpr char kGuardService[] = "Velmora";
constexpr char kGuardDisplayName[] = "Velmora Tollvard";
constexpr char kGuardProgram[] = "Velmora.exe";

constexpr DWORD kStopGraceMs = 1500;
constexpr DWORD kStartWaitLimitMs = 30000;
// Poll between these bounds whatever the wait hint says: a hint of 0 must not
// spin, and a long hint must not keep the window frozen past the service.
constexpr DWORD kStartPollMinMs = 100;
constexpr DWORD kStartPollMaxMs = 1000;

SC_HANDLE OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE); }

std::string WithErrorCode(const char* message, DWORD error) {
    return std::string(message) + " (" + text::kErrorCode + " " + std::to_string(error) + ")";
}

void ShowGuardTexts(const char* button, const char* status) {
    SetWindowTextA(GuardButton, button);
    SetWindowTextA(GuardStatusLabel, status);
}

// After a start that did not reach SERVICE_RUNNING: say so, and label the
// guard by the state it is really in, which is also what the next press acts
// on (a stopped guard is started, any other one is removed).
void ShowGuardNotRunning(DWORD state) {
    if (state == SERVICE_STOPPED || state == 0) {
        ShowNotice(text::kGuardNotStarted);
        ShowGuardTexts(text::kGuardTurnOn, text::kGuardStopped);
    } else {
        ShowNotice(text::kGuardStillStarting);
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    }
}

// The quoted path of Velmora.exe beside the running program, when it fits in
// MAX_PATH bytes. The quotes keep Windows from reading a folder with blanks
// as a shorter program path followed by arguments.
bool GuardBinaryPath(std::string& program, std::string& quoted) {
    std::string folder;
    if (!ModuleFolder(folder) || !JoinFolderPath(folder, kGuardProgram, program)) return false;
    quoted = "\"" + program + "\"";
    return quoted.size() + 1 <= MAX_PATH;
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
        DWORD pause = std::clamp(status.dwWaitHint, kStartPollMinMs, kStartPollMaxMs);
        pause = std::min(pause, kStartWaitLimitMs - waited);
        Sleep(pause);
        waited += pause;
    }
}

}  // namespace

void ToggleGuardService() {
    SC_HANDLE manager = OpenManager();
    if (!manager) {
        ShowNotice(text::kRunAgainAsAdministrator);
        return;
    }

    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_ALL_ACCESS);
    if (guard) {
        SERVICE_STATUS status = {};
        // An unreadable state gives no safe choice between start and removal.
        if (QueryServiceStatus(guard, &status)) {
            if (status.dwCurrentState == SERVICE_STOPPED) {
                DWORD state = StartGuardService();
                if (state == SERVICE_RUNNING) {
                    ShowNotice(text::kStarted);
                    ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
                } else {
                    ShowGuardNotRunning(state);
                }
            } else {
                RemoveGuardService();
            }
        }
    } else {
        InstallGuardService();
    }

    if (guard) CloseServiceHandle(guard);
    CloseServiceHandle(manager);
}

void InstallGuardService() {
    SC_HANDLE manager = OpenManager();
    if (!manager) {
        ShowNotice(text::kRunAgainAsAdministrator);
        return;
    }

    // Beside the running program, not in the current directory: started from
    // a shortcut, the two differ.
    std::string program;
    std::string quoted;
    if (!GuardBinaryPath(program, quoted) || GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
        CloseServiceHandle(manager);
        ShowNotice(text::kGuardProgramMissing);
        return;
    }

    SC_HANDLE guard = CreateServiceA(manager, kGuardService, kGuardDisplayName,
                                     SERVICE_CHANGE_CONFIG | SERVICE_PAUSE_CONTINUE, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, quoted.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
    if (!guard) {
        DWORD error = GetLastError();
        CloseServiceHandle(manager);
        // Right after a removal the old registration lingers until its
        // process has gone; that resolves itself within seconds.
        if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
            ShowNotice(text::kGuardBeingRemoved);
        else
            ShowNotice(WithErrorCode(text::kGuardNotInstalled, error).c_str());
        return;
    }
    ChangeServiceConfig2A(guard, SERVICE_CONFIG_DESCRIPTION, text::kGuardDescription);
    ShowNotice(text::kInstalled);

    // The texts wait for the outcome of the start, so the window never claims
    // a running guard that is not.
    DWORD state = StartGuardService();
    if (state == SERVICE_RUNNING)
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    else
        ShowGuardNotRunning(state);

    CloseServiceHandle(guard);
    CloseServiceHandle(manager);
}

DWORD StartGuardService() {
    SC_HANDLE manager = OpenManager();
    SC_HANDLE guard = manager ? OpenServiceA(manager, kGuardService, SERVICE_QUERY_STATUS | SERVICE_START) : nullptr;

    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    DWORD state = 0;
    if (guard) {
        if (StartServiceA(guard, 0, nullptr)) {
            state = WaitForGuardStart(guard);
        } else {
            // Refused, perhaps because it already runs: report what it is.
            SERVICE_STATUS status = {};
            if (QueryServiceStatus(guard, &status)) state = status.dwCurrentState;
        }
    }
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));

    if (guard) CloseServiceHandle(guard);
    if (manager) CloseServiceHandle(manager);
    return state;
}

void RemoveGuardService() {
    SC_HANDLE manager = OpenManager();
    if (!manager) {
        ShowNotice(text::kRunAgainAsAdministrator);
        return;
    }

    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_ALL_ACCESS);
    bool removed;
    DWORD error = 0;
    if (guard) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(guard, &status) || status.dwCurrentState != SERVICE_STOPPED) {
            ControlService(guard, SERVICE_CONTROL_STOP, &status);
            Sleep(kStopGraceMs);
        }
        // A running guard is only marked here and leaves once it has stopped;
        // one already marked is as good as removed.
        removed = DeleteService(guard);
        if (!removed) {
            error = GetLastError();
            removed = error == ERROR_SERVICE_MARKED_FOR_DELETE;
        }
    } else {
        error = GetLastError();
        removed = error == ERROR_SERVICE_DOES_NOT_EXIST;
    }

    if (removed) {
        ShowNotice(text::kRemoved);
        ShowGuardTexts(text::kGuardTurnOn, text::kGuardOff);
    } else {
        ShowNotice(WithErrorCode(text::kGuardNotRemoved, error).c_str());
    }

    if (guard) CloseServiceHandle(guard);
    CloseServiceHandle(manager);
}
