// kernel32 behind the process, shell and file seam. Forwards only.
#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>

#include "../process_shell.h"

namespace {
::HANDLE H(win::HANDLE h) { return reinterpret_cast<::HANDLE>(h); }
win::HANDLE H(::HANDLE h) { return reinterpret_cast<win::HANDLE>(h); }
::LPPROCESSENTRY32 Entry(win::PROCESSENTRY32* e) { return reinterpret_cast<::LPPROCESSENTRY32>(e); }
static_assert(sizeof(win::PROCESSENTRY32) == sizeof(::PROCESSENTRY32), "PROCESSENTRY32 layout");
static_assert(offsetof(win::PROCESSENTRY32, th32ProcessID) == offsetof(::PROCESSENTRY32, th32ProcessID), "pid");
static_assert(offsetof(win::PROCESSENTRY32, szExeFile) == offsetof(::PROCESSENTRY32, szExeFile), "exe");
static_assert(sizeof(win::WCHAR) == sizeof(::WCHAR), "UTF-16 code unit");
}  // namespace

namespace win {

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    return H(::CreateToolhelp32Snapshot(flags, processId));
}
BOOL Process32First(HANDLE snapshot, PROCESSENTRY32* entry) { return ::Process32First(H(snapshot), Entry(entry)); }
BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32* entry) { return ::Process32Next(H(snapshot), Entry(entry)); }
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId) {
    return H(::OpenProcess(access, inheritHandle, processId));
}
BOOL TerminateProcess(HANDLE process, UINT exitCode) { return ::TerminateProcess(H(process), exitCode); }
BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(H(handle)); }
DWORD GetLastError() { return ::GetLastError(); }

HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name) {
    return H(::CreateEventA(static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes), manualReset, initialState, name));
}
BOOL SetEvent(HANDLE event) { return ::SetEvent(H(event)); }
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return ::WaitForSingleObject(H(handle), milliseconds); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

BOOL DeleteFileA(const char* path) { return ::DeleteFileA(path); }
BOOL SetFileAttributesA(const char* path, DWORD attributes) { return ::SetFileAttributesA(path, attributes); }
BOOL CreateDirectoryA(const char* path, void* securityAttributes) {
    return ::CreateDirectoryA(path, static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes));
}
BOOL RemoveDirectoryA(const char* path) { return ::RemoveDirectoryA(path); }
DWORD GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }
DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer) { return ::GetCurrentDirectoryA(bufferLength, buffer); }
BOOL SetCurrentDirectoryA(const char* path) { return ::SetCurrentDirectoryA(path); }
DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD size) {
    return ::GetModuleFileNameA(reinterpret_cast<::HMODULE>(module), buffer, size);
}
UINT GetSystemDirectoryA(char* buffer, UINT size) { return ::GetSystemDirectoryA(buffer, size); }

UINT GetACP() { return ::GetACP(); }
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, WCHAR* wide, int wideLength) {
    return ::MultiByteToWideChar(codePage, flags, text, length, reinterpret_cast<LPWSTR>(wide), wideLength);
}
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* wide, int wideLength, char* text, int length,
                        const char* defaultChar, BOOL* usedDefaultChar) {
    return ::WideCharToMultiByte(codePage, flags, reinterpret_cast<LPCWSTR>(wide), wideLength, text, length,
                                 defaultChar, usedDefaultChar);
}
UINT GetConsoleOutputCP() { return ::GetConsoleOutputCP(); }
BOOL SetConsoleOutputCP(UINT codePage) { return ::SetConsoleOutputCP(codePage); }

}  // namespace win
