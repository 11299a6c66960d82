// advapi32's file security behind the process, shell and file seam, and
// kernel32's LocalFree for what it returns. Forwards only. Kestane only: the
// guard's folder under Program Files and the copy in it are checked by it.
#include <windows.h>
#include <aclapi.h>

#include <cstddef>

#include "../process_shell.h"

namespace {
::PACL* A(win::ACL** a) { return reinterpret_cast<::PACL*>(a); }
static_assert(sizeof(win::SECURITY_DESCRIPTOR) == sizeof(::SECURITY_DESCRIPTOR), "SECURITY_DESCRIPTOR layout");
static_assert(offsetof(win::SECURITY_DESCRIPTOR, Dacl) == offsetof(::SECURITY_DESCRIPTOR, Dacl), "Dacl");
static_assert(sizeof(win::SECURITY_ATTRIBUTES) == sizeof(::SECURITY_ATTRIBUTES), "SECURITY_ATTRIBUTES layout");
static_assert(sizeof(win::ACL) == sizeof(::ACL), "ACL layout");
static_assert(offsetof(win::ACCESS_ALLOWED_ACE, SidStart) == offsetof(::ACCESS_ALLOWED_ACE, SidStart), "SidStart");
}  // namespace

namespace win {

BOOL EqualSid(PSID a, PSID b) { return ::EqualSid(a, b); }
DWORD GetSecurityInfo(HANDLE handle, int objectType, DWORD information, PSID* owner, PSID* group, ACL** dacl,
                      ACL** sacl, void** descriptor) {
    return ::GetSecurityInfo(reinterpret_cast<::HANDLE>(handle), static_cast<::SE_OBJECT_TYPE>(objectType),
                             information, owner, group, A(dacl), A(sacl), descriptor);
}
void* LocalFree(void* memory) { return ::LocalFree(memory); }

}  // namespace win
