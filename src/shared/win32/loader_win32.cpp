// kernel32's loader and the system's own folders behind the process, shell
// and file seam. Forwards only.
#include <windows.h>

#include "../process_shell.h"

namespace {
::HMODULE M(win::HINSTANCE h) { return reinterpret_cast<::HMODULE>(h); }
win::HINSTANCE M(::HMODULE h) { return reinterpret_cast<win::HINSTANCE>(h); }
}  // namespace

namespace win {

UINT GetWindowsDirectoryA(char* buffer, UINT size) { return ::GetWindowsDirectoryA(buffer, size); }
HINSTANCE GetModuleHandleA(const char* moduleName) { return M(::GetModuleHandleA(moduleName)); }
FARPROC GetProcAddress(HINSTANCE module, const char* procName) {
    return reinterpret_cast<FARPROC>(::GetProcAddress(M(module), procName));
}
HINSTANCE LoadLibraryExA(const char* path, HANDLE file, DWORD flags) {
    return M(::LoadLibraryExA(path, reinterpret_cast<::HANDLE>(file), flags));
}
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(::GetCurrentProcess()); }
bool ProgramIs64Bit() { return sizeof(void*) == 8; }

}  // namespace win
