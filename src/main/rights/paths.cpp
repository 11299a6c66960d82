#include "paths.h"

#include <algorithm>

#include "shared/process_shell.h"
#include "shared/win_defs.h"
#include "main/main_state.h"

using namespace win;

bool GetSpecialFolder(int csidl, std::string& folder) {
    char buffer[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE) || buffer[0] == '\0') return false;
    // A folder that fills the buffer may have been cut short, perhaps inside
    // a character (a Korean syllable takes three bytes in UTF-8); nothing
    // would fit below it anyway.
    std::size_t length = static_cast<std::size_t>(std::find(buffer, buffer + MAX_PATH, '\0') - buffer);
    if (length + 1 >= MAX_PATH) return false;
    folder.assign(buffer, length);
    return true;
}

bool JoinFolderPath(const std::string& folder, const char* tail, std::string& path) {
    if (folder.empty()) return false;
    std::string joined = folder + "\\" + tail;
    if (joined.size() + 1 > MAX_PATH) return false;
    path = joined;
    return true;
}

namespace {

// A folder that kernel32 writes into a caller's buffer; false when it did
// not fit or could not be had.
bool AskedFolder(UINT (*ask)(char*, UINT), std::string& folder) {
    char buffer[MAX_PATH] = {};
    UINT length = ask(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    folder.assign(buffer, length);
    return true;
}

}  // namespace

bool SystemFolder(std::string& folder) { return AskedFolder(GetSystemDirectoryA, folder); }

bool WindowsFolder(std::string& folder) { return AskedFolder(GetWindowsDirectoryA, folder); }

bool SystemProgramPath(const char* program, std::string& path) {
    std::string folder;
    return SystemFolder(folder) && JoinFolderPath(folder, program, path);
}

bool ModuleFolder(std::string& folder) {
    char buffer[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    // A full buffer means the name was cut short.
    if (length == 0 || length >= MAX_PATH) return false;
    std::string path(buffer, length);
    std::size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos || slash == 0) return false;
    folder = path.substr(0, slash);
    return true;
}
