// The end-to-end harness: test runner, and the Win32 helpers the cases use to
// set up a machine, drive Kestane and look at the outcome. See harness.h.
#include "harness.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <exception>

namespace e2e {

// ================================================================ runner

namespace {

struct CaseEntry {
    const char* name;
    const char* file;
    CaseFunction function;
};

struct CaseAborted {};
struct CaseSkipped {};

std::vector<CaseEntry>& registry() {
    static std::vector<CaseEntry> cases;
    return cases;
}

const char* current_case = nullptr;
int case_failures = 0;
long checks_run = 0;
long checks_failed = 0;
std::vector<std::function<void()>> cleanup_steps;

void vprint(const char* fmt, va_list args) {
    vfprintf(stdout, fmt, args);
    fflush(stdout);
}

void print(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void print(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vprint(fmt, args);
    va_end(args);
}

const char* base_name(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

// Whole-name match with * and ?.
bool glob_match(const wchar_t* pattern, const wchar_t* text) {
    if (!*pattern) return !*text;
    if (*pattern == L'*') return glob_match(pattern + 1, text) || (*text && glob_match(pattern, text + 1));
    if (!*text) return false;
    if (*pattern == L'?' || *pattern == *text) return glob_match(pattern + 1, text + 1);
    return false;
}

bool selected(const std::wstring& name, const std::vector<std::wstring>& patterns) {
    if (patterns.empty()) return true;
    for (const std::wstring& pattern : patterns) {
        if (pattern.find_first_of(L"*?") != std::wstring::npos) {
            if (glob_match(pattern.c_str(), name.c_str())) return true;
        } else if (name.find(pattern) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

void run_cleanup() {
    while (!cleanup_steps.empty()) {
        std::function<void()> step = std::move(cleanup_steps.back());
        cleanup_steps.pop_back();
        try {
            step();
        } catch (...) {
            print("    cleanup step of %s ended by an exception\n", current_case ? current_case : "the run");
        }
    }
}

void remove_leftover_processes(bool warn);

void clear_folder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(join(folder, L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = join(folder, name);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            clear_folder(path);
            RemoveDirectoryW(path.c_str());
        } else {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

Registration::Registration(const char* name, const char* file, CaseFunction function) {
    registry().push_back({name, file, function});
}

bool check_at(const char* file, int line, bool cond, const char* fmt, ...) {
    ++checks_run;
    if (cond) return true;
    ++checks_failed;
    ++case_failures;
    print("%s:%d: Test failed: ", base_name(file), line);
    va_list args;
    va_start(args, fmt);
    vprint(fmt, args);
    va_end(args);
    print("\n");
    return false;
}

void abort_case() { throw CaseAborted(); }

void skip_case(const char* fmt, ...) {
    print("    skipped: ");
    va_list args;
    va_start(args, fmt);
    vprint(fmt, args);
    va_end(args);
    print("\n");
    throw CaseSkipped();
}

void trace(const char* fmt, ...) {
    print("    %s: ", current_case ? current_case : "driver");
    va_list args;
    va_start(args, fmt);
    vprint(fmt, args);
    va_end(args);
    print("\n");
}

void defer(std::function<void()> step) { cleanup_steps.push_back(std::move(step)); }

void write_status_file(const std::wstring& path, int status) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string text = std::to_string(status) + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

int run_cases(const std::vector<std::wstring>& patterns, bool list_only) {
    int passed = 0, failed = 0, skipped = 0;
    ULONGLONG run_started = GetTickCount64();
    if (!list_only) {
        print("Kestane: %s\n", str(kestane_path()));
        print("tools:   %s\n", str(tool_dir()));
        print("Windows: %s-bit; Kestane: %s-bit%s; driver: %u-bit\n", windows_is_64bit() ? "64" : "32",
              is_32bit_program(kestane_path()) ? "32" : "64", kestane_on_wow64() ? " under WoW64" : "",
              static_cast<unsigned>(sizeof(void*) * 8));
        CreateDirectoryW(scratch_dir().c_str(), nullptr);
        clear_folder(scratch_dir());
        remove_leftovers(true);
    }
    // The harness's own cases first (when the harness is broken, that shows
    // before anything else), then file by file in name order, each file's
    // cases in source order.
    std::vector<CaseEntry> cases = registry();
    auto file_rank = [](const CaseEntry& entry) {
        return std::string(strcmp(base_name(entry.file), "cases_harness.cpp") == 0 ? "0" : "1") + base_name(entry.file);
    };
    std::stable_sort(cases.begin(), cases.end(),
                     [&](const CaseEntry& a, const CaseEntry& b) { return file_rank(a) < file_rank(b); });
    for (const CaseEntry& entry : cases) {
        if (!selected(wide(entry.name), patterns)) continue;
        if (list_only) {
            print("%s (%s)\n", entry.name, base_name(entry.file));
            continue;
        }
        // Every case meets the desktop of a user, as on Windows with UAC;
        // one that ends the stand-in has it again for the next.
        if (!start_shell_stand_in()) print("    warning: the shell stand-in did not start\n");
        current_case = entry.name;
        case_failures = 0;
        bool was_skipped = false;
        print("--- %s\n", entry.name);
        ULONGLONG started = GetTickCount64();
        try {
            entry.function();
        } catch (const CaseAborted&) {
            print("    %s aborted\n", entry.name);
        } catch (const CaseSkipped&) {
            was_skipped = true;
        } catch (const std::exception& e) {
            check_at(entry.file, 0, false, "%s ended by an exception: %s", entry.name, e.what());
        } catch (...) {
            check_at(entry.file, 0, false, "%s ended by an unknown exception", entry.name);
        }
        run_cleanup();
        remove_leftovers(true);
        double seconds = (GetTickCount64() - started) / 1000.0;
        const char* outcome;
        if (case_failures) {
            ++failed;
            outcome = "FAILED";
        } else if (was_skipped) {
            ++skipped;
            outcome = "skipped";
        } else {
            ++passed;
            outcome = "passed";
        }
        print("--- %s: %s (%.1f s)\n", entry.name, outcome, seconds);
        current_case = nullptr;
    }
    if (list_only) return 0;
    stop_shell_stand_in();
    if (passed + failed + skipped == 0) {
        print("no case matches the patterns given\n");
        ++failed;
    }
    print("checks: %ld run, %ld failed; %.1f s\n", checks_run, checks_failed,
          (GetTickCount64() - run_started) / 1000.0);
    if (skipped)
        print("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    else
        print("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

// ================================================================ text

std::string utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& utf8_text) {
    if (utf8_text.empty()) return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()), &out[0], size);
    return out;
}

std::wstring lower(std::wstring text) {
    // LCMapStringW would follow the locale; names and paths only need case folding.
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

const char* str(const std::wstring& text) {
    static std::string ring[32];
    static unsigned next = 0;
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'\n': quoted += L"\\n"; break;
        case L'\r': quoted += L"\\r"; break;
        case L'\t': quoted += L"\\t"; break;
        case L'"': quoted += L"\\\""; break;
        default:
            if (c < 0x20) {
                wchar_t escaped[8];
                swprintf(escaped, 8, L"\\x%02x", static_cast<unsigned>(c));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    quoted += L"\"";
    std::string& slot = ring[next++ % 32];
    slot = utf8(quoted);
    return slot.c_str();
}

const char* str(const wchar_t* text) { return text ? str(std::wstring(text)) : "(null)"; }

// ================================================================ places

namespace {
std::wstring chosen_bin_dir;
std::wstring chosen_tool_dir;

std::wstring module_path() {
    wchar_t buffer[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
    return buffer;
}

std::wstring current_dir() {
    wchar_t buffer[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    std::wstring dir = buffer;
    while (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
    return dir;
}
}  // namespace

std::wstring join(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    if (folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L"\\" + name;
}

std::wstring parent_dir(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L"";
    if (slash == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, slash);
}

void set_bin_dir(const std::wstring& folder) { chosen_bin_dir = folder; }

void set_tool_dir(const std::wstring& folder) { chosen_tool_dir = folder; }

std::wstring tool_dir() { return chosen_tool_dir.empty() ? parent_dir(module_path()) : chosen_tool_dir; }

std::wstring tool_path(const wchar_t* exe_name) { return join(tool_dir(), exe_name); }

std::wstring bin_dir() {
    if (!chosen_bin_dir.empty()) return chosen_bin_dir;
    std::vector<std::wstring> candidates = {current_dir(), tool_dir()};
    for (std::wstring up = tool_dir(); !up.empty(); up = parent_dir(up)) {
        candidates.push_back(join(join(up, L"dist"), sizeof(void*) == 8 ? L"win64" : L"win32"));
        if (up.size() <= 3) break;
    }
    for (const std::wstring& folder : candidates) {
        if (file_exists(join(folder, L"Kestane.exe"))) {
            chosen_bin_dir = folder;
            return folder;
        }
    }
    return current_dir();
}

std::wstring kestane_path() { return join(bin_dir(), L"Kestane.exe"); }
std::wstring velmora_path() { return join(bin_dir(), L"Velmora.exe"); }

bool windows_is_64bit() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool is_32bit_program(const std::wstring& exe) {
    DWORD type = 0;
    return GetBinaryTypeW(exe.c_str(), &type) && type == SCS_32BIT_BINARY;
}

bool kestane_on_wow64() {
    static const bool wow64 = windows_is_64bit() && is_32bit_program(kestane_path());
    return wow64;
}

std::wstring kestane_program_files() {
    // A 64-bit driver gets the 32-bit folder only by asking for it; a 32-bit
    // one under WoW64 gets it either way.
    return special_folder(kestane_on_wow64() ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES);
}

std::wstring guard_folder() { return join(kestane_program_files(), L"Tollvard"); }
std::wstring guard_copy() { return join(guard_folder(), L"Velmora.exe"); }

void remove_guard_copy_afterwards() {
    defer([] {
        DeleteFileW(guard_copy().c_str());
        RemoveDirectoryW(guard_folder().c_str());
        // And what Kestane moved aside, files and all: Tollvard.moved-1, -2, ...
        for (int n = 1; n <= 9; ++n) {
            std::wstring aside = guard_folder() + L".moved-" + std::to_wstring(n);
            for (const std::wstring& name : names_in(aside)) DeleteFileW(join(aside, name).c_str());
            RemoveDirectoryW(aside.c_str());
        }
    });
}

std::wstring kestane_system_dir() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = kestane_on_wow64() ? GetSystemWow64DirectoryW(buffer, MAX_PATH + 1)
                                     : GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return length && length <= MAX_PATH ? std::wstring(buffer, length) : L"";
}

std::wstring scratch_dir() {
    wchar_t buffer[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, buffer);
    return join(buffer, L"tollvard-e2e");
}

// ================================================================ processes

namespace {

void close_proc(const Proc& proc) {
    if (proc.handle) CloseHandle(proc.handle);
}

std::wstring process_path(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return L"";
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    std::wstring path;
    if (QueryFullProcessImageNameW(process, 0, buffer, &size)) path.assign(buffer, size);
    CloseHandle(process);
    return path;
}

bool kill_pid(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    TerminateProcess(process, 1);
    bool gone = WaitForSingleObject(process, kExitTimeout) == WAIT_OBJECT_0;
    CloseHandle(process);
    return gone;
}

int kill_where(const std::function<bool(const ProcessEntry&)>& wanted) {
    int killed = 0;
    DWORD self = GetCurrentProcessId();
    for (int round = 0; round < 5; ++round) {
        int found = 0;
        for (const ProcessEntry& entry : list_processes()) {
            if (entry.pid == self || !wanted(entry)) continue;
            ++found;
            if (kill_pid(entry.pid)) ++killed;
        }
        if (!found) break;
    }
    return killed;
}

bool under(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() <= folder.size()) return false;
    std::wstring p = lower(path), f = lower(folder);
    return p.compare(0, f.size(), f) == 0 && (p[f.size()] == L'\\' || f.back() == L'\\');
}

void remove_leftover_processes(bool warn) {
    std::vector<std::wstring> folders = {tool_dir(), bin_dir(), scratch_dir()};
    kill_where([&](const ProcessEntry& entry) {
        if (entry.pid == shell_stand_in_pid()) return false;  // the runner's own
        for (const std::wstring& folder : folders) {
            if (!under(entry.path, folder)) continue;
            if (warn) print("    warning: process %s (%lu) was left running; ending it\n", str(entry.path),
                            entry.pid);
            return true;
        }
        return false;
    });
}

}  // namespace

Proc start_process(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd, int show) {
    std::wstring command = L"\"" + exe + L"\"";
    if (!args.empty()) command += L" " + args;
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (show >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show);
    }
    PROCESS_INFORMATION info = {};
    std::wstring folder = cwd.empty() ? parent_dir(exe) : cwd;
    Proc proc;
    if (!CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info)) {
        trace("CreateProcess %s failed: error %lu", str(command), GetLastError());
        return proc;
    }
    CloseHandle(info.hThread);
    proc.pid = info.dwProcessId;
    proc.handle = info.hProcess;
    defer([proc] {
        if (WaitForSingleObject(proc.handle, 0) == WAIT_TIMEOUT) {
            TerminateProcess(proc.handle, 1);
            WaitForSingleObject(proc.handle, kExitTimeout);
        }
        close_proc(proc);
    });
    return proc;
}

bool is_running(const Proc& proc) { return proc.handle && WaitForSingleObject(proc.handle, 0) == WAIT_TIMEOUT; }

bool wait_exit(const Proc& proc, DWORD timeout_ms, DWORD* exit_code) {
    if (!proc.handle || WaitForSingleObject(proc.handle, timeout_ms) != WAIT_OBJECT_0) return false;
    if (exit_code) GetExitCodeProcess(proc.handle, exit_code);
    return true;
}

void terminate(const Proc& proc) {
    if (!is_running(proc)) return;
    TerminateProcess(proc.handle, 1);
    WaitForSingleObject(proc.handle, kExitTimeout);
}

std::vector<ProcessEntry> list_processes() {
    std::vector<ProcessEntry> entries;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return entries;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    if (Process32FirstW(snapshot, &entry)) {
        do {
            entries.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile,
                               process_path(entry.th32ProcessID)});
        } while (Process32NextW(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return entries;
}

int count_processes(const std::wstring& image) {
    std::wstring wanted = lower(image);
    int count = 0;
    for (const ProcessEntry& entry : list_processes())
        if (lower(entry.image) == wanted) ++count;
    return count;
}

int kill_processes(const std::wstring& image) {
    std::wstring wanted = lower(image);
    return kill_where([&](const ProcessEntry& entry) { return lower(entry.image) == wanted; });
}

bool wait_process_count(const std::wstring& image, int count, DWORD timeout_ms) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        if (count_processes(image) == count) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
}

void taskkill(const std::wstring& image) {
    std::wstring args = L"/F /IM " + image;
    ShellExecuteW(nullptr, L"open", L"TASKKILL", args.c_str(), nullptr, SW_HIDE);
}

std::vector<Proc> start_fake_grid(const std::wstring& image, int copies) {
    std::wstring path = join(join(scratch_dir(), L"grid"), image);
    std::vector<Proc> started;
    if (!copy_file(tool_path(L"sleeper.exe"), path)) {
        check_at(__FILE__, __LINE__, false, "copying sleeper.exe to %s failed: error %lu", str(path),
                 GetLastError());
        abort_case();
    }
    // Whoever ends these processes (Kestane, TASKKILL or nobody), none may
    // outlive the case: the file cannot be deleted while one runs.
    defer([path] { kill_where([&](const ProcessEntry& entry) { return lower(entry.path) == lower(path); }); });
    for (int i = 0; i < copies; ++i) {
        Proc proc = start_process(path);
        need(proc, "starting %s failed", str(path));
        started.push_back(proc);
    }
    // Wait until Tool Help lists every copy under its image name, as the probe will look for it.
    ULONGLONG deadline = GetTickCount64() + kExitTimeout;
    while (count_processes(image) < copies && GetTickCount64() < deadline) Sleep(20);
    need(count_processes(image) >= copies, "expected %d processes %s, got %d", copies, str(image),
         count_processes(image));
    return started;
}

// ================================================================ windows

namespace {

struct EnumState {
    const WindowQuery* query;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_window(HWND window, LPARAM param) {
    EnumState* state = reinterpret_cast<EnumState*>(param);
    const WindowQuery& q = *state->query;
    if (window == q.exclude) return TRUE;
    if (q.visible_only && !IsWindowVisible(window)) return TRUE;
    if (q.pid) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != q.pid) return TRUE;
    }
    if (q.owner && GetWindow(window, GW_OWNER) != q.owner) return TRUE;
    if (q.class_name && window_class(window) != q.class_name) return TRUE;
    if (q.caption) {
        // GetWindowTextW reads the stored caption without sending a message,
        // so a window whose thread is busy cannot hold up the search.
        wchar_t caption[512] = {};
        GetWindowTextW(window, caption, 512);
        if (std::wstring(caption) != q.caption) return TRUE;
    }
    state->found.push_back(window);
    return TRUE;
}

LRESULT send_timeout(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool* ok_out = nullptr) {
    DWORD_PTR result = 0;
    LRESULT sent = SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result);
    if (ok_out) *ok_out = sent != 0;
    return static_cast<LRESULT>(result);
}

}  // namespace

std::vector<HWND> find_windows(const WindowQuery& query) {
    EnumState state{&query, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND find_window(const WindowQuery& query) {
    std::vector<HWND> found = find_windows(query);
    return found.empty() ? nullptr : found.front();
}

HWND wait_window(const WindowQuery& query, DWORD timeout_ms) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        if (HWND window = find_window(query)) return window;
        if (GetTickCount64() >= deadline) return nullptr;
        Sleep(50);
    }
}

std::wstring window_text(HWND window) {
    bool sent = false;
    LRESULT length = send_timeout(window, WM_GETTEXTLENGTH, 0, 0, &sent);
    if (!sent) return L"<no answer>";
    // The length of an ANSI window's text may be counted in bytes; leave room.
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 64, L'\0');
    LRESULT copied = send_timeout(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &sent);
    if (!sent) return L"<no answer>";
    return std::wstring(buffer.data(), static_cast<size_t>(std::max<LRESULT>(copied, 0)));
}

std::wstring window_class(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

bool has_control(HWND dialog, int id) { return GetDlgItem(dialog, id) != nullptr; }

std::wstring control_text(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return L"<no control " + std::to_wstring(id) + L">";
    return window_text(control);
}

std::wstring wait_control_text(HWND dialog, int id, const std::wstring& expected, DWORD timeout_ms) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        std::wstring text = control_text(dialog, id);
        if (text == expected || GetTickCount64() >= deadline) return text;
        Sleep(50);
    }
}

bool check_control_text(const char* file, int line, HWND dialog, int id, const std::wstring& expected) {
    std::wstring got = control_text(dialog, id);
    return check_at(file, line, got == expected, "control %d: expected %s, got %s", id, str(expected), str(got));
}

bool press(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control)) != 0;
}

bool post_close(HWND window) { return PostMessageW(window, WM_CLOSE, 0, 0) != 0; }

RECT window_rect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

std::vector<std::wstring> listbox_rows(HWND dialog, int id) {
    std::vector<std::wstring> rows;
    HWND list = GetDlgItem(dialog, id);
    if (!list) return rows;
    LRESULT count = send_timeout(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = send_timeout(list, LB_GETTEXTLEN, i, 0);
        if (length < 0) length = 0;
        std::vector<wchar_t> buffer(static_cast<size_t>(length) + 64, L'\0');
        LRESULT copied = send_timeout(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
        rows.emplace_back(buffer.data(), static_cast<size_t>(std::max<LRESULT>(copied, 0)));
    }
    return rows;
}

Proc start_kestane(const std::wstring& cwd) {
    return start_process(kestane_path(), L"", cwd.empty() ? bin_dir() : cwd);
}

HWND wait_main_window(const Proc& proc, DWORD timeout_ms) {
    WindowQuery query;
    query.pid = proc.pid;
    query.caption = kMainCaption;
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        if (HWND window = find_window(query)) return window;
        if (!is_running(proc) || GetTickCount64() >= deadline) return nullptr;
        Sleep(50);
    }
}

App launch_kestane(const std::wstring& cwd) {
    App app;
    app.proc = start_kestane(cwd);
    need(app.proc, "Kestane could not be started from %s", str(kestane_path()));
    app.main = wait_main_window(app.proc, kWindowTimeout);
    if (!app.main) {
        DWORD code = 0;
        bool ended = wait_exit(app.proc, 0, &code);
        if (ended)
            check_at(__FILE__, __LINE__, false, "expected the main window %s, got none: Kestane ended with code %lu",
                     str(kMainCaption), code);
        else
            check_at(__FILE__, __LINE__, false, "expected the main window %s within %lu ms, got none",
                     str(kMainCaption), kWindowTimeout);
        abort_case();
    }
    return app;
}

DWORD close_kestane(const App& app) {
    press(app.main, IDCANCEL);
    DWORD code = 0;
    need(wait_exit(app.proc, kExitTimeout, &code), "expected Kestane to end within %lu ms after IDCANCEL, it still runs",
         kExitTimeout);
    return code;
}

HWND wait_message_box(HWND owner, DWORD timeout_ms) {
    WindowQuery query;
    query.owner = owner;
    query.class_name = L"#32770";
    return wait_window(query, timeout_ms);
}

HWND wait_message_box_of(DWORD pid, HWND exclude, DWORD timeout_ms) {
    WindowQuery query;
    query.pid = pid;
    query.class_name = L"#32770";
    query.exclude = exclude;
    return wait_window(query, timeout_ms);
}

MessageBoxText read_message_box(HWND box) {
    MessageBoxText result;
    result.caption = window_text(box);
    if (has_control(box, 0xFFFF)) {
        result.text = control_text(box, 0xFFFF);
        return result;
    }
    // Older message box templates number the text differently: take the
    // first static control with text.
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (lower(window_class(child)) != L"static") continue;
        std::wstring text = window_text(child);
        if (!text.empty()) {
            result.text = text;
            break;
        }
    }
    return result;
}

bool dismiss_message_box(HWND box, DWORD timeout_ms) {
    press(box, IDOK);
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (IsWindow(box)) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
    return true;
}

// ================================================================ services

namespace {

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle = nullptr) : handle_(handle) {}
    ~ScHandle() {
        if (handle_) CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

SC_HANDLE open_manager() { return OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

SC_HANDLE open_service(const std::wstring& name, DWORD access) {
    SC_HANDLE manager = open_manager();
    if (!manager) return nullptr;
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), access);
    DWORD error = GetLastError();
    CloseServiceHandle(manager);
    SetLastError(error);
    return service;
}

bool status_of(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(status), sizeof(*status),
                                &needed) != 0;
}

std::wstring quit_event_name(const std::wstring& service) { return L"Global\\tollvard-e2e-quit-" + service; }

bool wait_state(SC_HANDLE service, DWORD state, DWORD timeout_ms) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        SERVICE_STATUS_PROCESS status = {};
        if (status_of(service, &status) && status.dwCurrentState == state) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
}

// The program of a service's command line: the quoted first word, or
// everything up to and including the first ".exe".
std::wstring program_of(const std::wstring& command) {
    if (!command.empty() && command[0] == L'"') {
        size_t end = command.find(L'"', 1);
        return end == std::wstring::npos ? command.substr(1) : command.substr(1, end - 1);
    }
    size_t exe = lower(command).find(L".exe");
    return exe == std::wstring::npos ? command : command.substr(0, exe + 4);
}

// After a stop request: true once the service is stopped, false when it
// still claims to run (or start) half a second after the request, or has not
// stopped within 5 s.
bool stops_soon(SC_HANDLE service) {
    ULONGLONG asked = GetTickCount64();
    for (;;) {
        SERVICE_STATUS_PROCESS status = {};
        if (!status_of(service, &status)) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) return true;
        ULONGLONG waited = GetTickCount64() - asked;
        if (status.dwCurrentState != SERVICE_STOP_PENDING && waited >= 500) return false;
        if (waited >= 5000) return false;
        Sleep(50);
    }
}

}  // namespace

