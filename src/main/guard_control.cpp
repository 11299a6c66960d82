#include "guard_control.h"

#include <algorithm>
#include <string>

#include "../shared/catalogue.h"
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
constexpr char kGuardFolder[] = "Tollvard";  // under Program Files

constexpr DWORD kStopGraceMs = 1500;
constexpr DWORD kStartWaitLimitMs = 30000;
constexpr DWORD kLeaveWaitLimitMs = 15000;
// Poll between these bounds whatever the wait hint says: a hint of 0 must not
// spin, and a long hint must not keep the window frozen past the service.
constexpr DWORD kPollMinMs = 100;
constexpr DWORD kPollMaxMs = 1000;

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

// Where the registered guard lives. Windows starts it as LocalSystem at every
// boot, so it must lie where only administrators can change it: in its own
// folder under Program Files, never in the folder the user unpacked us to,
// which every program running as the user may write to.
struct GuardCopy {
    std::string folder;       // <Program Files>\Tollvard
    std::string program;      // folder\Velmora.exe, the program registered
    bool ownFolder = false;   // we run from that folder: the program is our own file
};

std::string LongPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    DWORD length = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? path : std::string(buffer, length);
}

// Folders compared as Windows compares names: without case, and in their
// long form, since a program started as C:\PROGRA~1\... is told that spelling.
bool SameFolder(const std::string& a, const std::string& b) {
    return grid::LowerImageName(LongPath(a).c_str()) == grid::LowerImageName(LongPath(b).c_str());
}

// False, with the message that says why, when Program Files cannot be told
// or the quoted program path would not fit MAX_PATH.
bool LocateGuardCopy(GuardCopy& copy, std::string& refusal) {
    std::string programFiles;
    if (!GetSpecialFolder(CSIDL_PROGRAM_FILES, programFiles)) {
        refusal = text::kGuardFolderUnknown;
        return false;
    }
    if (!JoinFolderPath(programFiles, kGuardFolder, copy.folder) ||
        !JoinFolderPath(copy.folder, kGuardProgram, copy.program) || copy.program.size() + 3 > MAX_PATH) {
        refusal = text::kGuardPathTooLong;
        return false;
    }
    std::string ownFolder;
    copy.ownFolder = ModuleFolder(ownFolder) && SameFolder(ownFolder, copy.folder);
    return true;
}

// Copies Velmora.exe from beside us into the guard's folder, over an older
// copy; nothing to do when we run from that folder ourselves.
bool PlaceGuardCopy(const std::string& source, const GuardCopy& copy, std::string& refusal) {
    if (copy.ownFolder) return true;
    if (!CreateDirectoryA(copy.folder.c_str(), nullptr)) {
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            refusal = WithErrorCode(text::kGuardFolderNotMade, error);
            return false;
        }
    }
    if (!CopyFileA(source.c_str(), copy.program.c_str(), FALSE)) {
        DWORD error = GetLastError();
        // The old copy is still the image of a guard on its way out.
        refusal = error == ERROR_SHARING_VIOLATION ? std::string(text::kGuardBeingRemoved)
                                                   : WithErrorCode(text::kGuardNotCopied, error);
        RemoveDirectoryA(copy.folder.c_str());  // only when it is empty
        return false;
    }
    // A read-only Velmora.exe (from a CD or an archive) gives a read-only copy
    // that no later removal or install could replace.
    SetFileAttributesA(copy.program.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

bool DeleteGuardCopy(const GuardCopy& copy) {
    bool deleted = DeleteFileA(copy.program.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
                   GetLastError() == ERROR_PATH_NOT_FOUND;  // no folder, no copy
    RemoveDirectoryA(copy.folder.c_str());  // only when it is empty
    return deleted;
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

    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    for (DWORD waited = 0;;) {
        DWORD pause = GuardLeavePause(manager);
        if (pause == 0 && (!ours || DeleteGuardCopy(copy))) break;
        if (waited >= kLeaveWaitLimitMs) break;
        pause = std::min(std::max(pause, kPollMinMs), kLeaveWaitLimitMs - waited);
        Sleep(pause);
        waited += pause;
    }
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

// Stops the guard unless it is stopped and deletes its registration; a guard
// still running is only marked and leaves once it has stopped. Then its copy
// goes. False, with the error, when the registration could not be deleted.
bool DeleteGuardRegistration(SC_HANDLE manager, DWORD& error) {
    SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_ALL_ACCESS);
    bool removed;
    if (guard) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(guard, &status) || status.dwCurrentState != SERVICE_STOPPED) {
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
    return removed;
}

// A registered guard that is stopped: start it, or register it afresh when
// its program was moved or deleted since.
void StartStoppedGuard() {
    DWORD error = 0;
    DWORD state = StartGuardService(&error);
    if (state == SERVICE_RUNNING) {
        ShowNotice(text::kStarted);
        ShowGuardTexts(text::kGuardTurnOff, text::kGuardInUse);
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        SC_HANDLE manager = OpenManager();
        if (!manager) return;
        DWORD removeError = 0;
        bool removed = DeleteGuardRegistration(manager, removeError);
        CloseServiceHandle(manager);
        if (removed)
            InstallGuardService();
        else
            ShowNotice(WithErrorCode(text::kGuardNotRemoved, removeError).c_str());
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

    // Beside the running program, not in the current directory: started from
    // a shortcut, the two differ.
    std::string ownFolder;
    std::string source;
    if (!ModuleFolder(ownFolder) || !JoinFolderPath(ownFolder, kGuardProgram, source) ||
        GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
        RefuseInstall(manager, text::kGuardProgramMissing);
        return;
    }
    GuardCopy copy;
    std::string refusal;
    if (!LocateGuardCopy(copy, refusal) || !PlaceGuardCopy(source, copy, refusal)) {
        RefuseInstall(manager, refusal);
        return;
    }

    // Quoted, so that Windows cannot read a folder with blanks as a shorter
    // program path followed by arguments.
    const std::string quoted = "\"" + copy.program + "\"";
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
    ChangeServiceConfig2A(guard, SERVICE_CONFIG_DESCRIPTION, text::kGuardDescription);
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
    if (DeleteGuardRegistration(manager, error)) {
        ShowNotice(text::kRemoved);
        ShowGuardTexts(text::kGuardTurnOn, text::kGuardOff);
    } else {
        ShowNotice(WithErrorCode(text::kGuardNotRemoved, error).c_str());
    }
    CloseServiceHandle(manager);
}
