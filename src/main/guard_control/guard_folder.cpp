#include "guard_folder.h"

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "shared/win_defs.h"
#include "main/rights/admin_folder.h"
#include "main/main_state.h"
#include "main/texts.h"

using namespace win;

namespace {

constexpr char kGuardProgram[] = "Velmora.exe";
constexpr char kMovedAside[] = ".moved-";  // Tollvard.moved-1, Tollvard.moved-2, ...
constexpr int kMovedAsideNames = 99;

// The folder or file itself (rights/admin_folder.h), shared for reading
// only: while it is held nobody can rename, delete or write it, and the open
// fails while somebody holds it open to do so. Windows weighs sharing only
// between opens that ask for data or deletion, so a folder is held by
// listing it: asked for its attributes and list alone, it would stand in
// nobody's way.
constexpr DWORD kHoldFolder = FILE_LIST_DIRECTORY;
HANDLE OpenHeld(const std::string& path, DWORD access) { return OpenItself(path, access, FILE_SHARE_READ); }

// What Kestane makes: a folder, or a file of one name only; neither a
// reparse point nor encrypted (SYSTEM could not read what it is given then).
bool IsPlain(HANDLE item, bool folder) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(item, &info)) return false;
    bool isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return isFolder == folder && !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ENCRYPTED)) &&
           (folder || info.nNumberOfLinks == 1);
}

// Nothing in the folder but Velmora.exe, once at most: a name beyond the
// code page may read as that name too.
bool HoldsOnlyTheCopy(const GuardCopy& copy) {
    WIN32_FIND_DATAA entry = {};
    HANDLE find = FindFirstFileA((copy.folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    int copies = 0;
    bool other = false;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (grid::SameImageName(entry.cFileName, kGuardProgram))
            ++copies;
        else
            other = true;
    } while (!other && FindNextFileA(find, &entry));
    FindClose(find);
    return !other && copies <= 1;
}

// The Velmora.exe of a found folder: none, or a plain file that only
// administrators can change, checked and read through one handle.
bool CopyIsSound(const GuardCopy& copy, bool* ours) {
    HANDLE file = OpenHeld(copy.program, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool sound = IsPlain(file, false) && OnlyAdministratorsChange(file);
    *ours = sound && IsOurGuardProgram(file);
    CloseHandle(file);
    return sound;
}

// Exactly what OpenGuardFolder makes, looked at in this order: what the
// handle holds, then what lies in it.
bool IsExactlyOurs(HANDLE folder, const GuardCopy& copy, bool* copyIsOurs) {
    return IsPlain(folder, true) && OnlyAdministratorsChange(folder) && HoldsOnlyTheCopy(copy) &&
           CopyIsSound(copy, copyIsOurs);
}

// Renames whatever is there, a junction or link itself and not its target,
// to the first free name beside it.
bool MoveAside(const std::string& folder, DWORD& error) {
    for (int n = 1; n <= kMovedAsideNames; ++n) {
        const std::string aside = folder + kMovedAside + std::to_string(n);
        if (MoveFileExA(folder.c_str(), aside.c_str(), 0)) return true;
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

HANDLE Refuse(std::string& refusal, DWORD error) {
    refusal = WithErrorCode(text::kGuardFolderNotMade, error);
    return INVALID_HANDLE_VALUE;
}

// Whether the drive of the folder keeps access lists; a drive that cannot be
// asked is taken as one that does not.
bool DriveKeepsAccessLists(const GuardCopy& copy, std::string& refusal) {
    const std::string root = copy.folder.substr(0, 3);  // "C:\"
    DWORD flags = 0;
    if (!GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
        refusal = WithErrorCode(text::kGuardFolderNotMade, GetLastError());
        return false;
    }
    if (flags & FILE_PERSISTENT_ACLS) return true;
    refusal = text::kGuardNoAccessLists;
    return false;
}

// A folder made just now: only administrators could have touched it since.
HANDLE HoldMade(const GuardCopy& copy, std::string& refusal) {
    HANDLE folder = OpenHeld(copy.folder, kHoldFolder);
    return folder != INVALID_HANDLE_VALUE ? folder : Refuse(refusal, GetLastError());
}

}  // namespace

HANDLE OpenGuardFolder(const GuardCopy& copy, bool* copyIsOurs, std::string& refusal) {
    *copyIsOurs = false;

    // 1. On a drive that keeps no access lists (FAT32, possible on XP) no
    // folder can be only the administrators': nothing is made there, and
    // nothing found there is moved aside, press after press.
    if (!DriveKeepsAccessLists(copy, refusal)) return INVALID_HANDLE_VALUE;

    // 2. A new folder gets owner and list as it is made, and inherits nothing.
    if (CreateAdminOnlyFolder(copy.folder)) return HoldMade(copy, refusal);
    DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) return Refuse(refusal, error);

    // 3. One that is there already (another tool's, one that Power Users made
    // on XP, a junction) is used only when it is exactly what we make. Held
    // from the first look on, it stays the folder that was looked at.
    HANDLE found = OpenHeld(copy.folder, kHoldFolder);
    if (found != INVALID_HANDLE_VALUE && IsExactlyOurs(found, copy, copyIsOurs)) return found;
    *copyIsOurs = false;
    // A rename needs the sharing of deletion that our own handle denies.
    if (found != INVALID_HANDLE_VALUE) CloseHandle(found);

    // 4. Anything else is moved aside, with all it holds and whatever is
    // still open in it, and the folder is made anew.
    if (!MoveAside(copy.folder, error)) return Refuse(refusal, error);
    if (!CreateAdminOnlyFolder(copy.folder)) return Refuse(refusal, GetLastError());
    return HoldMade(copy, refusal);
}

bool GuardFolderHoldsSoundCopy(const GuardCopy& copy) {
    HANDLE folder = OpenHeld(copy.folder, kHoldFolder);
    if (folder == INVALID_HANDLE_VALUE) return false;
    bool ours = false;
    // Held, the folder that passed is the one the copy lies in.
    bool sound =
        IsExactlyOurs(folder, copy, &ours) && GetFileAttributesA(copy.program.c_str()) != INVALID_FILE_ATTRIBUTES;
    CloseHandle(folder);
    return sound;
}

HANDLE HoldGuardFolder(const GuardCopy& copy, bool* plain) {
    HANDLE folder = OpenHeld(copy.folder, kHoldFolder);
    *plain = folder != INVALID_HANDLE_VALUE && IsPlain(folder, true);
    return folder;
}
