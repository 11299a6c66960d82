// kernel32 file reading, writing, listing and moving, and resource access,
// behind the process, shell and file seam. Forwards only. Apart from the other
// kernel32 forwards because only Kestane uses them: it holds the guard program
// it ships with as a resource, writes the installed copy from it into a folder
// it checks, and moves a folder it will not use aside.
#include <windows.h>

#include <cstddef>

#include "../process_shell.h"

namespace {
::HANDLE H(win::HANDLE h) { return reinterpret_cast<::HANDLE>(h); }
win::HANDLE H(::HANDLE h) { return reinterpret_cast<win::HANDLE>(h); }
::HMODULE M(win::HINSTANCE m) { return reinterpret_cast<::HMODULE>(m); }
::HRSRC R(win::HRSRC r) { return reinterpret_cast<::HRSRC>(r); }
static_assert(sizeof(win::BY_HANDLE_FILE_INFORMATION) == sizeof(::BY_HANDLE_FILE_INFORMATION), "file information");
static_assert(offsetof(win::BY_HANDLE_FILE_INFORMATION, nNumberOfLinks) ==
                  offsetof(::BY_HANDLE_FILE_INFORMATION, nNumberOfLinks),
              "link count");
static_assert(sizeof(win::WIN32_FIND_DATAA) == sizeof(::WIN32_FIND_DATAA), "find data");
static_assert(offsetof(win::WIN32_FIND_DATAA, cFileName) == offsetof(::WIN32_FIND_DATAA, cFileName), "file name");
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
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void* overlapped) {
    return ::WriteFile(H(file), buffer, bytesToWrite, reinterpret_cast<LPDWORD>(bytesWritten),
                       static_cast<LPOVERLAPPED>(overlapped));
}
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
    return ::GetFileInformationByHandle(H(file), reinterpret_cast<::LPBY_HANDLE_FILE_INFORMATION>(information));
}
BOOL GetVolumeInformationA(const char* rootPath, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                           DWORD* maximumComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                           DWORD fileSystemNameSize) {
    return ::GetVolumeInformationA(rootPath, volumeName, volumeNameSize, reinterpret_cast<LPDWORD>(serialNumber),
                                   reinterpret_cast<LPDWORD>(maximumComponentLength),
                                   reinterpret_cast<LPDWORD>(fileSystemFlags), fileSystemName, fileSystemNameSize);
}
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* found) {
    return H(::FindFirstFileA(pattern, reinterpret_cast<::LPWIN32_FIND_DATAA>(found)));
}
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* found) {
    return ::FindNextFileA(H(find), reinterpret_cast<::LPWIN32_FIND_DATAA>(found));
}
BOOL FindClose(HANDLE find) { return ::FindClose(H(find)); }
BOOL MoveFileExA(const char* existingPath, const char* newPath, DWORD flags) {
    return ::MoveFileExA(existingPath, newPath, flags);
}
HRSRC FindResourceA(HINSTANCE module, const char* name, const char* type) {
    return reinterpret_cast<HRSRC>(::FindResourceA(M(module), name, type));
}
HGLOBAL LoadResource(HINSTANCE module, HRSRC resource) {
    return reinterpret_cast<HGLOBAL>(::LoadResource(M(module), R(resource)));
}
const void* LockResource(HGLOBAL data) { return ::LockResource(reinterpret_cast<::HGLOBAL>(data)); }
DWORD SizeofResource(HINSTANCE module, HRSRC resource) { return ::SizeofResource(M(module), R(resource)); }

}  // namespace win
