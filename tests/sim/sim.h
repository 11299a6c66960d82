// The simulated Windows machine behind every unit test.
//
// One model of what the programs rely on: a service manager, a process table,
// a case-blind file system, the shell, dialogs with their controls, message
// boxes, a clock that Sleep advances at once, events, handle accounting and a
// trace of calls. A test sets up a machine, runs an operation and asserts on
// the machine, the window texts and the trace.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shared/win_defs.h"

namespace sim {

using win::DWORD;

// How a running service reacts to a stop request.
constexpr std::int64_t kStopsAtOnce = 0;
constexpr std::int64_t kNever = -1;

struct Service {
    std::string name;  // key name as registered
    std::string displayName;
    std::string binaryPath;
    std::string description;
    DWORD serviceType = win::SERVICE_WIN32_OWN_PROCESS;
    DWORD startType = win::SERVICE_DEMAND_START;
    DWORD errorControl = 1;
    DWORD state = win::SERVICE_STOPPED;
    DWORD waitHint = 0;
    std::int64_t stopDelayMs = kStopsAtOnce;  // or kNever: the service ignores stop requests
    std::int64_t startDelayMs = 0;            // time in START_PENDING, or kNever
    DWORD startOutcome = win::SERVICE_RUNNING;  // where a start ends: RUNNING, or STOPPED when it fails
    bool refuseFullAccess = false;              // OpenServiceA with SERVICE_ALL_ACCESS is refused
    bool queryFails = false;                    // QueryServiceStatus fails on it
    bool deleteFails = false;                   // DeleteService is refused (access denied)
    bool markedForDelete = false;
    int openHandles = 0;
    std::int64_t pendingUntil = -1;  // when a pending state ends; -1: not by itself
    int stopRequests = 0;
    int configChanges = 0;
};

struct Process {
    DWORD pid = 0;
    std::string image;
    bool refuseOpen = false;            // OpenProcess is refused whatever the access
    bool refuseFullAccessOpen = false;  // PROCESS_ALL_ACCESS is refused, narrower rights are granted
    bool unkillable = false;            // TerminateProcess fails
    bool endsAfterSnapshot = false;     // ends once a snapshot has listed it
    std::string path;                   // its program file, which cannot be deleted while it runs
};

struct File {
    std::string path;
    bool readOnly = false;
    bool inUse = false;  // a running program's image: it can be neither deleted nor overwritten
    std::string content;
    DWORD links = 1;         // its names: more than one for a hard link
    bool encrypted = false;  // EFS: only the user who encrypted it can read it
    bool notAProgram = false;  // CreateProcess refuses it (193: not a valid program)
};

// Owner and access list of a folder or file, as far as the checks of the
// guard's folder read them. SIDs in their string form ("S-1-5-32-544").
struct AccessEntry {
    win::BYTE type = win::ACCESS_ALLOWED_ACE_TYPE;
    win::BYTE flags = 0;
    DWORD mask = 0;
    std::string sid;
};
inline bool operator==(const AccessEntry& a, const AccessEntry& b) {
    return a.type == b.type && a.flags == b.flags && a.mask == b.mask && a.sid == b.sid;
}
struct Security {
    std::string owner;
    std::vector<AccessEntry> entries;
    bool protectedList = false;  // inherits nothing from its parent
    bool noList = false;         // a null list: everybody may do everything
};
// What a folder or file has unless a test or a call gives it another: owned
// by Administrators, changed only by them and SYSTEM, read by Users.
Security OnlyAdministrators();

// Resource 201 of the simulated Kestane: the Velmora.exe it was built with.
constexpr char kGuardProgramBytes[] = "MZ\x90\x00 the Velmora.exe built with this Kestane";

// One program started.
struct Launch {
    std::string file;        // what runs: the program
    std::string parameters;  // "<null>" when none was given
    int show = -1;
    bool hasParameters = false;
    std::string via;        // CreateProcessA, CreateProcessWithTokenW, or AutoRun (cmd ran it first)
    std::string account;    // whose token it runs with: kAdministrator or kDesktopUser
    std::string directory;  // its current folder; "<null>": Kestane's own
    std::map<std::string, std::string> environment;  // its variables, by name as written
};

// Tokens: Kestane's own, and the shell's, whose user owns the desktop.
constexpr char kAdministrator[] = "administrator";
constexpr char kDesktopUser[] = "desktop user";

struct MessageBoxRecord {
    win::HWND owner = nullptr;
    std::string text;
    std::string caption;
    win::UINT type = 0;
};

struct StatusReport {
    DWORD serviceType;
    DWORD state;
    DWORD controlsAccepted;
    DWORD win32ExitCode;
    DWORD checkPoint;
    DWORD waitHint;
};

struct ControlTemplate {
    int id = 0;
    std::string className;  // upper case: BUTTON, STATIC, LISTBOX
    std::string text;       // CP949
    std::vector<std::string> styles;
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
    int id = 0;
    std::string caption;
    std::string font;  // CP949
    int fontSize = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::vector<std::string> styles;
    std::vector<ControlTemplate> controls;
};

struct Window {
    win::HWND handle = nullptr;
    win::HWND parent = nullptr;  // dialog of a control, owner of a dialog
    int id = 0;                  // control id, or template id for a dialog
    bool isDialog = false;
    std::string className;
    std::string text;
    bool sorted = false;
    std::vector<std::string> rows;  // list boxes
    bool destroyed = false;
    bool ended = false;
    win::INT_PTR endResult = 0;
    win::DLGPROC proc = nullptr;
    win::HINSTANCE instance = nullptr;
    win::HICON bigIcon = nullptr;
    win::RECT rect{};
};

// The machine. Tests reach it through sim::machine().
class Machine {
public:
    // --- set-up -------------------------------------------------------------
    Service& AddService(const std::string& name, DWORD state = win::SERVICE_STOPPED);
    Process& AddProcess(const std::string& image);
    void AddFile(const std::string& path, bool readOnly = false, const std::string& content = "");  // and its folders
    void AddFolder(const std::string& path);                      // and its parents
    void SetSpecialFolder(int csidl, const std::string& path);  // empty: the shell cannot tell it
    void RemoveSpecialFolder(int csidl);
    // The user's folders as Windows XP lays them out below
    // "C:\Documents and Settings\tester" (the default is a Vista and later profile).
    void UseXpProfile();
    // UAC: Kestane runs with the elevated half of the user's split token and
    // the shell explorer.exe with the filtered half; the same folders.
    void SplitToken();
    // A standard user's desktop, where an administrator typed the password:
    // Kestane runs as that administrator, with folders below C:\users\admin;
    // the desktop user's stay below C:\users\tester.
    void OverTheShoulder();

