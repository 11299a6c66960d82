// Rows of the uninstaller tables and the walks that hand them to the shell.
// Every launch is ShellExecuteA with the verb "open"; none is waited for and
// no result is examined: what is not installed fails in the shell.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../shared/win_defs.h"
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

// Any path: the caller has made it from folders it trusts.
void Launch(const char* file, const char* parameters, int show);

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
