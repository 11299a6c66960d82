// A folder that only administrators and the system can change, for what
// Kestane lets run with its rights: owner Administrators; full control for
// Administrators and SYSTEM, read and execute for Users, for the folder and
// all it holds; nothing inherited from where it lies.
#pragma once

#include <string>

#include "shared/win_types.h"

// Makes the folder with that owner and list as it is created. False where
// CreateDirectoryA fails (GetLastError says why; ERROR_ALREADY_EXISTS when
// something is there already, which is then not ours to trust).
bool CreateAdminOnlyFolder(const std::string& path);

// A new file in such a folder, for writing and shared with nobody while it is
// written: owned by Administrators, as the folder, with the list it inherits
// from there. CREATE_NEW: never an existing file, nor what a link leads to.
// INVALID_HANDLE_VALUE where CreateFileA fails (GetLastError says why).
win::HANDLE CreateAdminOwnedFile(const std::string& path);

// A file or folder itself, not what a junction or link in its place leads
// to, with its attributes, owner and list readable besides `access`, shared
// as `share` says. INVALID_HANDLE_VALUE where CreateFileA fails.
win::HANDLE OpenItself(const std::string& path, win::DWORD access, win::DWORD share);

// Administrators, SYSTEM or TrustedInstaller: the accounts that may change
// such a folder.
bool IsAdministrativeSid(win::PSID sid);

// Whether only those accounts can change what the handle holds open
// (READ_CONTROL): they own it, and every entry of its list that allows a
// change (write, delete, permissions, ownership) is theirs, or CREATOR
// OWNER's, which only passes rights on to what they make. False when the
// owner and list cannot be read, or there is no list (everybody may do
// everything).
bool OnlyAdministratorsChange(win::HANDLE object);

// Whether an entry of the list of what the handle holds open (READ_CONTROL)
// lets Everyone, Users, Authenticated Users or INTERACTIVE, of which every
// program of every user is one, make one of those changes. Entries that only
// pass rights on (inherit-only) do not count, nor does the owner. True too
// when the list cannot be read, or there is none.
bool UsersMayChange(win::HANDLE object);