    bool isAdministrator = true;
    // The program's ANSI code page (GetACP): 949 on Korean Windows, 65001
    // where the UTF-8 code page applies (Windows 10 1903 and later honour
    // Kestane's manifest), 1252 on Western Windows before that. 949, 65001
    // and 1252 are the code pages the simulated conversions know.
    win::UINT ansiCodePage = 949;
    win::UINT consoleOutputCodePage = 0;  // 0: the program has no console
    bool startedByServiceManager = false;
    bool createEventFails = false;
    // Owners and lists that differ from OnlyAdministrators(), by path.
    std::map<std::string, Security> security;
    Security& SecurityOf(const std::string& path);  // case-blind; added as the default when absent
    // Names that another program holds as a mutex, semaphore or section: no
    // event of such a name can be made (ERROR_INVALID_HANDLE). Case counts.
    std::vector<std::string> otherObjectNames;
    bool registerHandlerFails = false;
    bool createServiceFails = false;
    // Called with each service that CreateServiceA registers, to give it the
    // behaviour a test needs (start delay, outcome) before anything uses it.
    std::function<void(Service&)> onServiceCreated;
    bool emulateTaskkill = true;  // the task-kill program ends the processes it names
    std::string currentDirectory = "C:\\Tools";
    std::string modulePath = "C:\\users\\tester\\Downloads\\Tollvard\\Kestane.exe";
    std::string systemDirectory = "C:\\windows\\system32";
    // RCDATA resources of the running program, by identifier.
    std::map<int, std::string> resources;
    std::string windowsDirectory = "C:\\windows";
    // 64-bit Windows running the 64-bit build, by default. A 32-bit build
    // on 64-bit Windows runs under WoW64: the shell's Program Files is then
    // the (x86) one, and its registry reads go to WOW6432Node unless it asks
    // for the 64-bit view.
    bool windows64 = true;
    bool program64 = true;
    // kernel32 exports this Windows lacks (XP: SetDefaultDllDirectories; the
    // first XP also SetDllDirectoryA and IsWow64Process).
    std::vector<std::string> missingExports;
    // System DLLs this Windows lacks: LoadLibraryExA of them fails.
    std::vector<std::string> missingDlls;
    // REG_SZ values of HKEY_LOCAL_MACHINE by key path and value name
    // ("SOFTWARE\...\CurrentVersion\ProgramFilesDir"); the 32-bit view
    // of 64-bit Windows lies below "SOFTWARE\WOW6432Node".
    std::map<std::string, std::string> registry;
    // Short (8.3) spellings of folders: short prefix -> long prefix.
    std::map<std::string, std::string> longNames;
    // Folders that are junctions: the folder -> where it leads. A path through
    // one is followed; opened as itself (FILE_FLAG_OPEN_REPARSE_POINT) it is a
    // folder that is a reparse point, and renamed it moves, not its target.
    std::map<std::string, std::string> junctions;
    // The owner of what is created without one named: Administrators for an
    // elevated administrator; on XP, by default, the administrator's own account.
    std::string defaultOwner = "S-1-5-32-544";
    std::string fileSystem = "NTFS";  // of every drive; FAT32 (XP) keeps no owner or list: Everyone may do all
    // Below these only administrators may delete; the desktop user may not.
    std::vector<std::string> adminFolders = {"C:\\Windows", "C:\\Program Files", "C:\\Program Files (x86)"};

