#include "desktop_user.h"

#include <cstring>

#include "shared/process_shell.h"
#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "main/main_state.h"
#include "main/texts.h"

using namespace win;

namespace {

// What the shell's token is used for: asking for folders and impersonating
// (query, impersonate), and starting programs with it (duplicate, assign as
// primary, and the default and session changes of the secondary logon).
constexpr DWORD kUserTokenAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_ASSIGN_PRIMARY |
                                   TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;

// A DWORD-sized class of GetTokenInformation; false where Windows does not
// know it (XP knows neither elevation class).
bool TokenValue(HANDLE token, int informationClass, DWORD& value) {
    DWORD returned = 0;
    return GetTokenInformation(token, informationClass, &value, sizeof(value), &returned) != FALSE;
}

// A token's user or integrity label, with room for the largest SID (15
// sub-authorities) behind it.
struct TokenSid {
    SID_AND_ATTRIBUTES head;
    BYTE sid[8 + 15 * 4];
};
PSID ReadTokenSid(HANDLE token, int informationClass, TokenSid& buffer) {
    DWORD returned = 0;
    return GetTokenInformation(token, informationClass, &buffer, sizeof(buffer), &returned) ? buffer.head.Sid
                                                                                             : nullptr;
}

// The level of an integrity label: its last sub-authority.
DWORD IntegrityLevel(PSID label) {
    const BYTE* sid = static_cast<const BYTE*>(label);
    DWORD level = 0;
    if (sid[1] > 0) std::memcpy(&level, sid + 8 + 4 * (sid[1] - 1), sizeof(level));
    return level;
}

// Over the shoulder the shell belongs to another account, whose process and
// token only a holder of the debug privilege may open. Administrators hold
// it, disabled; it is enabled only while the shell is opened. Null when it
// cannot be enabled; the shell is then opened without it.
HANDLE EnableDebugPrivilege(TOKEN_PRIVILEGES& previous) {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &own)) return nullptr;
    TOKEN_PRIVILEGES enabled = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    DWORD length = 0;
    previous = {};
    if (!LookupPrivilegeValueA(nullptr, SE_DEBUG_NAME, &enabled.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(own, FALSE, &enabled, sizeof(previous), &previous, &length)) {
        CloseHandle(own);
        return nullptr;
    }
    return own;
}

// Back as it was: the previous state holds only what was changed.
void RestorePrivileges(HANDLE own, TOKEN_PRIVILEGES& previous) {
    if (!own) return;
    AdjustTokenPrivileges(own, FALSE, &previous, 0, nullptr, nullptr);
    CloseHandle(own);
}

// When no shell runs, any program of the user's may make its window the
// shell window. Its token stands for the user only in Kestane's own session,
// at medium integrity or above (where Windows has integrity levels) and
// unrestricted: a lesser token's deletions would fail unseen. Where UAC
// splits Kestane's token, the shell's elevated half is the administrator's.
bool MayStandForUser(HANDLE own, HANDLE shell, bool split) {
    DWORD ownSession = 0, shellSession = 0, elevated = 1;
    TokenSid label;
    PSID integrity = ReadTokenSid(shell, TokenIntegrityLevel, label);
    bool levelSound = integrity ? IntegrityLevel(integrity) >= SECURITY_MANDATORY_MEDIUM_RID
                                : GetLastError() == ERROR_INVALID_PARAMETER;
    return TokenValue(own, TokenSessionId, ownSession) && TokenValue(shell, TokenSessionId, shellSession) &&
           ownSession == shellSession && levelSound && !IsTokenRestricted(shell) &&
           (!split || (TokenValue(shell, TokenElevation, elevated) && !elevated));
}

// The token of the shell window's process, when it may stand for the user;
// null otherwise. XP knows no limited query right.
HANDLE CheckedShellToken(HANDLE own, HWND window, bool split) {
    DWORD pid = 0, owner = 0;
    if (!GetWindowThreadProcessId(window, &pid) || pid == 0) return nullptr;
    TOKEN_PRIVILEGES previous = {};
    HANDLE privileged = EnableDebugPrivilege(previous);
    HANDLE token = nullptr;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (process && !OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token)) token = nullptr;
    RestorePrivileges(privileged, previous);
    // Windows reuses process IDs: only while the handle is open is the ID
    // still the process that was opened, and the window must still be its.
    bool stillItsWindow = process && GetShellWindow() == window && GetWindowThreadProcessId(window, &owner) &&
                          owner == pid;
    if (process) CloseHandle(process);
    if (token && !(stillItsWindow && MayStandForUser(own, token, split))) {
        CloseHandle(token);
        token = nullptr;
    }
    return token;
}

// Whether both tokens are of the same account. False when a user cannot be
// read.
bool SameAccount(HANDLE own, HANDLE shell) {
    TokenSid ownUser, shellUser;
    PSID ownSid = ReadTokenSid(own, TokenUser, ownUser), shellSid = ReadTokenSid(shell, TokenUser, shellUser);
    return ownSid && shellSid && EqualSid(ownSid, shellSid);
}

// The user is whoever the shell runs as. UAC splitting Kestane's token is
// one way to another account than the shell's; "run as" and the built-in
// Administrator's password over the shoulder need no split.
DesktopUser UserOfShell(HANDLE own, bool split) {
    DesktopUser user;
    HWND window = GetShellWindow();
    // Nothing split and no shell: Kestane's own token, as it always was.
    if (!window && !split) return user;
    user.answer = DesktopUser::kNoUser;
    HANDLE shell = window ? CheckedShellToken(own, window, split) : nullptr;
    if (!shell) return user;
    if (!split && SameAccount(own, shell))
        user.answer = DesktopUser::kNoSplit;
    else if (DuplicateTokenEx(shell, kUserTokenAccess, nullptr, SecurityImpersonation, TokenPrimary, &user.token))
        user.answer = DesktopUser::kUser;
    else
        user.token = nullptr;
    CloseHandle(shell);
    return user;
}

}  // namespace

DesktopUser FindDesktopUser() {
    DesktopUser user;
    user.answer = DesktopUser::kNoUser;
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return user;
    // Whether UAC splits Kestane's token from the user's. Only XP, which
    // knows no elevation classes, is taken to split nothing without being
    // asked; any other failure leaves the user's folders alone.
    DWORD type = 0;
    bool known = TokenValue(own, TokenElevationType, type);
    if (known || GetLastError() == ERROR_INVALID_PARAMETER)
        user = UserOfShell(own, known && type == TokenElevationTypeFull);
    CloseHandle(own);
    return user;
}

void CloseDesktopUser(DesktopUser& user) {
    if (user.token) CloseHandle(user.token);
    user.token = nullptr;
}

bool GetUserFolder(const DesktopUser& user, int csidl, std::string& folder) {
    if (user.answer == DesktopUser::kNoUser) return false;
    char buffer[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, csidl, user.token, SHGFP_TYPE_CURRENT, buffer) != 0 || buffer[0] == '\0')
        return false;
    buffer[MAX_PATH - 1] = '\0';
    folder = buffer;
    return true;
}

void DeleteAsUser(const DesktopUser& user, const std::string& path) {
    if (user.answer == DesktopUser::kNoSplit) {
        DeleteFileA(path.c_str());
        return;
    }
    if (!user.token || !ImpersonateLoggedOnUser(user.token)) return;
    DeleteFileA(path.c_str());
    RevertToSelf();
}

void TellUserFoldersSkipped() { ShowNotice(text::kUserFoldersSkipped); }
