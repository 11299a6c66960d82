// The guard's folder under Program Files: made, or found and checked, so that
// only administrators and the system can change what lies in it. Windows runs
// the guard from there as LocalSystem at every boot.
#pragma once

#include <string>

#include "guard_copy.h"

// Makes copy.folder with a protected list of its own: full control for
// Administrators and SYSTEM, read and execute for Users, nothing inherited.
// A folder that is there already keeps its list when its owner and every
// entry that allows a change (write, delete, permissions, ownership) belong
// to Administrators, SYSTEM or TrustedInstaller; otherwise it gets that list
// and owner anew, and a copy in it loses any entries of its own. False, with
// the message that says why, when the folder is not made so.
bool ProtectGuardFolder(const GuardCopy& copy, std::string& refusal);
