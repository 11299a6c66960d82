// advapi32's file security behind the process, shell and file seam, and
// kernel32's LocalFree for what it returns. Forwards only. Kestane only: the
// guard's folder under Program Files is made and checked by it.
#include <windows.h>
#include <aclapi.h>

#include <cstddef>

#include "../process_shell.h"

namespace {
::PSECURITY_DESCRIPTOR D(win::SECURITY_DESCRIPTOR* d) { return d; }
::PACL A(win::ACL* a) { return reinterpret_cast<::PACL>(a); }
::PACL* A(win::ACL** a) { return reinterpret_cast<::PACL*>(a); }
static_assert(sizeof(win::SECURITY_DESCRIPTOR) == sizeof(::SECURITY_DESCRIPTOR), "SECURITY_DESCRIPTOR layout");
static_assert(offsetof(win::SECURITY_DESCRIPTOR, Dacl) == offsetof(::SECURITY_DESCRIPTOR, Dacl), "Dacl");
static_assert(sizeof(win::SECURITY_ATTRIBUTES) == sizeof(::SECURITY_ATTRIBUTES), "SECURITY_ATTRIBUTES layout");
static_assert(sizeof(win::ACL) == sizeof(::ACL), "ACL layout");
static_assert(offsetof(win::ACCESS_ALLOWED_ACE, SidStart) == offsetof(::ACCESS_ALLOWED_ACE, SidStart), "SidStart");
}  // namespace

namespace win {

BOOL InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision) {
    return ::InitializeSecurityDescriptor(D(descriptor), revision);
}
BOOL SetSecurityDescriptorOwner(SECURITY_DESCRIPTOR* descriptor, PSID owner, BOOL defaulted) {
    return ::SetSecurityDescriptorOwner(D(descriptor), owner, defaulted);
}
BOOL SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, BOOL present, ACL* dacl, BOOL defaulted) {
    return ::SetSecurityDescriptorDacl(D(descriptor), present, A(dacl), defaulted);
}
BOOL SetSecurityDescriptorControl(SECURITY_DESCRIPTOR* descriptor, WORD bitsOfInterest, WORD bitsToSet) {
    return ::SetSecurityDescriptorControl(D(descriptor), bitsOfInterest, bitsToSet);
}
BOOL InitializeAcl(ACL* acl, DWORD length, DWORD revision) { return ::InitializeAcl(A(acl), length, revision); }
BOOL AddAccessAllowedAceEx(ACL* acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) {
    return ::AddAccessAllowedAceEx(A(acl), revision, flags, mask, sid);
}
BOOL GetAce(ACL* acl, DWORD index, void** ace) { return ::GetAce(A(acl), index, ace); }
BOOL EqualSid(PSID a, PSID b) { return ::EqualSid(a, b); }
DWORD GetNamedSecurityInfoA(const char* path, int objectType, DWORD information, PSID* owner, PSID* group,
                            ACL** dacl, ACL** sacl, void** descriptor) {
    return ::GetNamedSecurityInfoA(path, static_cast<::SE_OBJECT_TYPE>(objectType), information, owner, group, A(dacl),
                                   A(sacl), descriptor);
}
DWORD SetNamedSecurityInfoA(const char* path, int objectType, DWORD information, PSID owner, PSID group, ACL* dacl,
                            ACL* sacl) {
    return ::SetNamedSecurityInfoA(const_cast<char*>(path), static_cast<::SE_OBJECT_TYPE>(objectType), information,
                                   owner, group, A(dacl), A(sacl));
}
void* LocalFree(void* memory) { return ::LocalFree(memory); }

}  // namespace win
