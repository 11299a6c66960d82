// The main window: start-up state and the dispatch of its buttons.
#pragma once

#include "shared/win_types.h"

// The body of WinMain: runs the main window modally; returns the exit code.
int RunMainWindow(win::HINSTANCE instance);
win::INT_PTR WIN_CALLBACK MainDialogProc(win::HWND window, win::UINT message, win::WPARAM wParam,
                                         win::LPARAM lParam);
