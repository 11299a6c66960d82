// Stand-in for a resident grid program: the driver copies it under a grid
// image name (PINOMATE.EXE, bigfilesearch.exe, ...) and starts it. It does
// nothing but wait, forever or for the milliseconds given as its argument.
//
// With --shell it stands in for the desktop's shell, which Wine does not
// run: started on a limited token, it makes a top-level popup window of its
// own the shell window and keeps it until it is ended.
#include <windows.h>

#include <cwchar>

namespace {

using SetShellWindowProc = BOOL(WINAPI*)(HWND);

int RunAsShell() {
    HWND window = CreateWindowExW(0, L"STATIC", L"shell stand-in", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    auto setShellWindow = reinterpret_cast<SetShellWindowProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetShellWindow")));
    if (!window || !setShellWindow || !setShellWindow(window)) return 2;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && wcscmp(argv[1], L"--shell") == 0) return RunAsShell();
    DWORD milliseconds = INFINITE;
    if (argc > 1) milliseconds = static_cast<DWORD>(wcstoul(argv[1], nullptr, 10));
    Sleep(milliseconds);
    return 0;
}
