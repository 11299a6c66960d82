#include "guard_folder.h"

#include <cstring>

#include "../shared/process_shell.h"
#include "../shared/win_defs.h"
#include "admin_folder.h"
#include "texts.h"

using namespace win;

namespace {

// Every right that lets its holder change the folder or what lies in it.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL |
                                GENERIC_WRITE;

// An entry that only denies is harmless; one of a kind read here no further
// (object or callback entries) counts as one that allows a change.
bool EntryChangesNothing(const ACCESS_ALLOWED_ACE* entry) {
    if (entry->Header.AceType == ACCESS_DENIED_ACE_TYPE) return true;
    if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    return (entry->Mask & kChangeRights) == 0 || IsAdministrativeSid(const_cast<DWORD*>(&entry->SidStart));
}

// Owner and list of the folder as found; an unreadable one, and one without
// a list (everybody may do everything), fail.
bool OnlyAdministratorsChange(const std::string& folder) {
    PSID owner = nullptr;
    ACL* list = nullptr;
    void* descriptor = nullptr;
    if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool safe = owner && IsAdministrativeSid(owner) && list;
    const BYTE* at = reinterpret_cast<const BYTE*>(list + 1);
    for (WORD i = 0; safe && i < list->AceCount; ++i) {
        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(at);
        safe = EntryChangesNothing(entry);
        at += entry->Header.AceSize;
    }
    LocalFree(descriptor);
    return safe;
}

bool Refuse(std::string& refusal, DWORD error) {
    refusal = WithErrorCode(text::kGuardFolderNotMade, error);
    return false;
}

}  // namespace

bool ProtectGuardFolder(const GuardCopy& copy, std::string& refusal) {
    // 1. A new folder gets owner and list as it is made, and inherits nothing.
    if (CreateAdminOnlyFolder(copy.folder)) return true;
    DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) return Refuse(refusal, error);

    // 2. One that is there already (another tool's, or one that Power Users
    // may change on XP) is trusted only as far as its owner and list go.
    if (OnlyAdministratorsChange(copy.folder)) return true;

    // 3. Otherwise it gets owner and list anew, and so does a copy in it,
    // which keeps only what it inherits from the folder.
    error = SetNamedSecurityInfoA(copy.folder.c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                      PROTECTED_DACL_SECURITY_INFORMATION,
                                  AdminOnlyOwner(), nullptr, AdminOnlyList(), nullptr);
    if (error != ERROR_SUCCESS) return Refuse(refusal, error);
    error = SetNamedSecurityInfoA(copy.program.c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                      UNPROTECTED_DACL_SECURITY_INFORMATION,
                                  AdminOnlyOwner(), nullptr, InheritedOnlyList(), nullptr);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return Refuse(refusal, error);
    return true;
}
