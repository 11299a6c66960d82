#include "guard_host.h"

#include <cstdio>

#include "shared/dll_search_order.h"
#include "shared/process_shell.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"
#include "guard_notice.h"
#include "guard_state.h"
#include "guard_sweep.h"

using namespace win;

namespace {

// The name in the dispatch table and the handler registration. An own-process
// service is not matched by it, so it need not equal the registered "Velmora".
char kDispatchName[] = "velmora";

constexpr DWORD kAcceptStopPauseContinue = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
constexpr DWORD kAcceptNothing = 0;
constexpr char kExitEventName[] = "velmoraexit";

void SendStatus(DWORD state, DWORD controlsAccepted, DWORD win32ExitCode) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = controlsAccepted;
    status.dwWin32ExitCode = win32ExitCode;
    SetServiceStatus(StatusHandle.load(), &status);
}

// The event a stop request signals. The name is the one the guard has always
// had, but any user may take it first: as an event that they can signal
// whenever they like, or as a mutex, semaphore or section, which makes the
// named create fail. Either way the guard uses an unnamed event of its own,
// so that only the service manager can stop it.
HANDLE CreateExitEvent() {
    HANDLE named = CreateEventA(nullptr, TRUE, FALSE, kExitEventName);
    if (named && GetLastError() != ERROR_ALREADY_EXISTS) return named;
    if (named) CloseHandle(named);
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

}  // namespace

void ReportStatus(DWORD state, DWORD controlsAccepted, DWORD win32ExitCode) {
    CurrentState = state;
    SendStatus(state, controlsAccepted, win32ExitCode);
}

int RunGuardProgram() {
    // Before anything may load a DLL by bare name: our folder is searched
    // first otherwise, and we run as LocalSystem.
    RestrictDllSearchOrder();

    SERVICE_TABLE_ENTRYA table[] = {{kDispatchName, GuardServiceMain}, {nullptr, nullptr}};
    // Succeeds once the service has stopped: then we leave at once, so the
    // manager can let go of the registration and a removal of our program
    // need not wait. It fails when somebody started us by hand.
    if (StartServiceCtrlDispatcherA(table)) return 0;

    PrintGuardNotice();
    // The last line has no line feed, so only a flush shows it; flushing every
    // second keeps the notice up for a console that attaches late.
    for (int second = 0; second < 10; ++second) {
        std::fflush(stdout);
        Sleep(1000);
    }
    return 0;
}

void WIN_CALLBACK GuardServiceMain(DWORD, char**) {
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerA(kDispatchName, GuardControlHandler);
    if (!handle) return;
    StatusHandle = handle;

    ReportStatus(SERVICE_START_PENDING, kAcceptStopPauseContinue);
    SweepPaused = 0;

    HANDLE exitEvent = CreateExitEvent();
    if (!exitEvent) {
        // Without the event the loop could neither pace itself nor be stopped.
        ReportStatus(SERVICE_STOPPED, kAcceptNothing, GetLastError());
        return;
    }
    ExitEvent = exitEvent;

    ReportStatus(SERVICE_RUNNING, kAcceptStopPauseContinue);
    RunGuardLoop();

    // The stop control has been delivered by now, and the handler does not
    // use the event after it; the report comes last, because after it the
    // process may end at any moment.
    ExitEvent = nullptr;
    CloseHandle(exitEvent);
    ReportStatus(SERVICE_STOPPED, kAcceptStopPauseContinue);
}

void WIN_CALLBACK GuardControlHandler(DWORD control) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
        ReportStatus(SERVICE_STOP_PENDING, kAcceptNothing);
        SetEvent(ExitEvent.load());
        break;
    case SERVICE_CONTROL_PAUSE:
        ReportStatus(SERVICE_PAUSE_PENDING, kAcceptNothing);
        SweepPaused = 1;
        ReportStatus(SERVICE_PAUSED, kAcceptStopPauseContinue);
        break;
    case SERVICE_CONTROL_CONTINUE:
        ReportStatus(SERVICE_CONTINUE_PENDING, kAcceptNothing);
        SweepPaused = 0;
        ReportStatus(SERVICE_RUNNING, kAcceptStopPauseContinue);
        break;
    default:
        // Interrogation: repeat the last report without claiming the state,
        // so a report racing in from the service thread is not overwritten.
        SendStatus(CurrentState.load(), kAcceptStopPauseContinue, 0);
        break;
    }
}