const wchar_t* fake_mode_name(FakeMode mode) {
    switch (mode) {
    case FakeMode::Stops: return L"stops";
    case FakeMode::Ignore: return L"ignore";
    case FakeMode::Slow: return L"slow";
    case FakeMode::Pending: return L"pending";
    }
    return L"stops";
}

std::wstring fake_service_command(const std::wstring& name, FakeMode mode) {
    return L"\"" + tool_path(L"fake_service.exe") + L"\" " + fake_mode_name(mode) + L" \"" + name + L"\"";
}

const char* state_name(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "SERVICE_STOPPED";
    case SERVICE_START_PENDING: return "SERVICE_START_PENDING";
    case SERVICE_STOP_PENDING: return "SERVICE_STOP_PENDING";
    case SERVICE_RUNNING: return "SERVICE_RUNNING";
    case SERVICE_CONTINUE_PENDING: return "SERVICE_CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING: return "SERVICE_PAUSE_PENDING";
    case SERVICE_PAUSED: return "SERVICE_PAUSED";
    case 0: return "(no service)";
    }
    return "(unknown state)";
}

const char* start_type_name(DWORD start_type) {
    switch (start_type) {
    case SERVICE_BOOT_START: return "SERVICE_BOOT_START";
    case SERVICE_SYSTEM_START: return "SERVICE_SYSTEM_START";
    case SERVICE_AUTO_START: return "SERVICE_AUTO_START";
    case SERVICE_DEMAND_START: return "SERVICE_DEMAND_START";
    case SERVICE_DISABLED: return "SERVICE_DISABLED";
    }
    return "(unknown start type)";
}

