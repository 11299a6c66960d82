#include "guard_copy.h"

#include <algorithm>
#include <cstring>

#include "shared/process_shell.h"
#include "shared/win_defs.h"
#include "main/rights/admin_folder.h"
#include "guard_folder.h"
#include "main/main_state.h"
#include "main/rights/paths.h"
#include "main/resource_ids.h"
#include "main/texts.h"

using namespace win;

namespace {

constexpr char kGuardProgram[] = "Velmora.exe";
constexpr char kGuardFolder[] = "Tollvard";  // under Program Files

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

// Velmora.exe beside the running Kestane (not in the current directory:
// started from a shortcut, the two differ); false when there is none.
bool FindGuardProgramBesideUs(std::string& path) {
    std::string ownFolder;
    return ModuleFolder(ownFolder) && JoinFolderPath(ownFolder, kGuardProgram, path) &&
           GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsOurGuardProgramAt(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool same = IsOurGuardProgram(file);
    CloseHandle(file);
    return same;
}

bool Refuse(std::string& refusal, const std::string& message) {
    refusal = message;
    return false;
}

// Writes our Velmora.exe into the held folder as a new file, from our own
// bytes: nothing of the file the user unpacked (its encryption, streams,
// links or list) reaches what runs as LocalSystem. An older copy, which the
// folder's check found sound, goes first; what arrived is checked again.
bool WriteGuardProgram(const GuardCopy& copy, std::string& refusal) {
    // A read-only copy could not go otherwise.
    SetFileAttributesA(copy.program.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(copy.program.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        DWORD error = GetLastError();
        // The old copy is still the image of a guard on its way out.
        bool inUse = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
        return Refuse(refusal, inUse ? std::string(text::kGuardBeingRemoved)
                                     : WithErrorCode(text::kGuardNotCopied, error));
    }
    HANDLE file = CreateAdminOwnedFile(copy.program);
    if (file == INVALID_HANDLE_VALUE) return Refuse(refusal, WithErrorCode(text::kGuardNotCopied, GetLastError()));
    Bytes ours = OurGuardProgram();
    DWORD written = 0;
    bool complete = WriteFile(file, ours.data, ours.size, &written, nullptr) && written == ours.size;
    DWORD error = GetLastError();
    CloseHandle(file);
    if (complete && IsOurGuardProgramAt(copy.program)) return true;

    DeleteFileA(copy.program.c_str());
    return Refuse(refusal, complete ? std::string(text::kGuardProgramNotOurs)
                                    : WithErrorCode(text::kGuardNotCopied, error));
}

}  // namespace

bool IsOurGuardProgram(HANDLE file) {
    Bytes ours = OurGuardProgram();
    if (!ours.data) return false;
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
    return same && ReadFile(file, chunk, 1, &beyond, nullptr) && beyond == 0;
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
    return true;
}

bool CheckGuardProgramBesideUs(std::string& refusal) {
    // Missing or changed, the download is not what we came with.
    std::string beside;
    if (!FindGuardProgramBesideUs(beside)) return Refuse(refusal, text::kGuardProgramMissing);
    return IsOurGuardProgramAt(beside) || Refuse(refusal, text::kGuardProgramNotOurs);
}

bool PlaceGuardCopy(const GuardCopy& copy, std::string& refusal) {
    // 1. A folder that is only ours, held open until the copy is in place.
    bool copyIsOurs = false;
    HANDLE folder = OpenGuardFolder(copy, &copyIsOurs, refusal);
    if (folder == INVALID_HANDLE_VALUE) return false;

    // 2. Our copy in it, kept or written anew.
    bool placed = copyIsOurs || WriteGuardProgram(copy, refusal);
    CloseHandle(folder);
    if (!placed) RemoveDirectoryA(copy.folder.c_str());  // only when it is empty
    return placed;
}

bool DeleteGuardCopy(const GuardCopy& copy) {
    bool plain = false;
    HANDLE folder = HoldGuardFolder(copy, &plain);
    if (folder == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;  // no folder, no copy
    // What a junction in its place leads to is not ours.
    bool deleted = !plain || DeleteFileA(copy.program.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    CloseHandle(folder);
    if (plain) RemoveDirectoryA(copy.folder.c_str());  // only when it is empty
    return deleted;
}

std::string QuotedGuardProgram(const GuardCopy& copy) { return "\"" + copy.program + "\""; }