    // --- starts ---------------------------------------------------------------
    // The system's variables (HKLM) and the desktop user's (HKCU\Environment).
    // Kestane's own environment is both, as Windows builds it for any
    // process of the user's, elevated too: the user's win, Path joins.
    std::map<std::string, std::string> systemEnvironment = {
        {"ComSpec", "C:\\windows\\system32\\cmd.exe"},
        {"Path", "C:\\windows\\system32;C:\\windows"},
        {"PATHEXT", ".COM;.EXE;.BAT;.CMD"},
        {"SystemRoot", "C:\\windows"},
        {"TEMP", "C:\\windows\\TEMP"},
        {"TMP", "C:\\windows\\TEMP"},
    };
    std::map<std::string, std::string> userEnvironment = {
        {"Path", "C:\\users\\tester\\bin"},
        {"PATHEXT", ".JS;.EXE"},
        {"TEMP", "C:\\users\\tester\\AppData\\Local\\Temp"},
        {"TMP", "C:\\users\\tester\\AppData\\Local\\Temp"},
    };
    std::map<std::string, std::string> OwnEnvironment() const;
    // Installer detection (UAC on): a program whose name holds "install",
    // "setup", "update" or "patch" (the 32-bit uninstallers here have no
    // manifest) does not start from a token that is not elevated (740),
    // unless its environment has __COMPAT_LAYER=RunAsInvoker.
    bool installerDetection = true;
    // HKCU\Software\Microsoft\Command Processor\AutoRun: cmd runs it before
    // "/c", as whoever started cmd, unless it is given "/d".
    std::string userAutoRun;
    // The task-kill program ends what it names this long after its start
    // returned, and then exits.
    std::int64_t taskkillRunMs = 300;
    // The shell runs as another account (over the shoulder): its process and
    // token open only with the debug privilege enabled in Kestane's token.
    bool shellOtherAccount = false;
    bool shellTokenRefused = false;  // its token's list keeps Administrators out
    // Its token's session (Kestane's is 1), level and restriction; a window
    // that another process takes as Kestane opens the token.
    DWORD shellSession = 1, shellIntegrity = 0x2000;
    bool shellRestricted = false, shellWindowMoves = false;
    bool debugPrivilegeEnabled = false;

    // --- rights ---------------------------------------------------------------
    // TokenElevationType of Kestane's own token: 1 default (no split: UAC
    // off, a built-in administrator, Wine), 2 full (the elevated half).
    DWORD elevationType = 1;
    bool tokenClassesKnown = true;  // false: XP, which knows no token class or right that Vista brought
    bool elevationQueryFails = false;  // where Windows knows them (access denied)
    DWORD shellPid = 0;             // the shell's process; 0: no shell window
    bool shellElevated = false;
    // The desktop user's folders where another account runs Kestane; empty:
    // the same profile's (specialFolders).
    std::map<int, std::string> userFolders;
    bool secondaryLogonDisabled = false;  // CreateProcessWithTokenW fails
    bool impersonationFails = false;
    std::string impersonating;  // whose token the thread acts with; empty: Kestane's
    // Folders below which nothing may be created or written (access denied).
    std::vector<std::string> deniedFolders;
    win::RECT workArea{0, 0, 1920, 1040};
    // Snapshots fail for these 1-based snapshot call numbers.
    std::vector<int> failingSnapshots;
    // Called by the dialog manager while a modal dialog of this template is
    // open (its own message loop); the dialog closes with IDCANCEL afterwards
    // unless the script ended it.
    std::map<int, std::function<void(win::HWND)>> dialogScripts;

    // --- time ---------------------------------------------------------------
    std::int64_t now = 0;       // milliseconds since the test began
    std::int64_t slept = 0;     // total of Sleep
    // Runs fn when the clock reaches at (through Sleep or a wait): how tests
    // act as another thread (the control dispatcher) or another program.
    void At(std::int64_t at, std::function<void()> fn);
    void Advance(std::int64_t ms);

