// Win32 constants under their platform names, for the logic and the
// simulator. The Win32 providers never include this header: <windows.h>
// defines the same names as macros.
#pragma once

#include "win_types.h"

namespace win {

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
constexpr std::size_t MAX_PATH = 260;

// Service Control Manager
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;
constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x0040;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;
constexpr DWORD SERVICE_ERROR_IGNORE = 0;
constexpr DWORD SERVICE_NO_CHANGE = 0xFFFFFFFF;
constexpr DWORD SERVICE_CONFIG_DESCRIPTION = 1;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;

constexpr DWORD SERVICE_ACCEPT_STOP = 1;
constexpr DWORD SERVICE_ACCEPT_PAUSE_CONTINUE = 2;

// Error codes
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
constexpr DWORD ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr DWORD ERROR_SERVICE_EXISTS = 1073;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;

// Processes, events, files
constexpr DWORD TH32CS_SNAPPROCESS = 0x2;
constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_ALL_ACCESS = 0x1FFFFF;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;
constexpr DWORD STARTF_USESHOWWINDOW = 0x1;
constexpr DWORD CREATE_NEW_CONSOLE = 0x10;
constexpr UINT CP_ACP = 0;

// Tokens
constexpr DWORD PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
constexpr DWORD TOKEN_ASSIGN_PRIMARY = 0x0001;
constexpr DWORD TOKEN_DUPLICATE = 0x0002;
constexpr DWORD TOKEN_IMPERSONATE = 0x0004;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_ADJUST_DEFAULT = 0x0080;
constexpr DWORD TOKEN_ADJUST_SESSIONID = 0x0100;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;  // what XP, which lacks the limited right, asks
constexpr int TokenUser = 1;
constexpr int TokenSessionId = 12;
// GetTokenInformation classes that Vista brought; XP refuses them.
constexpr int TokenElevationType = 18;
constexpr int TokenElevation = 20;
constexpr int TokenIntegrityLevel = 25;
constexpr DWORD SECURITY_MANDATORY_MEDIUM_RID = 0x2000;
constexpr DWORD TokenElevationTypeFull = 2;
constexpr int SecurityImpersonation = 2;
constexpr int TokenPrimary = 1;
constexpr DWORD LOGON_WITH_PROFILE = 0x1;

// Resources: integer identifiers and types passed where a name is expected.
inline const char* MAKEINTRESOURCEA(int id) { return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id)); }
inline const char* const RT_RCDATA = MAKEINTRESOURCEA(10);

constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_FAVORITES = 0x0006;
constexpr int CSIDL_STARTMENU = 0x000B;
constexpr int CSIDL_APPDATA = 0x001A;
constexpr int CSIDL_LOCAL_APPDATA = 0x001C;
constexpr int CSIDL_PROGRAM_FILES = 0x0026;
constexpr int CSIDL_PROGRAM_FILESX86 = 0x002A;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;

// Loader and registry
constexpr DWORD LOAD_WITH_ALTERED_SEARCH_PATH = 0x00000008;
constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x00000800;
// Sign-extended on 64-bit Windows, as the platform headers define it.
inline HKEY const HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));
constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_WOW64_64KEY = 0x0100;
constexpr DWORD REG_SZ = 1;

// Code pages
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;

// Shell show modes
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

// Windows and dialogs
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr WPARAM ICON_BIG = 1;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int GCL_HICON = -14;
constexpr int GWL_HINSTANCE = -6;
constexpr UINT MB_OK = 0x0;
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SPI_GETWORKAREA = 0x0030;

constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_FINDSTRINGEXACT = 0x01A2;
constexpr LRESULT LB_ERR = -1;

constexpr int IDC_ARROW = 32512;
constexpr int IDC_WAIT = 32514;

inline WPARAM LOWORD(WPARAM value) { return value & 0xFFFF; }

// File security
constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr DWORD ACL_REVISION = 2;
constexpr WORD SE_DACL_PRESENT = 0x0004;
constexpr WORD SE_DACL_PROTECTED = 0x1000;
constexpr int SE_FILE_OBJECT = 1;
constexpr DWORD OWNER_SECURITY_INFORMATION = 0x1;
constexpr DWORD DACL_SECURITY_INFORMATION = 0x4;
constexpr DWORD UNPROTECTED_DACL_SECURITY_INFORMATION = 0x20000000;
constexpr DWORD PROTECTED_DACL_SECURITY_INFORMATION = 0x80000000;
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE ACCESS_DENIED_ACE_TYPE = 1;
constexpr BYTE OBJECT_INHERIT_ACE = 0x1;
constexpr BYTE CONTAINER_INHERIT_ACE = 0x2;
constexpr BYTE INHERIT_ONLY_ACE = 0x8;
constexpr DWORD FILE_WRITE_DATA = 0x2;  // on a folder: add a file
constexpr DWORD FILE_APPEND_DATA = 0x4;  // on a folder: add a folder
constexpr DWORD FILE_WRITE_EA = 0x10;
constexpr DWORD FILE_DELETE_CHILD = 0x40;
constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x100;
constexpr DWORD DELETE = 0x10000;
constexpr DWORD WRITE_DAC = 0x40000;
constexpr DWORD WRITE_OWNER = 0x80000;
constexpr DWORD GENERIC_ALL = 0x10000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_ALL_ACCESS = 0x1F01FF;
constexpr DWORD FILE_GENERIC_READ_EXECUTE = 0x1200A9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE

// Starts for the desktop user and for Kestane itself: the shell's token over
// the shoulder, environments and installer detection
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;
constexpr char SE_DEBUG_NAME[] = "SeDebugPrivilege";
constexpr DWORD CREATE_UNICODE_ENVIRONMENT = 0x400;
constexpr DWORD ERROR_ELEVATION_REQUIRED = 740;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

// Files and folders opened as themselves
constexpr DWORD READ_CONTROL = 0x20000;
constexpr DWORD FILE_LIST_DIRECTORY = 0x1;  // FILE_READ_DATA of a folder: sharing binds it
constexpr DWORD FILE_READ_ATTRIBUTES = 0x80;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;    // lets a folder be opened
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;  // the junction or link itself, not its target
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD FILE_ATTRIBUTE_ENCRYPTED = 0x4000;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD FILE_PERSISTENT_ACLS = 0x8;  // the drive keeps access lists: NTFS, not FAT32

}  // namespace win
