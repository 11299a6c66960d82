#include "deep_scan.h"

#include "../shared/win_defs.h"
#include "../shared/window_dialog.h"

using namespace win;

INT_PTR WIN_CALLBACK DeepScanDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) EndDialog(dialog, 0);
    return FALSE;
}

void ListResidentProcess(char*) {}
