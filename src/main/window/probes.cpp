#include "probes.h"

#include <cstring>

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "shared/process_walk.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "main/cleanup/grid_services.h"
#include "main/main_state.h"
#include "main/texts.h"

using namespace win;

void FindGridProcess(const char* imageName) {
    char wanted[MAX_PATH + 1];
    grid::FoldImageName(imageName, wanted, sizeof(wanted));
    // Walk the whole snapshot: the pass does not stop at a match.
    WalkProcessList(
        [](const PROCESSENTRY32&, const char* foldedName, void* context) {
            if (std::strcmp(foldedName, static_cast<const char*>(context)) == 0) ResidentGridFound = 1;
        },
        wanted);
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
