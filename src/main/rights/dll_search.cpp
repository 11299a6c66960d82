#include "dll_search.h"

#include <string>

#include "shared/dll_search_order.h"
#include "shared/process_shell.h"
#include "shared/win_defs.h"
#include "paths.h"

using namespace win;

namespace {

// DLLs that a dialog program using shell32 and MessageBoxA loads later by
// bare name, through loaders we do not control. Loaded once by full
// path, each is already in the process when its name is asked for again.
// Names an older Windows does not have are simply not found.
const char* const kLazySystemDlls[] = {
    "uxtheme.dll",          // user32 and comctl32, for visual styles, when the first dialog is created
    "dwmapi.dll",           // user32 and uxtheme on Vista and later, for the composited window frame
    "version.dll",          // shell32 and the compatibility layer, reading a started program's version
    "imm32.dll",            // user32, for the input method that Korean Windows always runs
    "ole32.dll",            // shell32, for the known folders and its COM calls; Wine's shell32 as well
    "oleaut32.dll",         // ole32 and shell32, for variants and property values
    "propsys.dll",          // shell32 on Vista and later, the property system behind its folders and items
    "cryptbase.dll",        // advapi32 on Windows 7 and later, for random numbers and encryption
    "userenv.dll",          // shell32 on Vista and later, for the environment of a started program
    "setupapi.dll",         // shell32 on Windows 7, asking about the drive of a path it opens
    "apphelp.dll",          // kernel32 on Vista and later, the compatibility shims of a started program
    "ntmarta.dll",          // advapi32, for the access-control lists of services and files
    "windows.storage.dll",  // shell32 on Windows 10 and later moved the known folders there
    "TextShaping.dll",      // Uniscribe on Windows 10 and 11, shaping the dialog's Korean texts
    "shcore.dll",           // user32 and shell32 on Windows 8.1 and later, for a DPI-aware process
    "profapi.dll",          // userenv and windows.storage on Windows 8 and later, for the profile folders
    "oleacc.dll",           // user32 and comctl32, when an accessibility client or input method asks
    "clbcatq.dll",          // ole32 on Vista and later, the COM+ catalogue of the first CoCreateInstance
    "comres.dll",           // ole32 on XP, Vista and 7 without KB2533623, its texts, on the first COM call
};

}  // namespace

void RestrictDllSearch() {
    // The folder we were started from, most often Downloads, is no current
    // folder for us nor for what we start: only administrators can change
    // the system folder.
    std::string system;
    bool systemKnown = SystemFolder(system);
    if (systemKnown) SetCurrentDirectoryA(system.c_str());

    RestrictDllSearchOrder();

    // Where SetDefaultDllDirectories is missing, and for the loads it does
    // not reach, which Wine's shell32 makes for itself.
    std::string path;
    if (!systemKnown) return;
    for (const char* name : kLazySystemDlls) {
        // The DLL's own folder first for what it imports in turn, not ours.
        if (JoinFolderPath(system, name, path)) LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
}
