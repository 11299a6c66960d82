// user32 behind the window and dialog seam. Forwards only.
#include <windows.h>

#include "../window_dialog.h"

namespace {
::HWND W(win::HWND h) { return reinterpret_cast<::HWND>(h); }
win::HWND W(::HWND h) { return reinterpret_cast<win::HWND>(h); }
::HINSTANCE I(win::HINSTANCE h) { return reinterpret_cast<::HINSTANCE>(h); }
static_assert(sizeof(win::RECT) == sizeof(::RECT), "RECT layout");
}  // namespace

namespace win {

INT_PTR DialogBoxParamA(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM init) {
    return ::DialogBoxParamA(I(instance), MAKEINTRESOURCEA(templateId), W(owner), reinterpret_cast<::DLGPROC>(proc),
                             init);
}
BOOL EndDialog(HWND dialog, INT_PTR result) { return ::EndDialog(W(dialog), result); }
HWND GetDlgItem(HWND dialog, int id) { return W(::GetDlgItem(W(dialog), id)); }
BOOL SetWindowTextA(HWND window, const char* text) { return ::SetWindowTextA(W(window), text); }
int GetWindowTextA(HWND window, char* buffer, int size) { return ::GetWindowTextA(W(window), buffer, size); }
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(W(window), message, wParam, lParam);
}
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(W(owner), text, caption, type);
}

HICON LoadIconA(HINSTANCE instance, int resourceId) {
    return reinterpret_cast<HICON>(::LoadIconA(I(instance), MAKEINTRESOURCEA(resourceId)));
}
void SetClassLongA(HWND window, int index, HICON icon) {
    ::SetClassLongPtrA(W(window), index, reinterpret_cast<LONG_PTR>(icon));
}
HINSTANCE GetWindowLongA(HWND window, int index) {
    return reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(W(window), index));
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(W(window), W(insertAfter), x, y, cx, cy, flags);
}
BOOL GetWindowRect(HWND window, RECT* rect) { return ::GetWindowRect(W(window), reinterpret_cast<::RECT*>(rect)); }
BOOL SystemParametersInfoA(UINT action, UINT param, RECT* area, UINT winIni) {
    return ::SystemParametersInfoA(action, param, area, winIni);
}

HCURSOR LoadCursorA(HINSTANCE instance, int cursorId) {
    return reinterpret_cast<HCURSOR>(::LoadCursorA(I(instance), MAKEINTRESOURCEA(cursorId)));
}
HCURSOR SetCursor(HCURSOR cursor) {
    return reinterpret_cast<HCURSOR>(::SetCursor(reinterpret_cast<::HCURSOR>(cursor)));
}

HWND GetShellWindow() { return W(::GetShellWindow()); }
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
    return ::GetWindowThreadProcessId(W(window), reinterpret_cast<::LPDWORD>(processId));
}

}  // namespace win
