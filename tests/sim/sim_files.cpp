// The simulated shell folders and case-blind file system: files, folders,
// junctions and hard links, sharing, and the owners and lists of their
// security, as Windows keeps them.
#include <algorithm>
#include <cstring>

#include "sim/sim_kernel.h"

using namespace sim::kernel;

namespace {

// As Windows hands out a folder or path: its length when it fits with its
// terminating zero, else the size needed; 0 when there is none.
UINT CopyFolderOut(const std::string& folder, char* buffer, UINT size) {
    if (folder.empty()) return 0;
    if (folder.size() + 1 > size) return static_cast<UINT>(folder.size() + 1);
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}

sim::File* FindFile(const std::string& path) {
    auto& fs = M().files;
    std::string full = M().LongForm(path);
    auto it = std::find_if(fs.begin(), fs.end(), [&](const sim::File& f) { return sim::SameNoCase(f.path, full); });
    return it == fs.end() ? nullptr : &*it;
}

std::string ParentOf(const std::string& path) {
    std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool Below(const std::vector<std::string>& folders, const std::string& path) {
    for (const std::string& folder : folders)
        if (path.size() > folder.size() && sim::SameNoCase(path.substr(0, folder.size()), folder) &&
            path[folder.size()] == '\\')
            return true;
    return false;
}

// SIDs: revision, count, six bytes of authority, then 32-bit sub-authorities.
std::size_t SidLength(const void* sid) { return 8 + 4 * static_cast<const unsigned char*>(sid)[1]; }

std::string SidString(const void* sid) {
    const unsigned char* bytes = static_cast<const unsigned char*>(sid);
    std::string out = "S-" + std::to_string(bytes[0]) + "-" + std::to_string(bytes[7]);
    for (int i = 0; i < bytes[1]; ++i) {
        DWORD sub = 0;
        std::memcpy(&sub, bytes + 8 + 4 * i, 4);
        out += "-" + std::to_string(sub);
    }
    return out;
}

std::vector<unsigned char> SidBytes(const std::string& text) {
    std::vector<unsigned long long> parts;
    for (std::size_t at = 2; at <= text.size();) {  // after "S-"
        std::size_t dash = text.find('-', at);
        if (dash == std::string::npos) dash = text.size();
        parts.push_back(std::stoull(text.substr(at, dash - at)));
        at = dash + 1;
    }
    std::vector<unsigned char> sid(8 + 4 * (parts.size() - 2), 0);
    sid[0] = static_cast<unsigned char>(parts[0]);
    sid[1] = static_cast<unsigned char>(parts.size() - 2);
    sid[7] = static_cast<unsigned char>(parts[1]);
    for (std::size_t i = 2; i < parts.size(); ++i) {
        DWORD sub = static_cast<DWORD>(parts[i]);
        std::memcpy(&sid[8 + 4 * (i - 2)], &sub, 4);
    }
    return sid;
}

// The entries of a list the program passes; one that Windows would refuse
// as malformed (sizes that do not add up) is misuse.
std::vector<sim::AccessEntry> EntriesOf(const ACL* list) {
    std::vector<sim::AccessEntry> out;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(list + 1);
    std::size_t used = sizeof(ACL);
    for (WORD i = 0; i < list->AceCount; ++i) {
        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(at);
        if (entry->Header.AceSize != 8 + SidLength(&entry->SidStart)) M().misuse.push_back("malformed access entry");
        out.push_back({entry->Header.AceType, entry->Header.AceFlags, entry->Mask, SidString(&entry->SidStart)});
        at += entry->Header.AceSize;
        used += entry->Header.AceSize;
    }
    if (list->AclRevision != ACL_REVISION || used != list->AclSize) M().misuse.push_back("malformed access list");
    return out;
}

bool PathExists(const std::string& path) { return M().FolderExists(path) || M().FileExists(path); }

// A junction by the name it has itself (not one on the way to it).
bool IsJunction(const std::string& path) {
    for (const auto& [junction, target] : M().junctions)
        if (sim::SameNoCase(junction, path)) return true;
    return false;
}

// A name that nothing new may take: a file, a folder, or a junction, whether
// or not what it leads to is there.
bool NameTaken(const std::string& path) { return PathExists(path) || IsJunction(path); }

// The owner that a descriptor names, or the one Windows gives otherwise.
std::string OwnerGiven(void* securityAttributes) {
    const auto* attributes = static_cast<const SECURITY_ATTRIBUTES*>(securityAttributes);
    const auto* descriptor =
        attributes ? static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor) : nullptr;
    return descriptor && descriptor->Owner ? SidString(descriptor->Owner) : M().defaultOwner;
}

HANDLE OpenedAs(const std::string& path, DWORD access, DWORD share, bool reparse) {
    void* handle = M().NewHandle(Kind::File, (M().FolderExists(path) || reparse ? "folder " : "file ") + path);
    auto* info = M().Handle(handle, Kind::File);
    info->path = path;
    info->access = access;
    info->share = share;
    info->reparse = reparse;
    return static_cast<HANDLE>(handle);
}

}  // namespace

