// The window and dialog seam: the user32 operations of the dialogs, controls,
// list boxes, message boxes, icons and cursors, in their narrow forms.
// Windows builds forward each call; the unit tests link simulated windows.
#pragma once

#include "win_types.h"

namespace win {

INT_PTR DialogBoxParamA(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM init);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
BOOL SetWindowTextA(HWND window, const char* text);
int GetWindowTextA(HWND window, char* buffer, int size);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

HICON LoadIconA(HINSTANCE instance, int resourceId);
// GCL_HICON only: the new class icon is the one value.
void SetClassLongA(HWND window, int index, HICON icon);
// GWL_HINSTANCE only: the instance that owns the window.
HINSTANCE GetWindowLongA(HWND window, int index);

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL GetWindowRect(HWND window, RECT* rect);
// SPI_GETWORKAREA only: the work area of the primary monitor.
BOOL SystemParametersInfoA(UINT action, UINT param, RECT* area, UINT winIni);

// The desktop's shell window (null when no shell runs) and its process.
HWND GetShellWindow();
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);

HCURSOR LoadCursorA(HINSTANCE instance, int cursorId);
HCURSOR SetCursor(HCURSOR cursor);

}  // namespace win
