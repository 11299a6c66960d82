// Rows of the uninstaller tables and the walks that start them. The walks
// wait for none and examine no result: what is not installed fails to start.
//
// No start goes through the shell: it looks up HKEY_CLASSES_ROOT, where the
// user's own classes win over the machine's even in an elevated process. A
// program starts as itself, a batch file in the system's command processor
// (told to read no AutoRun command of the user's) and a folder in the
// system's explorer as the desktop user, each named by its full path. What
// starts with Kestane's rights starts in a folder, and with an environment,
// that only administrators can change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "shared/win_defs.h"
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

// One press's starts: what they need is found when the press begins, and
// what they could not do is told when it ends (EndStarts).
struct Starts {
    OwnRoots roots;
    DesktopUser user;
    // What starts with Kestane's token gets: the system's variables only,
    // TEMP and TMP in StartTempFolder. Built at the first such start.
    std::vector<win::WCHAR> environment;
    bool environmentTried = false;
    win::DWORD environmentError = 0;  // why there is none; nothing starts with Kestane's token then
    win::HANDLE tempFolder = win::INVALID_HANDLE_VALUE;  // StartTempFolder, held while the press starts
    bool userRowsSkipped = false;     // rows of the user's, with no user to start them as
    win::DWORD userStartError = 0;    // Windows refused an existing program started as the user
    win::DWORD ownStartError = 0;     // Windows refused an existing program started with Kestane's token
    bool openRowsSkipped = false;     // rows whose program or folder every user may change
};
Starts BeginStarts();
// Shows, once each, what the press left undone, and lets the user go.
void EndStarts(Starts& starts);

// A path below the machine's own roots, or a system program: started with
// Kestane's own rights and the environment above, in its own folder. A
// folder is never opened with Kestane's rights. With `process`, the started
// process's handle is handed back for the caller to wait on and close (null
// when nothing started).
void Launch(Starts& starts, const char* file, const char* parameters, int show, win::HANDLE* process = nullptr);
// Whether the desktop user's rows can start: not without a user, nor on XP
// with another account's (XP cannot start a program with another token).
bool UserRowsCanStart(const Starts& starts);
// A path in the desktop user's folders, or a folder to open: started with
// the user's token, in its own folder and with the user's environment;
// without a split token (see desktop_user.h) with Kestane's rights, in the
// system folder; with no user, not at all. A start that fails as the user is
// never made with Kestane's rights instead. One that Windows refuses because
// it asks for an administrator (installer detection) is started as the user
// once more, with the compatibility layer that runs it as its invoker.
void LaunchAsUser(Starts& starts, const char* file, const char* parameters, int show);

// The walks pass over the rows below a fixed root that is not one of the
// machine's own folders, in silence, as the shell does a missing file; and
// over a row whose program or a folder on the way to it every user may
// change, told once for the press.
// Rows with full paths, in order.
void LaunchTable(Starts& starts, const LaunchEntry* rows, std::size_t count);
// The rows below one root, in order.
void LaunchUnderRoot(Starts& starts, ProgramFilesRoot root, const LaunchEntry* rows, std::size_t count);
// The rows below the native root, then the same rows below the (x86) root.
void LaunchUnderBothRoots(Starts& starts, const LaunchEntry* rows, std::size_t count);
// Row by row: each row below the native root, then below the (x86) root.
void LaunchEachUnderBothRoots(Starts& starts, const LaunchEntry* rows, std::size_t count);

template <std::size_t N>
void LaunchTable(Starts& starts, const LaunchEntry (&rows)[N]) {
    LaunchTable(starts, rows, N);
}
template <std::size_t N>
void LaunchUnderRoot(Starts& starts, ProgramFilesRoot root, const LaunchEntry (&rows)[N]) {
    LaunchUnderRoot(starts, root, rows, N);
}
template <std::size_t N>
void LaunchUnderBothRoots(Starts& starts, const LaunchEntry (&rows)[N]) {
    LaunchUnderBothRoots(starts, rows, N);
}
template <std::size_t N>
void LaunchEachUnderBothRoots(Starts& starts, const LaunchEntry (&rows)[N]) {
    LaunchEachUnderBothRoots(starts, rows, N);
}
