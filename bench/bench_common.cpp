#include "bench_common.h"

#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "../src/shared/catalogue.h"

namespace bench {

// ================================================================ program frame

namespace {

std::vector<std::wstring> own_arguments;
std::vector<std::string> figure_lines;

}  // namespace

int run(int argc, wchar_t** argv, const wchar_t* case_name) {
    // Line ends stay LF and UTF-8 goes out untouched to the Linux side.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::wstring status_file;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--bin" && i + 1 < argc)
            e2e::set_bin_dir(argv[++i]);
        else if (arg == L"--status-file" && i + 1 < argc)
            status_file = argv[++i];
        else
            own_arguments.push_back(arg);
    }

    int status = e2e::run_cases({case_name}, false);
    if (status == 0 && figure_lines.empty()) status = 1;   // the case was not found or recorded nothing

    printf("\nfigures:\n");
    if (figure_lines.empty()) printf("  (none: the run did not get that far)\n");
    for (const std::string& line : figure_lines) printf("  %s\n", line.c_str());
    printf("%s\n", status == 0 ? "the measurement ran through" : "the measurement FAILED (see above)");
    fflush(stdout);
    if (!status_file.empty()) e2e::write_status_file(status_file, status);
    return status;
}

double number_argument(size_t index, double fallback) {
    if (index >= own_arguments.size()) return fallback;
    const std::wstring& text = own_arguments[index];
    wchar_t* end = nullptr;
    double value = wcstod(text.c_str(), &end);
    if (end == text.c_str() || *end) return fallback;
    return value;
}

void figure(const char* fmt, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buffer, sizeof(buffer), fmt, args);
    va_end(args);
    figure_lines.push_back(buffer);
    e2e::trace("%s", buffer);
}

// ================================================================ numbers

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    if (values.size() % 2) return values[middle];
    return (values[middle - 1] + values[middle]) / 2;
}

double maximum(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string join_numbers(const std::vector<double>& values, const char* format) {
    std::string out;
    char buffer[64];
    for (double value : values) {
        snprintf(buffer, sizeof(buffer), format, value);
        if (!out.empty()) out += ' ';
        out += buffer;
    }
    return out;
}

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double filetime_seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

// ================================================================ helpers for the cases

void start_sleepers(int count) {
    const std::wstring sleeper = e2e::tool_path(L"sleeper.exe");
    int before = e2e::count_processes(L"sleeper.exe");
    for (int i = 0; i < count; ++i) {
        e2e::Proc proc = e2e::start_process(sleeper);
        need(proc, "starting sleeper %d of %d from %s failed", i + 1, count, e2e::str(sleeper));
    }
    need(e2e::wait_process_count(L"sleeper.exe", before + count, 30000), "expected %d sleeper processes, got %d",
         before + count, e2e::count_processes(L"sleeper.exe"));
}

void need_no_grid() {
    for (size_t i = 0; i < grid::kMainEdition.imageCount; ++i) {
        std::wstring image = e2e::wide(grid::kMainEdition.images[i]);
        need(e2e::count_processes(image) == 0, "expected no grid process %s, one runs", e2e::str(image));
    }
    for (size_t i = 0; i < grid::kMainEdition.serviceCount; ++i) {
        std::wstring name = e2e::wide(grid::kMainEdition.services[i].name);
        need(!e2e::service_exists(name), "expected no grid service %s, it is registered", e2e::str(name));
    }
}

Cost cost_of(int repeats, const std::function<void()>& work) {
    Cost cost;
    if (repeats <= 0) return cost;
    double cpu_before = process_cpu_seconds(GetCurrentProcess());
    double before = now();
    for (int i = 0; i < repeats; ++i) work();
    cost.wall_ms = (now() - before) * 1000 / repeats;
    cost.cpu_ms = (process_cpu_seconds(GetCurrentProcess()) - cpu_before) * 1000 / repeats;
    return cost;
}

int walk_process_snapshot() {
    int entries = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) ++entries;
    CloseHandle(snapshot);
    return entries;
}

// ================================================================ Linux side

