#include "own_roots.h"

#include <cstring>

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "shared/win_defs.h"
#include "paths.h"

using namespace win;

namespace {

// Most specific first: a system folder path also lies below the Windows folder.
const struct {
    const char* root;
    bool OwnRoots::*own;
} kFixedRoots[] = {
    {kSystemRoot, &OwnRoots::system},
    {kWindowsRoot, &OwnRoots::windows},
    {kProgramFilesX86Root, &OwnRoots::programFilesX86},
    {kProgramFilesRoot, &OwnRoots::programFiles},
};

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    std::string folded = grid::LowerImageName(prefix);
    return grid::LowerImageName(text.c_str()).compare(0, folded.size(), folded) == 0;
}

// Windows reports its folders without the trailing backslash of a root.
bool IsRoot(const std::string& folder, const char* root) {
    return folder.size() + 1 == std::strlen(root) && StartsWithNoCase(root, folder.c_str());
}

std::string ShellFolder(int csidl) {
    std::string folder;
    return GetSpecialFolder(csidl, folder) ? folder : std::string();
}

bool Is64BitWindows() {
    if (ProgramIs64Bit()) return true;
    // The first XP releases lack IsWow64Process; no 64-bit Windows does.
    using IsWow64ProcessProc = BOOL(WIN_CALLBACK*)(HANDLE, BOOL*);
    auto isWow64Process =
        reinterpret_cast<IsWow64ProcessProc>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process"));
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// The shell tells a 32-bit program on 64-bit Windows only the 32-bit Program
// Files folder. The native one is where Windows keeps it, in the 64-bit view
// of the machine's registry, which only administrators can change.
std::string NativeProgramFiles() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != static_cast<LONG>(ERROR_SUCCESS))
        return std::string();
    // One byte to spare: the value need not end in a zero.
    char buffer[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH;
    LONG result =
        RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<unsigned char*>(buffer), &size);
    RegCloseKey(key);
    return result == static_cast<LONG>(ERROR_SUCCESS) && type == REG_SZ ? std::string(buffer) : std::string();
}

}  // namespace

OwnRoots FindOwnRoots() {
    OwnRoots roots;
    std::string windows;
    roots.windows = WindowsFolder(windows) && IsRoot(windows, kWindowsRoot);
    // A 32-bit program on 64-bit Windows is told System32 too, and reaches
    // its own system folder by that name.
    std::string system;
    roots.system = SystemFolder(system) && IsRoot(system, kSystemRoot);
    if (!Is64BitWindows()) {
        roots.programFiles = IsRoot(ShellFolder(CSIDL_PROGRAM_FILES), kProgramFilesRoot);
    } else if (ProgramIs64Bit()) {
        roots.programFiles = IsRoot(ShellFolder(CSIDL_PROGRAM_FILES), kProgramFilesRoot);
        roots.programFilesX86 = IsRoot(ShellFolder(CSIDL_PROGRAM_FILESX86), kProgramFilesX86Root);
    } else {
        // Under WoW64 the shell's Program Files is the 32-bit one.
        roots.programFiles = IsRoot(NativeProgramFiles(), kProgramFilesRoot);
        roots.programFilesX86 = IsRoot(ShellFolder(CSIDL_PROGRAM_FILES), kProgramFilesX86Root);
    }
    return roots;
}

bool FixedRootIsOwn(const OwnRoots& roots, const std::string& path) {
    for (const auto& fixed : kFixedRoots)
        if (StartsWithNoCase(path, fixed.root)) return roots.*fixed.own;
    return true;
}

std::size_t FixedRootLength(const std::string& path) {
    for (const auto& fixed : kFixedRoots)
        if (StartsWithNoCase(path, fixed.root)) return std::strlen(fixed.root);
    return 0;
}
