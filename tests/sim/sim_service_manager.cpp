// The simulated Service Control Manager.
#include <cstring>

#include "shared/service_manager.h"
#include "sim/sim.h"

using namespace win;

namespace {

sim::Machine& M() { return sim::machine(); }
using Kind = sim::Machine::HandleKind;

std::string Str(const char* s) { return s ? s : "<null>"; }

sim::Service* ServiceOf(SC_HANDLE handle) {
    auto* info = M().Handle(handle, Kind::Service);
    if (!info) {
        M().lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    M().Refresh();
    return info->service;
}

void FillStatus(const sim::Service& s, SERVICE_STATUS* status) {
    std::memset(status, 0, sizeof(*status));
    status->dwServiceType = s.serviceType;
    status->dwCurrentState = s.state;
    status->dwControlsAccepted = s.state == SERVICE_RUNNING ? 3 : 0;
    status->dwWaitHint = s.waitHint;
}

}  // namespace

namespace win {

SC_HANDLE OpenSCManagerA(const char* machine, const char* database, DWORD access) {
    M().Log("OpenSCManagerA " + Str(machine) + " " + Str(database) + " " + std::to_string(access));
    if (!M().isAdministrator && (access & SC_MANAGER_CREATE_SERVICE)) {
        M().lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return static_cast<SC_HANDLE>(M().NewHandle(Kind::Manager, "service manager"));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* name, DWORD access) {
    M().Log("OpenServiceA " + Str(name) + " " + std::to_string(access));
    if (!M().Handle(manager, Kind::Manager)) {
        M().lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    sim::Service* service = M().FindService(name ? name : "");
    if (!service) {
        M().lastError = ERROR_SERVICE_DOES_NOT_EXIST;
        return nullptr;
    }
    if (service->refuseFullAccess && access == SERVICE_ALL_ACCESS) {
        M().lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    void* handle = M().NewHandle(Kind::Service, "service " + service->name);
    auto* info = M().Handle(handle, Kind::Service);
    info->service = service;
    info->access = access;
    ++service->openHandles;
    return static_cast<SC_HANDLE>(handle);
}

BOOL QueryServiceStatus(SC_HANDLE handle, SERVICE_STATUS* status) {
    sim::Service* s = ServiceOf(handle);
    M().Log("QueryServiceStatus " + (s ? s->name : std::string("<bad handle>")));
    if (!s) return FALSE;
    if (s->queryFails) {
        M().lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    FillStatus(*s, status);
    return TRUE;
}

BOOL ControlService(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status) {
    sim::Service* s = ServiceOf(handle);
    M().Log("ControlService " + (s ? s->name : std::string("<bad handle>")) + " " + std::to_string(control));
    if (!s) return FALSE;
    if (control != SERVICE_CONTROL_STOP) {
        FillStatus(*s, status);
        return TRUE;
    }
    ++s->stopRequests;
    if (s->state == SERVICE_STOPPED) {
        M().lastError = ERROR_SERVICE_NOT_ACTIVE;
        return FALSE;
    }
    // Windows takes no stop while a start or a stop is still under way.
    if (s->state == SERVICE_START_PENDING || s->state == SERVICE_STOP_PENDING) {
        M().lastError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        return FALSE;
    }
    if (s->stopDelayMs == sim::kNever) {
        // The service takes the request and goes on running.
    } else if (s->stopDelayMs == 0) {
        s->state = SERVICE_STOPPED;
    } else {
        s->state = SERVICE_STOP_PENDING;
        s->pendingUntil = M().now + s->stopDelayMs;
    }
    FillStatus(*s, status);
    return TRUE;
}

// Real semantics: the fixed record, then its strings, in the caller's buffer;
// a buffer too small gets ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL QueryServiceConfigA(SC_HANDLE handle, QUERY_SERVICE_CONFIGA* config, DWORD bufferSize, DWORD* bytesNeeded) {
    sim::Service* s = ServiceOf(handle);
    M().Log("QueryServiceConfigA " + (s ? s->name : std::string("<bad handle>")) + " " + std::to_string(bufferSize));
    if (!s) return FALSE;
    if (!(M().Handle(handle, Kind::Service)->access & SERVICE_QUERY_CONFIG)) {
        M().lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    const std::string strings[] = {s->binaryPath, "", std::string(1, '\0'), "LocalSystem", s->displayName};
    std::size_t needed = sizeof(QUERY_SERVICE_CONFIGA);
    for (const std::string& text : strings) needed += text.size() + 1;
    *bytesNeeded = static_cast<DWORD>(needed);
    if (!config || bufferSize < needed) {
        M().lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    char* next = reinterpret_cast<char*>(config + 1);
    char* placed[5];
    for (int i = 0; i < 5; ++i) {
        placed[i] = next;
        std::memcpy(next, strings[i].c_str(), strings[i].size() + 1);
        next += strings[i].size() + 1;
    }
    config->dwServiceType = s->serviceType;
    config->dwStartType = s->startType;
    config->dwErrorControl = s->errorControl;
    config->lpBinaryPathName = placed[0];
    config->lpLoadOrderGroup = placed[1];
    config->dwTagId = 0;
    config->lpDependencies = placed[2];
    config->lpServiceStartName = placed[3];
    config->lpDisplayName = placed[4];
    return TRUE;
}

BOOL ChangeServiceConfigA(SC_HANDLE handle, DWORD serviceType, DWORD startType, DWORD errorControl,
                          const char* binaryPath, const char* loadOrderGroup, DWORD* tagId,
                          const char* dependencies, const char* startName, const char* password,
                          const char* displayName) {
    sim::Service* s = ServiceOf(handle);
    bool allNull = !binaryPath && !loadOrderGroup && !tagId && !dependencies && !startName && !password &&
                   !displayName;
    M().Log("ChangeServiceConfigA " + (s ? s->name : std::string("<bad handle>")) + " " +
            std::to_string(serviceType) + " " + std::to_string(startType) + " " + std::to_string(errorControl) +
            (allNull ? " nulls" : " values"));
    if (!s) return FALSE;
    if (!(M().Handle(handle, Kind::Service)->access & SERVICE_CHANGE_CONFIG)) {
        M().lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (s->markedForDelete) {
        M().lastError = ERROR_SERVICE_MARKED_FOR_DELETE;
        return FALSE;
    }
    ++s->configChanges;
    if (serviceType != SERVICE_NO_CHANGE) s->serviceType = serviceType;
    if (startType != SERVICE_NO_CHANGE) s->startType = startType;
    if (errorControl != SERVICE_NO_CHANGE) s->errorControl = errorControl;
    if (binaryPath) s->binaryPath = binaryPath;
    if (displayName) s->displayName = displayName;
    return TRUE;
}

BOOL ChangeServiceConfig2A(SC_HANDLE handle, DWORD infoLevel, const char* description) {
    sim::Service* s = ServiceOf(handle);
    M().Log("ChangeServiceConfig2A " + (s ? s->name : std::string("<bad handle>")) + " " + std::to_string(infoLevel));
    if (!s) return FALSE;
    auto* info = M().Handle(handle, Kind::Service);
    if (!(info->access & SERVICE_CHANGE_CONFIG)) {
        M().lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (infoLevel == SERVICE_CONFIG_DESCRIPTION) s->description = description ? description : "";
    return TRUE;
}

BOOL DeleteService(SC_HANDLE handle) {
    sim::Service* s = ServiceOf(handle);
    M().Log("DeleteService " + (s ? s->name : std::string("<bad handle>")));
    if (!s) return FALSE;
    if (s->markedForDelete) {
        M().lastError = ERROR_SERVICE_MARKED_FOR_DELETE;
        return FALSE;
    }
    if (s->deleteFails) {
        M().lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    s->markedForDelete = true;
    return TRUE;
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* name, const char* displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl, const char* binaryPath,
                         const char* loadOrderGroup, DWORD* tagId, const char* dependencies,
                         const char* startName, const char* password) {
    M().Log("CreateServiceA " + Str(name) + " " + Str(displayName) + " " + std::to_string(access) + " " +
            std::to_string(serviceType) + " " + std::to_string(startType) + " " + std::to_string(errorControl) +
            " " + Str(binaryPath) + " " + Str(loadOrderGroup) + " " + (tagId ? "tag" : "<null>") + " " +
            Str(dependencies) + " " + Str(startName) + " " + Str(password));
    if (!M().Handle(manager, Kind::Manager)) {
        M().lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (M().createServiceFails) {
        M().lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (sim::Service* existing = M().FindService(name)) {
        M().lastError = existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
        return nullptr;
    }
    sim::Service& s = M().AddService(name, SERVICE_STOPPED);
    s.displayName = displayName ? displayName : name;
    s.serviceType = serviceType;
    s.startType = startType;
    s.errorControl = errorControl;
    s.binaryPath = binaryPath ? binaryPath : "";
    if (M().onServiceCreated) M().onServiceCreated(s);
    void* handle = M().NewHandle(Kind::Service, "service " + s.name);
    auto* info = M().Handle(handle, Kind::Service);
    info->service = &s;
    info->access = access;
    ++s.openHandles;
    return static_cast<SC_HANDLE>(handle);
}

BOOL StartServiceA(SC_HANDLE handle, DWORD argc, const char**) {
    sim::Service* s = ServiceOf(handle);
    M().Log("StartServiceA " + (s ? s->name : std::string("<bad handle>")) + " " + std::to_string(argc));
    if (!s) return FALSE;
    auto* info = M().Handle(handle, Kind::Service);
    if (!(info->access & SERVICE_START)) {
        M().lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (s->state != SERVICE_STOPPED) {
        M().lastError = ERROR_SERVICE_ALREADY_RUNNING;
        return FALSE;
    }
    if (s->startType == SERVICE_DISABLED || s->markedForDelete) {
        M().lastError = s->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : 1058;
        return FALSE;
    }
    std::string program = s->binaryPath;
    if (program.size() >= 2 && program.front() == '"') program = program.substr(1, program.find('"', 1) - 1);
    if (!program.empty() && !M().FileExists(program)) {
        M().lastError = ERROR_FILE_NOT_FOUND;  // the manager cannot create the service's process
        return FALSE;
    }
    if (s->startDelayMs == 0) {
        s->state = s->startOutcome;
    } else {
        s->state = SERVICE_START_PENDING;
        s->pendingUntil = s->startDelayMs == sim::kNever ? -1 : M().now + s->startDelayMs;
    }
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    auto* info = M().Handle(handle, Kind::Service);
    if (info) {
        sim::Service* s = info->service;
        M().Log("CloseServiceHandle " + s->name);
        M().CloseHandleOf(handle, Kind::Service);
        --s->openHandles;
        M().Refresh();
        return TRUE;
    }
    if (M().Handle(handle, Kind::Manager)) {
        M().Log("CloseServiceHandle manager");
        return M().CloseHandleOf(handle, Kind::Manager);
    }
    M().Log("CloseServiceHandle <bad handle>");
    M().CloseHandleOf(handle, Kind::Service);
    M().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table) {
    M().Log("StartServiceCtrlDispatcherA " + Str(table[0].lpServiceName));
    M().dispatcherName = Str(table[0].lpServiceName);
    if (!M().startedByServiceManager) {
        M().lastError = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
        return FALSE;
    }
    // The service thread, run to its end; controls arrive through sim events.
    char* argv[] = {table[0].lpServiceName, nullptr};
    table[0].lpServiceProc(1, argv);
    return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* name, LPHANDLER_FUNCTION handler) {
    M().Log("RegisterServiceCtrlHandlerA " + Str(name));
    if (M().registerHandlerFails) {
        M().lastError = ERROR_SERVICE_DOES_NOT_EXIST;
        return nullptr;
    }
    M().controlHandler = handler;
    M().handlerName = Str(name);
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(std::uintptr_t{0x5157});
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status) {
    M().Log("SetServiceStatus " + std::to_string(status->dwCurrentState) + " " +
            std::to_string(status->dwControlsAccepted));
    if (handle != reinterpret_cast<SERVICE_STATUS_HANDLE>(std::uintptr_t{0x5157})) {
        M().misuse.push_back("SetServiceStatus with a status handle that was not registered");
        return FALSE;
    }
    M().statusReports.push_back({status->dwServiceType, status->dwCurrentState, status->dwControlsAccepted,
                                 status->dwWin32ExitCode, status->dwCheckPoint, status->dwWaitHint});
    return TRUE;
}

}  // namespace win
