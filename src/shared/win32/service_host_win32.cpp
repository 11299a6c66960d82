// advapi32 behind the Service Control Manager seam, the side a service runs
// on. Forwards only. Apart from the managing side so that only the guard
// links (and imports) it.
#include <windows.h>

#include "../service_manager.h"

namespace {
::LPSERVICE_STATUS Status(win::SERVICE_STATUS* s) { return reinterpret_cast<::LPSERVICE_STATUS>(s); }
static_assert(sizeof(win::SERVICE_STATUS) == sizeof(::SERVICE_STATUS), "SERVICE_STATUS layout");
static_assert(sizeof(win::SERVICE_TABLE_ENTRYA) == sizeof(::SERVICE_TABLE_ENTRYA), "table layout");
}  // namespace

namespace win {

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
