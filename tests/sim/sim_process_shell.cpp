// The simulated processes, events, clock, shell and file system, and the code
// page conversions of kernel32.
#include <algorithm>
#include <cstring>

#include "shared/process_shell.h"
#include "sim/sim.h"

using namespace win;

namespace {

sim::Machine& M() { return sim::machine(); }
using Kind = sim::Machine::HandleKind;

std::string Str(const char* s) { return s ? s : "<null>"; }

// As Windows hands out a folder or path: its length when it fits with its
// terminating zero, else the size needed; 0 when there is none.
UINT CopyFolderOut(const std::string& folder, char* buffer, UINT size) {
    if (folder.empty()) return 0;
    if (folder.size() + 1 > size) return static_cast<UINT>(folder.size() + 1);
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && sim::SameNoCase(s.substr(s.size() - tail.size()), tail);
}

void FillEntry(const sim::Process& p, PROCESSENTRY32* entry) {
    DWORD size = entry->dwSize;
    std::memset(entry, 0, sizeof(*entry));
    entry->dwSize = size;
    entry->th32ProcessID = p.pid;
    entry->cntThreads = 1;
    std::strncpy(entry->szExeFile, p.image.c_str(), sizeof(entry->szExeFile) - 1);
}

// The task-kill program: "/F /IM name" ends every process of that image.
void RunTaskkill(const std::string& parameters) {
    const std::string prefix = "/F /IM ";
    if (parameters.compare(0, prefix.size(), prefix) != 0) return;
    std::string image = parameters.substr(prefix.size());
    auto& ps = M().processes;
    ps.erase(std::remove_if(ps.begin(), ps.end(),
                            [&](const sim::Process& p) { return !p.unkillable && sim::SameNoCase(p.image, image); }),
             ps.end());
}

BOOL Fail(DWORD error) {
    M().lastError = error;
    return FALSE;
}

const char* CharacterSet(UINT codePage);

// A wide text read back in the process's code page, as the started program
// would see it.
std::string Narrow(const WCHAR* wide) {
    std::string units(reinterpret_cast<const char*>(wide), std::char_traits<WCHAR>::length(wide) * 2), narrow;
    sim::Recode(CharacterSet(M().ansiCodePage), "UTF-16LE", units, narrow);
    return narrow;
}

// A wide environment block as its variables.
std::map<std::string, std::string> Variables(const WCHAR* block) {
    std::map<std::string, std::string> out;
    for (; *block; block += std::char_traits<WCHAR>::length(block) + 1) {
        std::string entry = Narrow(block);
        std::size_t equals = entry.find('=', 1);
        if (equals != std::string::npos) out[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    return out;
}

std::string FileNameOf(const std::string& path) {
    std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Installer detection: Windows guesses from the name that the program
// installs something.
bool NamedLikeAnInstaller(const std::string& program) {
    std::string name = FileNameOf(program);
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (const char* word : {"install", "setup", "update", "patch"})
        if (name.find(word) != std::string::npos) return true;
    return false;
}

// cmd's switches before "/c": "/d" keeps it from running AutoRun.
bool ReadsNoAutoRun(const std::string& parameters) {
    std::size_t run = parameters.find("/c");
    std::size_t off = parameters.find("/d");
    return off != std::string::npos && (run == std::string::npos || off < run);
}

// The one start path of every simulated process start. A started program
// runs on its own; its two handles are the caller's. The command line begins
// with the quoted program, and the rest are parameters.
BOOL Start(const char* via, const std::string& account, const std::string& program, const std::string& line,
           DWORD flags, int show, const std::string& directory, const std::map<std::string, std::string>& environment,
           PROCESS_INFORMATION* started) {
    sim::Launch launch{program, "<null>", (flags & STARTF_USESHOWWINDOW) ? show : -1, false, via, account,
                       directory, environment};
    const std::string quoted = "\"" + program + "\"";
    if (line.compare(0, quoted.size(), quoted) != 0 || (line.size() > quoted.size() && line[quoted.size()] != ' '))
        M().misuse.push_back(std::string(via) + " with a command line that does not begin with its program: " + line);
    launch.hasParameters = line.size() > quoted.size();
    if (launch.hasParameters) launch.parameters = line.substr(quoted.size() + 1);
    auto layer = environment.find("__COMPAT_LAYER");
    bool asInvoker = layer != environment.end() && layer->second == "RunAsInvoker";
    if (account != sim::kAdministrator && M().installerDetection && M().FileExists(program) &&
        NamedLikeAnInstaller(program) && !asInvoker) {
        M().Log(std::string(via) + " " + program + " refused: elevation required");
        return Fail(ERROR_ELEVATION_REQUIRED);
    }
    M().Log(std::string(via) + " " + program + " | " + launch.parameters + " | " + std::to_string(launch.show) +
            " | " + directory);
    M().launches.push_back(launch);
    if (EndsWithNoCase(program, "\\cmd.exe") && !M().userAutoRun.empty() && !ReadsNoAutoRun(launch.parameters)) {
        M().Log("AutoRun " + M().userAutoRun);
        M().launches.push_back({M().userAutoRun, "<null>", -1, false, "AutoRun", account, directory, environment});
    }
    DWORD pid = 0;
    if (EndsWithNoCase(program, "\\taskkill.exe")) {
        // It runs after its start has returned, ends what it names and exits.
        sim::Process& taskkill = M().AddProcess("taskkill.exe");
        taskkill.path = program;
        pid = taskkill.pid;
        std::string parameters = launch.parameters;
        M().At(M().now + M().taskkillRunMs, [pid, parameters] {
            if (M().emulateTaskkill) RunTaskkill(parameters);
            auto& ps = M().processes;
            ps.erase(std::remove_if(ps.begin(), ps.end(), [pid](const sim::Process& p) { return p.pid == pid; }),
                     ps.end());
        });
    }
    started->hProcess = static_cast<HANDLE>(M().NewHandle(Kind::Process, "process " + program));
    M().Handle(started->hProcess, Kind::Process)->pid = pid;
    started->hThread = static_cast<HANDLE>(M().NewHandle(Kind::Process, "thread " + program));
    started->dwProcessId = pid;
    return TRUE;
}

// Whose environment Windows builds for a token: the system's variables, and
// the user's own for the desktop user.
std::map<std::string, std::string> EnvironmentFor(const std::string& account) {
    return account == sim::kDesktopUser ? M().OwnEnvironment() : M().systemEnvironment;
}

// A token with at least the access needed; null, with the error, otherwise.
sim::Machine::HandleInfo* Token(HANDLE token, DWORD needed) {
    auto* info = M().Handle(token, Kind::Token);
    if (!info || (info->access & needed) != needed) Fail(info ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return info && (info->access & needed) == needed ? info : nullptr;
}

// A process handle is signalled once its process has ended.
bool ProcessEnded(HANDLE handle) {
    auto* info = M().Handle(handle, Kind::Process);
    if (!info) return false;
    const auto& ps = M().processes;
    return std::none_of(ps.begin(), ps.end(), [&](const sim::Process& p) { return info->pid && p.pid == info->pid; });
}

HANDLE NewToken(const std::string& account, DWORD access, bool primary, const std::string& what) {
    void* handle = M().NewHandle(Kind::Token, what);
    auto* info = M().Handle(handle, Kind::Token);
    info->account = account;
    info->access = access;
    info->primary = primary;
    return static_cast<HANDLE>(handle);
}

}  // namespace

namespace sim {

// userenv's, found at run time: the environment Windows builds for a token
// (null: the system's variables only). A wide block of LocalAlloc'ed memory.
BOOL WIN_CALLBACK CreateEnvironmentBlock(void** environment, HANDLE token, BOOL inherit) {
    auto* info = token ? Token(token, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE) : nullptr;
    if ((token && !info) || inherit) M().misuse.push_back("CreateEnvironmentBlock other than of a token alone");
    std::string account = info ? info->account : "<null>";
    M().Log("CreateEnvironmentBlock " + account);
    std::u16string block;
    for (const auto& [name, value] : EnvironmentFor(account)) {
        std::string units, entry = name + "=" + value;
        sim::Recode("UTF-16LE", CharacterSet(M().ansiCodePage), entry, units);
        block.append(reinterpret_cast<const char16_t*>(units.data()), units.size() / 2);
        block.push_back(u'\0');
    }
    block.push_back(u'\0');
    void* memory = M().NewMemory(block.size() * sizeof(char16_t), "environment block " + account);
    std::memcpy(memory, block.data(), block.size() * sizeof(char16_t));
    *environment = memory;
    return TRUE;
}

BOOL WIN_CALLBACK DestroyEnvironmentBlock(void* environment) {
    M().Log("DestroyEnvironmentBlock");
    return M().CloseHandleOf(environment, Kind::Memory);
}

// advapi32's CreateProcessWithTokenW, which the logic finds at run time: a
// process with another token, through the secondary logon service. Without
// an environment of its own it gets the user's, from the profile it loads.
BOOL WIN_CALLBACK CreateProcessWithTokenW(HANDLE token, DWORD logonFlags, const WCHAR* applicationName,
                                          WCHAR* commandLine, DWORD creationFlags, void* environment,
                                          const WCHAR* currentDirectory, STARTUPINFOW* startupInfo,
                                          PROCESS_INFORMATION* started) {
    auto* info = Token(token, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY);
    DWORD console = environment ? CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT : CREATE_NEW_CONSOLE;
    if (!info || !info->primary || logonFlags != LOGON_WITH_PROFILE || creationFlags != console ||
        !currentDirectory) {
        M().misuse.push_back("CreateProcessWithTokenW other than with a primary token and the user's profile");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::string program = Narrow(applicationName);
    M().Log("CreateProcessWithTokenW " + program + (M().secondaryLogonDisabled ? " refused" : ""));
    if (M().secondaryLogonDisabled) return Fail(ERROR_SERVICE_DISABLED);
    return Start("CreateProcessWithTokenW", info->account, program, Narrow(commandLine), startupInfo->dwFlags,
                 startupInfo->wShowWindow, Narrow(currentDirectory),
                 environment ? Variables(static_cast<const WCHAR*>(environment)) : EnvironmentFor(info->account),
                 started);
}

}  // namespace sim

namespace win {

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    int call = ++M().snapshotCalls;
    M().Log("CreateToolhelp32Snapshot " + std::to_string(flags) + " " + std::to_string(processId));
    auto& failing = M().failingSnapshots;
    if (std::find(failing.begin(), failing.end(), call) != failing.end()) {
        M().lastError = ERROR_NOT_ENOUGH_MEMORY;
        return INVALID_HANDLE_VALUE;
    }
    void* handle = M().NewHandle(Kind::Snapshot, "snapshot");
    M().Handle(handle, Kind::Snapshot)->snapshot = M().processes;
    return static_cast<HANDLE>(handle);
}

BOOL Process32First(HANDLE snapshot, PROCESSENTRY32* entry) {
    auto* info = M().Handle(snapshot, Kind::Snapshot);
    if (!info) {
        M().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (entry->dwSize != sizeof(PROCESSENTRY32)) {
        M().misuse.push_back("Process32First with dwSize " + std::to_string(entry->dwSize));
        return FALSE;
    }
    info->cursor = 0;
    if (info->snapshot.empty()) return FALSE;
    FillEntry(info->snapshot[0], entry);
    info->cursor = 1;
    return TRUE;
}

BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32* entry) {
    auto* info = M().Handle(snapshot, Kind::Snapshot);
    if (!info) {
        M().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (info->cursor >= info->snapshot.size()) {
        M().lastError = 18;  // ERROR_NO_MORE_FILES
        return FALSE;
    }
    FillEntry(info->snapshot[info->cursor++], entry);
    return TRUE;
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId) {
    M().Log("OpenProcess " + std::to_string(access) + " " + std::to_string(processId));
    auto& ps = M().processes;
    auto it = std::find_if(ps.begin(), ps.end(), [&](const sim::Process& p) { return p.pid == processId; });
    if (it == ps.end()) {
        M().lastError = 87;  // ERROR_INVALID_PARAMETER
        return nullptr;
    }
    bool otherAccount = M().shellOtherAccount && processId == M().shellPid && !M().debugPrivilegeEnabled;
    if (it->refuseOpen || otherAccount || (it->refuseFullAccessOpen && access == PROCESS_ALL_ACCESS)) {
        M().lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    void* handle = M().NewHandle(Kind::Process, "process " + it->image);
    M().Handle(handle, Kind::Process)->pid = processId;
    M().Handle(handle, Kind::Process)->access = access;
    return static_cast<HANDLE>(handle);
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    auto* info = M().Handle(process, Kind::Process);
    if (!info) {
        M().Log("TerminateProcess <bad handle>");
        M().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto& ps = M().processes;
    auto it = std::find_if(ps.begin(), ps.end(), [&](const sim::Process& p) { return p.pid == info->pid; });
    M().Log("TerminateProcess " + (it == ps.end() ? std::string("<gone>") : it->image) + " " +
            std::to_string(exitCode));
    if (it == ps.end() || it->unkillable || !(info->access & PROCESS_TERMINATE)) {
        M().lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    ps.erase(it);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    for (Kind kind : {Kind::Snapshot, Kind::Process, Kind::Event, Kind::File, Kind::Token}) {
        if (M().Handle(handle, kind)) {
            M().Log("CloseHandle " + M().Handle(handle, kind)->what);
            return M().CloseHandleOf(handle, kind);
        }
    }
    M().Log("CloseHandle <bad handle>");
    M().CloseHandleOf(handle, Kind::Process);
    M().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

DWORD GetLastError() { return M().lastError; }

BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes, void* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, void* environment, const char* currentDirectory,
                    STARTUPINFOA* startupInfo, PROCESS_INFORMATION* started) {
    // Each with a console of its own, as the shell starts them.
    DWORD console = environment ? CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT : CREATE_NEW_CONSOLE;
    if (!applicationName || !commandLine || processAttributes || threadAttributes || inheritHandles ||
        creationFlags != console) {
        M().misuse.push_back("CreateProcessA other than a program by its path, with its command line");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // The process's own token: impersonation does not reach a new process.
    // Without an environment it inherits Kestane's, the user's included.
    return Start("CreateProcessA", sim::kAdministrator, applicationName, commandLine, startupInfo->dwFlags,
                 startupInfo->wShowWindow, Str(currentDirectory),
                 environment ? Variables(static_cast<const WCHAR*>(environment)) : M().OwnEnvironment(), started);
}

// Kestane's own process has the administrator's token, the shell's process
// the desktop user's.
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    auto* info = M().Handle(process, Kind::Process);
    bool shell = info && M().shellPid && info->pid == M().shellPid;
    if (process != GetCurrentProcess() && !shell) return Fail(ERROR_ACCESS_DENIED);
    if (shell && (M().shellTokenRefused || (M().shellOtherAccount && !M().debugPrivilegeEnabled)))
        return Fail(ERROR_ACCESS_DENIED);
    std::string account = shell ? sim::kDesktopUser : sim::kAdministrator;
    M().Log("OpenProcessToken " + account);
    *token = NewToken(account, access, true, "token " + account);
    return TRUE;
}

BOOL DuplicateTokenEx(HANDLE token, DWORD access, void*, int, int tokenType, HANDLE* newToken) {
    auto* info = Token(token, TOKEN_DUPLICATE);
    if (!info) return FALSE;
    M().Log("DuplicateTokenEx " + info->account);
    *newToken = NewToken(info->account, access, tokenType == TokenPrimary, "token " + info->account + " copy");
    return TRUE;
}

// XP knows neither elevation class. A token is elevated unless it is the
// filtered half (3) of a split one; the shell's is that half unless elevated.
BOOL GetTokenInformation(HANDLE token, int informationClass, void* information, DWORD length, DWORD* returnLength) {
    auto* info = Token(token, TOKEN_QUERY);
    if (!info) return FALSE;
    bool own = info->account == sim::kAdministrator;
    DWORD type = own ? M().elevationType : M().shellElevated ? 2 : 3;
    DWORD value = informationClass == TokenElevationType ? type : type != 3;
    bool known =
        M().tokenClassesKnown && (informationClass == TokenElevationType || informationClass == TokenElevation);
    if (!known || length < sizeof(value)) return Fail(known ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
    std::memcpy(information, &value, sizeof(value));
    *returnLength = sizeof(value);
    return TRUE;
}

BOOL ImpersonateLoggedOnUser(HANDLE token) {
    auto* info = Token(token, TOKEN_QUERY | TOKEN_DUPLICATE);
    if (!info) return FALSE;
    M().Log("ImpersonateLoggedOnUser " + info->account);
    if (M().impersonationFails) return Fail(ERROR_ACCESS_DENIED);
    M().impersonating = info->account;
    return TRUE;
}

BOOL RevertToSelf() {
    M().Log("RevertToSelf");
    M().impersonating.clear();
    return TRUE;
}

// Administrators hold the debug privilege, disabled; it is the one privilege
// the model knows.
constexpr DWORD kDebugPrivilege = 20;

BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
    if (systemName || Str(name) != SE_DEBUG_NAME) return Fail(1313);  // ERROR_NO_SUCH_PRIVILEGE
    *luid = {kDebugPrivilege, 0};
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD length,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
    auto* info = Token(token, TOKEN_ADJUST_PRIVILEGES);
    if (!info) return FALSE;
    if (info->account != sim::kAdministrator || disableAll || !newState)
        M().misuse.push_back("AdjustTokenPrivileges other than of Kestane's own token");
    bool was = M().debugPrivilegeEnabled;
    if (previousState && length < sizeof(TOKEN_PRIVILEGES)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (previousState) previousState->PrivilegeCount = 0;
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
        if (newState->Privileges[i].Luid.LowPart != kDebugPrivilege) continue;
        bool on = (newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
        if (previousState && on != was)
            *previousState = {1, {{{kDebugPrivilege, 0}, was ? SE_PRIVILEGE_ENABLED : 0}}};
        M().debugPrivilegeEnabled = on;
        M().Log(std::string("AdjustTokenPrivileges SeDebugPrivilege ") + (on ? "on" : "off"));
    }
    if (returnLength) *returnLength = sizeof(TOKEN_PRIVILEGES);
    M().lastError = ERROR_SUCCESS;
    return TRUE;
}

DWORD GetCurrentProcessId() { return 4242; }
DWORD GetTickCount() { return static_cast<DWORD>(M().now); }

HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name) {
    M().Log("CreateEventA " + std::string(securityAttributes ? "attrs" : "<null>") + " " +
            std::to_string(manualReset) + " " + std::to_string(initialState) + " " + Str(name));
    if (M().createEventFails) {
        M().lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    auto& others = M().otherObjectNames;
    if (name && std::find(others.begin(), others.end(), name) != others.end()) {
        M().lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    // A name already taken opens the existing event, as it is, and says so.
    std::shared_ptr<sim::Machine::EventObject> existing = name ? M().EventNamed(name) : nullptr;
    void* handle = M().NewHandle(Kind::Event, "event " + Str(name));
    auto* info = M().Handle(handle, Kind::Event);
    if (existing) {
        info->event = existing;
        M().lastError = ERROR_ALREADY_EXISTS;
    } else {
        info->event = std::make_shared<sim::Machine::EventObject>();
        info->event->signalled = initialState != 0;
        info->event->manualReset = manualReset != 0;
        info->event->name = Str(name);
        M().lastError = ERROR_SUCCESS;
    }
    return static_cast<HANDLE>(handle);
}

BOOL SetEvent(HANDLE event) {
    M().Log("SetEvent");
    auto* info = M().Handle(event, Kind::Event);
    if (!info) {
        M().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    info->event->signalled = true;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    M().Log("WaitForSingleObject " + std::to_string(milliseconds));
    auto signalled = [&]() {
        auto* info = M().Handle(handle, Kind::Event);
        return info && info->event->signalled;
    };
    if (!M().Handle(handle, Kind::Event)) {
        M().lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    std::int64_t deadline = M().now + milliseconds;
    while (!signalled() && M().RunNextEventUntil(deadline)) {
    }
    if (signalled()) {
        auto* info = M().Handle(handle, Kind::Event);
        if (!info->event->manualReset) info->event->signalled = false;
        return WAIT_OBJECT_0;
    }
    M().now = deadline;
    M().Refresh();
    return WAIT_TIMEOUT;
}

// All of them (the only wait the programs make on several): processes only.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    M().Log("WaitForMultipleObjects " + std::to_string(count) + " " + std::to_string(milliseconds));
    if (!waitAll || count == 0 || count > 64) M().misuse.push_back("WaitForMultipleObjects other than for all");
    for (DWORD i = 0; i < count; ++i)
        if (!M().Handle(handles[i], Kind::Process)) {
            Fail(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    auto all = [&]() {
        for (DWORD i = 0; i < count; ++i)
            if (!ProcessEnded(handles[i])) return false;
        return true;
    };
    std::int64_t deadline = M().now + milliseconds;
    while (!all() && M().RunNextEventUntil(deadline)) {
    }
    if (all()) return WAIT_OBJECT_0;
    M().now = deadline;
    M().Refresh();
    return WAIT_TIMEOUT;
}

void Sleep(DWORD milliseconds) {
    M().Log("Sleep " + std::to_string(milliseconds));
    M().slept += milliseconds;
    M().Advance(milliseconds);
}

LONG SHGetFolderPathA(HWND, int csidl, HANDLE token, DWORD flags, char* path) {
    auto* info = token ? Token(token, TOKEN_QUERY | TOKEN_IMPERSONATE) : nullptr;
    if ((token && !info) || flags != SHGFP_TYPE_CURRENT) M().misuse.push_back("SHGetFolderPathA with that token");
    std::string account = info ? info->account : "<null>";
    M().Log("SHGetFolderPathA " + std::to_string(csidl) + " " + account);
    bool other = account == sim::kDesktopUser && !M().userFolders.empty();
    const auto& folders = other ? M().userFolders : M().specialFolders;
    auto it = folders.find(csidl);
    if (it == folders.end()) return static_cast<LONG>(0x80004005);  // E_FAIL
    std::strncpy(path, it->second.c_str(), MAX_PATH - 1);
    path[MAX_PATH - 1] = '\0';
    return 0;
}

BOOL SHGetSpecialFolderPathA(HWND, char* path, int csidl, BOOL create) {
    M().Log("SHGetSpecialFolderPathA " + std::to_string(csidl) + " " + std::to_string(create));
    auto it = M().specialFolders.find(csidl);
    if (it == M().specialFolders.end()) return FALSE;
    std::strncpy(path, it->second.c_str(), MAX_PATH - 1);
    path[MAX_PATH - 1] = '\0';
    return TRUE;
}

}  // namespace win

namespace {

sim::File* FindFile(const std::string& path) {
    auto& fs = M().files;
    std::string full = M().LongForm(path);
    auto it = std::find_if(fs.begin(), fs.end(), [&](const sim::File& f) { return sim::SameNoCase(f.path, full); });
    return it == fs.end() ? nullptr : &*it;
}

std::string ParentOf(const std::string& path) {
    std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool Below(const std::vector<std::string>& folders, const std::string& path) {
    for (const std::string& folder : folders)
        if (path.size() > folder.size() && sim::SameNoCase(path.substr(0, folder.size()), folder) &&
            path[folder.size()] == '\\')
            return true;
    return false;
}


// SIDs: revision, count, six bytes of authority, then 32-bit sub-authorities.
std::size_t SidLength(const void* sid) { return 8 + 4 * static_cast<const unsigned char*>(sid)[1]; }

std::string SidString(const void* sid) {
    const unsigned char* bytes = static_cast<const unsigned char*>(sid);
    std::string out = "S-" + std::to_string(bytes[0]) + "-" + std::to_string(bytes[7]);
    for (int i = 0; i < bytes[1]; ++i) {
        DWORD sub = 0;
        std::memcpy(&sub, bytes + 8 + 4 * i, 4);
        out += "-" + std::to_string(sub);
    }
    return out;
}

std::vector<unsigned char> SidBytes(const std::string& text) {
    std::vector<unsigned long long> parts;
    for (std::size_t at = 2; at <= text.size();) {  // after "S-"
        std::size_t dash = text.find('-', at);
        if (dash == std::string::npos) dash = text.size();
        parts.push_back(std::stoull(text.substr(at, dash - at)));
        at = dash + 1;
    }
    std::vector<unsigned char> sid(8 + 4 * (parts.size() - 2), 0);
    sid[0] = static_cast<unsigned char>(parts[0]);
    sid[1] = static_cast<unsigned char>(parts.size() - 2);
    sid[7] = static_cast<unsigned char>(parts[1]);
    for (std::size_t i = 2; i < parts.size(); ++i) {
        DWORD sub = static_cast<DWORD>(parts[i]);
        std::memcpy(&sid[8 + 4 * (i - 2)], &sub, 4);
    }
    return sid;
}

// The entries of a list the program passes; one that Windows would refuse
// as malformed (sizes that do not add up) is misuse.
std::vector<sim::AccessEntry> EntriesOf(const ACL* list) {
    std::vector<sim::AccessEntry> out;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(list + 1);
    std::size_t used = sizeof(ACL);
    for (WORD i = 0; i < list->AceCount; ++i) {
        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(at);
        if (entry->Header.AceSize != 8 + SidLength(&entry->SidStart)) M().misuse.push_back("malformed access entry");
        out.push_back({entry->Header.AceType, entry->Header.AceFlags, entry->Mask, SidString(&entry->SidStart)});
        at += entry->Header.AceSize;
        used += entry->Header.AceSize;
    }
    if (list->AclRevision != ACL_REVISION || used != list->AclSize) M().misuse.push_back("malformed access list");
    return out;
}

bool PathExists(const std::string& path) { return M().FolderExists(path) || M().FileExists(path); }

// A junction by the name it has itself (not one on the way to it).
bool IsJunction(const std::string& path) {
    for (const auto& [junction, target] : M().junctions)
        if (sim::SameNoCase(junction, path)) return true;
    return false;
}

// A name that nothing new may take: a file, a folder, or a junction, whether
// or not what it leads to is there.
bool NameTaken(const std::string& path) { return PathExists(path) || IsJunction(path); }

// The owner that a descriptor names, or the one Windows gives otherwise.
std::string OwnerGiven(void* securityAttributes) {
    const auto* attributes = static_cast<const SECURITY_ATTRIBUTES*>(securityAttributes);
    const auto* descriptor =
        attributes ? static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor) : nullptr;
    return descriptor && descriptor->Owner ? SidString(descriptor->Owner) : M().defaultOwner;
}

HANDLE OpenedAs(const std::string& path, DWORD access, DWORD share, bool reparse) {
    void* handle = M().NewHandle(Kind::File, (M().FolderExists(path) || reparse ? "folder " : "file ") + path);
    auto* info = M().Handle(handle, Kind::File);
    info->path = path;
    info->access = access;
    info->share = share;
    info->reparse = reparse;
    return static_cast<HANDLE>(handle);
}

}  // namespace

namespace win {

BOOL DeleteFileA(const char* path) {
    M().Log("DeleteFileA " + Str(path));
    sim::File* file = FindFile(Str(path));
    if (file && M().impersonating == sim::kDesktopUser && Below(M().adminFolders, file->path))
        return Fail(ERROR_ACCESS_DENIED);
    if (!file) return Fail(M().FolderExists(ParentOf(Str(path))) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (M().HeldWithoutDeleteSharing(file->path)) return Fail(ERROR_SHARING_VIOLATION);
    // Windows refuses to delete a running program's image.
    if (file->readOnly || M().FileInUse(file->path)) return Fail(ERROR_ACCESS_DENIED);
    M().deletedFiles.push_back(file->path);
    M().files.erase(M().files.begin() + (file - M().files.data()));
    return TRUE;
}

BOOL SetFileAttributesA(const char* path, DWORD attributes) {
    M().Log("SetFileAttributesA " + Str(path) + " " + std::to_string(attributes));
    sim::File* file = FindFile(Str(path));
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    file->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return TRUE;
}

BOOL CreateDirectoryA(const char* path, void* securityAttributes) {
    M().Log("CreateDirectoryA " + Str(path) + " " + (securityAttributes ? "attrs" : "<null>"));
    std::string folder = Str(path);
    if (NameTaken(folder)) return Fail(ERROR_ALREADY_EXISTS);
    if (!M().FolderExists(ParentOf(folder))) return Fail(ERROR_PATH_NOT_FOUND);
    if (Below(M().deniedFolders, folder)) return Fail(ERROR_ACCESS_DENIED);
    M().folders.push_back(folder);
    // Without a descriptor it gets what it inherits, which the model leaves
    // at the default.
    sim::Security& made = M().SecurityOf(folder);
    made = sim::OnlyAdministrators();
    made.owner = OwnerGiven(securityAttributes);
    const auto* attributes = static_cast<const SECURITY_ATTRIBUTES*>(securityAttributes);
    const auto* descriptor =
        attributes ? static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor) : nullptr;
    if (descriptor) {
        if (descriptor->Dacl) made.entries = EntriesOf(descriptor->Dacl);
        made.protectedList = (descriptor->Control & SE_DACL_PROTECTED) != 0;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(const char* path) {
    M().Log("RemoveDirectoryA " + Str(path));
    std::string folder = Str(path);
    auto& fs = M().folders;
    auto it = std::find_if(fs.begin(), fs.end(), [&](const std::string& f) { return sim::SameNoCase(f, folder); });
    if (it == fs.end()) return Fail(ERROR_FILE_NOT_FOUND);
    if (M().HeldWithoutDeleteSharing(*it)) return Fail(ERROR_SHARING_VIOLATION);
    auto below = [&](const std::string& p) { return sim::SameNoCase(ParentOf(p), folder); };
    if (std::any_of(M().files.begin(), M().files.end(), [&](const sim::File& f) { return below(f.path); }) ||
        std::any_of(fs.begin(), fs.end(), below))
        return Fail(ERROR_DIR_NOT_EMPTY);
    fs.erase(it);
    M().SecurityOf(folder) = sim::OnlyAdministrators();
    return TRUE;
}

DWORD GetFileAttributesA(const char* path) {
    M().Log("GetFileAttributesA " + Str(path));
    if (M().FolderExists(Str(path))) return FILE_ATTRIBUTE_DIRECTORY;
    const sim::File* file = FindFile(Str(path));
    if (!file) {
        M().lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    return file->readOnly ? 0x21 : 0x20;
}

// Real semantics: the length without the terminator when it fits, else the
// size needed including it.
BOOL SetCurrentDirectoryA(const char* path) {
    M().Log("SetCurrentDirectoryA " + Str(path));
    M().currentDirectory = Str(path);
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer) {
    M().Log("GetCurrentDirectoryA " + std::to_string(bufferLength));
    const std::string& dir = M().currentDirectory;
    if (dir.size() + 1 > bufferLength) return static_cast<DWORD>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

// Real semantics: a name that does not fit is cut to size - 1 bytes and the
// result is size.
DWORD GetModuleFileNameA(HINSTANCE, char* buffer, DWORD size) {
    M().Log("GetModuleFileNameA " + std::to_string(size));
    const std::string& path = M().modulePath;
    if (size == 0) return 0;
    if (path.size() + 1 > size) {
        std::memcpy(buffer, path.c_str(), size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

UINT GetSystemDirectoryA(char* buffer, UINT size) {
    M().Log("GetSystemDirectoryA " + std::to_string(size));
    return CopyFolderOut(M().systemDirectory, buffer, size);
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
    M().Log("GetWindowsDirectoryA " + std::to_string(size));
    return CopyFolderOut(M().windowsDirectory, buffer, size);
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* securityAttributes, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    M().Log("CreateFileA " + Str(path) + " " + std::to_string(access) + " " + std::to_string(shareMode) + " " +
            std::to_string(disposition));
    // Only what the programs do: read an existing file or folder, or its
    // owner and list; write a new file.
    const DWORD reading = GENERIC_READ | READ_CONTROL | FILE_READ_ATTRIBUTES;
    bool reads = disposition == OPEN_EXISTING && (access & ~reading) == 0 && !securityAttributes;
    bool creates = disposition == CREATE_NEW && access == GENERIC_WRITE;
    if ((!reads && !creates) || templateFile) {
        M().misuse.push_back("CreateFileA other than to read an existing file or to write a new one");
        M().lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    const std::string named = Str(path);
    if (creates) {
        M().lastError = NameTaken(named)                    ? ERROR_FILE_EXISTS
                        : !M().FolderExists(ParentOf(named)) ? ERROR_PATH_NOT_FOUND
                        : Below(M().deniedFolders, named)    ? ERROR_ACCESS_DENIED
                                                             : ERROR_SUCCESS;
        if (M().lastError != ERROR_SUCCESS) return INVALID_HANDLE_VALUE;
        // Where a junction on the way leads; its list is what it inherits.
        const std::string made = M().LongForm(named);
        M().files.push_back({made, false, false, ""});
        M().SecurityOf(made) = sim::OnlyAdministrators();
        M().SecurityOf(made).owner = OwnerGiven(securityAttributes);
        return OpenedAs(made, access, shareMode, false);
    }
    if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) && IsJunction(named)) return OpenedAs(named, access, shareMode, true);
    if (M().FolderExists(named)) {
        if (!(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
            M().lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        return OpenedAs(M().LongForm(named), access, shareMode, false);
    }
    const sim::File* file = FindFile(named);
    if (!file) {
        M().lastError = M().FolderExists(ParentOf(named)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    // A running program's image may be read by anyone who shares reading.
    if (M().FileInUse(file->path) && !(shareMode & FILE_SHARE_READ)) {
        M().lastError = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    return OpenedAs(file->path, access, shareMode, false);
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped) {
    auto* info = M().Handle(handle, Kind::File);
    if (!info || overlapped || !bytesRead) return Fail(ERROR_INVALID_HANDLE);
    const sim::File* file = FindFile(info->path);
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    std::size_t from = std::min(info->cursor, file->content.size());
    std::size_t count = std::min<std::size_t>(bytesToRead, file->content.size() - from);
    std::memcpy(buffer, file->content.data() + from, count);
    info->cursor = from + count;
    *bytesRead = static_cast<DWORD>(count);
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh) {
    auto* info = M().Handle(handle, Kind::File);
    const sim::File* file = info ? FindFile(info->path) : nullptr;
    if (!file) {
        M().lastError = ERROR_INVALID_HANDLE;
        return INVALID_FILE_SIZE;
    }
    if (sizeHigh) *sizeHigh = 0;
    return static_cast<DWORD>(file->content.size());
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void* overlapped) {
    auto* info = M().Handle(handle, Kind::File);
    M().Log("WriteFile " + (info ? info->path : std::string("<bad handle>")) + " " + std::to_string(bytesToWrite));
    sim::File* file = info && (info->access & GENERIC_WRITE) ? FindFile(info->path) : nullptr;
    if (!file || overlapped || !bytesWritten) return Fail(ERROR_ACCESS_DENIED);
    file->content.replace(info->cursor, bytesToWrite, static_cast<const char*>(buffer), bytesToWrite);
    info->cursor += bytesToWrite;
    *bytesWritten = bytesToWrite;
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
    auto* info = M().Handle(handle, Kind::File);
    if (!info) return Fail(ERROR_INVALID_HANDLE);
    const sim::File* file = info->reparse ? nullptr : FindFile(info->path);
    *information = {};
    information->dwFileAttributes = !file ? FILE_ATTRIBUTE_DIRECTORY | (info->reparse ? FILE_ATTRIBUTE_REPARSE_POINT : 0)
                                          : FILE_ATTRIBUTE_ARCHIVE | (file->readOnly ? FILE_ATTRIBUTE_READONLY : 0) |
                                                (file->encrypted ? FILE_ATTRIBUTE_ENCRYPTED : 0);
    information->nNumberOfLinks = file ? file->links : 1;
    return TRUE;
}

// "folder\*": ".", "..", then what the folder holds, a junction as itself.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* found) {
    std::string folder = Str(pattern);
    M().Log("FindFirstFileA " + folder);
    if (folder.size() < 2 || folder.compare(folder.size() - 2, 2, "\\*") != 0)
        M().misuse.push_back("FindFirstFileA other than of a whole folder");
    folder = M().LongForm(folder.substr(0, folder.size() - 2));
    if (!M().FolderExists(folder)) {
        M().lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names = {".", ".."};
    auto add = [&](const std::string& path) {
        if (sim::SameNoCase(ParentOf(path), folder)) names.push_back(path.substr(folder.size() + 1));
    };
    for (const std::string& f : M().folders) add(f);
    for (const sim::File& f : M().files) add(f.path);
    for (const auto& [junction, target] : M().junctions) add(junction);
    void* handle = M().NewHandle(Kind::Find, "find " + folder);
    M().Handle(handle, Kind::Find)->entries = names;
    FindNextFileA(static_cast<HANDLE>(handle), found);
    return static_cast<HANDLE>(handle);
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* found) {
    auto* info = M().Handle(find, Kind::Find);
    if (!info) return Fail(ERROR_INVALID_HANDLE);
    if (info->cursor >= info->entries.size()) return Fail(18);  // ERROR_NO_MORE_FILES
    *found = {};
    std::strncpy(found->cFileName, info->entries[info->cursor++].c_str(), sizeof(found->cFileName) - 1);
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    M().Log("FindClose");
    return M().CloseHandleOf(find, Kind::Find);
}

// A rename within one drive: a junction itself, or a file or folder with all
// it holds.
BOOL MoveFileExA(const char* existingPath, const char* newPath, DWORD flags) {
    const std::string from = Str(existingPath), to = Str(newPath);
    M().Log("MoveFileExA " + from + " " + to + " " + std::to_string(flags));
    if (NameTaken(to)) return Fail(ERROR_ALREADY_EXISTS);
    if (!M().FolderExists(ParentOf(to))) return Fail(ERROR_PATH_NOT_FOUND);
    auto& junctions = M().junctions;
    auto junction = std::find_if(junctions.begin(), junctions.end(),
                                 [&](const auto& j) { return sim::SameNoCase(j.first, from); });
    if (junction != junctions.end()) {
        junctions[to] = junction->second;
        junctions.erase(junction);
        return TRUE;
    }
    const std::string full = M().LongForm(from);
    bool folder = M().FolderExists(full);
    if (!folder && !FindFile(full)) return Fail(ERROR_FILE_NOT_FOUND);
    if (M().HeldWithoutDeleteSharing(full)) return Fail(ERROR_SHARING_VIOLATION);
    auto moves = [&](const std::string& path) { return sim::SameNoCase(path, full) || Below({full}, path); };
    // Windows renames no folder while a file below it is open.
    for (const sim::File& f : M().files)
        if (folder && moves(f.path) && M().FileInUse(f.path)) return Fail(ERROR_ACCESS_DENIED);
    auto moved = [&](const std::string& path) { return moves(path) ? to + path.substr(full.size()) : path; };
    for (std::string& f : M().folders) f = moved(f);
    for (sim::File& f : M().files) f.path = moved(f.path);
    std::map<std::string, sim::Security> security;
    for (auto& [path, found] : M().security) security[moved(path)] = found;
    M().security = security;
    return TRUE;
}

// Resources need no closing: they live as long as the module.
HRSRC FindResourceA(HINSTANCE, const char* name, const char* type) {
    auto id = reinterpret_cast<std::uintptr_t>(name);
    M().Log("FindResourceA " + std::to_string(id));
    auto it = M().resources.find(static_cast<int>(id));
    if (type != RT_RCDATA || id > 0xFFFF || it == M().resources.end()) {
        M().lastError = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(&it->second);
}

HGLOBAL LoadResource(HINSTANCE, HRSRC resource) { return reinterpret_cast<HGLOBAL>(resource); }

const void* LockResource(HGLOBAL data) {
    return data ? reinterpret_cast<const std::string*>(data)->data() : nullptr;
}

DWORD SizeofResource(HINSTANCE, HRSRC resource) {
    return resource ? static_cast<DWORD>(reinterpret_cast<const std::string*>(resource)->size()) : 0;
}

BOOL EqualSid(PSID a, PSID b) { return SidLength(a) == SidLength(b) && std::memcmp(a, b, SidLength(a)) == 0; }

// One block, as Windows returns it: the descriptor, then the owner's SID,
// then the list.
DWORD GetSecurityInfo(HANDLE handle, int objectType, DWORD information, PSID* owner, PSID* group, ACL** dacl,
                      ACL** sacl, void** descriptor) {
    auto* held = M().Handle(handle, Kind::File);
    M().Log("GetSecurityInfo " + (held ? held->path : std::string("<bad handle>")) + " " + std::to_string(information));
    if (objectType != SE_FILE_OBJECT || group || sacl) M().misuse.push_back("GetSecurityInfo beyond owner and list");
    if (!held) return ERROR_INVALID_HANDLE;
    if (!(held->access & READ_CONTROL)) return ERROR_ACCESS_DENIED;
    // A junction's own descriptor, which tests leave at the default.
    const sim::Security found = held->reparse ? sim::OnlyAdministrators() : M().SecurityOf(held->path);
    const std::string path = held->path;
    std::vector<unsigned char> ownerSid = SidBytes(found.owner);
    std::size_t listBytes = sizeof(ACL);
    for (const sim::AccessEntry& entry : found.entries) listBytes += 8 + SidBytes(entry.sid).size();
    std::size_t listAt = sizeof(SECURITY_DESCRIPTOR) + ownerSid.size();
    listAt = (listAt + 3) & ~std::size_t{3};
    auto* block = static_cast<unsigned char*>(M().NewMemory(listAt + listBytes, "security descriptor " + path));
    auto* made = reinterpret_cast<SECURITY_DESCRIPTOR*>(block);
    made->Revision = 1;
    made->Owner = block + sizeof(SECURITY_DESCRIPTOR);
    std::memcpy(made->Owner, ownerSid.data(), ownerSid.size());
    ACL* list = reinterpret_cast<ACL*>(block + listAt);
    *list = {ACL_REVISION, 0, static_cast<WORD>(listBytes), static_cast<WORD>(found.entries.size()), 0};
    unsigned char* at = block + listAt + sizeof(ACL);
    for (const sim::AccessEntry& entry : found.entries) {
        std::vector<unsigned char> sid = SidBytes(entry.sid);
        auto* written = reinterpret_cast<ACCESS_ALLOWED_ACE*>(at);
        written->Header = {entry.type, entry.flags, static_cast<WORD>(8 + sid.size())};
        written->Mask = entry.mask;
        std::memcpy(&written->SidStart, sid.data(), sid.size());
        at += 8 + sid.size();
    }
    made->Dacl = found.noList ? nullptr : list;
    if (owner) *owner = (information & OWNER_SECURITY_INFORMATION) ? made->Owner : nullptr;
    if (dacl) *dacl = (information & DACL_SECURITY_INFORMATION) ? made->Dacl : nullptr;
    *descriptor = block;
    return ERROR_SUCCESS;
}

void* LocalFree(void* memory) {
    if (!memory) return nullptr;
    return M().CloseHandleOf(memory, Kind::Memory) ? nullptr : memory;
}

}  // namespace win

namespace {

const char* CharacterSet(UINT codePage) {
    if (codePage == CP_ACP) codePage = M().ansiCodePage;
    return codePage == 949 ? "CP949" : codePage == CP_UTF8 ? "UTF-8" : codePage == 1252 ? "CP1252" : nullptr;
}

// As Windows fills a caller's buffer: the size needed when size is 0.
template <typename Unit>
int CopyConverted(const std::basic_string<Unit>& converted, Unit* out, int size) {
    if (size != 0 && size < static_cast<int>(converted.size())) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (size != 0) std::copy(converted.begin(), converted.end(), out);
    return static_cast<int>(converted.size());
}

}  // namespace

std::string sim::FromCp949(const std::string& cp949) {
    std::string out;
    return M().ansiCodePage != 949 && Recode(CharacterSet(M().ansiCodePage), "CP949", cp949, out) ? out : cp949;
}

// Pure conversions, not traced. Invalid input is always refused here.
namespace win {

UINT GetACP() { return M().ansiCodePage; }

int MultiByteToWideChar(UINT codePage, DWORD, const char* text, int length, WCHAR* wide, int wideLength) {
    std::string bytes(text, length < 0 ? std::strlen(text) + 1 : static_cast<std::size_t>(length)), utf16;
    if (!CharacterSet(codePage) || !sim::Recode("UTF-16LE", CharacterSet(codePage), bytes, utf16))
        return Fail(1113);  // ERROR_NO_UNICODE_TRANSLATION
    std::u16string units(utf16.size() / 2, u'\0');
    std::memcpy(&units[0], utf16.data(), utf16.size());
    return CopyConverted(units, wide, wideLength);
}

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* wide, int wideLength, char* text, int length,
                        const char*, BOOL* usedDefaultChar) {
    // UTF-8 has a form for everything and refuses to report a default character.
    const char* set = CharacterSet(codePage);
    if (!set || (codePage == CP_UTF8 && usedDefaultChar)) return Fail(87);  // ERROR_INVALID_PARAMETER
    std::size_t count = wideLength >= 0 ? wideLength : std::char_traits<WCHAR>::length(wide) + 1;
    std::string units(reinterpret_cast<const char*>(wide), count * 2), converted;
    if (!sim::Recode(set, "UTF-16LE", units, converted)) {
        // What the code page lacks becomes "?".
        sim::Recode((std::string(set) + "//TRANSLIT").c_str(), "UTF-16LE", units, converted);
        if (usedDefaultChar) *usedDefaultChar = TRUE;
    }
    return CopyConverted(converted, text, length);
}

UINT GetConsoleOutputCP() { return M().consoleOutputCodePage; }

BOOL SetConsoleOutputCP(UINT codePage) {
    M().Log("SetConsoleOutputCP " + std::to_string(codePage));
    if (M().consoleOutputCodePage == 0) return Fail(ERROR_INVALID_HANDLE);
    M().consoleOutputCodePage = codePage;
    return TRUE;
}

}  // namespace win