ServiceInfo query_service(const std::wstring& name) {
    ServiceInfo info;
    ScHandle service(open_service(name, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (!service) return info;
    info.exists = true;
    SERVICE_STATUS_PROCESS status = {};
    if (status_of(service.get(), &status)) {
        info.state = status.dwCurrentState;
        info.pid = status.dwProcessId;
    }
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    if (needed) {
        std::vector<BYTE> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (QueryServiceConfigW(service.get(), config, needed, &needed)) {
            info.type = config->dwServiceType;
            info.start_type = config->dwStartType;
            if (config->lpBinaryPathName) info.binary_path = config->lpBinaryPathName;
            if (config->lpDisplayName) info.display_name = config->lpDisplayName;
            if (config->lpServiceStartName) info.account = config->lpServiceStartName;
        }
    }
    needed = 0;
    QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    if (needed) {
        std::vector<BYTE> buffer(needed);
        auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
        if (QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(), needed, &needed) &&
            description->lpDescription)
            info.description = description->lpDescription;
    }
    return info;
}

bool service_exists(const std::wstring& name) {
    ScHandle service(open_service(name, SERVICE_QUERY_STATUS));
    return static_cast<bool>(service);
}

bool create_service(const std::wstring& name, const std::wstring& binary_path, DWORD start_type,
                    const std::wstring& display_name) {
    ScHandle manager(open_manager());
    if (!manager) {
        trace("OpenSCManager failed: error %lu", GetLastError());
        return false;
    }
    const std::wstring& shown = display_name.empty() ? name : display_name;
    for (int attempt = 0; attempt < 2; ++attempt) {
        ScHandle service(CreateServiceW(manager.get(), name.c_str(), shown.c_str(), SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, start_type, SERVICE_ERROR_IGNORE,
                                        binary_path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        if (service) {
            track_service(name);
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_EXISTS && error != ERROR_SERVICE_MARKED_FOR_DELETE) {
            trace("CreateService %s failed: error %lu", str(name), error);
            return false;
        }
        trace("service %s was already registered; replacing it", str(name));
        remove_service(name);
    }
    return false;
}

void create_fake_service(const std::wstring& name, FakeMode mode, bool start, DWORD start_type) {
    need(create_service(name, fake_service_command(name, mode), start_type),
         "expected service %s to be registered, it was not", str(name));
    if (!start) return;
    need(start_service(name), "expected service %s to start, StartService failed: error %lu", str(name),
         GetLastError());
    DWORD wanted = mode == FakeMode::Pending ? SERVICE_START_PENDING : SERVICE_RUNNING;
    need(wait_service_state(name, wanted), "expected service %s to reach %s, it is %s", str(name), state_name(wanted),
         state_name(query_service(name).state));
}

bool start_service(const std::wstring& name) {
    ScHandle service(open_service(name, SERVICE_START));
    return service && StartServiceW(service.get(), 0, nullptr);
}

bool control_service(const std::wstring& name, DWORD control) {
    ScHandle service(open_service(name, SERVICE_ALL_ACCESS));
    SERVICE_STATUS status = {};
    return service && ControlService(service.get(), control, &status);
}

bool wait_service_state(const std::wstring& name, DWORD state, DWORD timeout_ms) {
    ScHandle service(open_service(name, SERVICE_QUERY_STATUS));
    return service && wait_state(service.get(), state, timeout_ms);
}

bool remove_service(const std::wstring& name) {
    HANDLE process = nullptr;   // held from the start, so that a reused process id cannot mislead
    std::wstring program = lower(program_of(query_service(name).binary_path));
    {
        ScHandle service(open_service(name, SERVICE_ALL_ACCESS));
        if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
        SERVICE_STATUS_PROCESS status = {};
        if (status_of(service.get(), &status) && status.dwProcessId)
            process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
        if (status.dwCurrentState != SERVICE_STOPPED) {
            // Ask first; a service that refuses, or is not stopping shortly
            // after the request (a fake service in "ignore" mode), is told to
            // quit through its event; anything else is killed. Wine answers a
            // second stop request with ERROR_SERVICE_CANNOT_ACCEPT_CTRL and
            // ends the service's process itself, leaving the state RUNNING
            // with no process: such a service can only be deleted.
            SERVICE_STATUS answer = {};
            bool stopped = ControlService(service.get(), SERVICE_CONTROL_STOP, &answer) && stops_soon(service.get());
            if (!stopped) {
                HANDLE quit = OpenEventW(EVENT_MODIFY_STATE, FALSE, quit_event_name(name).c_str());
                if (quit) {
                    stopped = SetEvent(quit) && wait_state(service.get(), SERVICE_STOPPED, 3000);
                    CloseHandle(quit);
                }
            }
            if (!stopped && status_of(service.get(), &status) && status.dwProcessId) {
                kill_pid(status.dwProcessId);
                wait_state(service.get(), SERVICE_STOPPED, 1000);
            }
        }
        DeleteService(service.get());
    }
    // Wine keeps a deleted service registered until its process has ended,
    // and a process may outlive its service's stop: give it a moment, then
    // end it, found by its handle or, once the service no longer names it,
    // by the service's program.
    ULONGLONG deadline = GetTickCount64() + 1000;
    while (service_exists(name) && GetTickCount64() < deadline) Sleep(50);
    if (process) {
        if (service_exists(name) && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, kExitTimeout);
        }
        CloseHandle(process);
    }
    if (service_exists(name) && !program.empty())
        kill_where([&](const ProcessEntry& entry) { return lower(entry.path) == program; });
    deadline = GetTickCount64() + 5000;
    while (service_exists(name)) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
    return true;
}

bool stop_service(const std::wstring& name, DWORD timeout_ms) {
    return control_service(name, SERVICE_CONTROL_STOP) && wait_service_state(name, SERVICE_STOPPED, timeout_ms);
}

bool delete_service(const std::wstring& name) {
    ScHandle service(open_service(name, DELETE));
    return service && DeleteService(service.get());
}

void remove_leftovers(bool warn) {
    for (const std::wstring& name : leftover_services()) {
        if (warn) print("    warning: service %s was left behind; removing it\n", str(name));
        if (!remove_service(name)) print("    warning: service %s could not be removed\n", str(name));
    }
    remove_leftover_processes(warn);
}

void track_service(const std::wstring& name) {
    defer([name] {
        if (!remove_service(name)) print("    warning: service %s could not be removed\n", str(name));
    });
}

std::vector<std::wstring> leftover_services() {
    std::vector<std::wstring> names;
    ScHandle manager(open_manager());
    if (!manager) return names;
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed,
                          &count, &resume, nullptr);
    if (!needed) return names;
    std::vector<BYTE> buffer(needed + 4096);
    resume = 0;
    if (!EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                               static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr))
        return names;
    auto* entries = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    std::wstring ours[] = {lower(tool_dir()), lower(bin_dir()), L"fake_service.exe"};
    for (DWORD i = 0; i < count; ++i) {
        std::wstring name = entries[i].lpServiceName;
        std::wstring binary = lower(query_service(name).binary_path);
        bool leftover = lower(name) == L"velmora";
        for (const std::wstring& mark : ours)
            if (!mark.empty() && binary.find(mark) != std::wstring::npos) leftover = true;
        if (leftover) names.push_back(name);
    }
    return names;
}

