// shell32 behind the process, shell and file seam: the user's folders.
// Forwards only. Kept apart from the kernel32 forwards so the guard, which
// asks for no folder of a user, does not import shell32.
#include <windows.h>
#include <shlobj.h>

#include "../process_shell.h"

namespace win {

BOOL SHGetSpecialFolderPathA(HWND owner, char* path, int csidl, BOOL create) {
    return ::SHGetSpecialFolderPathA(reinterpret_cast<::HWND>(owner), path, csidl, create);
}

LONG SHGetFolderPathA(HWND owner, int csidl, HANDLE token, DWORD flags, char* path) {
    return ::SHGetFolderPathA(reinterpret_cast<::HWND>(owner), csidl, reinterpret_cast<::HANDLE>(token), flags, path);
}

}  // namespace win
