#include "admin_folder.h"

#include "../shared/process_shell.h"
#include "../shared/win_defs.h"

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

}  // namespace

bool CreateAdminOnlyFolder(const std::string& path) {
    SECURITY_DESCRIPTOR descriptor = {SECURITY_DESCRIPTOR_REVISION, 0, SE_DACL_PRESENT | SE_DACL_PROTECTED,
                                      AdminOnlyOwner(), nullptr, nullptr, AdminOnlyList()};
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    return CreateDirectoryA(path.c_str(), &attributes) != FALSE;
}

bool IsAdministrativeSid(PSID sid) {
    return EqualSid(sid, Writable(kAdministrators)) || EqualSid(sid, Writable(kSystem)) ||
           EqualSid(sid, Writable(kTrustedInstaller));
}

PSID AdminOnlyOwner() { return Writable(kAdministrators); }
ACL* AdminOnlyList() { return List(kFolderList); }
ACL* InheritedOnlyList() { return Writable(kInheritedOnly); }
