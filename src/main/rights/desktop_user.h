// The user whose desktop Kestane's window is on. Kestane runs elevated, but
// the desktop, Quick Launch, the Start Menu, Favorites and the application
// data folders belong to that user and to every program the user runs: what
// Kestane does there, it does with the user's own rights, so that nothing a
// user-level program plants or links there runs or is deleted as
// administrator.
#pragma once

#include <string>

#include "shared/win_types.h"

struct DesktopUser {
    enum Answer {
        // XP, UAC off, the built-in Administrator: Kestane's own token is
        // the user's.
        kNoSplit,
        // UAC separates Kestane's token from the user's, and the shell's
        // unelevated token was had.
        kUser,
        // UAC separates the two, but no unelevated shell token could be had
        // (no shell, an elevated one, or one that refuses us): nothing in
        // the user's folders is done at all.
        kNoUser,
    };
    Answer answer = kNoSplit;
    // The shell's token, duplicated as a primary token; null unless kUser.
    win::HANDLE token = nullptr;
};

// Asks the shell process for its token when Kestane's own is the elevated
// half of a split one. Every operation finds the user anew and closes it
// before it returns.
DesktopUser FindDesktopUser();
void CloseDesktopUser(DesktopUser& user);

// A folder of the desktop user (CSIDL value); false when the shell cannot
// tell it or tells an empty path, and always without a user (kNoUser).
bool GetUserFolder(const DesktopUser& user, int csidl, std::string& folder);

// Deletes a file in the user's folders while impersonating the user: a
// junction or link there can then only lead to what the user could delete.
// When the impersonation fails, or there is no user, nothing is deleted.
void DeleteAsUser(const DesktopUser& user, const std::string& path);

// Tells the user, once for the press, that the work in the user's folders
// was left undone because no user was found.
void TellUserFoldersSkipped();
