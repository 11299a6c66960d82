// Rows of the uninstaller tables and the walks that start them. None is
// waited for and no result is examined: what is not installed fails to start.
//
// No start goes through the shell: it looks up HKEY_CLASSES_ROOT, where the
// user's own classes win over the machine's even in an elevated process. A
// program starts as itself, a batch file in the system's command processor
// and a folder in the system's explorer, each named by its full path, and
// every program starts in a folder that only administrators can change.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../shared/win_defs.h"
#include "desktop_user.h"
#include "own_roots.h"

// Most uninstallers sit at the same place below both Program Files roots, so
// a table names them once, below a root, and is walked under each root. The
// roots are written out, and a row runs only where its root is the machine's
// own folder (own_roots.h): the (x86) root only on 64-bit Windows.
enum class ProgramFilesRoot { Native, X86 };

// "C:\Program Files\" or "C:\Program Files (x86)\".
const char* ProgramFilesPath(ProgramFilesRoot root);

enum LaunchFlag : std::uint8_t {
    kNativeRootOnly = 1,  // skipped under the (x86) root
    kX86RootOnly = 2,     // skipped under the native root
    kLowerCaseDrive = 4,  // its installer registered it as "c:\..."; handed on so
};

// Kept small: the tables have hundreds of rows and the program ships as one
// small executable.
struct LaunchEntry {
    const char* file;  // full path, or path below a root
    const char* parameters = nullptr;
    std::uint8_t show = win::SW_HIDE;
    std::uint8_t flags = 0;
};

// A path below the machine's own roots, or a system program: started with
// Kestane's own rights, in its own folder.
void Launch(const char* file, const char* parameters, int show);
// A path in the desktop user's folders: started with the user's token, in its
// own folder and with the user's environment; without a split token (see
// desktop_user.h) with Kestane's rights, in the system folder. A start that
// fails as the user is never made with Kestane's rights instead.
void LaunchAsUser(const DesktopUser& user, const char* file, const char* parameters, int show);

// The walks pass over the rows below a fixed root that is not one of the
// machine's own folders, in silence, as the shell does a missing file.
// Rows with full paths, in order.
void LaunchTable(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count);
// The rows below one root, in order.
void LaunchUnderRoot(const OwnRoots& roots, ProgramFilesRoot root, const LaunchEntry* rows, std::size_t count);
// The rows below the native root, then the same rows below the (x86) root.
void LaunchUnderBothRoots(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count);
// Row by row: each row below the native root, then below the (x86) root.
void LaunchEachUnderBothRoots(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count);

template <std::size_t N>
void LaunchTable(const OwnRoots& roots, const LaunchEntry (&rows)[N]) {
    LaunchTable(roots, rows, N);
}
template <std::size_t N>
void LaunchUnderRoot(const OwnRoots& roots, ProgramFilesRoot root, const LaunchEntry (&rows)[N]) {
    LaunchUnderRoot(roots, root, rows, N);
}
template <std::size_t N>
void LaunchUnderBothRoots(const OwnRoots& roots, const LaunchEntry (&rows)[N]) {
    LaunchUnderBothRoots(roots, rows, N);
}
template <std::size_t N>
void LaunchEachUnderBothRoots(const OwnRoots& roots, const LaunchEntry (&rows)[N]) {
    LaunchEachUnderBothRoots(roots, rows, N);
}