// ================================================================ files

bool file_exists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool dir_exists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool make_dirs(const std::wstring& path) {
    if (path.empty() || dir_exists(path)) return true;
    std::wstring parent = parent_dir(path);
    if (!parent.empty() && parent != path && !make_dirs(parent)) return false;
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    defer([path] { RemoveDirectoryW(path.c_str()); });
    return true;
}

void track_file(const std::wstring& path) {
    defer([path] {
        if (file_exists(path) && !delete_file(path)) {
            // A program still running from the file keeps it; end it and try again.
            kill_where([&](const ProcessEntry& entry) { return lower(entry.path) == lower(path); });
            if (!delete_file(path)) print("    warning: %s could not be deleted\n", str(path));
        }
    });
}

bool make_file(const std::wstring& path, const std::string& contents) {
    if (!make_dirs(parent_dir(path))) return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    track_file(path);
    DWORD written = 0;
    bool wrote = contents.empty() ||
                 WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == contents.size();
}

bool copy_file(const std::wstring& from, const std::wstring& to) {
    if (!make_dirs(parent_dir(to))) return false;
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return false;
    track_file(to);
    return true;
}

bool delete_file(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return !file_exists(path);
}

std::string read_file(const std::wstring& path) {
    std::string contents;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return contents;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got) contents.append(buffer, got);
    CloseHandle(file);
    return contents;
}

