// The bare dialog: the main window's own template and icon, shown by a dialog
// procedure that probes nothing. bare_dialog.exe shows only this;
// floor_dialog.exe has it make the calls Kestane's start-up cannot do
// without, so that the two differ by those calls alone.
#pragma once

#include <windows.h>

#include "main/resource_ids.h"

using BareDialogWork = void (*)();

inline INT_PTR CALLBACK BareDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SendMessageA(window, WM_SETICON, ICON_BIG,
                     reinterpret_cast<LPARAM>(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN))));
        if (lParam) reinterpret_cast<BareDialogWork>(lParam)();
        return FALSE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

// `work`, when given, runs where Kestane probes: once the window exists, and
// before it shows. Whoever times the start sees the window appear and then
// wait for it, as with Kestane, rather than no window at all for as long.
inline void ShowBareDialog(HINSTANCE instance, BareDialogWork work = nullptr) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, BareDialogProc, reinterpret_cast<LPARAM>(work));
}
