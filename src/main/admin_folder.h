// A folder that only administrators and the system can change, for what
// Kestane lets run with its rights: owner Administrators; full control for
// Administrators and SYSTEM, read and execute for Users, for the folder and
// all it holds; nothing inherited from where it lies.
#pragma once

#include <string>

#include "../shared/win_types.h"

// Makes the folder with that owner and list as it is created. False where
// CreateDirectoryA fails (GetLastError says why; ERROR_ALREADY_EXISTS when
// something is there already, which is then not ours to trust).
bool CreateAdminOnlyFolder(const std::string& path);

// Administrators, SYSTEM or TrustedInstaller: the accounts that may change
// such a folder.
bool IsAdministrativeSid(win::PSID sid);

// The owner and list that CreateAdminOnlyFolder gives, for setting them anew
// with SetNamedSecurityInfoA; and, for a file inside, a list with no entries
// of its own, so that it keeps only what it inherits from the folder.
win::PSID AdminOnlyOwner();
win::ACL* AdminOnlyList();
win::ACL* InheritedOnlyList();
