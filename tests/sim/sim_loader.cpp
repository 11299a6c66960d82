// The simulated loader, kernel32 exports found at run time and the
// registry's read side.
#include <algorithm>
#include <cstring>

#include "shared/process_shell.h"
#include "sim/sim.h"

using namespace win;

namespace sim {
// advapi32's, in sim_processes.cpp with the other process starts.
BOOL WIN_CALLBACK CreateProcessWithTokenW(HANDLE token, DWORD logonFlags, const WCHAR* applicationName,
                                          WCHAR* commandLine, DWORD creationFlags, void* environment,
                                          const WCHAR* currentDirectory, STARTUPINFOW* startupInfo,
                                          PROCESS_INFORMATION* started);
BOOL WIN_CALLBACK CreateEnvironmentBlock(void** environment, HANDLE token, BOOL inherit);
BOOL WIN_CALLBACK DestroyEnvironmentBlock(void* environment);
BOOL WIN_CALLBACK QueryFullProcessImageNameA(HANDLE process, DWORD flags, char* path, DWORD* size);
BYTE WIN_CALLBACK RtlGenRandom(void* buffer, DWORD length);
}  // namespace sim

namespace {

sim::Machine& M() { return sim::machine(); }
using Kind = sim::Machine::HandleKind;

std::string Str(const char* s) { return s ? s : "<null>"; }

bool Has(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return sim::SameNoCase(n, name); });
}

HINSTANCE const kKernel32 = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x7C800000});
HINSTANCE const kAdvapi32 = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x77DD0000});
HINSTANCE const kLoadedDll = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x10000000});
HINSTANCE const kUserenv = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x76C30000});
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

BOOL WIN_CALLBACK SetDefaultDllDirectories(DWORD flags) {
    M().Log("SetDefaultDllDirectories " + std::to_string(flags));
    return TRUE;
}

BOOL WIN_CALLBACK SetDllDirectoryA(const char* path) {
    M().Log("SetDllDirectoryA \"" + Str(path) + "\"");
    return TRUE;
}

BOOL WIN_CALLBACK IsWow64Process(HANDLE process, BOOL* wow64) {
    M().Log("IsWow64Process");
    if (process != kCurrentProcess) M().misuse.push_back("IsWow64Process of another process");
    *wow64 = M().windows64 && !M().program64;
    return TRUE;
}

// A 32-bit program on 64-bit Windows reads HKLM\SOFTWARE through WOW6432Node
// unless it asks for the 64-bit view.
std::string RegistryView(const std::string& path, DWORD access) {
    const std::string software = "SOFTWARE\\";
    bool redirected = M().windows64 && !M().program64 && !(access & KEY_WOW64_64KEY);
    if (!redirected || !sim::SameNoCase(path.substr(0, software.size()), software)) return path;
    return software + "WOW6432Node\\" + path.substr(software.size());
}

}  // namespace

