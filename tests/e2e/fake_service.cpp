// Stand-in for a grid service (and for Velmora where only its state
// matters): a real own-process service. Its registered command line is
//   fake_service.exe <mode> <service name>
// with the mode
//   stops    STOP_PENDING, then STOPPED, as soon as SERVICE_CONTROL_STOP comes
//   ignore   accepts STOP, but ignores it and goes on reporting RUNNING
//   slow     STOP_PENDING for 3 s before STOPPED
//   pending  reports START_PENDING and stays there
// Every mode accepts pause and continue. Whatever the mode, setting the event
// "Global\tollvard-e2e-quit-<service name>" makes it report STOPPED and end:
// that is how the driver cleans up a service that will not stop.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

enum class Mode { Stops, Ignore, Slow, Pending };

Mode mode = Mode::Stops;
std::wstring name;
SERVICE_STATUS_HANDLE status_handle = nullptr;
SERVICE_STATUS status = {};
HANDLE stop_requested = nullptr;
HANDLE quit = nullptr;

void ReportStatus(DWORD state, DWORD wait_hint = 0) {
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = 0;
    if (state == SERVICE_RUNNING || state == SERVICE_PAUSED)
        status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwWaitHint = wait_hint;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
        ++status.dwCheckPoint;
    else
        status.dwCheckPoint = 0;
    SetServiceStatus(status_handle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        if (mode == Mode::Ignore) {
            ReportStatus(status.dwCurrentState);
        } else {
            ReportStatus(SERVICE_STOP_PENDING, mode == Mode::Slow ? 5000 : 1000);
            SetEvent(stop_requested);
        }
        return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
        if (status.dwCurrentState == SERVICE_RUNNING) ReportStatus(SERVICE_PAUSED);
        return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
        if (status.dwCurrentState == SERVICE_PAUSED) ReportStatus(SERVICE_RUNNING);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        ReportStatus(status.dwCurrentState);
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    status_handle = RegisterServiceCtrlHandlerExW(name.c_str(), ControlHandler, nullptr);
    if (!status_handle) return;
    ReportStatus(mode == Mode::Pending ? SERVICE_START_PENDING : SERVICE_RUNNING, 30000);

    HANDLE waits[] = {stop_requested, quit};
    DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0 && mode == Mode::Slow) WaitForSingleObject(quit, 3000);
    ReportStatus(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;   // not worth the dispatcher's wait outside the Service Control Manager
    std::wstring mode_name = argv[1];
    if (mode_name == L"stops")
        mode = Mode::Stops;
    else if (mode_name == L"ignore")
        mode = Mode::Ignore;
    else if (mode_name == L"slow")
        mode = Mode::Slow;
    else if (mode_name == L"pending")
        mode = Mode::Pending;
    else
        return 2;
    name = argv[2];

    stop_requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    quit = CreateEventW(nullptr, TRUE, FALSE, (L"Global\\tollvard-e2e-quit-" + name).c_str());

    SERVICE_TABLE_ENTRYW table[] = {{&name[0], ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
