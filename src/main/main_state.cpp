#include "main_state.h"

#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "code_page.h"
#include "texts.h"

win::HINSTANCE ModuleInstance = nullptr;
win::HWND MainWindow = nullptr;
win::HWND InstalledLabel = nullptr;
win::HWND ResidentLabel = nullptr;
win::HWND SummaryLabel = nullptr;
win::HWND GuardButton = nullptr;
win::HWND GuardStatusLabel = nullptr;

int ResidentGridFound = 0;
int GridRemovalIncomplete = 0;
std::string StartTempFolder;

win::HWND DeepScanServiceList = nullptr;
win::HWND DeepScanProcessList = nullptr;

void ShowNotice(const char* message) {
    win::MessageBoxA(MainWindow, InProcessCodePage(message).c_str(), InProcessCodePage(text::kNotice).c_str(),
                     win::MB_OK);
}

void ShowLabel(win::HWND control, const char* text) { win::SetWindowTextA(control, InProcessCodePage(text).c_str()); }

std::string WithErrorCode(const char* message, win::DWORD error) {
    return std::string(message) + " (" + text::kErrorCode + " " + std::to_string(error) + ")";
}
