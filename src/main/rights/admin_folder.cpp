#include "admin_folder.h"

#include "shared/process_shell.h"
#include "shared/win_defs.h"

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
// CREATOR OWNER (creator authority 3), in the entries Program Files passes on:
// its rights go to whoever makes something inside, whom another entry must
// have let do so.
constexpr KnownSid<1> kCreatorOwner{1, 1, {0, 0, 0, 0, 0, 3}, {0}};
// Groups every user is in: Everyone (world authority 1), Authenticated Users
// and INTERACTIVE, besides Users.
constexpr KnownSid<1> kEveryone{1, 1, {0, 0, 0, 0, 0, 1}, {0}};
constexpr KnownSid<1> kAuthenticatedUsers{1, 1, {0, 0, 0, 0, 0, 5}, {11}};
constexpr KnownSid<1> kInteractive{1, 1, {0, 0, 0, 0, 0, 5}, {4}};

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

// The security calls take what they only read as plain pointers.
template <typename T>
T* Writable(const T& data) {
    return const_cast<T*>(&data);
}
PSID AdminOnlyOwner() { return Writable(kAdministrators); }
ACL* AdminOnlyList() { return reinterpret_cast<ACL*>(Writable(kFolderList)); }

// Every right that lets its holder change the folder or what lies in it.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL |
                                GENERIC_WRITE;

// An entry that only denies is harmless; one of a kind read here no further
// (object or callback entries) counts as one that allows a change.
bool EntryChangesNothing(const ACCESS_ALLOWED_ACE* entry) {
    if (entry->Header.AceType == ACCESS_DENIED_ACE_TYPE) return true;
    if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    PSID sid = const_cast<DWORD*>(&entry->SidStart);
    return (entry->Mask & kChangeRights) == 0 || IsAdministrativeSid(sid) || EqualSid(sid, Writable(kCreatorOwner));
}

bool EntryKeepsUsersOut(const ACCESS_ALLOWED_ACE* entry) {
    if (entry->Header.AceType == ACCESS_DENIED_ACE_TYPE || (entry->Header.AceFlags & INHERIT_ONLY_ACE)) return true;
    if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    PSID sid = const_cast<DWORD*>(&entry->SidStart);
    bool everyUser = EqualSid(sid, Writable(kEveryone)) || EqualSid(sid, Writable(kUsers)) ||
                     EqualSid(sid, Writable(kAuthenticatedUsers)) || EqualSid(sid, Writable(kInteractive));
    return (entry->Mask & kChangeRights) == 0 || !everyUser;
}

// Whether every entry of the list of what the handle holds open is harmless,
// and, where asked, the owner is an administrative account. False when owner
// and list cannot be read, or there is no list (everybody may do
// everything).
bool EveryEntry(HANDLE object, bool administrativeOwner, bool (*harmless)(const ACCESS_ALLOWED_ACE*)) {
    PSID owner = nullptr;
    ACL* list = nullptr;
    void* descriptor = nullptr;
    if (GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool safe = (!administrativeOwner || (owner && IsAdministrativeSid(owner))) && list;
    const BYTE* at = reinterpret_cast<const BYTE*>(list + 1);
    for (WORD i = 0; safe && i < list->AceCount; ++i) {
        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(at);
        safe = harmless(entry);
        at += entry->Header.AceSize;
    }
    LocalFree(descriptor);
    return safe;
}

}  // namespace

bool CreateAdminOnlyFolder(const std::string& path) {
    SECURITY_DESCRIPTOR descriptor = {SECURITY_DESCRIPTOR_REVISION, 0, SE_DACL_PRESENT | SE_DACL_PROTECTED,
                                      AdminOnlyOwner(), nullptr, nullptr, AdminOnlyList()};
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    return CreateDirectoryA(path.c_str(), &attributes) != FALSE;
}

HANDLE CreateAdminOwnedFile(const std::string& path) {
    // An owner and no list: Windows gives the file what it inherits. Without
    // the owner, XP would make the administrator's own account its owner.
    SECURITY_DESCRIPTOR descriptor = {SECURITY_DESCRIPTOR_REVISION, 0, 0, AdminOnlyOwner(), nullptr, nullptr, nullptr};
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenItself(const std::string& path, DWORD access, DWORD share) {
    return CreateFileA(path.c_str(), access | READ_CONTROL | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool IsAdministrativeSid(PSID sid) {
    return EqualSid(sid, Writable(kAdministrators)) || EqualSid(sid, Writable(kSystem)) ||
           EqualSid(sid, Writable(kTrustedInstaller));
}

bool OnlyAdministratorsChange(HANDLE object) { return EveryEntry(object, true, EntryChangesNothing); }

bool UsersMayChange(HANDLE object) { return !EveryEntry(object, false, EntryKeepsUsersOut); }