namespace {

std::wstring proc_path(const std::wstring& tail) { return L"Z:\\proc\\" + tail; }

std::wstring proc_path(int pid, const std::wstring& tail) {
    return proc_path(std::to_wstring(pid) + (tail.empty() ? L"" : L"\\" + tail));
}

bool all_digits(const wchar_t* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < L'0' || *text > L'9') return false;
    return true;
}

std::vector<int> numbered_entries(const std::wstring& folder) {
    std::vector<int> numbers;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return numbers;
    do {
        if (all_digits(found.cFileName)) numbers.push_back(_wtoi(found.cFileName));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return numbers;
}

// The value of NAME in a NUL-separated environment block.
std::string environment_value(const std::string& block, const std::string& name) {
    std::string wanted = name + "=";
    size_t start = 0;
    while (start < block.size()) {
        size_t end = block.find('\0', start);
        if (end == std::string::npos) end = block.size();
        if (block.compare(start, wanted.size(), wanted) == 0)
            return block.substr(start + wanted.size(), end - start - wanted.size());
        start = end + 1;
    }
    return "";
}

const std::string& own_prefix() {
    static const std::string prefix = environment_value(e2e::read_file(proc_path(L"self\\environ")), "WINEPREFIX");
    return prefix;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

bool have_unix_proc() { return !e2e::read_file(proc_path(L"self\\stat")).empty(); }

std::vector<int> unix_pids_of(const std::wstring& image) {
    std::vector<int> pids;
    std::string wanted = e2e::utf8(image).substr(0, 15);
    for (int pid : numbered_entries(L"Z:\\proc")) {
        if (trimmed(e2e::read_file(proc_path(pid, L"comm"))) != wanted) continue;
        if (environment_value(e2e::read_file(proc_path(pid, L"environ")), "WINEPREFIX") != own_prefix()) continue;
        pids.push_back(pid);
    }
    return pids;
}

UnixCpu UnixProcess::cpu() {
    UnixCpu result;
    if (pid_ <= 0) return result;
    // /proc/PID/stat: "pid (comm) state ..." with utime and stime as the 12th
    // and 13th fields after the closing parenthesis, in 1/100 s.
    std::string stat = e2e::read_file(proc_path(pid_, L"stat"));
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos) return result;
    unsigned long long utime = 0, stime = 0;
    if (sscanf(stat.c_str() + paren + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) !=
        2)
        return result;
    result.user_seconds = static_cast<double>(utime) / 100.0;
    result.system_seconds = static_cast<double>(stime) / 100.0;
    result.stat_seconds = result.user_seconds + result.system_seconds;
    // /proc/PID/task/TID/schedstat: nanoseconds on the CPU, first field.
    for (int tid : numbered_entries(proc_path(pid_, L"task"))) {
        std::string line = e2e::read_file(proc_path(pid_, L"task\\" + std::to_wstring(tid) + L"\\schedstat"));
        unsigned long long ns = 0;
        if (sscanf(line.c_str(), "%llu", &ns) == 1) thread_seconds_[tid] = static_cast<double>(ns) / 1e9;
    }
    for (const auto& thread : thread_seconds_) result.thread_seconds += thread.second;
    result.ok = true;
    return result;
}

double process_cpu_seconds(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return -1;
    return filetime_seconds(kernel) + filetime_seconds(user);
}

Memory process_memory(HANDLE process) {
    Memory memory;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters)))
        return memory;
    memory.ok = true;
    memory.working_set_mb = static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
    memory.private_mb = static_cast<double>(counters.PagefileUsage) / (1024.0 * 1024.0);
    return memory;
}

// ================================================================ the guard

namespace {

SERVICE_STATUS_PROCESS guard_status() {
    SERVICE_STATUS_PROCESS status = {};
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return status;
    SC_HANDLE service = OpenServiceW(manager, kGuardService, SERVICE_QUERY_STATUS);
    if (service) {
        DWORD needed = 0;
        QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                             &needed);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return status;
}

bool register_guard() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        e2e::trace("OpenSCManager failed: error %lu", GetLastError());
        return false;
    }
    const std::wstring command = L"\"" + e2e::velmora_path() + L"\"";
    bool registered = false;
    for (int attempt = 0; attempt < 2 && !registered; ++attempt) {
        SC_HANDLE service = CreateServiceW(manager, kGuardService, L"Velmora Tollvard", SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                           command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        if (service) {
            CloseServiceHandle(service);
            registered = true;
            break;
        }
        DWORD error = GetLastError();
        e2e::trace("CreateService Velmora failed: error %lu%s", error,
                   attempt == 0 && error == ERROR_SERVICE_EXISTS ? "; removing the old registration" : "");
        if (error != ERROR_SERVICE_EXISTS && error != ERROR_SERVICE_MARKED_FOR_DELETE) break;
        e2e::remove_service(kGuardService);
    }
    CloseServiceHandle(manager);
    return registered;
}

