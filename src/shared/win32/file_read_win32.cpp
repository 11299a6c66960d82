// kernel32 file reading and resource access behind the process, shell and
// file seam. Forwards only. Apart from the other kernel32 forwards because
// only Kestane uses them: it holds the guard program it ships with as a
// resource and compares the installed copy with it.
#include <windows.h>

#include "../process_shell.h"

namespace {
::HANDLE H(win::HANDLE h) { return reinterpret_cast<::HANDLE>(h); }
win::HANDLE H(::HANDLE h) { return reinterpret_cast<win::HANDLE>(h); }
::HMODULE M(win::HINSTANCE m) { return reinterpret_cast<::HMODULE>(m); }
::HRSRC R(win::HRSRC r) { return reinterpret_cast<::HRSRC>(r); }
}  // namespace

namespace win {

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* securityAttributes, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    return H(::CreateFileA(path, access, shareMode, static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes),
                           disposition, flags, H(templateFile)));
}
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped) {
    return ::ReadFile(H(file), buffer, bytesToRead, reinterpret_cast<LPDWORD>(bytesRead),
                      static_cast<LPOVERLAPPED>(overlapped));
}
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) { return ::GetFileSize(H(file), reinterpret_cast<LPDWORD>(sizeHigh)); }
HRSRC FindResourceA(HINSTANCE module, const char* name, const char* type) {
    return reinterpret_cast<HRSRC>(::FindResourceA(M(module), name, type));
}
HGLOBAL LoadResource(HINSTANCE module, HRSRC resource) {
    return reinterpret_cast<HGLOBAL>(::LoadResource(M(module), R(resource)));
}
const void* LockResource(HGLOBAL data) { return ::LockResource(reinterpret_cast<::HGLOBAL>(data)); }
DWORD SizeofResource(HINSTANCE module, HRSRC resource) { return ::SizeofResource(M(module), R(resource)); }

}  // namespace win
