// The process, shell and file seam: kernel32 and shell32 operations in their
// narrow forms, plus the events and waits of the guard. Windows builds forward
// each call; the unit tests link a simulated machine instead.
#pragma once

#include "win_types.h"

namespace win {

// Processes
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL Process32First(HANDLE snapshot, PROCESSENTRY32* entry);
BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32* entry);
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();
// Starts a program with this process's own token, which impersonation does
// not change. CreateProcessWithTokenW, for another token, is found at run
// time: XP lacks it.
BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes, void* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, void* environment, const char* currentDirectory,
                    STARTUPINFOA* startupInfo, PROCESS_INFORMATION* processInformation);

// Tokens and impersonation (advapi32)
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
BOOL DuplicateTokenEx(HANDLE token, DWORD access, void* attributes, int impersonationLevel, int tokenType,
                      HANDLE* newToken);
BOOL GetTokenInformation(HANDLE token, int informationClass, void* information, DWORD length, DWORD* returnLength);
BOOL IsTokenRestricted(HANDLE token);
BOOL ImpersonateLoggedOnUser(HANDLE token);
BOOL RevertToSelf();

// Events, waits and the clock
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
void Sleep(DWORD milliseconds);

// Shell folders
BOOL SHGetSpecialFolderPathA(HWND owner, char* path, int csidl, BOOL create);
// A folder of the user whose token is given (null: this process's user).
// Returns an HRESULT: 0 (S_OK) when the path was filled.
LONG SHGetFolderPathA(HWND owner, int csidl, HANDLE token, DWORD flags, char* path);

// Files and folders
BOOL DeleteFileA(const char* path);
BOOL SetFileAttributesA(const char* path, DWORD attributes);
BOOL CreateDirectoryA(const char* path, void* securityAttributes);
BOOL RemoveDirectoryA(const char* path);
DWORD GetFileAttributesA(const char* path);
DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer);
BOOL SetCurrentDirectoryA(const char* path);
DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD size);
UINT GetSystemDirectoryA(char* buffer, UINT size);
UINT GetWindowsDirectoryA(char* buffer, UINT size);

// Loader. Exports that older Windows lack are found at run time.
HINSTANCE GetModuleHandleA(const char* moduleName);
FARPROC GetProcAddress(HINSTANCE module, const char* procName);
HINSTANCE LoadLibraryExA(const char* path, HANDLE file, DWORD flags);
HANDLE GetCurrentProcess();
// Whether this program is the 64-bit build. Fixed when it is compiled, and
// asked here so that the simulated machine can run either build.
bool ProgramIs64Bit();

// Registry, read only
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD access, HKEY* result);
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, unsigned char* data,
                      DWORD* size);
LONG RegCloseKey(HKEY key);

// Reading and writing a file, and the program's own resources (Kestane only:
// file_read_win32.cpp)
HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* securityAttributes, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void* overlapped);
// Attributes and link count of what the handle holds open.
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
// The file system of the drive whose root is given ("C:\"): its flags tell
// whether it keeps access lists.
BOOL GetVolumeInformationA(const char* rootPath, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                           DWORD* maximumComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                           DWORD fileSystemNameSize);
// A folder's entries ("folder\*"); the handle is closed with FindClose.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* found);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* found);
BOOL FindClose(HANDLE find);
// Renames a file or folder; a junction or link is renamed itself.
BOOL MoveFileExA(const char* existingPath, const char* newPath, DWORD flags);
HRSRC FindResourceA(HINSTANCE module, const char* name, const char* type);
HGLOBAL LoadResource(HINSTANCE module, HRSRC resource);
const void* LockResource(HGLOBAL data);
DWORD SizeofResource(HINSTANCE module, HRSRC resource);

// File security (Kestane only: file_security_win32.cpp). All of it is in
// Windows XP's advapi32 and kernel32.
BOOL EqualSid(PSID a, PSID b);
// Owner and list of what the handle holds open (READ_CONTROL), not of what a
// path may lead to by then. Returns an error code, ERROR_SUCCESS when it
// succeeds; the descriptor holds owner and list, and is freed with LocalFree.
DWORD GetSecurityInfo(HANDLE handle, int objectType, DWORD information, PSID* owner, PSID* group, ACL** dacl,
                      ACL** sacl, void** descriptor);
void* LocalFree(void* memory);

// Code pages and the console. The process's ANSI code page is the one every
// narrow call above reads and writes its texts in.
UINT GetACP();
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, WCHAR* wide, int wideLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int wideLength, char* text, int length,
                        const char* defaultChar, BOOL* usedDefaultChar);
// 0 without a console.
UINT GetConsoleOutputCP();
BOOL SetConsoleOutputCP(UINT codePage);

// Starts that Kestane makes for the desktop user and for itself: waiting for
// what it started, and the privilege that opens another account's shell.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD length,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength);

}  // namespace win
