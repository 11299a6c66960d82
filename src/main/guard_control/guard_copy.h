// The guard's protected copy: <Program Files>\Tollvard\Velmora.exe. Windows
// runs the registered guard as LocalSystem at every boot, so the copy lies
// where only administrators can change it, and it must be byte for byte the
// Velmora.exe built with this Kestane, which Kestane carries as a resource.
#pragma once

#include <string>

#include "shared/win_types.h"

struct GuardCopy {
    std::string folder;   // <Program Files>\Tollvard
    std::string program;  // folder\Velmora.exe, the program registered
};

// False, with the message that says why, when Program Files cannot be told
// or the quoted program path would not fit MAX_PATH.
bool LocateGuardCopy(GuardCopy& copy, std::string& refusal);

// The Velmora.exe beside us, which a press of 1034 asks for: it must be there
// and be ours, since it is what the user unpacked. False, with the message
// that says which it is not. The start-up repair never asks: what it places
// comes from the bytes we carry, whatever lies beside us.
bool CheckGuardProgramBesideUs(std::string& refusal);

// Makes copy.program our own Velmora.exe, in a folder that only
// administrators can change and that holds nothing else (guard_folder.h):
// keeps it when it is ours already, otherwise writes it from the bytes we
// carry, as a new file, and checks what arrived. False, with the message,
// when no copy of ours is in place.
bool PlaceGuardCopy(const GuardCopy& copy, std::string& refusal);

// Deletes the copy and its folder when empty, never through a junction or link
// that has taken the folder's place; true when no copy of ours is left.
bool DeleteGuardCopy(const GuardCopy& copy);

// True when the open file holds exactly our Velmora.exe: the same size, the
// same bytes, and nothing after them. Reads it from where it stands.
bool IsOurGuardProgram(win::HANDLE file);

// The copy's path in quotation marks, as it is registered: a folder with
// blanks must not be read as a shorter program followed by arguments.
std::string QuotedGuardProgram(const GuardCopy& copy);

