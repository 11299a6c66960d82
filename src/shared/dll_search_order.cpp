#include "dll_search_order.h"

#include "process_shell.h"
#include "win_defs.h"

using namespace win;

namespace {
using SetDefaultDllDirectoriesProc = BOOL(WIN_CALLBACK*)(DWORD);
using SetDllDirectoryProc = BOOL(WIN_CALLBACK*)(const char*);
}  // namespace

void RestrictDllSearchOrder() {
    // XP and Windows 7 without KB2533623 have no SetDefaultDllDirectories,
    // the first XP has no SetDllDirectoryA: both are looked up.
    HINSTANCE kernel32 = GetModuleHandleA("kernel32.dll");
    auto setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesProc>(GetProcAddress(kernel32, "SetDefaultDllDirectories"));
    if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Takes the current folder out of the search order on XP SP1 and later.
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryProc>(GetProcAddress(kernel32, "SetDllDirectoryA"));
    if (setDllDirectory) setDllDirectory("");
}