// Stop, let the process end (it shows its notice for ten seconds after the
// stop), then delete; whatever is left the harness removes by force.
void remove_guard(HANDLE process) {
    e2e::control_service(kGuardService, SERVICE_CONTROL_STOP);
    if (!e2e::wait_service_state(kGuardService, SERVICE_STOPPED, 15000))
        printf("    warning: Velmora did not report SERVICE_STOPPED within 15 s of the stop request\n");
    if (process && WaitForSingleObject(process, 20000) != WAIT_OBJECT_0)
        printf("    warning: the Velmora process still ran 20 s after the stop\n");
    e2e::delete_service(kGuardService);
    if (!e2e::remove_service(kGuardService)) printf("    warning: the service Velmora could not be removed\n");
    if (process) CloseHandle(process);
}

}  // namespace

Guard start_guard() {
    Guard guard;
    need(e2e::file_exists(e2e::velmora_path()), "expected the guard program at %s, it is missing",
         e2e::str(e2e::velmora_path()));
    need(register_guard(), "expected the service Velmora to be registered, it was not");
    // The process handle is filled in below; the cleanup reads it then.
    auto process_slot = std::make_shared<HANDLE>(nullptr);
    e2e::defer([process_slot] { remove_guard(*process_slot); });

    need(e2e::start_service(kGuardService), "expected Velmora to start, StartService failed: error %lu",
         GetLastError());
    double asked = now();
    for (;;) {
        SERVICE_STATUS_PROCESS status = guard_status();
        if (status.dwCurrentState == SERVICE_RUNNING) {
            guard.running_at = now();
            break;
        }
        if (now() - asked >= 30)
            need(false, "expected Velmora to report SERVICE_RUNNING within 30 s, it is %s",
                 e2e::state_name(status.dwCurrentState));
        Sleep(5);
    }

    // Under Wine the service runs in a process of its own: find it by image name.
    std::vector<e2e::ProcessEntry> found;
    for (const e2e::ProcessEntry& entry : e2e::list_processes())
        if (e2e::lower(entry.image) == L"velmora.exe") found.push_back(entry);
    need(found.size() == 1, "expected one process Velmora.exe, found %d", static_cast<int>(found.size()));
    guard.pid = found.front().pid;
    DWORD service_pid = guard_status().dwProcessId;
    if (service_pid && service_pid != guard.pid)
        e2e::trace("note: the service reports process %lu, Tool Help lists Velmora.exe as %lu", service_pid,
                   guard.pid);
    guard.process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, guard.pid);
    need(guard.process, "opening the Velmora process %lu failed: error %lu", guard.pid, GetLastError());
    *process_slot = guard.process;

    if (have_unix_proc()) {
        std::vector<int> pids = unix_pids_of(L"Velmora.exe");
        need(pids.size() == 1, "expected one Linux process Velmora.exe in this Wine prefix, found %d",
             static_cast<int>(pids.size()));
        guard.unix_process = UnixProcess(pids.front());
    }
    return guard;
}

// ================================================================ sweeps seen in the CPU trace

std::vector<Burst> find_bursts(const std::vector<CpuSample>& trace, double min_step, double gap) {
    std::vector<Burst> bursts;
    for (size_t i = 1; i < trace.size(); ++i) {
        double step = trace[i].seconds - trace[i - 1].seconds;
        if (step <= min_step) continue;
        if (!bursts.empty() && trace[i - 1].at - bursts.back().end < gap) {
            bursts.back().end = trace[i].at;
            bursts.back().cpu += step;
        } else {
            bursts.push_back({trace[i - 1].at, trace[i].at, step});
        }
    }
    return bursts;
}

}  // namespace bench
