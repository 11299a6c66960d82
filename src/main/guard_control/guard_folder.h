// The guard's folder under Program Files. Windows runs the guard from there as
// LocalSystem at every boot, and where the DLL search cannot be restricted,
// a DLL it loads by bare name is looked for there first. So Kestane uses the
// folder only as it makes it: a plain folder that only administrators and the
// system can change, holding nothing but Velmora.exe.
#pragma once

#include <string>

#include "guard_copy.h"

// Makes copy.folder with a protected list of its own (rights/admin_folder.h), or
// finds it exactly as it is made:
// - a folder, not a junction or another reparse point, nor encrypted;
// - owned by Administrators, SYSTEM or TrustedInstaller, and changeable by
//   nobody else;
// - holding nothing but Velmora.exe, which has one name only (no hard link),
//   is no reparse point and is changeable by nobody else either.
// Anything else there is moved aside in the same folder, to "Tollvard.moved-1"
// (or -2, ... the first free one), never worked in nor deleted through, and
// the folder is made anew. Returns the folder held open, shared for reading
// only, so that while it is held it can be neither renamed nor removed; close
// it with CloseHandle. *copyIsOurs tells whether a found folder's Velmora.exe
// is ours already. INVALID_HANDLE_VALUE, with the message that says why, when
// the folder could be neither used nor made.
win::HANDLE OpenGuardFolder(const GuardCopy& copy, bool* copyIsOurs, std::string& refusal);

// Whether the folder is there exactly as OpenGuardFolder would use it, with a
// Velmora.exe in it: ours or another build's, only administrators could have
// put it there. Only looks: nothing is made, moved or written.
bool GuardFolderHoldsSoundCopy(const GuardCopy& copy);

// The folder itself, held open as above, or INVALID_HANDLE_VALUE when it is not
// there or cannot be opened (GetLastError says why). *plain tells whether it
// is a plain folder, not a junction or another reparse point that has taken
// its place and leads elsewhere.
win::HANDLE HoldGuardFolder(const GuardCopy& copy, bool* plain);
