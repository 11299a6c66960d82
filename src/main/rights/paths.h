// Building paths in MAX_PATH buffers without ever truncating one, and without
// ever building one from a folder that could not be determined.
#pragma once

#include <string>

// Path of a special folder (CSIDL value) of the current user; false when the
// shell cannot tell it or tells an empty path.
bool GetSpecialFolder(int csidl, std::string& folder);

// folder + "\" + tail, when the result with its terminating zero fits in
// MAX_PATH bytes and the folder is not empty; false otherwise. Bytes of the
// process's code page: the folder as Windows gave it, the tail converted
// already (main/code_page.h).
bool JoinFolderPath(const std::string& folder, const char* tail, std::string& path);

// The system folder as this program names it (a 32-bit program on 64-bit
// Windows is told System32 too); false when Windows cannot tell it.
bool SystemFolder(std::string& folder);

// The Windows folder; false when Windows cannot tell it.
bool WindowsFolder(std::string& folder);

// Full path of a program in the system folder, e.g. "taskkill.exe"; false when
// the system folder cannot be determined or the path would not fit.
bool SystemProgramPath(const char* program, std::string& path);

// Folder that holds the running program's own executable (no trailing
// backslash); false when it cannot be determined.
bool ModuleFolder(std::string& folder);