    // --- inspection ---------------------------------------------------------
    Service* FindService(const std::string& name);  // case-blind; null when gone
    bool HasProcess(const std::string& image) const;  // case-blind
    int CountProcesses(const std::string& image) const;
    bool FileExists(const std::string& path) const;
    bool FolderExists(const std::string& path) const;
    // The path with its short (8.3) folder spellings replaced by the long ones.
    std::string LongForm(const std::string& path) const;
    // A file is in use while it is marked so, while a process or a service
    // that has not stopped runs it, or while it is the running program's own
    // image.
    bool FileInUse(const std::string& path);
    Window* FindWindow(win::HWND handle);
    Window* Control(win::HWND dialog, int id);
    std::string Text(win::HWND window);
    std::string ControlText(win::HWND dialog, int id);
    std::vector<std::string> Rows(win::HWND listBox);
    Window* LastDialog(int templateId);  // most recent dialog of that template, open or ended
    std::vector<std::string> Trace(const std::string& prefix = "") const;
    int Count(const std::string& prefix) const;  // trace entries beginning with prefix
    std::vector<std::string> OpenHandles() const;  // what each open handle is

    std::vector<std::string> trace;
    std::vector<Launch> launches;
    std::vector<MessageBoxRecord> messageBoxes;
    std::vector<StatusReport> statusReports;
    std::vector<std::string> misuse;  // leaked, twice-closed, unknown handles; writes to dead windows
    std::vector<std::string> deletedFiles;
    int snapshotCalls = 0;
    win::LPHANDLER_FUNCTION controlHandler = nullptr;
    std::string handlerName;
    std::string dispatcherName;
    win::HCURSOR currentCursor = nullptr;

    // --- used by the simulated platform functions -----------------------------
    enum class HandleKind { Manager, Service, Snapshot, Process, Event, File, Key, Token, Memory, Find };
    // A named event is one object behind every handle opened by its name.
    struct EventObject {
        bool signalled = false;
        bool manualReset = true;
        std::string name;
    };
    struct HandleInfo {
        HandleKind kind;
        std::string what;
        std::vector<Process> snapshot;
        std::size_t cursor = 0;
        DWORD pid = 0;
        std::shared_ptr<EventObject> event;
        std::string path;  // files and folders: read from the start, cursor bytes so far
        DWORD share = 0;
        bool reparse = false;              // a junction opened as itself
        std::vector<std::string> entries;  // a folder listing, read from cursor on
        Service* service = nullptr;
        DWORD access = 0;
        std::string keyPath;  // registry key, as the registry view resolved it
        std::string account;  // tokens: whose
        bool primary = false;
        std::vector<unsigned char> memory;  // LocalAlloc'ed blocks: the handle is their address
    };
    void* NewHandle(HandleKind kind, const std::string& what);
    void* NewMemory(std::size_t size, const std::string& what);  // zeroed; freed with LocalFree
    HandleInfo* Handle(void* handle, HandleKind kind);
    // The event of that name while a handle to it is open; null otherwise.
    std::shared_ptr<EventObject> EventNamed(const std::string& name);
    bool CloseHandleOf(void* handle, HandleKind kind);
    // Whether a handle holds the file or folder without sharing its deletion:
    // it can then be neither renamed nor deleted.
    bool HeldWithoutDeleteSharing(const std::string& path) const;
    bool OpenBelow(const std::string& folder) const;  // any file or folder below it, held open
    void Refresh();
    void Log(const std::string& entry) { trace.push_back(entry); }
    DWORD lastError = 0;
    std::vector<std::unique_ptr<Service>> services;
    std::vector<Process> processes;
    std::vector<File> files;
    std::vector<std::string> folders;
    std::map<int, std::string> specialFolders;
    std::vector<std::unique_ptr<Window>> windows;
    std::map<int, DialogTemplate> templates;
    DWORD nextPid = 1000;
    win::HWND NewWindow(Window window);
    void RemoveServiceIfDone(Service& service);
    std::int64_t NextEventTime() const;
    bool RunNextEventUntil(std::int64_t limit);

private:
    std::map<void*, HandleInfo> handles_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::uintptr_t nextWindow_ = 0x10000;
    std::multimap<std::int64_t, std::function<void()>> events_;
};

Machine& machine();
void Reset();

// Dialog templates as the resource script of the main program declares them.
const std::map<int, DialogTemplate>& ResourceTemplates();

// Sends WM_COMMAND with a control id to a dialog's procedure, as a click does.
win::INT_PTR Command(win::HWND dialog, int id);
// Converts UTF-8 to CP949 (the resource script is UTF-8).
std::string ToCp949(const std::string& utf8);
// iconv from one character set to another; false when part of the text has
// no form in the target (out then holds what converted).
bool Recode(const char* to, const char* from, const std::string& text, std::string& out);
// A CP949 text as the narrow calls of a program give it under the machine's
// ANSI code page: how the texts of a dialog template (UTF-16 in the
// resources) read.
std::string FromCp949(const std::string& cp949);
// Case-blind comparison as the file system and the service manager do it.
bool SameNoCase(const std::string& a, const std::string& b);

}  // namespace sim
