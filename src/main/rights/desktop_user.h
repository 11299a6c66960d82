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
        // The shell runs as Kestane's own account, and UAC does not split
        // Kestane's token (XP, UAC off, the built-in Administrator), or no
        // shell runs where nothing is split: Kestane's own token is the
        // user's.
        kNoSplit,
        // The shell's token, checked, stands for the user: UAC splits
        // Kestane's token from the user's, or the shell runs as another
        // account than Kestane ("run as", over the shoulder).
        kUser,
        // Nothing stands for the user (no shell, an elevated one, one that
        // refuses us or fails the checks, an elevation that cannot be read):
        // nothing in the user's folders is done at all.
        kNoUser,
    };
    Answer answer = kNoSplit;
    // The shell's token, duplicated as a primary token; null unless kUser.
    win::HANDLE token = nullptr;
};

// Asks the shell process for its token and compares its account with
// Kestane's. Every operation finds the user anew and closes it before it
// returns.
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
