// shell32 behind the process, shell and file seam. Forwards only. Kept apart
// from the kernel32 forwards so the guard, which starts no programs, does not
// import shell32.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "../process_shell.h"

namespace win {

std::intptr_t ShellExecuteA(HWND owner, const char* operation, const char* file, const char* parameters,
                            const char* directory, int showCommand) {
    return reinterpret_cast<std::intptr_t>(
        ::ShellExecuteA(reinterpret_cast<::HWND>(owner), operation, file, parameters, directory, showCommand));
}
BOOL SHGetSpecialFolderPathA(HWND owner, char* path, int csidl, BOOL create) {
    return ::SHGetSpecialFolderPathA(reinterpret_cast<::HWND>(owner), path, csidl, create);
}

LONG SHGetFolderPathA(HWND owner, int csidl, HANDLE token, DWORD flags, char* path) {
    return ::SHGetFolderPathA(reinterpret_cast<::HWND>(owner), csidl, reinterpret_cast<::HANDLE>(token), flags, path);
}

}  // namespace win
