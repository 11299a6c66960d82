// End-to-end harness: drives the real Kestane.exe (and Velmora.exe) under Wine
// or Windows, the way a user and the Service Control Manager would.
//
// Writing a case
// --------------
//   #include "harness.h"
//   using namespace e2e;
//
//   E2E_CASE(startup_clean) {
//       App app = launch_kestane();                 // aborts the case if no window shows
//       ok_control_text(app.main, 1008, L"설치: OFF");
//       ...
//   }
//
// - A case is a function registered by name with E2E_CASE. Cases run file by
//   file, cases_harness.cpp first and then in the order of the file names,
//   and inside a file in source order.
//   Every case runs, whatever happened to the ones before it.
// - ok(cond, fmt, ...) records one check (printf format, UTF-8). When it fails
//   it prints "file:line: Test failed: <message>" and the case counts as
//   failed; the case goes on. Write the message as "expected X, got Y".
// - need(cond, fmt, ...) is ok() that ends the case on failure, for the
//   preconditions without which the remaining checks say nothing.
// - skip_case(fmt, ...) ends the case as skipped.
// - Wide strings go into messages through str(): ok(a == b, "expected %s, got %s",
//   str(b), str(a)). str() gives UTF-8 in quotes, with line feeds, tabs and
//   quotes escaped, like wine_dbgstr_w.
// - Everything a case starts or creates through this harness is undone when
//   the case ends, even when it failed or was aborted, in reverse order:
//   processes started are terminated, services created are stopped (killed if
//   they will not stop) and deleted, files and folders made are deleted. For
//   what Kestane itself creates (the Velmora service, files it writes), call
//   track_service() / track_file() or register your own step with defer().
//   Cleanup steps must not call need() or ok().
// - After each case the runner looks for leftovers (services whose binary is
//   one of ours, processes running from our folders) and removes them with a
//   warning, so one broken case cannot poison the next.
//
// The driver's command line (tools/test-e2e.sh builds and runs it):
//   e2e_driver.exe [--bin DIR] [--tools DIR] [--status-file FILE] [--code-page N] [--list] [PATTERN...]
// A PATTERN with * or ? is matched against the whole case name, any other
// PATTERN as a substring. The last line of output is "N passed, N failed"
// (test cases, not checks; ", N skipped" follows when some were skipped) and
// the exit code, also written to FILE, is 1 when any case failed. --bin names
// the folder of Kestane.exe and Velmora.exe (default: the current folder, the
// driver's, or dist\win64 above the driver, dist\win32 for a 32-bit driver).
//
// What Wine does differently, as far as the cases are concerned
// - A deleted service stays registered until its process has ended.
// - A second SERVICE_CONTROL_STOP to a service that ignored the first fails
//   with ERROR_SERVICE_CANNOT_ACCEPT_CTRL, and services.exe then ends the
//   service's process while its state stays RUNNING (process id 0).
// - A killed service process is not noticed: the state stays what it was.
// - StartServiceCtrlDispatcher gives up only after about ten seconds when the
//   program was not started by the Service Control Manager.
// - Wine's 32-bit TASKKILL (the one a 32-bit Kestane starts on 64-bit
//   Windows) does not see 64-bit processes; Windows' does. The stand-ins
//   therefore have Kestane's bitness, as the grids it meets would.
// - tools/test-e2e.sh runs the driver inside a Wine desktop: outside one,
//   without an X window manager, every window that closes costs two seconds.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>   // ShellExecuteW, for cases that start programs the way Kestane does
#include <shlobj.h>     // CSIDL_* for special_folder()

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// ---------------------------------------------------------------- timing

constexpr DWORD kWindowTimeout = 15000;   // Kestane's window after CreateProcess
constexpr DWORD kServiceTimeout = 10000;  // a fake service reaching a state
constexpr DWORD kExitTimeout = 10000;     // a process ending after it was told to
constexpr DWORD kStandInTimeout = 60000;  // a stand-in's start logged, on a loaded machine

// ---------------------------------------------------------------- checks and cases

