#include "probes.h"

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "main/cleanup/grid_services.h"
#include "main/main_state.h"
#include "main/texts.h"

using namespace win;

void FindGridProcess(const char* imageName) {
    std::string wanted = grid::LowerImageName(imageName);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;

    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    if (!Process32First(snapshot, &entry)) {
        CloseHandle(snapshot);
        return;
    }
    // Walk the whole snapshot: the pass does not stop at a match.
    do {
        entry.szExeFile[sizeof(entry.szExeFile) - 1] = '\0';
        if (grid::LowerImageName(entry.szExeFile) == wanted) ResidentGridFound = 1;
    } while (Process32Next(snapshot, &entry));
    CloseHandle(snapshot);
}

void ProbeResidentGrids() {
    const grid::Edition& edition = grid::kMainEdition;
    for (std::size_t i = 0; i < edition.imageCount; ++i) FindGridProcess(edition.images[i]);
}

void ProbeInstalledGrids() {
    const grid::Edition& edition = grid::kMainEdition;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager) return;

    SC_HANDLE services[55] = {};
    bool refused[55] = {};
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        services[i] = OpenGridService(manager, edition.services[i].name, refused[i]);

    bool found = false;
    for (std::size_t i = 0; i < edition.serviceCount && !found; ++i)
        if (!grid::InDisableGroup(edition.services[i]) && (services[i] || refused[i])) found = true;

    if (found) {
        ShowLabel(InstalledLabel, text::kInstalledOn);
        ShowLabel(SummaryLabel, text::kGridInstalled);
    } else {
        // ExpressService and NATservice stay installed, stopped and disabled
        // after a removal: the disable group counts only while it runs. One
        // that refused us shows no state, so it counts as running.
        for (std::size_t index : grid::kDisableGroup) {
            SERVICE_STATUS status = {};
            if (refused[index] || (services[index] && QueryServiceStatus(services[index], &status) &&
                                   status.dwCurrentState != SERVICE_STOPPED)) {
                ShowLabel(SummaryLabel, text::kGridInstalled);
                ShowLabel(InstalledLabel, text::kInstalledOn);
            }
        }
    }

    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (services[i]) CloseServiceHandle(services[i]);
    CloseServiceHandle(manager);
}