std::vector<std::wstring> names_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW(join(folder, L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..")
            names.push_back(entry.cFileName);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring special_folder(int csidl) {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return L"";
    return buffer;
}

// ================================================================ recorder

bool install_recorder(const std::wstring& path) {
    std::wstring log = path + L".log";
    delete_file(log);
    if (!copy_file(tool_path(L"recorder.exe"), path)) return false;
    track_file(log);
    return true;
}

std::vector<Launch> recorded_launches(const std::wstring& recorder_path) {
    // One line per start: "show=N|-" TAB "cwd=..." TAB "pf=..." TAB "cmd=..."
    // (UTF-8); the command line, last, may hold tabs.
    std::vector<Launch> launches;
    std::string log = read_file(recorder_path + L".log");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t tab1 = line.find("\tcwd=");
        size_t tab2 = line.find("\tpf=");
        size_t tab3 = line.find("\tcmd=");
        if (line.compare(0, 5, "show=") != 0 || tab3 == std::string::npos || !(tab1 < tab2 && tab2 < tab3))
            continue;
        Launch launch;
        std::string show = line.substr(5, tab1 - 5);
        launch.show_set = show != "-";
        launch.show = launch.show_set ? atoi(show.c_str()) : -1;
        launch.cwd = wide(line.substr(tab1 + 5, tab2 - tab1 - 5));
        launch.program_files = wide(line.substr(tab2 + 4, tab3 - tab2 - 4));
        size_t temp = line.find("\ttemp=", tab2);
        if (temp < tab3) {
            launch.program_files = wide(line.substr(tab2 + 4, temp - tab2 - 4));
            launch.temp = wide(line.substr(temp + 6, tab3 - temp - 6));
        }
        launch.command_line = wide(line.substr(tab3 + 5));
        launches.push_back(launch);
    }
    return launches;
}

std::vector<Launch> wait_launches(const std::wstring& recorder_path, size_t count, DWORD timeout_ms) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        std::vector<Launch> launches = recorded_launches(recorder_path);
        if (launches.size() >= count || GetTickCount64() >= deadline) return launches;
        Sleep(50);
    }
}

