// The simulated tokens: opening, duplicating and asking a process's token,
// impersonation, the debug privilege, and the environment built for a token.
#include <cstring>

#include "sim/sim_kernel.h"

using namespace sim::kernel;

namespace {

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

// advapi32's RtlGenRandom (SystemFunction036), found at run time.
BYTE WIN_CALLBACK RtlGenRandom(void* buffer, DWORD length) {
    static unsigned drawn = 0;
    while (length-- > 0) static_cast<BYTE*>(buffer)[length] = static_cast<BYTE>(++drawn * 151);
    return 1;
}

}  // namespace sim

namespace win {

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
    if (shell && M().shellWindowMoves) M().shellPid = M().AddProcess("explorer.exe").pid;
    return TRUE;
}

BOOL DuplicateTokenEx(HANDLE token, DWORD access, void*, int, int tokenType, HANDLE* newToken) {
    auto* info = Token(token, TOKEN_DUPLICATE);
    if (!info) return FALSE;
    M().Log("DuplicateTokenEx " + info->account);
    *newToken = NewToken(info->account, access, tokenType == TokenPrimary, "token " + info->account + " copy");
    return TRUE;
}

// XP knows neither elevation class nor integrity levels. A token is elevated
// unless it is the filtered half (3) of a split one; the shell's is that half
// unless elevated. Its user is the desktop user's account (RID 1000), and
// Kestane's too unless the shell runs as another.
BOOL GetTokenInformation(HANDLE token, int c, void* information, DWORD length, DWORD* returnLength) {
    auto* info = Token(token, TOKEN_QUERY);
    if (!info) return FALSE;
    bool own = info->account == sim::kAdministrator;
    bool vista = c == TokenElevationType || c == TokenElevation || c == TokenIntegrityLevel;
    DWORD type = own ? M().elevationType : M().shellElevated ? 2 : 3;
    DWORD value = c == TokenElevationType ? type : c == TokenSessionId ? (own ? 1 : M().shellSession) : type != 3;
    // S-1-5-21-0-0-0-<RID> or S-1-16-<level>, behind its head.
    struct { SID_AND_ATTRIBUTES head; BYTE sid[28]; } sid = {{nullptr, 0}, {1, 5, 0, 0, 0, 0, 0, 5, 21}};
    if (c == TokenIntegrityLevel) sid = {{nullptr, 0x20}, {1, 1, 0, 0, 0, 0, 0, 16}};
    DWORD sub = c == TokenUser ? (own && M().shellOtherAccount ? 500 : 1000) : type != 3 ? 0x3000 : M().shellIntegrity;
    std::memcpy(sid.sid + 4 + 4 * sid.sid[1], &sub, sizeof(sub));
    bool ofSid = c == TokenUser || c == TokenIntegrityLevel, known = !vista || M().tokenClassesKnown;
    if (own && vista && M().elevationQueryFails) return Fail(ERROR_ACCESS_DENIED);
    DWORD size = ofSid ? sizeof(sid) : sizeof(value);
    if (!known || length < size) return Fail(known ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
    std::memcpy(information, ofSid ? static_cast<void*>(&sid) : &value, size);
    if (ofSid) static_cast<SID_AND_ATTRIBUTES*>(information)->Sid = static_cast<BYTE*>(information) + sizeof(sid.head);
    *returnLength = size;
    return TRUE;
}

BOOL IsTokenRestricted(HANDLE token) {
    auto* info = Token(token, TOKEN_QUERY);
    return info && info->account == sim::kDesktopUser && M().shellRestricted;
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

}  // namespace win
