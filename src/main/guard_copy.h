// The guard's protected copy: <Program Files>\Tollvard\Velmora.exe. Windows
// runs the registered guard as LocalSystem at every boot, so the copy lies
// where only administrators can change it, and it must be byte for byte the
// Velmora.exe built with this Kestane, which Kestane carries as a resource.
#pragma once

#include <string>

#include "../shared/win_types.h"

struct GuardCopy {
    std::string folder;      // <Program Files>\Tollvard
    std::string program;     // folder\Velmora.exe, the program registered
    bool ownFolder = false;  // we run from that folder: the program is our own file
};

// Velmora.exe beside the running Kestane (not in the current directory:
// started from a shortcut, the two differ); false when there is none.
bool FindGuardProgramBesideUs(std::string& path);

// False, with the message that says why, when Program Files cannot be told
// or the quoted program path would not fit MAX_PATH.
bool LocateGuardCopy(GuardCopy& copy, std::string& refusal);

// Makes copy.program our own Velmora.exe, in a folder that only
// administrators can change (guard_folder.h): keeps it when it is ours already,
// otherwise copies the one beside us and checks what arrived. A copy that is
// not ours is deleted again. False, with the message, when no copy of ours
// is in place.
bool PlaceGuardCopy(const GuardCopy& copy, std::string& refusal);

// Deletes the copy and its folder when empty; true when no copy is left.
bool DeleteGuardCopy(const GuardCopy& copy);

// The copy's path in quotation marks, as it is registered: a folder with
// blanks must not be read as a shorter program followed by arguments.
std::string QuotedGuardProgram(const GuardCopy& copy);

// A failure message with its error code: "... (오류 코드 5)".
std::string WithErrorCode(const char* message, win::DWORD error);
