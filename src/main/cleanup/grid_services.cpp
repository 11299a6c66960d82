#include "grid_services.h"

#include "shared/process_shell.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"

using namespace win;

SC_HANDLE OpenGridService(SC_HANDLE manager, const char* name, bool& refused) {
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    refused = !service && GetLastError() == ERROR_ACCESS_DENIED;
    return service;
}