namespace win {

HINSTANCE GetModuleHandleA(const char* moduleName) {
    M().Log("GetModuleHandleA " + Str(moduleName));
    if (sim::SameNoCase(Str(moduleName), "advapi32.dll")) return kAdvapi32;
    return sim::SameNoCase(Str(moduleName), "kernel32.dll") ? kKernel32 : nullptr;
}

FARPROC GetProcAddress(HINSTANCE module, const char* procName) {
    std::string name = Str(procName);
    M().Log("GetProcAddress " + name);
    if ((module != kKernel32 && module != kAdvapi32 && module != kUserenv) || Has(M().missingExports, name)) {
        M().lastError = 127;  // ERROR_PROC_NOT_FOUND
        return nullptr;
    }
    if (module == kUserenv) {
        if (name == "CreateEnvironmentBlock") return reinterpret_cast<FARPROC>(&sim::CreateEnvironmentBlock);
        if (name == "DestroyEnvironmentBlock") return reinterpret_cast<FARPROC>(&sim::DestroyEnvironmentBlock);
        M().lastError = 127;
        return nullptr;
    }
    if (module == kAdvapi32) {
        if (name == "CreateProcessWithTokenW") return reinterpret_cast<FARPROC>(&sim::CreateProcessWithTokenW);
        if (name == "SystemFunction036") return reinterpret_cast<FARPROC>(&sim::RtlGenRandom);
        M().lastError = 127;
        return nullptr;
    }
    if (name == "SetDefaultDllDirectories") return reinterpret_cast<FARPROC>(&SetDefaultDllDirectories);
    if (name == "SetDllDirectoryA") return reinterpret_cast<FARPROC>(&SetDllDirectoryA);
    if (name == "IsWow64Process") return reinterpret_cast<FARPROC>(&IsWow64Process);
    if (name == "QueryFullProcessImageNameA") return reinterpret_cast<FARPROC>(&sim::QueryFullProcessImageNameA);
    M().lastError = 127;
    return nullptr;
}

// Modules stay loaded for the life of the process: no handle to close.
HINSTANCE LoadLibraryExA(const char* path, HANDLE file, DWORD flags) {
    std::string full = Str(path);
    M().Log("LoadLibraryExA " + full + " " + std::to_string(flags));
    if (file) M().misuse.push_back("LoadLibraryExA with a file handle");
    std::size_t slash = full.find_last_of('\\');
    if (Has(M().missingDlls, full.substr(slash == std::string::npos ? 0 : slash + 1))) {
        M().lastError = 126;  // ERROR_MOD_NOT_FOUND
        return nullptr;
    }
    // Not a KnownDLL: by a bare name the loader would look in Kestane's
    // folder first.
    std::string name = full.substr(slash == std::string::npos ? 0 : slash + 1);
    if (sim::SameNoCase(name, "userenv.dll") && slash == std::string::npos)
        M().misuse.push_back("LoadLibraryExA of userenv.dll by its bare name");
    return sim::SameNoCase(name, "userenv.dll") ? kUserenv : kLoadedDll;
}

HANDLE GetCurrentProcess() { return kCurrentProcess; }

bool ProgramIs64Bit() { return M().program64; }

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, DWORD access, HKEY* result) {
    M().Log("RegOpenKeyExA " + Str(subKey) + " " + std::to_string(access));
    *result = nullptr;
    if (key != HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
    std::string path = RegistryView(Str(subKey), access);
    bool exists = std::any_of(M().registry.begin(), M().registry.end(), [&](const auto& value) {
        return value.first.size() > path.size() && sim::SameNoCase(value.first.substr(0, path.size()), path) &&
               value.first[path.size()] == '\\';
    });
    if (!exists) return ERROR_FILE_NOT_FOUND;
    void* handle = M().NewHandle(Kind::Key, "key " + path);
    M().Handle(handle, Kind::Key)->keyPath = path;
    *result = static_cast<HKEY>(handle);
    return ERROR_SUCCESS;
}

// Real semantics: the size with the terminating zero; ERROR_MORE_DATA and
// the size needed when the buffer is too small.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, unsigned char* data,
                      DWORD* size) {
    M().Log("RegQueryValueExA " + Str(valueName));
    auto* info = M().Handle(key, Kind::Key);
    if (!info || reserved) return ERROR_INVALID_HANDLE;
    auto it = std::find_if(M().registry.begin(), M().registry.end(), [&](const auto& value) {
        return sim::SameNoCase(value.first, info->keyPath + "\\" + Str(valueName));
    });
    if (it == M().registry.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = REG_SZ;
    DWORD needed = static_cast<DWORD>(it->second.size() + 1);
    if (!data || *size < needed) {
        *size = needed;
        return data ? 234 : ERROR_SUCCESS;  // ERROR_MORE_DATA
    }
    std::memcpy(data, it->second.c_str(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    M().Log("RegCloseKey");
    return M().CloseHandleOf(key, Kind::Key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace win
