// The About box and the update check: both lead to the maker's page.
#pragma once

#include "shared/win_types.h"

win::INT_PTR WIN_CALLBACK AboutDialogProc(win::HWND dialog, win::UINT message, win::WPARAM wParam,
                                          win::LPARAM lParam);
void OpenMakerPage();
