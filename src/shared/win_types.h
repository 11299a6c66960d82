// Portable stand-ins for the Win32 types that cross the platform seams.
//
// The logic of both programs is written against these, so it compiles on
// Linux against the simulated platform as well as with mingw-w64 against the
// real one. Handles are distinct opaque pointer types so that a service handle
// cannot be passed where a window is expected. Records that the platform fills
// (SERVICE_STATUS, PROCESSENTRY32) have exactly the platform's layout, so the
// Win32 providers can hand them over without copying.
#pragma once

#include <cstddef>
#include <cstdint>

// Calling convention of everything Windows calls back (dialog procedures,
// service main functions, control handlers). Matters only on 32-bit x86.
#if defined(_WIN32) && !defined(_WIN64)
#define WIN_CALLBACK __stdcall
#else
#define WIN_CALLBACK
#endif

namespace win {

using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using LONG = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;
using WCHAR = char16_t;  // a UTF-16 code unit

struct ScHandleTag;
struct ServiceStatusHandleTag;
struct KernelHandleTag;
struct WindowTag;
struct InstanceTag;
struct IconTag;
struct CursorTag;
struct ResourceTag;
struct GlobalTag;
struct KeyTag;

using SC_HANDLE = ScHandleTag*;
using SERVICE_STATUS_HANDLE = ServiceStatusHandleTag*;
using HANDLE = KernelHandleTag*;
using HWND = WindowTag*;
using HINSTANCE = InstanceTag*;
using HICON = IconTag*;
using HCURSOR = CursorTag*;
using HRSRC = ResourceTag*;
using HGLOBAL = GlobalTag*;
using HKEY = KeyTag*;

using DLGPROC = INT_PTR(WIN_CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
using LPSERVICE_MAIN_FUNCTIONA = void(WIN_CALLBACK*)(DWORD, char**);
using LPHANDLER_FUNCTION = void(WIN_CALLBACK*)(DWORD);
// An export found at run time; cast to its real type before it is called.
using FARPROC = void (*)();

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};

// The fixed part of a service's configuration; the strings it points to
// follow it in the same buffer.
struct QUERY_SERVICE_CONFIGA {
    DWORD dwServiceType;
    DWORD dwStartType;
    DWORD dwErrorControl;
    char* lpBinaryPathName;
    char* lpLoadOrderGroup;
    DWORD dwTagId;
    char* lpDependencies;
    char* lpServiceStartName;
    char* lpDisplayName;
};

struct SERVICE_TABLE_ENTRYA {
    char* lpServiceName;
    LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
};

// Same fields, order and alignment as the narrow Tool Help record: 296 bytes
// on 32-bit Windows, 304 on 64-bit (the heap id is pointer-sized).
struct PROCESSENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    std::uintptr_t th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    std::int32_t pcPriClassBase;
    DWORD dwFlags;
    char szExeFile[260];
};

// CreateProcessA's start-up record and what both process starts hand back.
// Same layout as the platform's.
struct STARTUPINFOA {
    DWORD cb;
    char* lpReserved;
    char* lpDesktop;
    char* lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    std::uint16_t wShowWindow;
    std::uint16_t cbReserved2;
    unsigned char* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};

// The wide form, for CreateProcessWithTokenW, which has no narrow one.
struct STARTUPINFOW {
    DWORD cb;
    WCHAR* lpReserved;
    WCHAR* lpDesktop;
    WCHAR* lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    std::uint16_t wShowWindow;
    std::uint16_t cbReserved2;
    unsigned char* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

struct RECT {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

// File security: owners, access lists and descriptors, in the platform's
// layout, so the logic can build a list and read one that Windows returns.
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using PSID = void*;

struct ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
};

struct ACE_HEADER {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
};

// The SID follows the mask, from SidStart on.
struct ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;
    DWORD Mask;
    DWORD SidStart;
};

// The absolute form, filled by the security calls only.
struct SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    WORD Control;
    PSID Owner;
    PSID Group;
    ACL* Sacl;
    ACL* Dacl;
};

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    void* lpSecurityDescriptor;
    BOOL bInheritHandle;
};

// A privilege of a token, and a list of them with what each is set to; the
// layout of the platform's (LUID_AND_ATTRIBUTES is 4-byte aligned).
struct LUID {
    DWORD LowPart;
    LONG HighPart;
};
struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};
struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};
// A token's user (TokenUser) or integrity label (TokenIntegrityLevel): the
// SID it points to follows it in the same buffer.
struct SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
};

// What a handle or a folder listing tells of a file or folder itself.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;  // hard links: names of the same file
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[260];
    char cAlternateFileName[14];
};

}  // namespace win
