// The user whose desktop Kestane's window is on. Kestane runs elevated, but
// the desktop, Quick Launch, the Start Menu, Favorites and the application
// data folders belong to that user and to every program the user runs: what
// Kestane does there, it does with the user's own rights, so that nothing a
// user-level program plants or links there runs or is deleted as
// administrator.
#pragma once

#include <string>

#include "../shared/win_types.h"

struct DesktopUser {
    // The shell's token, duplicated as a primary token; null where Kestane's
    // own token is the user's (XP, UAC off, no shell, the shell elevated).
    win::HANDLE token = nullptr;
};

// Asks the shell process for its token when Kestane's own is the elevated
// half of a split one and the shell's is not elevated. Every operation finds
// the user anew and closes it before it returns.
DesktopUser FindDesktopUser();
void CloseDesktopUser(DesktopUser& user);

// A folder of the desktop user (CSIDL value); false when the shell cannot
// tell it or tells an empty path.
bool GetUserFolder(const DesktopUser& user, int csidl, std::string& folder);

// Deletes a file in the user's folders while impersonating the user: a
// junction or link there can then only lead to what the user could delete.
// When the impersonation fails, nothing is deleted.
void DeleteAsUser(const DesktopUser& user, const std::string& path);
