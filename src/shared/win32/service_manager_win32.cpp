// advapi32 behind the Service Control Manager seam, the side that manages
// services. Forwards only.
#include <windows.h>

#include <cstddef>

#include "../service_manager.h"

namespace {
::SC_HANDLE Sc(win::SC_HANDLE h) { return reinterpret_cast<::SC_HANDLE>(h); }
win::SC_HANDLE Sc(::SC_HANDLE h) { return reinterpret_cast<win::SC_HANDLE>(h); }
::LPSERVICE_STATUS Status(win::SERVICE_STATUS* s) { return reinterpret_cast<::LPSERVICE_STATUS>(s); }
static_assert(sizeof(win::SERVICE_STATUS) == sizeof(::SERVICE_STATUS), "SERVICE_STATUS layout");
static_assert(sizeof(win::QUERY_SERVICE_CONFIGA) == sizeof(::QUERY_SERVICE_CONFIGA), "QUERY_SERVICE_CONFIGA layout");
static_assert(offsetof(win::QUERY_SERVICE_CONFIGA, lpBinaryPathName) ==
                  offsetof(::QUERY_SERVICE_CONFIGA, lpBinaryPathName), "binary path");
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
BOOL QueryServiceConfigA(SC_HANDLE service, QUERY_SERVICE_CONFIGA* config, DWORD bufferSize, DWORD* bytesNeeded) {
    return ::QueryServiceConfigA(Sc(service), reinterpret_cast<::LPQUERY_SERVICE_CONFIGA>(config), bufferSize,
                                 reinterpret_cast<LPDWORD>(bytesNeeded));
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

}  // namespace win
