#include "guard_folder.h"

#include <cstring>

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

// An allowing entry, laid out as ACCESS_ALLOWED_ACE with its SID in place.
template <int N>
struct AllowEntry {
    ACE_HEADER header;
    DWORD mask;
    KnownSid<N> sid;
};
constexpr BYTE kFolderAndFiles = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
template <int N>
constexpr AllowEntry<N> Allow(DWORD mask, const KnownSid<N>& sid) {
    return {{ACCESS_ALLOWED_ACE_TYPE, kFolderAndFiles, sizeof(AllowEntry<N>)}, mask, sid};
}

// The folder's list, for itself and all it holds: full control for
// Administrators and SYSTEM, read and execute for Users. Constant data in
// the layout Windows reads, so every Windows from XP on takes it as it is.
struct FolderList {
    ACL header;
    AllowEntry<2> administrators;
    AllowEntry<1> system;
    AllowEntry<2> users;
};
constexpr FolderList kFolderList{{ACL_REVISION, 0, sizeof(FolderList), 3, 0},
                                 Allow(FILE_ALL_ACCESS, kAdministrators),
                                 Allow(FILE_ALL_ACCESS, kSystem),
                                 Allow(FILE_GENERIC_READ_EXECUTE, kUsers)};
static_assert(sizeof(FolderList) == 8 + 24 + 20 + 24, "entries follow each other without gaps");
// For a copy in the folder: no entries of its own, only what it inherits.
constexpr ACL kInheritedOnly{ACL_REVISION, 0, sizeof(ACL), 0, 0};

// The security calls take what they only read as plain pointers.
template <typename T>
T* Writable(const T& data) {
    return const_cast<T*>(&data);
}
ACL* List(const FolderList& list) { return reinterpret_cast<ACL*>(Writable(list)); }

bool IsTrustee(PSID sid) {
    return EqualSid(sid, Writable(kAdministrators)) || EqualSid(sid, Writable(kSystem)) ||
           EqualSid(sid, Writable(kTrustedInstaller));
}

// Every right that lets its holder change the folder or what lies in it.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL |
                                GENERIC_WRITE;

// An entry that only denies is harmless; one of a kind read here no further
// (object or callback entries) counts as one that allows a change.
bool EntryChangesNothing(const ACCESS_ALLOWED_ACE* entry) {
    if (entry->Header.AceType == ACCESS_DENIED_ACE_TYPE) return true;
    if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    return (entry->Mask & kChangeRights) == 0 || IsTrustee(Writable(entry->SidStart));
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
    SECURITY_DESCRIPTOR descriptor = {SECURITY_DESCRIPTOR_REVISION, 0, SE_DACL_PRESENT | SE_DACL_PROTECTED,
                                      Writable(kAdministrators), nullptr, nullptr, List(kFolderList)};
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
                                  Writable(kAdministrators), nullptr, List(kFolderList), nullptr);
    if (error != ERROR_SUCCESS) return Refuse(refusal, error);
    error = SetNamedSecurityInfoA(copy.program.c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                      UNPROTECTED_DACL_SECURITY_INFORMATION,
                                  Writable(kAdministrators), nullptr, Writable(kInheritedOnly), nullptr);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return Refuse(refusal, error);
    return true;
}
