#include "guard_copy.h"

#include <algorithm>
#include <cstring>

#include "../shared/catalogue.h"
#include "../shared/process_shell.h"
#include "../shared/win_defs.h"
#include "guard_folder.h"
#include "paths.h"
#include "resource_ids.h"
#include "texts.h"

using namespace win;

namespace {

constexpr char kGuardProgram[] = "Velmora.exe";
constexpr char kGuardFolder[] = "Tollvard";  // under Program Files

std::string LongPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    DWORD length = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? path : std::string(buffer, length);
}

// Folders compared as Windows compares names: without case, and in their
// long form, since a program started as C:\PROGRA~1\... is told that spelling.
bool SameFolder(const std::string& a, const std::string& b) {
    return grid::LowerImageName(LongPath(a).c_str()) == grid::LowerImageName(LongPath(b).c_str());
}

// The Velmora.exe built with us, from our own resources; empty when missing.
struct Bytes {
    const char* data = nullptr;
    DWORD size = 0;
};
Bytes OurGuardProgram() {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_GUARD_PROGRAM), RT_RCDATA);
    if (!resource) return {};
    DWORD size = SizeofResource(nullptr, resource);
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data || size == 0) return {};
    return {static_cast<const char*>(data), size};
}

// True when the file holds exactly our Velmora.exe: the same size, the same
// bytes, and nothing after them.
bool IsOurGuardProgram(const std::string& path) {
    Bytes ours = OurGuardProgram();
    if (!ours.data) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;

    DWORD high = 0;
    bool same = GetFileSize(file, &high) == ours.size && high == 0;
    char chunk[4096];
    for (DWORD offset = 0; same && offset < ours.size;) {
        DWORD wanted = std::min<DWORD>(sizeof(chunk), ours.size - offset);
        DWORD got = 0;
        same = ReadFile(file, chunk, wanted, &got, nullptr) && got == wanted &&
               std::memcmp(chunk, ours.data + offset, got) == 0;
        offset += got;
    }
    DWORD beyond = 0;
    same = same && ReadFile(file, chunk, 1, &beyond, nullptr) && beyond == 0;
    CloseHandle(file);
    return same;
}

// Copies Velmora.exe from beside us into the guard's folder, over an older copy.
bool CopyGuardProgram(const GuardCopy& copy, std::string& refusal) {
    std::string source;
    if (!FindGuardProgramBesideUs(source)) {
        refusal = text::kGuardProgramMissing;
        RemoveDirectoryA(copy.folder.c_str());  // only when it is empty
        return false;
    }
    if (!CopyFileA(source.c_str(), copy.program.c_str(), FALSE)) {
        DWORD error = GetLastError();
        // The old copy is still the image of a guard on its way out.
        refusal = error == ERROR_SHARING_VIOLATION ? std::string(text::kGuardBeingRemoved)
                                                   : WithErrorCode(text::kGuardNotCopied, error);
        RemoveDirectoryA(copy.folder.c_str());  // only when it is empty
        return false;
    }
    // A read-only Velmora.exe (from a CD or an archive) gives a read-only copy
    // that no later removal or install could replace.
    SetFileAttributesA(copy.program.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

}  // namespace

bool FindGuardProgramBesideUs(std::string& path) {
    std::string ownFolder;
    return ModuleFolder(ownFolder) && JoinFolderPath(ownFolder, kGuardProgram, path) &&
           GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool LocateGuardCopy(GuardCopy& copy, std::string& refusal) {
    std::string programFiles;
    if (!GetSpecialFolder(CSIDL_PROGRAM_FILES, programFiles)) {
        refusal = text::kGuardFolderUnknown;
        return false;
    }
    if (!JoinFolderPath(programFiles, kGuardFolder, copy.folder) ||
        !JoinFolderPath(copy.folder, kGuardProgram, copy.program) || copy.program.size() + 3 > MAX_PATH) {
        refusal = text::kGuardPathTooLong;
        return false;
    }
    std::string ownFolder;
    copy.ownFolder = ModuleFolder(ownFolder) && SameFolder(ownFolder, copy.folder);
    return true;
}

bool PlaceGuardCopy(const GuardCopy& copy, std::string& refusal) {
    // The folder first: what lies in it is no safer than its access list.
    if (!ProtectGuardFolder(copy, refusal)) return false;
    if (IsOurGuardProgram(copy.program)) return true;

    // Beside us the file is in a folder the user may write to: what we copied
    // is checked where it lies now, out of the user's reach, since the source
    // may have been changed between any look at it and the copy.
    if (!copy.ownFolder && !CopyGuardProgram(copy, refusal)) return false;
    if (IsOurGuardProgram(copy.program)) return true;

    bool present = GetFileAttributesA(copy.program.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (present) DeleteGuardCopy(copy);
    refusal = present ? text::kGuardProgramNotOurs : text::kGuardProgramMissing;
    return false;
}

bool DeleteGuardCopy(const GuardCopy& copy) {
    bool deleted = DeleteFileA(copy.program.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
                   GetLastError() == ERROR_PATH_NOT_FOUND;  // no folder, no copy
    RemoveDirectoryA(copy.folder.c_str());  // only when it is empty
    return deleted;
}

std::string QuotedGuardProgram(const GuardCopy& copy) { return "\"" + copy.program + "\""; }

std::string WithErrorCode(const char* message, DWORD error) {
    return std::string(message) + " (" + text::kErrorCode + " " + std::to_string(error) + ")";
}
