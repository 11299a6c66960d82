#include "guard_folder.h"

#include "../shared/process_shell.h"
#include "../shared/win_defs.h"
#include "texts.h"

using namespace win;

namespace {

// Well-known SIDs as Windows lays them out: revision 1, the number of
// sub-authorities, the NT authority (5), then the sub-authorities.
template <int N>
struct KnownSid {
    BYTE revision;
    BYTE count;
    BYTE authority[6];
    DWORD sub[N];
};
constexpr KnownSid<2> kAdministrators{1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}};
constexpr KnownSid<1> kSystem{1, 1, {0, 0, 0, 0, 0, 5}, {18}};
constexpr KnownSid<2> kUsers{1, 2, {0, 0, 0, 0, 0, 5}, {32, 545}};
constexpr KnownSid<6> kTrustedInstaller{
    1, 6, {0, 0, 0, 0, 0, 5}, {80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u}};

// The security calls take SIDs they only read as plain pointers.
template <int N>
PSID Sid(const KnownSid<N>& sid) {
    return const_cast<KnownSid<N>*>(&sid);
}

bool IsTrustee(PSID sid) {
    return EqualSid(sid, Sid(kAdministrators)) || EqualSid(sid, Sid(kSystem)) ||
           EqualSid(sid, Sid(kTrustedInstaller));
}

// Every right that lets its holder change the folder or what lies in it.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL |
                                GENERIC_WRITE;
constexpr DWORD kFolderAndFiles = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// An entry that only denies is harmless; one of a kind read here no further
// (object or callback entries) counts as one that allows a change.
bool EntryChangesNothing(const ACCESS_ALLOWED_ACE* entry) {
    if (entry->Header.AceType == ACCESS_DENIED_ACE_TYPE) return true;
    if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    return (entry->Mask & kChangeRights) == 0 || IsTrustee(const_cast<DWORD*>(&entry->SidStart));
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
    bool safe = owner && IsTrustee(owner) && list;
    for (DWORD i = 0; safe && i < list->AceCount; ++i) {
        void* entry = nullptr;
        safe = GetAce(list, i, &entry) && EntryChangesNothing(static_cast<ACCESS_ALLOWED_ACE*>(entry));
    }
    LocalFree(descriptor);
    return safe;
}

// Room for the header and three entries of the longest SID above.
constexpr DWORD kListBytes = sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + sizeof(kTrustedInstaller));

struct FolderList {
    alignas(DWORD) BYTE bytes[kListBytes];
    ACL* list() { return reinterpret_cast<ACL*>(bytes); }
};

bool BuildFolderList(FolderList& folder) {
    ACL* list = folder.list();
    return InitializeAcl(list, kListBytes, ACL_REVISION) &&
           AddAccessAllowedAceEx(list, ACL_REVISION, kFolderAndFiles, FILE_ALL_ACCESS, Sid(kAdministrators)) &&
           AddAccessAllowedAceEx(list, ACL_REVISION, kFolderAndFiles, FILE_ALL_ACCESS, Sid(kSystem)) &&
           AddAccessAllowedAceEx(list, ACL_REVISION, kFolderAndFiles, FILE_GENERIC_READ_EXECUTE, Sid(kUsers));
}

bool Refuse(std::string& refusal, DWORD error) {
    refusal = WithErrorCode(text::kGuardFolderNotMade, error);
    return false;
}

}  // namespace

bool ProtectGuardFolder(const GuardCopy& copy, std::string& refusal) {
    FolderList folderList;
    SECURITY_DESCRIPTOR descriptor = {};
    if (!BuildFolderList(folderList) || !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, Sid(kAdministrators), FALSE) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, folderList.list(), FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return Refuse(refusal, GetLastError());

    // 1. A new folder gets its list as it is made.
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    if (CreateDirectoryA(copy.folder.c_str(), &attributes)) return true;
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
                                  Sid(kAdministrators), nullptr, folderList.list(), nullptr);
    if (error != ERROR_SUCCESS) return Refuse(refusal, error);
    ACL inheritedOnly = {};
    if (!InitializeAcl(&inheritedOnly, sizeof(inheritedOnly), ACL_REVISION)) return Refuse(refusal, GetLastError());
    error = SetNamedSecurityInfoA(copy.program.c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                      UNPROTECTED_DACL_SECURITY_INFORMATION,
                                  Sid(kAdministrators), nullptr, &inheritedOnly, nullptr);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return Refuse(refusal, error);
    return true;
}