bool check_at(const char* file, int line, bool cond, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
[[noreturn]] void abort_case();
[[noreturn]] void skip_case(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Informational line, prefixed with the current case's name.
void trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

#define ok(cond, ...) ::e2e::check_at(__FILE__, __LINE__, static_cast<bool>(cond), __VA_ARGS__)
#define need(cond, ...) \
    do { if (!::e2e::check_at(__FILE__, __LINE__, static_cast<bool>(cond), __VA_ARGS__)) ::e2e::abort_case(); } while (0)

using CaseFunction = void (*)();
struct Registration {
    Registration(const char* name, const char* file, CaseFunction function);
};
#define E2E_CASE(name)                                                                  \
    static void e2e_case_##name();                                                      \
    static const ::e2e::Registration e2e_registration_##name(#name, __FILE__, e2e_case_##name); \
    static void e2e_case_##name()

// Writes the exit code to a file, for callers that cannot see it: a program
// run inside a Wine desktop loses its exit code to explorer.
void write_status_file(const std::wstring& path, int status);

// Runs the registered cases selected by the command line; returns the exit code.
int run_cases(const std::vector<std::wstring>& patterns, bool list_only);

// Undo step run when the current case ends (last registered, first run).
void defer(std::function<void()> step);

// ---------------------------------------------------------------- text

// Quoted, escaped UTF-8 rendering for messages; valid until 32 more calls.
const char* str(const std::wstring& text);
const char* str(const wchar_t* text);
std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& utf8_text);
std::wstring lower(std::wstring text);

// ---------------------------------------------------------------- places

std::wstring bin_dir();    // folder of Kestane.exe and Velmora.exe (--bin, the current folder, ours, or dist\win64 (win32) above us)
// Folder of fake_service.exe, sleeper.exe and recorder.exe (--tools, or the
// driver's own): the stand-ins have Kestane's bitness, the driver need not.
std::wstring tool_dir();
std::wstring kestane_path();
std::wstring velmora_path();
std::wstring tool_path(const wchar_t* exe_name);   // tool_dir() + name
std::wstring scratch_dir();   // %TEMP%\tollvard-e2e, emptied at the start of a run
std::wstring join(const std::wstring& folder, const std::wstring& name);
std::wstring parent_dir(const std::wstring& path);
void set_bin_dir(const std::wstring& folder);
void set_tool_dir(const std::wstring& folder);

// Bitness. A 32-bit Kestane on 64-bit Windows runs under WoW64: its
// C:\Windows\System32 is SysWOW64, its <Program Files> (CSIDL_PROGRAM_FILES,
// %ProgramFiles%) is C:\Program Files (x86), its HKLM\Software is
// WOW6432Node. The driver may have the other bitness, so it asks these
// instead of looking at itself.
bool windows_is_64bit();
bool is_32bit_program(const std::wstring& exe);   // a PE32 (x86) image
bool kestane_on_wow64();                           // 32-bit Kestane on 64-bit Windows
// The <Program Files> folder as Kestane sees it: C:\Program Files, or
// C:\Program Files (x86) under WoW64.
std::wstring kestane_program_files();
// Where Kestane puts the guard's copy: <Program Files>\Tollvard\Velmora.exe.
std::wstring guard_folder();
std::wstring guard_copy();
// Deletes the copy and its folder when the case ends: Kestane places it when
// it turns the guard on, and when it points a Velmora registration at it. So
// are the folders Kestane moved aside (Tollvard.moved-N), with their files.
void remove_guard_copy_afterwards();
// The folder Kestane reaches as C:\Windows\System32: SysWOW64 under WoW64.
std::wstring kestane_system_dir();

// ---------------------------------------------------------------- processes

struct Proc {
    DWORD pid = 0;
    HANDLE handle = nullptr;   // closed by the harness when the case ends
    explicit operator bool() const { return handle != nullptr; }
};

// CreateProcessW of "exe" args in cwd (empty: the exe's folder). The process
// is terminated when the case ends if it still runs. show: SW_* for
// STARTF_USESHOWWINDOW, or -1 for none.
Proc start_process(const std::wstring& exe, const std::wstring& args = L"", const std::wstring& cwd = L"",
                   int show = -1);
bool is_running(const Proc& proc);
// Waits for the exit; true and *exit_code when it ended within timeout_ms.
bool wait_exit(const Proc& proc, DWORD timeout_ms, DWORD* exit_code = nullptr);
void terminate(const Proc& proc);

struct ProcessEntry {
    DWORD pid = 0;
    DWORD parent_pid = 0;
    std::wstring image;   // file name only, as Tool Help gives it
    std::wstring path;    // full path when it can be read, else empty
};
std::vector<ProcessEntry> list_processes();
int count_processes(const std::wstring& image);       // image name compared without case
// Terminates every process with that image name and waits until none is left;
// returns how many were terminated.
int kill_processes(const std::wstring& image);
bool wait_process_count(const std::wstring& image, int count, DWORD timeout_ms);
// ShellExecuteW("TASKKILL", "/F /IM image") as the system would; returns at once.
void taskkill(const std::wstring& image);

// Fake grid programs: copies sleeper.exe to scratch_dir()\grid\<image> and
// starts `copies` processes of it, waiting until Tool Help lists them all.
// Whatever is still running from the copy is ended when the case ends.
std::vector<Proc> start_fake_grid(const std::wstring& image, int copies = 1);

// ---------------------------------------------------------------- Kestane and windows

constexpr wchar_t kMainCaption[] = L"Tollvard v1.3";

struct App {
    Proc proc;
    HWND main = nullptr;
};
// Starts Kestane.exe (cwd empty: bin_dir()) and returns at once.
Proc start_kestane(const std::wstring& cwd = L"");
// Visible top-level window captioned "Tollvard v1.3" of that process, or
// nullptr when it did not show within timeout_ms (or the process ended).
HWND wait_main_window(const Proc& proc, DWORD timeout_ms = kWindowTimeout);
// Both of the above; aborts the case when no main window shows.
App launch_kestane(const std::wstring& cwd = L"");
// Posts IDCANCEL to the main window and waits for the process to end; aborts
// the case when it does not. Returns the exit code.
DWORD close_kestane(const App& app);

struct WindowQuery {
    DWORD pid = 0;                       // owning process; 0: any
    HWND owner = nullptr;                // GetWindow(GW_OWNER); nullptr: any
    const wchar_t* caption = nullptr;    // exact caption; nullptr: any
    const wchar_t* class_name = nullptr; // e.g. L"#32770"; nullptr: any
    HWND exclude = nullptr;              // never this window
    bool visible_only = true;
};
std::vector<HWND> find_windows(const WindowQuery& query);   // top-level windows only
HWND find_window(const WindowQuery& query);
HWND wait_window(const WindowQuery& query, DWORD timeout_ms);

std::wstring window_text(HWND window);                      // WM_GETTEXT, cross-process
std::wstring window_class(HWND window);
std::wstring control_text(HWND dialog, int id);             // "<no control N>" when absent
bool has_control(HWND dialog, int id);
// Polls control_text until it equals expected; returns the last text read.
std::wstring wait_control_text(HWND dialog, int id, const std::wstring& expected, DWORD timeout_ms);
// Presses a button the way a click does: posts WM_COMMAND(id, BN_CLICKED) to the dialog.
bool press(HWND dialog, int id);
bool post_close(HWND window);                                // WM_CLOSE
RECT window_rect(HWND window);
std::vector<std::wstring> listbox_rows(HWND dialog, int id); // LB_GETTEXT as UTF-16
#define ok_control_text(dialog, id, expected) \
    ::e2e::check_control_text(__FILE__, __LINE__, (dialog), (id), (expected))
bool check_control_text(const char* file, int line, HWND dialog, int id, const std::wstring& expected);

// Message boxes: dialog class #32770 owned by `owner` (or of process pid).
HWND wait_message_box(HWND owner, DWORD timeout_ms = 10000);
HWND wait_message_box_of(DWORD pid, HWND exclude, DWORD timeout_ms = 10000);
struct MessageBoxText {
    std::wstring caption;
    std::wstring text;
};
MessageBoxText read_message_box(HWND box);                   // text: static 0xFFFF
// Presses OK (IDOK) and waits for the box to go; true when it went.
bool dismiss_message_box(HWND box, DWORD timeout_ms = 5000);

// ---------------------------------------------------------------- services

enum class FakeMode {
    Stops,    // reports STOP_PENDING, then STOPPED, on SERVICE_CONTROL_STOP
    Ignore,   // accepts STOP but ignores it and stays RUNNING. Under Wine a
              // second STOP fails with ERROR_SERVICE_CANNOT_ACCEPT_CTRL and
              // services.exe ends the process, the state staying RUNNING with
              // process id 0.
    Slow,     // STOP_PENDING for 3 s before STOPPED
    Pending,  // stays START_PENDING until told to quit
};
const wchar_t* fake_mode_name(FakeMode mode);
// Quoted path of fake_service.exe with its mode and the service name.
std::wstring fake_service_command(const std::wstring& name, FakeMode mode);

struct ServiceInfo {
    bool exists = false;
    DWORD state = 0;          // SERVICE_STOPPED, SERVICE_RUNNING, ...
    DWORD pid = 0;
    DWORD type = 0;
    DWORD start_type = 0;     // SERVICE_AUTO_START, SERVICE_DEMAND_START, SERVICE_DISABLED, ...
    std::wstring binary_path;
    std::wstring display_name;
    std::wstring description;
    std::wstring account;
};
ServiceInfo query_service(const std::wstring& name);
bool service_exists(const std::wstring& name);
const char* state_name(DWORD state);
const char* start_type_name(DWORD start_type);

// Registers an own-process service; it is removed when the case ends.
bool create_service(const std::wstring& name, const std::wstring& binary_path,
                    DWORD start_type = SERVICE_DEMAND_START, const std::wstring& display_name = L"");
// create_service with the fake service; started and waited for when start is true
// (RUNNING, or START_PENDING for FakeMode::Pending). Aborts the case on failure.
void create_fake_service(const std::wstring& name, FakeMode mode, bool start = false,
                         DWORD start_type = SERVICE_DEMAND_START);
bool start_service(const std::wstring& name);
bool control_service(const std::wstring& name, DWORD control);   // SERVICE_CONTROL_STOP, _PAUSE, ...
// SERVICE_CONTROL_STOP, then waits for SERVICE_STOPPED; true when it came.
bool stop_service(const std::wstring& name, DWORD timeout_ms = kServiceTimeout);
// DeleteService alone, as a program would call it; true when the call succeeded.
bool delete_service(const std::wstring& name);
bool wait_service_state(const std::wstring& name, DWORD state, DWORD timeout_ms = kServiceTimeout);
// Stops (asks, then makes a fake service quit, then kills its process) and
// deletes, and waits until the name is gone. True when it is gone.
bool remove_service(const std::wstring& name);
// Removes the service when the case ends (for services Kestane registers).
void track_service(const std::wstring& name);
// Services whose binary is one of ours, or named Velmora.
std::vector<std::wstring> leftover_services();
// Removes those services and ends every process running from our folders
// (the driver excepted). The runner does this before the first case and
// after each case; warn prints what was found.
void remove_leftovers(bool warn = true);

// ---------------------------------------------------------------- files

bool file_exists(const std::wstring& path);
bool dir_exists(const std::wstring& path);
// Creates the missing folders of path; those it created are removed (when
// empty) at the end of the case.
bool make_dirs(const std::wstring& path);
// Creates (or overwrites) a file with UTF-8 contents, making its folders;
// deleted at the end of the case.
bool make_file(const std::wstring& path, const std::string& contents = "");
bool copy_file(const std::wstring& from, const std::wstring& to);   // tracked like make_file
bool delete_file(const std::wstring& path);
void track_file(const std::wstring& path);                          // delete at the end of the case
std::string read_file(const std::wstring& path);
// The names a folder holds, sorted, without "." and "..".
std::vector<std::wstring> names_in(const std::wstring& folder);
std::wstring special_folder(int csidl);                              // SHGetFolderPathW, e.g. CSIDL_DESKTOPDIRECTORY

// ---------------------------------------------------------------- recorder

// Copies recorder.exe to path (a table path such as
// L"C:\\Program Files\\X\\Uninstall.exe"), making its folders. Every start of
// it appends one line to path + ".log" and exits; both are deleted at the end
// of the case.
bool install_recorder(const std::wstring& path);
struct Launch {
    std::wstring command_line;   // GetCommandLineW of the started program
    std::wstring cwd;
    std::wstring program_files;  // the recorder's CSIDL_PROGRAM_FILES: Kestane's bitness sees the same
    std::wstring temp;           // its TEMP variable
    bool show_set = false;       // STARTF_USESHOWWINDOW was given
    int show = -1;               // wShowWindow when show_set
};
std::vector<Launch> recorded_launches(const std::wstring& recorder_path);
// Waits until the recorder at that path has logged at least count starts.
std::vector<Launch> wait_launches(const std::wstring& recorder_path, size_t count, DWORD timeout_ms = kStandInTimeout);

// ---------------------------------------------------------------- the desktop's shell

// Under Wine no shell runs and every process has the elevated half of a
// split token: Kestane would find no desktop user, as on Windows with
// Explorer ended, and leave the user's folders alone. The runner therefore
// starts a stand-in before each case: sleeper.exe --shell, on the limited
// half of the driver's token, makes its window the shell window. A case
// that shows the machine without a shell stops it; the next case has it
// again.
bool start_shell_stand_in();
void stop_shell_stand_in();
DWORD shell_stand_in_pid();   // 0 while none runs

}  // namespace e2e
