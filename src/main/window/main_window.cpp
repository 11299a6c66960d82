#include "main_window.h"

#include "shared/process_shell.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "about.h"
#include "main/deep_scan/deep_scan.h"
#include "main/rights/dll_search.h"
#include "main/cleanup/grid_removal.h"
#include "main/guard_control/guard_control.h"
#include "main/main_state.h"
#include "probes.h"
#include "main/resource_ids.h"
#include "main/cleanup/sweeps.h"
#include "main/texts.h"

using namespace win;

int RunMainWindow(HINSTANCE instance) {
    RestrictDllSearch();
    ModuleInstance = instance;
    DialogBoxParamA(instance, IDD_MAIN, nullptr, MainDialogProc, 0);
    // What the started programs left in it stays, as in any TEMP.
    if (!StartTempFolder.empty()) RemoveDirectoryA(StartTempFolder.c_str());
    return 0;
}

namespace {

INT_PTR InitMainWindow(HWND window, HICON icon) {
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    MainWindow = window;
    InstalledLabel = GetDlgItem(window, IDC_INSTALLED_LABEL);
    ResidentLabel = GetDlgItem(window, IDC_RESIDENT_LABEL);
    SummaryLabel = GetDlgItem(window, IDC_SUMMARY_LABEL);
    GuardButton = GetDlgItem(window, IDC_GUARD_BUTTON);
    GuardStatusLabel = GetDlgItem(window, IDC_GUARD_STATUS);

    ShowLabel(InstalledLabel, text::kInstalledOff);
    ShowLabel(ResidentLabel, text::kResidentOff);
    ShowLabel(SummaryLabel, text::kNoGridInstalled);

    ProbeResidentGrids();
    if (ResidentGridFound) {
        ShowLabel(ResidentLabel, text::kResidentOn);
        ShowLabel(SummaryLabel, text::kGridInstalled);
    }

    // Only administrators may create services: the refusal is our rights test.
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager) {
        ShowNotice(text::kRunAsAdministrator);
        EndDialog(MainWindow, 0);
        return FALSE;
    }
    ShowGuardState(manager);
    RepairGuardRegistration(manager);
    CloseServiceHandle(manager);

    ProbeInstalledGrids();
    return FALSE;
}

}  // namespace

INT_PTR WIN_CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    SetClassLongA(window, GCL_HICON, nullptr);
    HICON icon = LoadIconA(GetWindowLongA(window, GWL_HINSTANCE), IDI_MAIN);

    if (message == WM_INITDIALOG) return InitMainWindow(window, icon);
    if (message != WM_COMMAND) return FALSE;

    switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
        EndDialog(MainWindow, 0);
        return TRUE;
    case IDC_REMOVE_GRIDS:
        // A refusal has been reported already; no outcome follows it.
        if (RemoveInstalledGrids()) ShowNotice(GridRemovalIncomplete ? text::kTryAgain : text::kRemoved);
        return TRUE;
    case IDC_ABOUT:
        DialogBoxParamA(ModuleInstance, IDD_ABOUT, MainWindow, AboutDialogProc, 0);
        return TRUE;
    case IDC_DEEP_SCAN:
        DialogBoxParamA(ModuleInstance, IDD_DEEP_SCAN, MainWindow, DeepScanDialogProc, 0);
        return TRUE;
    case IDC_PROGRAM_SWEEP:
        RunProgramUninstallers();
        ShowNotice(text::kRemoved);
        return TRUE;
    case IDC_SHORTCUT_SWEEP:
        if (RemoveShortcuts()) ShowNotice(text::kRemoved);
        return TRUE;
    case IDC_WEBHARD_SWEEP:
        RunWebhardUninstallers();
        ShowNotice(text::kRemoved);
        return TRUE;
    case IDC_GUARD_BUTTON:
        ToggleGuardService();
        return TRUE;
    case IDC_UPDATE_CHECK:
        OpenMakerPage();
        return TRUE;
    default:
        return FALSE;
    }
}
