// The uninstaller tables and the update check write their paths below fixed
// roots. Only where such a root is the folder that Windows itself keeps for
// it does it hold what only administrators could put there: anyone may create
// "C:\Program Files (x86)" on 32-bit Windows, or "C:\Windows" on a machine
// whose Windows lives on another drive, and what Kestane started from there
// would run with its administrator rights.
#pragma once

#include <cstddef>
#include <string>

constexpr char kProgramFilesRoot[] = "C:\\Program Files\\";
constexpr char kProgramFilesX86Root[] = "C:\\Program Files (x86)\\";
constexpr char kWindowsRoot[] = "C:\\Windows\\";
constexpr char kSystemRoot[] = "C:\\Windows\\system32\\";

// Which fixed roots are this machine's own folders.
struct OwnRoots {
    bool programFiles = false;     // the native Program Files folder
    bool programFilesX86 = false;  // the 32-bit one of 64-bit Windows
    bool windows = false;          // the Windows folder
    bool system = false;           // the system folder, as a 32-bit program too names it
};

// Asks Windows for its folders and compares each with its root, without
// regard to case.
OwnRoots FindOwnRoots();

// Whether the fixed root a path lies below is this machine's own folder;
// true too for a path below no fixed root. Says nothing of the folders
// between the root and the path.
bool FixedRootIsOwn(const OwnRoots& roots, const std::string& path);

// The length of the fixed root a path lies below ("C:\Program Files\"); 0
// for a path below none.
std::size_t FixedRootLength(const std::string& path);
