// Module-wide state of the main program. Written while the windows are
// created, read by the operations behind the buttons; user-interface thread
// only, so plain variables.
#pragma once

#include <string>

#include "shared/win_types.h"

extern win::HINSTANCE ModuleInstance;
extern win::HWND MainWindow;
extern win::HWND InstalledLabel;    // 1008
extern win::HWND ResidentLabel;     // 1003
extern win::HWND SummaryLabel;      // 1004
extern win::HWND GuardButton;       // 1034
extern win::HWND GuardStatusLabel;  // 1036

extern int ResidentGridFound;      // set by the start-up probe, never cleared
extern int GridRemovalIncomplete;  // set when grid services survive a removal
// TEMP and TMP of what Kestane starts with its own rights: a folder it made,
// that only administrators can change; made at the first such start, kept
// for the life of the process and removed at its end when empty.
extern std::string StartTempFolder;

extern win::HWND DeepScanServiceList;  // 1047 while the deep-scan dialog is open
extern win::HWND DeepScanProcessList;  // 1048 while the deep-scan dialog is open

// Both take the program's own CP949 texts and hand them to Windows in the
// process's code page (code_page.h).
// Shows a message box owned by the main window with the caption "알림".
void ShowNotice(const char* message);
// Sets the text of a label or button.
void ShowLabel(win::HWND control, const char* text);
// A failure message with its error code: "... (오류 코드 5)".
std::string WithErrorCode(const char* message, win::DWORD error);
