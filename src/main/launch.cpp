#include "launch.h"

#include <string>
#include <vector>

#include "../shared/catalogue.h"
#include "../shared/process_shell.h"
#include "code_page.h"
#include "paths.h"

using namespace win;

namespace {

// What Windows is asked to start for a row: the program by its full path and
// the whole command line.
struct StartLine {
    std::string program;
    std::string commandLine;
};

bool EndsWithNoCase(const std::string& text, const char* tail) {
    std::string folded = grid::LowerImageName(text.c_str());
    std::string lowerTail = grid::LowerImageName(tail);
    return folded.size() >= lowerTail.size() &&
           folded.compare(folded.size() - lowerTail.size(), lowerTail.size(), lowerTail) == 0;
}

// Every path reaches Windows through here. A folder opens in the system's
// explorer and an existing batch file runs in the system's command processor,
// which takes the outer quotes of "/c" off and runs the rest as it stands.
bool MakeStartLine(const std::string& file, const char* parameters, StartLine& line) {
    const std::string quoted = "\"" + file + "\"";
    const std::string tail = parameters ? std::string(" ") + parameters : std::string();
    DWORD attributes = GetFileAttributesA(file.c_str());
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::string windows;
        if (!WindowsFolder(windows) || !JoinFolderPath(windows, "explorer.exe", line.program)) return false;
        line.commandLine = "\"" + line.program + "\" " + quoted + tail;
    } else if (exists && EndsWithNoCase(file, ".bat")) {
        if (!SystemProgramPath("cmd.exe", line.program)) return false;
        line.commandLine = "\"" + line.program + "\" /c \"" + quoted + tail + "\"";
    } else {
        line.program = file;
        line.commandLine = quoted + tail;
    }
    return true;
}

// The folder that holds a file or folder; false for a path without one.
bool OwnFolder(const std::string& path, std::string& folder) {
    std::size_t end = path.size();
    if (end > 0 && path[end - 1] == '\\') --end;
    std::size_t slash = path.rfind('\\', end == 0 ? 0 : end - 1);
    if (slash == std::string::npos || slash < 2) return false;
    // "C:" alone would be the drive's current folder, not its root.
    folder = path.substr(0, slash == 2 ? 3 : slash);
    return true;
}

// A console program gets a console of its own, as the shell gives it, shown
// as the row says; without one it would write into nothing, or under Wine
// into the terminal Wine was started from.
bool StartWithOwnToken(const StartLine& line, int show, const std::string& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<std::uint16_t>(show);
    PROCESS_INFORMATION started = {};
    std::vector<char> commandLine(line.commandLine.begin(), line.commandLine.end());
    commandLine.push_back('\0');
    if (!CreateProcessA(line.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                        nullptr, folder.c_str(), &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

// CreateProcessWithTokenW has no narrow form: the narrow texts are read in
// the process's code page, as every narrow call reads them. With its zero;
// empty when the text is empty or has no wide form. (A vector, not a wide
// string: the runtime's wide strings would add their every member.)
std::vector<WCHAR> Widen(const std::string& text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 1) return {};
    std::vector<WCHAR> wide(static_cast<std::size_t>(length));
    if (MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length) != length) return {};
    return wide;
}

using CreateProcessWithTokenWProc = BOOL(WIN_CALLBACK*)(HANDLE, DWORD, const WCHAR*, WCHAR*, DWORD, void*,
                                                        const WCHAR*, STARTUPINFOW*, PROCESS_INFORMATION*);

// Through the secondary logon service, which Vista brought; with no
// environment given, Windows builds the user's own from the profile it loads.
bool StartWithUserToken(HANDLE token, const StartLine& line, int show, const std::string& folder) {
    auto createProcessWithToken = reinterpret_cast<CreateProcessWithTokenWProc>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "CreateProcessWithTokenW"));
    if (!createProcessWithToken) return false;
    std::vector<WCHAR> program = Widen(line.program), commandLine = Widen(line.commandLine),
                         directory = Widen(folder);
    if (program.empty() || commandLine.empty() || directory.empty()) return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<std::uint16_t>(show);
    PROCESS_INFORMATION started = {};
    if (!createProcessWithToken(token, LOGON_WITH_PROFILE, program.data(), commandLine.data(), CREATE_NEW_CONSOLE,
                                nullptr, directory.data(), &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

void LaunchTrusted(const OwnRoots& roots, const std::string& file, const LaunchEntry& row) {
    if (TrustedPath(roots, file)) Launch(InProcessCodePage(file.c_str()).c_str(), row.parameters, row.show);
}

void LaunchBelow(const OwnRoots& roots, ProgramFilesRoot root, const LaunchEntry& row) {
    bool x86 = root == ProgramFilesRoot::X86;
    if ((row.flags & kNativeRootOnly) && x86) return;
    if ((row.flags & kX86RootOnly) && !x86) return;
    std::string file = std::string(ProgramFilesPath(root)) + row.file;
    if (row.flags & kLowerCaseDrive) file[0] = 'c';
    LaunchTrusted(roots, file, row);
}

}  // namespace

const char* ProgramFilesPath(ProgramFilesRoot root) {
    return root == ProgramFilesRoot::X86 ? kProgramFilesX86Root : kProgramFilesRoot;
}

void Launch(const char* file, const char* parameters, int show) {
    StartLine line;
    std::string folder;
    if (MakeStartLine(file, parameters, line) && OwnFolder(file, folder)) StartWithOwnToken(line, show, folder);
}

void LaunchAsUser(const DesktopUser& user, const char* file, const char* parameters, int show) {
    StartLine line;
    if (!MakeStartLine(file, parameters, line)) return;
    std::string folder;
    if (!user.token) {
        if (SystemFolder(folder)) StartWithOwnToken(line, show, folder);
        return;
    }
    if (OwnFolder(file, folder)) StartWithUserToken(user.token, line, show, folder);
}

void LaunchTable(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) LaunchTrusted(roots, rows[i].file, rows[i]);
}

void LaunchUnderRoot(const OwnRoots& roots, ProgramFilesRoot root, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) LaunchBelow(roots, root, rows[i]);
}

void LaunchUnderBothRoots(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count) {
    LaunchUnderRoot(roots, ProgramFilesRoot::Native, rows, count);
    LaunchUnderRoot(roots, ProgramFilesRoot::X86, rows, count);
}

void LaunchEachUnderBothRoots(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        LaunchBelow(roots, ProgramFilesRoot::Native, rows[i]);
        LaunchBelow(roots, ProgramFilesRoot::X86, rows[i]);
    }
}