namespace win {

LONG SHGetFolderPathA(HWND, int csidl, HANDLE token, DWORD flags, char* path) {
    auto* info = token ? Token(token, TOKEN_QUERY | TOKEN_IMPERSONATE) : nullptr;
    if ((token && !info) || flags != SHGFP_TYPE_CURRENT) M().misuse.push_back("SHGetFolderPathA with that token");
    std::string account = info ? info->account : "<null>";
    M().Log("SHGetFolderPathA " + std::to_string(csidl) + " " + account);
    bool other = account == sim::kDesktopUser && !M().userFolders.empty();
    const auto& folders = other ? M().userFolders : M().specialFolders;
    auto it = folders.find(csidl);
    if (it == folders.end()) return static_cast<LONG>(0x80004005);  // E_FAIL
    std::strncpy(path, it->second.c_str(), MAX_PATH - 1);
    path[MAX_PATH - 1] = '\0';
    return 0;
}

BOOL SHGetSpecialFolderPathA(HWND, char* path, int csidl, BOOL create) {
    M().Log("SHGetSpecialFolderPathA " + std::to_string(csidl) + " " + std::to_string(create));
    auto it = M().specialFolders.find(csidl);
    if (it == M().specialFolders.end()) return FALSE;
    std::strncpy(path, it->second.c_str(), MAX_PATH - 1);
    path[MAX_PATH - 1] = '\0';
    return TRUE;
}

BOOL DeleteFileA(const char* path) {
    M().Log("DeleteFileA " + Str(path));
    sim::File* file = FindFile(Str(path));
    if (file && M().impersonating == sim::kDesktopUser && Below(M().adminFolders, file->path))
        return Fail(ERROR_ACCESS_DENIED);
    if (!file) return Fail(M().FolderExists(ParentOf(Str(path))) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (M().HeldWithoutDeleteSharing(file->path)) return Fail(ERROR_SHARING_VIOLATION);
    // Windows refuses to delete a running program's image.
    if (file->readOnly || M().FileInUse(file->path)) return Fail(ERROR_ACCESS_DENIED);
    M().deletedFiles.push_back(file->path);
    M().files.erase(M().files.begin() + (file - M().files.data()));
    return TRUE;
}

BOOL SetFileAttributesA(const char* path, DWORD attributes) {
    M().Log("SetFileAttributesA " + Str(path) + " " + std::to_string(attributes));
    sim::File* file = FindFile(Str(path));
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    file->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return TRUE;
}

BOOL CreateDirectoryA(const char* path, void* securityAttributes) {
    M().Log("CreateDirectoryA " + Str(path) + " " + (securityAttributes ? "attrs" : "<null>"));
    std::string folder = Str(path);
    if (NameTaken(folder)) return Fail(ERROR_ALREADY_EXISTS);
    if (!M().FolderExists(ParentOf(folder))) return Fail(ERROR_PATH_NOT_FOUND);
    if (Below(M().deniedFolders, folder)) return Fail(ERROR_ACCESS_DENIED);
    M().folders.push_back(folder);
    // Without a descriptor it gets what it inherits, which the model leaves
    // at the default.
    sim::Security& made = M().SecurityOf(folder);
    made = sim::OnlyAdministrators();
    made.owner = OwnerGiven(securityAttributes);
    const auto* attributes = static_cast<const SECURITY_ATTRIBUTES*>(securityAttributes);
    const auto* descriptor =
        attributes ? static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor) : nullptr;
    if (descriptor) {
        if (descriptor->Dacl) made.entries = EntriesOf(descriptor->Dacl);
        made.protectedList = (descriptor->Control & SE_DACL_PROTECTED) != 0;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(const char* path) {
    M().Log("RemoveDirectoryA " + Str(path));
    std::string folder = Str(path);
    auto& fs = M().folders;
    auto it = std::find_if(fs.begin(), fs.end(), [&](const std::string& f) { return sim::SameNoCase(f, folder); });
    if (it == fs.end()) return Fail(ERROR_FILE_NOT_FOUND);
    if (M().HeldWithoutDeleteSharing(*it)) return Fail(ERROR_SHARING_VIOLATION);
    auto below = [&](const std::string& p) { return sim::SameNoCase(ParentOf(p), folder); };
    if (std::any_of(M().files.begin(), M().files.end(), [&](const sim::File& f) { return below(f.path); }) ||
        std::any_of(fs.begin(), fs.end(), below))
        return Fail(ERROR_DIR_NOT_EMPTY);
    fs.erase(it);
    M().SecurityOf(folder) = sim::OnlyAdministrators();
    return TRUE;
}

DWORD GetFileAttributesA(const char* path) {
    M().Log("GetFileAttributesA " + Str(path));
    if (M().FolderExists(Str(path))) return FILE_ATTRIBUTE_DIRECTORY;
    const sim::File* file = FindFile(Str(path));
    if (!file) {
        M().lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    return file->readOnly ? 0x21 : 0x20;
}

// Real semantics: the length without the terminator when it fits, else the
// size needed including it.
BOOL SetCurrentDirectoryA(const char* path) {
    M().Log("SetCurrentDirectoryA " + Str(path));
    M().currentDirectory = Str(path);
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer) {
    M().Log("GetCurrentDirectoryA " + std::to_string(bufferLength));
    const std::string& dir = M().currentDirectory;
    if (dir.size() + 1 > bufferLength) return static_cast<DWORD>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

// Real semantics: a name that does not fit is cut to size - 1 bytes and the
// result is size.
DWORD GetModuleFileNameA(HINSTANCE, char* buffer, DWORD size) {
    M().Log("GetModuleFileNameA " + std::to_string(size));
    const std::string& path = M().modulePath;
    if (size == 0) return 0;
    if (path.size() + 1 > size) {
        std::memcpy(buffer, path.c_str(), size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

UINT GetSystemDirectoryA(char* buffer, UINT size) {
    M().Log("GetSystemDirectoryA " + std::to_string(size));
    return CopyFolderOut(M().systemDirectory, buffer, size);
}

UINT GetWindowsDirectoryA(char* buffer, UINT size) {
    M().Log("GetWindowsDirectoryA " + std::to_string(size));
    return CopyFolderOut(M().windowsDirectory, buffer, size);
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* securityAttributes, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    M().Log("CreateFileA " + Str(path) + " " + std::to_string(access) + " " + std::to_string(shareMode) + " " +
            std::to_string(disposition));
    // Only what the programs do: read an existing file or folder, or its
    // owner and list; write a new file.
    const DWORD reading = GENERIC_READ | FILE_LIST_DIRECTORY | READ_CONTROL | FILE_READ_ATTRIBUTES;
    bool reads = disposition == OPEN_EXISTING && (access & ~reading) == 0 && !securityAttributes;
    bool creates = disposition == CREATE_NEW && access == GENERIC_WRITE;
    if ((!reads && !creates) || templateFile) {
        M().misuse.push_back("CreateFileA other than to read an existing file or to write a new one");
        M().lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    const std::string named = Str(path);
    if (creates) {
        M().lastError = NameTaken(named)                    ? ERROR_FILE_EXISTS
                        : !M().FolderExists(ParentOf(named)) ? ERROR_PATH_NOT_FOUND
                        : Below(M().deniedFolders, named)    ? ERROR_ACCESS_DENIED
                                                             : ERROR_SUCCESS;
        if (M().lastError != ERROR_SUCCESS) return INVALID_HANDLE_VALUE;
        // Where a junction on the way leads; its list is what it inherits.
        const std::string made = M().LongForm(named);
        M().files.push_back({made, false, false, ""});
        M().SecurityOf(made) = sim::OnlyAdministrators();
        M().SecurityOf(made).owner = OwnerGiven(securityAttributes);
        return OpenedAs(made, access, shareMode, false);
    }
    if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) && IsJunction(named)) return OpenedAs(named, access, shareMode, true);
    if (M().FolderExists(named)) {
        if (!(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
            M().lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        return OpenedAs(M().LongForm(named), access, shareMode, false);
    }
    const sim::File* file = FindFile(named);
    if (!file) {
        M().lastError = M().FolderExists(ParentOf(named)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    // A running program's image may be read by anyone who shares reading.
    if (M().FileInUse(file->path) && !(shareMode & FILE_SHARE_READ)) {
        M().lastError = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    return OpenedAs(file->path, access, shareMode, false);
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped) {
    auto* info = M().Handle(handle, Kind::File);
    if (!info || overlapped || !bytesRead) return Fail(ERROR_INVALID_HANDLE);
    const sim::File* file = FindFile(info->path);
    if (!file) return Fail(ERROR_FILE_NOT_FOUND);
    std::size_t from = std::min(info->cursor, file->content.size());
    std::size_t count = std::min<std::size_t>(bytesToRead, file->content.size() - from);
    std::memcpy(buffer, file->content.data() + from, count);
    info->cursor = from + count;
    *bytesRead = static_cast<DWORD>(count);
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh) {
    auto* info = M().Handle(handle, Kind::File);
    const sim::File* file = info ? FindFile(info->path) : nullptr;
    if (!file) {
        M().lastError = ERROR_INVALID_HANDLE;
        return INVALID_FILE_SIZE;
    }
    if (sizeHigh) *sizeHigh = 0;
    return static_cast<DWORD>(file->content.size());
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void* overlapped) {
    auto* info = M().Handle(handle, Kind::File);
    M().Log("WriteFile " + (info ? info->path : std::string("<bad handle>")) + " " + std::to_string(bytesToWrite));
    sim::File* file = info && (info->access & GENERIC_WRITE) ? FindFile(info->path) : nullptr;
    if (!file || overlapped || !bytesWritten) return Fail(ERROR_ACCESS_DENIED);
    file->content.replace(info->cursor, bytesToWrite, static_cast<const char*>(buffer), bytesToWrite);
    info->cursor += bytesToWrite;
    *bytesWritten = bytesToWrite;
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
    auto* info = M().Handle(handle, Kind::File);
    if (!info) return Fail(ERROR_INVALID_HANDLE);
    const sim::File* file = info->reparse ? nullptr : FindFile(info->path);
    *information = {};
    information->dwFileAttributes = !file ? FILE_ATTRIBUTE_DIRECTORY | (info->reparse ? FILE_ATTRIBUTE_REPARSE_POINT : 0)
                                          : FILE_ATTRIBUTE_ARCHIVE | (file->readOnly ? FILE_ATTRIBUTE_READONLY : 0) |
                                                (file->encrypted ? FILE_ATTRIBUTE_ENCRYPTED : 0);
    information->nNumberOfLinks = file ? file->links : 1;
    return TRUE;
}

// "folder\*": ".", "..", then what the folder holds, a junction as itself.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* found) {
    std::string folder = Str(pattern);
    M().Log("FindFirstFileA " + folder);
    if (folder.size() < 2 || folder.compare(folder.size() - 2, 2, "\\*") != 0)
        M().misuse.push_back("FindFirstFileA other than of a whole folder");
    folder = M().LongForm(folder.substr(0, folder.size() - 2));
    if (!M().FolderExists(folder)) {
        M().lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names = {".", ".."};
    auto add = [&](const std::string& path) {
        if (sim::SameNoCase(ParentOf(path), folder)) names.push_back(path.substr(folder.size() + 1));
    };
    for (const std::string& f : M().folders) add(f);
    for (const sim::File& f : M().files) add(f.path);
    for (const auto& [junction, target] : M().junctions) add(junction);
    void* handle = M().NewHandle(Kind::Find, "find " + folder);
    M().Handle(handle, Kind::Find)->entries = names;
    FindNextFileA(static_cast<HANDLE>(handle), found);
    return static_cast<HANDLE>(handle);
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* found) {
    auto* info = M().Handle(find, Kind::Find);
    if (!info) return Fail(ERROR_INVALID_HANDLE);
    if (info->cursor >= info->entries.size()) return Fail(18);  // ERROR_NO_MORE_FILES
    *found = {};
    std::strncpy(found->cFileName, info->entries[info->cursor++].c_str(), sizeof(found->cFileName) - 1);
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    M().Log("FindClose");
    return M().CloseHandleOf(find, Kind::Find);
}

// A rename within one drive: a junction itself, or a file or folder with all
// it holds.
BOOL MoveFileExA(const char* existingPath, const char* newPath, DWORD flags) {
    const std::string from = Str(existingPath), to = Str(newPath);
    M().Log("MoveFileExA " + from + " " + to + " " + std::to_string(flags));
    if (NameTaken(to)) return Fail(ERROR_ALREADY_EXISTS);
    if (!M().FolderExists(ParentOf(to))) return Fail(ERROR_PATH_NOT_FOUND);
    auto& junctions = M().junctions;
    auto junction = std::find_if(junctions.begin(), junctions.end(),
                                 [&](const auto& j) { return sim::SameNoCase(j.first, from); });
    if (junction != junctions.end()) {
        junctions[to] = junction->second;
        junctions.erase(junction);
        return TRUE;
    }
    const std::string full = M().LongForm(from);
    bool folder = M().FolderExists(full);
    if (!folder && !FindFile(full)) return Fail(ERROR_FILE_NOT_FOUND);
    if (M().HeldWithoutDeleteSharing(full)) return Fail(ERROR_SHARING_VIOLATION);
    auto moves = [&](const std::string& path) { return sim::SameNoCase(path, full) || Below({full}, path); };
    // Windows renames no folder while anything below it is open.
    for (const sim::File& f : M().files)
        if (folder && moves(f.path) && M().FileInUse(f.path)) return Fail(ERROR_ACCESS_DENIED);
    if (folder && M().OpenBelow(full)) return Fail(ERROR_ACCESS_DENIED);
    auto moved = [&](const std::string& path) { return moves(path) ? to + path.substr(full.size()) : path; };
    for (std::string& f : M().folders) f = moved(f);
    for (sim::File& f : M().files) f.path = moved(f.path);
    std::map<std::string, sim::Security> security;
    for (auto& [path, found] : M().security) security[moved(path)] = found;
    M().security = security;
    return TRUE;
}

BOOL GetVolumeInformationA(const char* root, char*, DWORD, DWORD*, DWORD*, DWORD* flags, char*, DWORD) {
    M().Log("GetVolumeInformationA " + Str(root));
    if (Str(root).size() != 3 || Str(root).substr(1) != ":\\") return Fail(123);  // ERROR_INVALID_NAME
    if (flags) *flags = M().fileSystem == "NTFS" ? 0x700FF : 0x6;  // ACLs (0x8) only on NTFS
    return TRUE;
}

BOOL EqualSid(PSID a, PSID b) { return SidLength(a) == SidLength(b) && std::memcmp(a, b, SidLength(a)) == 0; }

// One block, as Windows returns it: the descriptor, then the owner's SID,
// then the list.
DWORD GetSecurityInfo(HANDLE handle, int objectType, DWORD information, PSID* owner, PSID* group, ACL** dacl,
                      ACL** sacl, void** descriptor) {
    auto* held = M().Handle(handle, Kind::File);
    M().Log("GetSecurityInfo " + (held ? held->path : std::string("<bad handle>")) + " " + std::to_string(information));
    if (objectType != SE_FILE_OBJECT || group || sacl) M().misuse.push_back("GetSecurityInfo beyond owner and list");
    if (!held) return ERROR_INVALID_HANDLE;
    if (!(held->access & READ_CONTROL)) return ERROR_ACCESS_DENIED;
    // A junction's own descriptor, which tests leave at the default.
    sim::Security found = held->reparse ? sim::OnlyAdministrators() : M().SecurityOf(held->path);
    if (M().fileSystem != "NTFS") found = {"S-1-1-0", {}, false, true};
    const std::string path = held->path;
    std::vector<unsigned char> ownerSid = SidBytes(found.owner);
    std::size_t listBytes = sizeof(ACL);
    for (const sim::AccessEntry& entry : found.entries) listBytes += 8 + SidBytes(entry.sid).size();
    std::size_t listAt = sizeof(SECURITY_DESCRIPTOR) + ownerSid.size();
    listAt = (listAt + 3) & ~std::size_t{3};
    auto* block = static_cast<unsigned char*>(M().NewMemory(listAt + listBytes, "security descriptor " + path));
    auto* made = reinterpret_cast<SECURITY_DESCRIPTOR*>(block);
    made->Revision = 1;
    made->Owner = block + sizeof(SECURITY_DESCRIPTOR);
    std::memcpy(made->Owner, ownerSid.data(), ownerSid.size());
    ACL* list = reinterpret_cast<ACL*>(block + listAt);
    *list = {ACL_REVISION, 0, static_cast<WORD>(listBytes), static_cast<WORD>(found.entries.size()), 0};
    unsigned char* at = block + listAt + sizeof(ACL);
    for (const sim::AccessEntry& entry : found.entries) {
        std::vector<unsigned char> sid = SidBytes(entry.sid);
        auto* written = reinterpret_cast<ACCESS_ALLOWED_ACE*>(at);
        written->Header = {entry.type, entry.flags, static_cast<WORD>(8 + sid.size())};
        written->Mask = entry.mask;
        std::memcpy(&written->SidStart, sid.data(), sid.size());
        at += 8 + sid.size();
    }
    made->Dacl = found.noList ? nullptr : list;
    if (owner) *owner = (information & OWNER_SECURITY_INFORMATION) ? made->Owner : nullptr;
    if (dacl) *dacl = (information & DACL_SECURITY_INFORMATION) ? made->Dacl : nullptr;
    *descriptor = block;
    return ERROR_SUCCESS;
}

void* LocalFree(void* memory) {
    if (!memory) return nullptr;
    return M().CloseHandleOf(memory, Kind::Memory) ? nullptr : memory;
}

}  // namespace win