// ================================================================ the desktop's shell

namespace {
Proc shell_stand_in;
}  // namespace

DWORD shell_stand_in_pid() { return shell_stand_in.pid; }

bool start_shell_stand_in() {
    if (is_running(shell_stand_in)) return true;
    close_proc(shell_stand_in);
    shell_stand_in = Proc();
    // The limited half of the driver's own token: the one a shell has on
    // Windows with UAC.
    HANDLE own = nullptr, primary = nullptr;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD length = 0;
    bool made = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) &&
                GetTokenInformation(own, TokenLinkedToken, &linked, sizeof(linked), &length) &&
                DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                                 &primary);
    if (linked.LinkedToken) CloseHandle(linked.LinkedToken);
    if (own) CloseHandle(own);
    if (!made) {
        trace("the limited token for the shell stand-in: error %lu", GetLastError());
        return false;
    }
    std::wstring exe = tool_path(L"sleeper.exe");
    std::wstring command = L"\"" + exe + L"\" --shell";
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    bool started = CreateProcessAsUserW(primary, exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        tool_dir().c_str(), &startup, &info);
    DWORD error = GetLastError();
    CloseHandle(primary);
    if (!started) {
        trace("starting the shell stand-in failed: error %lu", error);
        return false;
    }
    CloseHandle(info.hThread);
    shell_stand_in.pid = info.dwProcessId;
    shell_stand_in.handle = info.hProcess;
    // Ready once its window is the shell window.
    for (ULONGLONG deadline = GetTickCount64() + kWindowTimeout; GetTickCount64() < deadline; Sleep(20)) {
        DWORD pid = 0;
        HWND shell = GetShellWindow();
        if (shell && GetWindowThreadProcessId(shell, &pid) && pid == shell_stand_in.pid) return true;
        if (!is_running(shell_stand_in)) break;
    }
    return false;
}

void stop_shell_stand_in() {
    if (is_running(shell_stand_in)) {
        TerminateProcess(shell_stand_in.handle, 0);
        WaitForSingleObject(shell_stand_in.handle, kExitTimeout);
    }
    close_proc(shell_stand_in);
    shell_stand_in = Proc();
}

}  // namespace e2e
