// kernel32 process starts and advapi32 tokens behind the process, shell and
// file seam. Forwards only. Apart from the other kernel32 forwards because
// only Kestane starts programs and acts for the desktop user.
#include <windows.h>

#include <cstddef>

#include "../process_shell.h"

namespace {
::HANDLE H(win::HANDLE h) { return reinterpret_cast<::HANDLE>(h); }
::PHANDLE P(win::HANDLE* h) { return reinterpret_cast<::PHANDLE>(h); }
static_assert(sizeof(win::STARTUPINFOA) == sizeof(::STARTUPINFOA), "STARTUPINFOA layout");
static_assert(offsetof(win::STARTUPINFOA, wShowWindow) == offsetof(::STARTUPINFOA, wShowWindow), "show");
static_assert(sizeof(win::STARTUPINFOW) == sizeof(::STARTUPINFOW), "STARTUPINFOW layout");
static_assert(sizeof(win::PROCESS_INFORMATION) == sizeof(::PROCESS_INFORMATION), "PROCESS_INFORMATION layout");
static_assert(sizeof(win::TOKEN_PRIVILEGES) == sizeof(::TOKEN_PRIVILEGES), "TOKEN_PRIVILEGES layout");
static_assert(sizeof(win::SID_AND_ATTRIBUTES) == sizeof(::SID_AND_ATTRIBUTES), "SID_AND_ATTRIBUTES layout");
}  // namespace

namespace win {

BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes, void* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, void* environment, const char* currentDirectory,
                    STARTUPINFOA* startupInfo, PROCESS_INFORMATION* processInformation) {
    return ::CreateProcessA(applicationName, commandLine, static_cast<LPSECURITY_ATTRIBUTES>(processAttributes),
                            static_cast<LPSECURITY_ATTRIBUTES>(threadAttributes), inheritHandles, creationFlags,
                            environment, currentDirectory, reinterpret_cast<::LPSTARTUPINFOA>(startupInfo),
                            reinterpret_cast<::LPPROCESS_INFORMATION>(processInformation));
}

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    return ::OpenProcessToken(H(process), access, P(token));
}
BOOL DuplicateTokenEx(HANDLE token, DWORD access, void* attributes, int impersonationLevel, int tokenType,
                      HANDLE* newToken) {
    return ::DuplicateTokenEx(H(token), access, static_cast<LPSECURITY_ATTRIBUTES>(attributes),
                              static_cast<::SECURITY_IMPERSONATION_LEVEL>(impersonationLevel),
                              static_cast<::TOKEN_TYPE>(tokenType), P(newToken));
}
BOOL GetTokenInformation(HANDLE token, int informationClass, void* information, DWORD length, DWORD* returnLength) {
    return ::GetTokenInformation(H(token), static_cast<::TOKEN_INFORMATION_CLASS>(informationClass), information,
                                 length, reinterpret_cast<::PDWORD>(returnLength));
}
BOOL IsTokenRestricted(HANDLE token) { return ::IsTokenRestricted(H(token)); }
BOOL ImpersonateLoggedOnUser(HANDLE token) { return ::ImpersonateLoggedOnUser(H(token)); }
BOOL RevertToSelf() { return ::RevertToSelf(); }
BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
    return ::LookupPrivilegeValueA(systemName, name, reinterpret_cast<::PLUID>(luid));
}
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD length,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
    return ::AdjustTokenPrivileges(H(token), disableAll, reinterpret_cast<::PTOKEN_PRIVILEGES>(newState), length,
                                   reinterpret_cast<::PTOKEN_PRIVILEGES>(previousState),
                                   reinterpret_cast<::PDWORD>(returnLength));
}
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    return ::WaitForMultipleObjects(count, reinterpret_cast<const ::HANDLE*>(handles), waitAll, milliseconds);
}

}  // namespace win
