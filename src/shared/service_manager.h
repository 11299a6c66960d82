// The Service Control Manager seam: the advapi32 service operations both
// programs use, in their narrow forms. Windows builds forward each call to
// advapi32; the unit tests link a simulated service manager instead.
#pragma once

#include "win_types.h"

namespace win {

SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access);
SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access);
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
BOOL QueryServiceConfigA(SC_HANDLE service, QUERY_SERVICE_CONFIGA* config, DWORD bufferSize, DWORD* bytesNeeded);
BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          const char* binaryPath, const char* loadOrderGroup, DWORD* tagId,
                          const char* dependencies, const char* startName, const char* password,
                          const char* displayName);
// SERVICE_CONFIG_DESCRIPTION only: the description text is the one argument.
BOOL ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, const char* description);
BOOL DeleteService(SC_HANDLE service);
SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* name, const char* displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl, const char* binaryPath,
                         const char* loadOrderGroup, DWORD* tagId, const char* dependencies,
                         const char* startName, const char* password);
BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv);
BOOL CloseServiceHandle(SC_HANDLE handle);

// Service side, linked only into the guard (service_host_win32.cpp).
BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* name, LPHANDLER_FUNCTION handler);
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status);

}  // namespace win
