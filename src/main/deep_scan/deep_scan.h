// The deep-scan dialog: grid services and resident grid programs by name.
#pragma once

#include "shared/win_types.h"

win::INT_PTR WIN_CALLBACK DeepScanDialogProc(win::HWND dialog, win::UINT message, win::WPARAM wParam,
                                             win::LPARAM lParam);
// Adds one row to the process list for every running process with this image
// name; folds the name to lower case in place.
void ListResidentProcess(char* imageName);
