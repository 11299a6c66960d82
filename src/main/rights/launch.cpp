#include "launch.h"

#include <string>
#include <vector>

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "admin_folder.h"
#include "main/code_page.h"
#include "main/main_state.h"
#include "paths.h"
#include "main/texts.h"

using namespace win;

namespace {

// A name of Kestane's own below the Windows folder's Temp, where Users may
// create folders: one that exists already is someone else's, and the next
// name is tried.
constexpr DWORD kTempFolderAttempts = 16;
constexpr DWORD kTempNameBytes = 16;

// What Windows is asked to start for a row: the program by its full path and
// the whole command line.
struct StartLine {
    std::string program;
    std::string commandLine;
    bool exists = false;  // the row's file or folder is there
    bool folder = false;  // a folder, opened in the system's explorer
};

bool EndsWithNoCase(const std::string& text, const char* tail) {
    std::string folded = grid::LowerImageName(text.c_str());
    std::string lowerTail = grid::LowerImageName(tail);
    return folded.size() >= lowerTail.size() &&
           folded.compare(folded.size() - lowerTail.size(), lowerTail.size(), lowerTail) == 0;
}

// Every path reaches Windows through here. A folder opens in the system's
// explorer and an existing batch file runs in the system's command processor,
// which takes the outer quotes of "/c" off and runs the rest as it stands;
// "/d" first, or it would run the AutoRun command that any program of the
// user's may write to HKEY_CURRENT_USER.
bool MakeStartLine(const std::string& file, const char* parameters, StartLine& line) {
    const std::string quoted = "\"" + file + "\"";
    const std::string tail = parameters ? std::string(" ") + parameters : std::string();
    DWORD attributes = GetFileAttributesA(file.c_str());
    line.exists = attributes != INVALID_FILE_ATTRIBUTES;
    line.folder = line.exists && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (line.folder) {
        std::string windows;
        if (!WindowsFolder(windows) || !JoinFolderPath(windows, "explorer.exe", line.program)) return false;
        line.commandLine = "\"" + line.program + "\" " + quoted + tail;
    } else if (line.exists && EndsWithNoCase(file, ".bat")) {
        if (!SystemProgramPath("cmd.exe", line.program)) return false;
        line.commandLine = "\"" + line.program + "\" /d /c \"" + quoted + tail + "\"";
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

using CreateEnvironmentBlockProc = BOOL(WIN_CALLBACK*)(void**, HANDLE, BOOL);
using DestroyEnvironmentBlockProc = BOOL(WIN_CALLBACK*)(void*);

// userenv is no KnownDLL: imported, the loader would take it from Kestane's
// own folder before any of our code ran. The copy from the system folder
// that RestrictDllSearch loaded, by its full path again.
bool UserenvCalls(CreateEnvironmentBlockProc& create, DestroyEnvironmentBlockProc& destroy) {
    std::string path;
    HINSTANCE userenv = SystemProgramPath("userenv.dll", path)
                            ? LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                            : nullptr;
    create = reinterpret_cast<CreateEnvironmentBlockProc>(GetProcAddress(userenv, "CreateEnvironmentBlock"));
    destroy = reinterpret_cast<DestroyEnvironmentBlockProc>(GetProcAddress(userenv, "DestroyEnvironmentBlock"));
    return userenv && create && destroy;
}

bool SameNameNoCase(const WCHAR* entry, const char* name) {
    for (; *name; ++entry, ++name) {
        WCHAR c = *entry >= u'a' && *entry <= u'z' ? static_cast<WCHAR>(*entry - 32) : *entry;
        if (c != static_cast<WCHAR>(*name)) return false;
    }
    return *entry == u'=';
}

// An environment block with the named variables given these values
// instead; empty when a value has no wide form.
std::vector<WCHAR> WithValues(const WCHAR* block, const std::vector<std::pair<const char*, std::string>>& values,
                              DWORD& error) {
    std::vector<WCHAR> edited;
    for (const WCHAR* entry = block; *entry; entry += std::char_traits<WCHAR>::length(entry) + 1) {
        bool replaced = false;
        for (const auto& value : values) replaced = replaced || SameNameNoCase(entry, value.first);
        if (!replaced) edited.insert(edited.end(), entry, entry + std::char_traits<WCHAR>::length(entry) + 1);
    }
    for (const auto& value : values) {
        std::vector<WCHAR> wide = Widen(std::string(value.first) + "=" + value.second);
        if (wide.empty()) {
            error = ERROR_INVALID_PARAMETER;
            return {};
        }
        edited.insert(edited.end(), wide.begin(), wide.end());
    }
    edited.push_back(u'\0');
    return edited;
}

// Windows' environment of a token (null: the system's variables only), with
// the named variables given these values instead. Empty when Windows gives
// none.
std::vector<WCHAR> EnvironmentOf(HANDLE token, const std::vector<std::pair<const char*, std::string>>& values,
                                 DWORD& error) {
    CreateEnvironmentBlockProc create = nullptr;
    DestroyEnvironmentBlockProc destroy = nullptr;
    void* raw = nullptr;
    if (!UserenvCalls(create, destroy) || !create(&raw, token, FALSE)) {
        error = GetLastError();
        if (error == 0) error = ERROR_PROC_NOT_FOUND;
        return {};
    }
    std::vector<WCHAR> block = WithValues(static_cast<const WCHAR*>(raw), values, error);
    destroy(raw);
    return block;
}

// INVALID_FILE_ATTRIBUTES, which reads as a reparse point, when they cannot
// be read.
DWORD AttributesOf(HANDLE item) {
    BY_HANDLE_FILE_INFORMATION info = {};
    return GetFileInformationByHandle(item, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

// Kestane's TEMP folder held for a press: reading shared, deletion not, so
// that while it is held it can be neither renamed nor removed.
HANDLE HoldTempFolder(const std::string& path) {
    return OpenItself(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

// As Kestane makes it: a plain folder, no junction nor other reparse point,
// that only administrators can change.
bool IsAdminOnlyFolder(HANDLE folder) {
    const DWORD kind = folder != INVALID_HANDLE_VALUE ? AttributesOf(folder) : INVALID_FILE_ATTRIBUTES;
    return (kind & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY &&
           OnlyAdministratorsChange(folder);
}

using RtlGenRandomProc = BYTE(WIN_CALLBACK*)(void*, DWORD);

// "Temp\Tollvard-" and 128 bits from the system's random generator
// (RtlGenRandom, which advapi32 exports as SystemFunction036 from XP on):
// nobody can guess the name and make it first.
bool RandomTempName(std::string& name) {
    auto random = reinterpret_cast<RtlGenRandomProc>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "SystemFunction036"));
    BYTE bytes[kTempNameBytes] = {};
    if (!random || !random(bytes, sizeof(bytes))) return false;
    name = "Temp\\Tollvard-";
    for (BYTE b : bytes) {
        name += "0123456789abcdef"[b >> 4];
        name += "0123456789abcdef"[b & 15];
    }
    return true;
}

// StartTempFolder, held in starts.tempFolder for the press. The folder of an
// earlier press is used again only as it was made: a cleaner or another
// administrator may have removed it since, and any user may then have put a
// folder or a junction of that name in its place.
bool MakeStartTempFolder(Starts& starts, DWORD& error) {
    if (!StartTempFolder.empty()) {
        starts.tempFolder = HoldTempFolder(StartTempFolder);
        if (IsAdminOnlyFolder(starts.tempFolder)) return true;
        if (starts.tempFolder != INVALID_HANDLE_VALUE) CloseHandle(starts.tempFolder);
        starts.tempFolder = INVALID_HANDLE_VALUE;
        // Removes an empty folder, or a junction itself, never what it holds.
        RemoveDirectoryA(StartTempFolder.c_str());
        StartTempFolder.clear();
    }
    std::string windows;
    if (!WindowsFolder(windows)) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    for (DWORD attempt = 0; attempt < kTempFolderAttempts; ++attempt) {
        std::string name, path;
        if (!RandomTempName(name)) {
            error = ERROR_PROC_NOT_FOUND;
            return false;
        }
        if (!JoinFolderPath(windows, name.c_str(), path)) {
            error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        if (CreateAdminOnlyFolder(path)) {
            StartTempFolder = path;
            starts.tempFolder = HoldTempFolder(path);
            if (starts.tempFolder != INVALID_HANDLE_VALUE) return true;
            error = GetLastError();
            return false;
        }
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

// The environment of every start with Kestane's rights: not Kestane's own,
// which Windows built from the user's HKEY_CURRENT_USER\Environment (TEMP
// and TMP in the user's profile, the user's Path, ComSpec and PATHEXT), but
// the system's variables only, with TEMP and TMP in a folder that only
// administrators can change. Without one, nothing starts with our rights.
const std::vector<WCHAR>* OwnEnvironment(Starts& starts) {
    if (!starts.environmentTried) {
        starts.environmentTried = true;
        if (MakeStartTempFolder(starts, starts.environmentError))
            starts.environment =
                EnvironmentOf(nullptr, {{"TEMP", StartTempFolder}, {"TMP", StartTempFolder}}, starts.environmentError);
    }
    return starts.environment.empty() ? nullptr : &starts.environment;
}

// A console program gets a console of its own, as the shell gives it, shown
// as the row says; without one it would write into nothing, or under Wine
// into the terminal Wine was started from.
bool StartWithOwnToken(Starts& starts, const StartLine& line, int show, const std::string& folder,
                       HANDLE* process) {
    const std::vector<WCHAR>* environment = OwnEnvironment(starts);
    if (!environment) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<std::uint16_t>(show);
    PROCESS_INFORMATION started = {};
    std::vector<char> commandLine(line.commandLine.begin(), line.commandLine.end());
    commandLine.push_back('\0');
    std::vector<WCHAR> block = *environment;  // the call may write to it
    if (!CreateProcessA(line.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, block.data(), folder.c_str(), &startup,
                        &started)) {
        // What is not installed fails in silence, as always; what is there
        // and does not start is told.
        if (line.exists && !line.folder && starts.ownStartError == 0) starts.ownStartError = GetLastError();
        return false;
    }
    CloseHandle(started.hThread);
    if (process)
        *process = started.hProcess;
    else
        CloseHandle(started.hProcess);
    return true;
}

using CreateProcessWithTokenWProc = BOOL(WIN_CALLBACK*)(HANDLE, DWORD, const WCHAR*, WCHAR*, DWORD, void*,
                                                        const WCHAR*, STARTUPINFOW*, PROCESS_INFORMATION*);

// The secondary logon service's start, which Vista brought; null on XP.
CreateProcessWithTokenWProc CreateProcessWithToken() {
    return reinterpret_cast<CreateProcessWithTokenWProc>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "CreateProcessWithTokenW"));
}

// Windows' error when it did not start.
DWORD StartWithUserToken(HANDLE token, const StartLine& line, int show, const std::string& folder,
                         std::vector<WCHAR>& environment) {
    CreateProcessWithTokenWProc createProcessWithToken = CreateProcessWithToken();
    if (!createProcessWithToken) return ERROR_PROC_NOT_FOUND;
    std::vector<WCHAR> program = Widen(line.program), commandLine = Widen(line.commandLine),
                         directory = Widen(folder);
    if (program.empty() || commandLine.empty() || directory.empty()) return ERROR_INVALID_PARAMETER;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<std::uint16_t>(show);
    PROCESS_INFORMATION started = {};
    if (!createProcessWithToken(token, LOGON_WITH_PROFILE, program.data(), commandLine.data(),
                                CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                                directory.data(), &startup, &started))
        return GetLastError();
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return ERROR_SUCCESS;
}

// In the user's own environment, built from the user's token: what Windows
// would give the start without one is not said. Installer detection refuses
// a 32-bit program named like an installer ("Uninstall.exe") to a token that
// is not elevated. Such a program is started as the user once more, with the
// compatibility layer that runs it as its invoker; never as administrator.
void StartAsUser(Starts& starts, const StartLine& line, int show, const std::string& folder) {
    DWORD error = ERROR_SUCCESS;
    std::vector<WCHAR> users = EnvironmentOf(starts.user.token, {}, error);
    if (!users.empty()) error = StartWithUserToken(starts.user.token, line, show, folder, users);
    if (error == ERROR_ELEVATION_REQUIRED) {
        std::vector<WCHAR> asInvoker = WithValues(users.data(), {{"__COMPAT_LAYER", "RunAsInvoker"}}, error);
        if (!asInvoker.empty()) error = StartWithUserToken(starts.user.token, line, show, folder, asInvoker);
    }
    // What is not installed fails in silence, as always; what is there and
    // still does not start is told.
    if (error != ERROR_SUCCESS && line.exists && starts.userStartError == 0) starts.userStartError = error;
}

// What belongs to the desktop user: a program in the user's folders, or a
// folder that the user's own explorer opens (elevated, it would become an
// elevated shell where none runs).
void StartForUser(Starts& starts, const StartLine& line, int show, const std::string& file) {
    if (!UserRowsCanStart(starts)) {
        starts.userRowsSkipped = true;
        return;
    }
    std::string folder;
    switch (starts.user.answer) {
    case DesktopUser::kNoSplit:
        // A program in the user's folders does not start in them: the folder
        // is the user's to fill with DLLs, and we are administrator.
        if (line.folder ? OwnFolder(file, folder) : SystemFolder(folder))
            StartWithOwnToken(starts, line, show, folder, nullptr);
        break;
    case DesktopUser::kUser:
        if (OwnFolder(file, folder)) StartAsUser(starts, line, show, folder);
        break;
    case DesktopUser::kNoUser:
        break;
    }
}

// What a row starts with Kestane's token, and every folder from below its
// root down to it, read through handles that do not follow a junction or
// link: none may be one, nor let every user change it. Installers that
// update themselves often open their folder so, and any program of any user
// could then replace the uninstaller or put a DLL beside it. What is not
// there fails to start, and where the walk ends only administrators could
// put it.
bool OnlyAdministratorsPutThere(const std::string& path) {
    std::size_t at = FixedRootLength(path);
    if (at == 0) at = path.find('\\') + 1;
    for (;;) {
        const std::size_t end = path.find('\\', at);
        HANDLE item = OpenItself(path.substr(0, end), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (item == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        }
        bool sound = !(AttributesOf(item) & FILE_ATTRIBUTE_REPARSE_POINT) && !UsersMayChange(item);
        CloseHandle(item);
        if (!sound || end == std::string::npos) return sound;
        at = end + 1;
    }
}

void LaunchTrusted(Starts& starts, const std::string& file, const LaunchEntry& row) {
    if (!FixedRootIsOwn(starts.roots, file)) return;
    const std::string path = InProcessCodePage(file.c_str());
    StartLine line;
    if (!MakeStartLine(path, row.parameters, line)) return;
    std::string folder;
    if (line.folder)
        StartForUser(starts, line, row.show, path);
    else if (!OnlyAdministratorsPutThere(path))
        starts.openRowsSkipped = true;
    else if (OwnFolder(path, folder))
        StartWithOwnToken(starts, line, row.show, folder, nullptr);
}

void LaunchBelow(Starts& starts, ProgramFilesRoot root, const LaunchEntry& row) {
    bool x86 = root == ProgramFilesRoot::X86;
    if ((row.flags & kNativeRootOnly) && x86) return;
    if ((row.flags & kX86RootOnly) && !x86) return;
    std::string file = std::string(ProgramFilesPath(root)) + row.file;
    if (row.flags & kLowerCaseDrive) file[0] = 'c';
    LaunchTrusted(starts, file, row);
}

}  // namespace

const char* ProgramFilesPath(ProgramFilesRoot root) {
    return root == ProgramFilesRoot::X86 ? kProgramFilesX86Root : kProgramFilesRoot;
}

bool UserRowsCanStart(const Starts& starts) {
    return starts.user.answer == DesktopUser::kNoSplit ||
           (starts.user.answer == DesktopUser::kUser && CreateProcessWithToken());
}

Starts BeginStarts() {
    Starts starts;
    starts.roots = FindOwnRoots();
    starts.user = FindDesktopUser();
    return starts;
}

void EndStarts(Starts& starts) {
    CloseDesktopUser(starts.user);
    if (starts.tempFolder != INVALID_HANDLE_VALUE) CloseHandle(starts.tempFolder);
    starts.tempFolder = INVALID_HANDLE_VALUE;
    if (starts.userRowsSkipped) TellUserFoldersSkipped();
    if (starts.userStartError) ShowNotice(WithErrorCode(text::kUserStartRefused, starts.userStartError).c_str());
    if (starts.ownStartError) ShowNotice(WithErrorCode(text::kOwnStartRefused, starts.ownStartError).c_str());
    if (starts.openRowsSkipped) ShowNotice(text::kOpenFoldersSkipped);
    if (starts.environmentTried && starts.environment.empty())
        ShowNotice(WithErrorCode(text::kStartsNotMade, starts.environmentError).c_str());
}

void Launch(Starts& starts, const char* file, const char* parameters, int show, HANDLE* process) {
    if (process) *process = nullptr;
    StartLine line;
    std::string folder;
    if (MakeStartLine(file, parameters, line) && !line.folder && OwnFolder(file, folder))
        StartWithOwnToken(starts, line, show, folder, process);
}

void LaunchAsUser(Starts& starts, const char* file, const char* parameters, int show) {
    StartLine line;
    if (MakeStartLine(file, parameters, line)) StartForUser(starts, line, show, file);
}

void LaunchTable(Starts& starts, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) LaunchTrusted(starts, rows[i].file, rows[i]);
}

void LaunchUnderRoot(Starts& starts, ProgramFilesRoot root, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) LaunchBelow(starts, root, rows[i]);
}

void LaunchUnderBothRoots(Starts& starts, const LaunchEntry* rows, std::size_t count) {
    LaunchUnderRoot(starts, ProgramFilesRoot::Native, rows, count);
    LaunchUnderRoot(starts, ProgramFilesRoot::X86, rows, count);
}

void LaunchEachUnderBothRoots(Starts& starts, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        LaunchBelow(starts, ProgramFilesRoot::Native, rows[i]);
        LaunchBelow(starts, ProgramFilesRoot::X86, rows[i]);
    }
}
