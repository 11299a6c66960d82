// The simulated processes: the snapshot and its walk, opening and ending a
// process, handles, and every start (CreateProcessA, CreateProcessWithTokenW)
// with installer detection, cmd's AutoRun and the task-kill program.
#include <algorithm>
#include <cstring>

#include "sim/sim_kernel.h"

using namespace sim::kernel;

namespace {

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
    for (const sim::File& f : M().files)
        if (f.notAProgram && sim::SameNoCase(f.path, M().LongForm(program))) return Fail(193);  // ERROR_BAD_EXE_FORMAT
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

}  // namespace

namespace sim {

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

// kernel32's since Vista: the full path of what the process runs.
BOOL WIN_CALLBACK QueryFullProcessImageNameA(HANDLE process, DWORD, char* path, DWORD* size) {
    auto* info = M().Handle(process, Kind::Process);
    auto& ps = M().processes;
    auto it = std::find_if(ps.begin(), ps.end(), [&](const sim::Process& p) { return info && p.pid == info->pid; });
    if (it == ps.end() || !(info->access & PROCESS_QUERY_LIMITED_INFORMATION)) return Fail(ERROR_ACCESS_DENIED);
    std::string image = it->path.empty() ? "C:\\Programs\\" + it->image : it->path;
    if (image.size() >= *size) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(path, image.c_str(), image.size() + 1);
    *size = static_cast<DWORD>(image.size());
    return TRUE;
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
    auto& ps = M().processes;  // what ends now leaves its ID to the next process
    ps.erase(std::remove_if(ps.begin(), ps.end(), [](const sim::Process& p) { return p.endsAfterSnapshot; }), ps.end());
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
    bool unknownRight = !M().tokenClassesKnown && (access & PROCESS_QUERY_LIMITED_INFORMATION);  // XP
    if (it->refuseOpen || otherAccount || unknownRight || (it->refuseFullAccessOpen && access == PROCESS_ALL_ACCESS)) {
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

}  // namespace win
