#include "about.h"

#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "main/rights/launch.h"
#include "maker_page.h"
#include "main/rights/own_roots.h"
#include "main/main_state.h"
#include "main/resource_ids.h"
#include "main/texts.h"

using namespace win;

void OpenMakerPage() {
    // Always Internet Explorer from its own folder, never the default browser,
    // and only where that folder is the machine's own Program Files. It
    // browses the web as the desktop user, never as administrator: not at
    // all without the user, nor on XP with another account's.
    const char* const explorer = "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
    Starts starts = BeginStarts();
    if (!UserRowsCanStart(starts))
        ShowNotice(text::kMakerPageNotOpened);
    else if (FixedRootIsOwn(starts.roots, explorer))
        LaunchAsUser(starts, explorer, MAKER_PAGE_ADDRESS, SW_SHOW);
    EndStarts(starts);
}

INT_PTR WIN_CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;

    switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDC_ABOUT_LINK:
        // Every click opens the page again; the box stays open.
        OpenMakerPage();
        break;
    default:
        break;
    }
    return FALSE;
}
