#include "grid_removal.h"

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "grid_services.h"
#include "main/main_state.h"
#include "resident_termination.h"
#include "main/texts.h"

using namespace win;

namespace {

constexpr std::size_t kServiceCount = 55;
// Fixed pauses after each stop request instead of polling; the outcome is
// judged at the end.
constexpr DWORD kDisableGroupStopPauseMs = 100;
constexpr DWORD kStopPauseMs = 600;

bool IsStopped(SC_HANDLE service, SERVICE_STATUS& status) {
    // A status that cannot be read gives no reason to act.
    return !QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED;
}

void RemoveServiceRow(const char* name) {
    LRESULT row = SendMessageA(DeepScanServiceList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(name));
    if (row != LB_ERR) SendMessageA(DeepScanServiceList, LB_DELETESTRING, static_cast<WPARAM>(row), 0);
}

// The deep-scan dialog lists ExpressService, NATservice and netaccelerator
// only while they exist and run; once the removal has stopped one (or it is
// gone), its row goes too.
void RemoveDisableGroupRow(SC_HANDLE manager, SC_HANDLE service, const char* name) {
    if (!DeepScanServiceList) return;
    SERVICE_STATUS status = {};
    if (!service) {
        SC_HANDLE probe = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
        if (probe) {
            bool running = QueryServiceStatus(probe, &status) && status.dwCurrentState != SERVICE_STOPPED;
            CloseServiceHandle(probe);
            if (running) return;
        }
    } else if (!QueryServiceStatus(service, &status) || status.dwCurrentState != SERVICE_STOPPED) {
        return;
    }
    RemoveServiceRow(name);
}

}  // namespace

bool RemoveInstalledGrids() {
    const grid::Edition& edition = grid::kMainEdition;

    // 1. Only administrators may open the manager for creating services.
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager) {
        ShowNotice(text::kRunAgainAsAdministrator);
        return false;
    }

    // 2. First opening: every service, before anything is changed. One that
    // refuses full access gets no handle and no call; the re-check meets it
    // again and counts it.
    SC_HANDLE services[kServiceCount] = {};
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        services[i] = OpenServiceA(manager, edition.services[i].name, SERVICE_ALL_ACCESS);

    // 3. End the resident grids first, so they cannot restart their services.
    if (ResidentGridFound) TerminateResidentGrids();

    // 4. Priority stop of the disable group.
    SERVICE_STATUS status = {};
    for (std::size_t index : grid::kDisableGroup) {
        SC_HANDLE service = services[index];
        if (!service || IsStopped(service, status)) continue;
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        Sleep(kDisableGroupStopPauseMs);
        ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    // 5.
    ShowLabel(SummaryLabel, text::kRemovingGrids);

    // 6. Main stop.
    for (std::size_t i = 0; i < edition.serviceCount; ++i) {
        if (grid::InDisableGroup(edition.services[i]) || !services[i] || IsStopped(services[i], status)) continue;
        ControlService(services[i], SERVICE_CONTROL_STOP, &status);
        Sleep(kStopPauseMs);
        ShowLabel(InstalledLabel, text::kInstalledRemoving);
    }

    // 7. and 8. Delete, then close, so the manager can let them go.
    auto deleted = [&](std::size_t i) { return edition.services[i].handling != grid::ServiceHandling::Disable; };
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (deleted(i) && services[i]) DeleteService(services[i]);
    for (std::size_t i = 0; i < edition.serviceCount; ++i) {
        if (deleted(i) && services[i]) {
            CloseServiceHandle(services[i]);
            services[i] = nullptr;
        }
    }

    // 9. Re-check: what still opens, or still refuses us, has survived.
    SC_HANDLE survivors[kServiceCount] = {};
    bool refused[kServiceCount] = {};
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (deleted(i)) survivors[i] = OpenGridService(manager, edition.services[i].name, refused[i]);
    auto remains = [&](std::size_t i) { return survivors[i] || refused[i]; };

    // 10. and 11. Bring the deep-scan dialog's lists up to date while it is open.
    if (DeepScanServiceList) {
        for (std::size_t i = 0; i < edition.serviceCount; ++i)
            if (!grid::InDisableGroup(edition.services[i]) && !remains(i)) RemoveServiceRow(edition.services[i].name);
        for (std::size_t index : grid::kDisableGroup) {
            SC_HANDLE handle = index == grid::kNetAccelerator ? survivors[index] : services[index];
            RemoveDisableGroupRow(manager, handle, edition.services[index].name);
        }
    }
    if (DeepScanProcessList) SendMessageA(DeepScanProcessList, LB_RESETCONTENT, 0, 0);

    // 13. (decided before closing) Only the Delete class counts.
    bool incomplete = false;
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (!grid::InDisableGroup(edition.services[i]) && remains(i)) incomplete = true;

    // 12. Close everything still open, each once.
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (survivors[i]) CloseServiceHandle(survivors[i]);
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (services[i]) CloseServiceHandle(services[i]);
    CloseServiceHandle(manager);

    if (incomplete) {
        GridRemovalIncomplete = 1;
        ShowLabel(SummaryLabel, text::kGridInstalled);
        ShowLabel(InstalledLabel, text::kInstalledRemains);
    } else {
        ShowLabel(SummaryLabel, text::kNoGridInstalled);
        ShowLabel(InstalledLabel, text::kInstalledOff);
        GridRemovalIncomplete = 0;
    }
    return true;
}
