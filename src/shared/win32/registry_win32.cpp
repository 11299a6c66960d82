// advapi32's registry behind the process, shell and file seam. Forwards only.
#include <windows.h>

#include "../process_shell.h"

namespace {
::HKEY K(win::HKEY h) { return reinterpret_cast<::HKEY>(h); }
}  // namespace

namespace win {

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, DWORD access, HKEY* result) {
    return ::RegOpenKeyExA(K(key), subKey, options, access, reinterpret_cast<::HKEY*>(result));
}
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, unsigned char* data,
                      DWORD* size) {
    return ::RegQueryValueExA(K(key), valueName, reinterpret_cast<::LPDWORD>(reserved),
                              reinterpret_cast<::LPDWORD>(type), data, reinterpret_cast<::LPDWORD>(size));
}
LONG RegCloseKey(HKEY key) { return ::RegCloseKey(K(key)); }

}  // namespace win
