#include "desktop_user.h"

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

// Whether Kestane's own token is the full (elevated) one of a split pair,
// TokenElevationTypeFull; false where Windows knows no split.
bool OwnTokenIsFull() {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return false;
    DWORD type = 0;
    bool full = TokenValue(own, TokenElevationType, type) && type == TokenElevationTypeFull;
    CloseHandle(own);
    return full;
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

// The shell's own token, when it is not elevated; null otherwise.
HANDLE UnelevatedShellToken() {
    HWND shell = GetShellWindow();
    DWORD pid = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &pid) || pid == 0) return nullptr;
    TOKEN_PRIVILEGES previous = {};
    HANDLE privileged = EnableDebugPrivilege(previous);
    HANDLE token = nullptr;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process) {
        if (!OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token)) token = nullptr;
        CloseHandle(process);
    }
    RestorePrivileges(privileged, previous);
    DWORD elevated = 1;
    if (token && (!TokenValue(token, TokenElevation, elevated) || elevated)) {
        CloseHandle(token);
        token = nullptr;
    }
    return token;
}

}  // namespace

DesktopUser FindDesktopUser() {
    DesktopUser user;
    if (!OwnTokenIsFull()) return user;
    // From here on UAC separates the two: without the user's own token the
    // user's folders are not worked in at all.
    user.answer = DesktopUser::kNoUser;
    HANDLE shell = UnelevatedShellToken();
    if (!shell) return user;
    if (DuplicateTokenEx(shell, kUserTokenAccess, nullptr, SecurityImpersonation, TokenPrimary, &user.token))
        user.answer = DesktopUser::kUser;
    else
        user.token = nullptr;
    CloseHandle(shell);
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
