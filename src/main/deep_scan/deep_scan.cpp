#include "deep_scan.h"

#include <cstring>
#include <string>

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "shared/process_walk.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "main/cleanup/grid_removal.h"
#include "main/cleanup/grid_services.h"
#include "main/main_state.h"
#include "main/resource_ids.h"
#include "main/texts.h"

using namespace win;

namespace {

constexpr int kPreferredLeft = 1000;
constexpr int kPreferredTop = 400;

// The dialog's place is fixed; on a work area too small for it, it moves just
// enough to be seen whole.
void PlaceDialog(HWND dialog) {
    int left = kPreferredLeft, top = kPreferredTop;
    RECT window = {}, area = {};
    if (GetWindowRect(dialog, &window) && SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        int width = window.right - window.left, height = window.bottom - window.top;
        if (left + width > area.right) left = area.right - width;
        if (top + height > area.bottom) top = area.bottom - height;
        if (left < area.left) left = area.left;
        if (top < area.top) top = area.top;
    }
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE);
}

void ListInstalledServices() {
    const grid::Edition& edition = grid::kMainEdition;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager) ShowNotice(text::kRunAgainAsAdministrator);

    // All are opened before any is listed; without a manager every open fails.
    // A service that refuses full access is installed all the same.
    SC_HANDLE services[55] = {};
    bool refused[55] = {};
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        services[i] = manager ? OpenGridService(manager, edition.services[i].name, refused[i]) : nullptr;

    // The disable group stays installed after a removal, stopped and
    // disabled: list it only while it is not stopped (or shows no state).
    for (std::size_t index : grid::kDisableGroup) {
        SERVICE_STATUS status = {};
        if (refused[index] || (services[index] && QueryServiceStatus(services[index], &status) &&
                               status.dwCurrentState != SERVICE_STOPPED))
            SendMessageA(DeepScanServiceList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(edition.services[index].name));
    }
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (!grid::InDisableGroup(edition.services[i]) && (services[i] || refused[i]))
            SendMessageA(DeepScanServiceList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(edition.services[i].name));

    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (services[i]) CloseServiceHandle(services[i]);
    if (manager) CloseServiceHandle(manager);
}

void InitDeepScan(HWND dialog) {
    PlaceDialog(dialog);
    DeepScanServiceList = GetDlgItem(dialog, IDC_DS_SERVICES);
    DeepScanProcessList = GetDlgItem(dialog, IDC_DS_PROCESSES);

    const grid::Edition& edition = grid::kMainEdition;
    for (std::size_t i = 0; i < edition.imageCount; ++i) {
        char name[MAX_PATH] = {};
        std::strncpy(name, edition.images[i], sizeof(name) - 1);
        ListResidentProcess(name);
    }
    ListInstalledServices();
}

}  // namespace

void ListResidentProcess(char* imageName) {
    std::string lowered = grid::LowerImageName(imageName);
    std::memcpy(imageName, lowered.c_str(), lowered.size() + 1);

    // The row shows the name as folded, once for every instance.
    WalkProcessList(
        [](const PROCESSENTRY32&, const char* foldedName, void* context) {
            const char* name = static_cast<const char*>(context);
            if (std::strcmp(foldedName, name) == 0)
                SendMessageA(DeepScanProcessList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        },
        imageName);
}

INT_PTR WIN_CALLBACK DeepScanDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    SetClassLongA(dialog, GCL_HICON, LoadIconA(ModuleInstance, IDI_DEEP_SCAN));

    if (message == WM_INITDIALOG) {
        InitDeepScan(dialog);
    } else if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            // The lists die with the dialog; a later removal from the main
            // window must not write to handles that may name other windows.
            DeepScanServiceList = nullptr;
            DeepScanProcessList = nullptr;
            EndDialog(dialog, 0);
            break;
        case IDC_DS_REMOVE_ALL:
            RemoveInstalledGrids();
            break;
        default:
            break;
        }
    }
    return FALSE;
}
