// advapi32 behind the Service Control Manager seam. Forwards only.
#include <windows.h>

#include "../service_manager.h"

namespace {
::SC_HANDLE Sc(win::SC_HANDLE h) { return reinterpret_cast<::SC_HANDLE>(h); }
win::SC_HANDLE Sc(::SC_HANDLE h) { return reinterpret_cast<win::SC_HANDLE>(h); }
::LPSERVICE_STATUS Status(win::SERVICE_STATUS* s) { return reinterpret_cast<::LPSERVICE_STATUS>(s); }
static_assert(sizeof(win::SERVICE_STATUS) == sizeof(::SERVICE_STATUS), "SERVICE_STATUS layout");
static_assert(sizeof(win::SERVICE_TABLE_ENTRYA) == sizeof(::SERVICE_TABLE_ENTRYA), "table layout");
}  // namespace

namespace win {

SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access) {
    return Sc(::OpenSCManagerA(machine, database, access));
}
SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) {
    return Sc(::OpenServiceA(Sc(manager), name, access));
}
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    return ::QueryServiceStatus(Sc(service), Status(status));
}
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    return ::ControlService(Sc(service), control, Status(status));
}
BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          const char* binaryPath, const char* loadOrderGroup, DWORD* tagId,
                          const char* dependencies, const char* startName, const char* password,
                          const char* displayName) {
    return ::ChangeServiceConfigA(Sc(service), serviceType, startType, errorControl, binaryPath, loadOrderGroup,
                                  reinterpret_cast<LPDWORD>(tagId), dependencies, startName, password,
                                  displayName);
}
BOOL ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, const char* description) {
    SERVICE_DESCRIPTIONA info{const_cast<char*>(description)};
    return ::ChangeServiceConfig2A(Sc(service), infoLevel, &info);
}
BOOL DeleteService(SC_HANDLE service) { return ::DeleteService(Sc(service)); }
SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* name, const char* displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl, const char* binaryPath,
                         const char* loadOrderGroup, DWORD* tagId, const char* dependencies,
                         const char* startName, const char* password) {
    return Sc(::CreateServiceA(Sc(manager), name, displayName, access, serviceType, startType, errorControl,
                               binaryPath, loadOrderGroup, reinterpret_cast<LPDWORD>(tagId), dependencies,
                               startName, password));
}
BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv) {
    return ::StartServiceA(Sc(service), argc, argv);
}
BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(Sc(handle)); }

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table) {
    return ::StartServiceCtrlDispatcherA(reinterpret_cast<const ::SERVICE_TABLE_ENTRYA*>(table));
}
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* name, LPHANDLER_FUNCTION handler) {
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(
        ::RegisterServiceCtrlHandlerA(name, reinterpret_cast<::LPHANDLER_FUNCTION>(handler)));
}
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status) {
    return ::SetServiceStatus(reinterpret_cast<::SERVICE_STATUS_HANDLE>(handle), Status(status));
}

}  // namespace win
