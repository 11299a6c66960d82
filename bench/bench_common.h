// Shared pieces of the measurement programs (startup_bench, guard_cost,
// guard_soak): the command line and the figures block, clocks, the Velmora
// service installed for real, and CPU and memory readings of another process.
//
// Each program runs one harness case (tests/e2e/harness.h), so whatever the
// case sets up is undone when it ends, even when it was aborted. The figures
// the case records are printed after the harness has cleaned up, one line per
// figure, under "figures:".
#pragma once

#include "../tests/e2e/harness.h"

#include <psapi.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

// ---------------------------------------------------------------- program frame

// Parses --bin DIR and --status-file FILE (the other arguments are the
// program's own), runs the named harness case, prints the figures (or says
// that there are none), writes the status file and returns the exit code: 0
// when the case ran through, 1 when the harness failed it.
int run(int argc, wchar_t** argv, const wchar_t* case_name);

// The program's own argument `index` as a number, or fallback when it is
// absent or no number.
double number_argument(size_t index, double fallback);

// One line of the figures block (printf format, UTF-8). Also echoed at once
// through e2e::trace, so that a run cut short still shows what it had.
void figure(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ---------------------------------------------------------------- numbers

double median(std::vector<double> values);
double maximum(const std::vector<double>& values);
std::string join_numbers(const std::vector<double>& values, const char* format = "%.1f");

// Seconds on the performance counter.
double now();
// 100 ns units of a FILETIME as seconds.
double filetime_seconds(const FILETIME& time);

// ---------------------------------------------------------------- helpers for the cases

// Starts `count` sleeper processes (plain name, no grid) and waits until Tool
// Help lists them; ended when the case ends. Aborts the case on failure.
void start_sleepers(int count);

// Aborts the case when a grid program of the catalogue runs or a grid service
// of the catalogue is registered: the guard measurements want neither.
void need_no_grid();

// What the work that the probes and the guard repeat costs this process, for
// comparison with the figures measured on the real programs: the average
// wall and CPU time (milliseconds) of one pass of `work` over `repeats`.
struct Cost {
    double wall_ms = 0;
    double cpu_ms = 0;
};
Cost cost_of(int repeats, const std::function<void()>& work);
// One Tool Help process snapshot, walked to its end, as the probe and the
// guard take one per image name; returns the number of entries.
int walk_process_snapshot();

// ---------------------------------------------------------------- Linux side (Wine only)

// Under Wine every Windows process is a Linux process, and GetProcessTimes
// gives no CPU time for any process but the caller. The CPU time of another
// process is then read from the Linux /proc, through drive Z:.
struct UnixCpu {
    bool ok = false;
    double thread_seconds = 0;   // sum of the threads' schedstat run time (ns precision)
    double stat_seconds = 0;     // utime + stime of /proc/PID/stat (10 ms ticks, whole process)
    double user_seconds = 0;     // its utime
    double system_seconds = 0;   // its stime
};

class UnixProcess {
public:
    UnixProcess() = default;
    explicit UnixProcess(int pid) : pid_(pid) {}
    int pid() const { return pid_; }
    explicit operator bool() const { return pid_ > 0; }
    // CPU time so far; the threads that have ended since an earlier reading
    // keep their last value.
    UnixCpu cpu();

private:
    int pid_ = 0;
    std::map<int, double> thread_seconds_;
};

// True when Z:\proc is the Linux /proc (we run under Wine).
bool have_unix_proc();
// The Linux processes of our own Wine prefix whose command name is `image`
// (the kernel keeps the first 15 characters).
std::vector<int> unix_pids_of(const std::wstring& image);

// GetProcessTimes user + kernel, in seconds; -1 when the call fails.
double process_cpu_seconds(HANDLE process);

struct Memory {
    bool ok = false;
    double working_set_mb = 0;   // WorkingSetSize
    double private_mb = 0;       // PagefileUsage: the private bytes (commit charge)
};
Memory process_memory(HANDLE process);

// ---------------------------------------------------------------- the guard

constexpr wchar_t kGuardService[] = L"Velmora";

struct Guard {
    DWORD pid = 0;
    HANDLE process = nullptr;   // query, read and wait rights; closed when the case ends
    double running_at = 0;      // now() when SERVICE_RUNNING was first seen
    UnixProcess unix_process;   // under Wine
};

// Registers dist\win64\Velmora.exe as the own-process, demand-start service
// "Velmora" (quoted path), starts it, waits for SERVICE_RUNNING and finds its
// process by image name. When the case ends the service is stopped, its
// process given time to end, and the registration deleted. Aborts the case on
// failure.
Guard start_guard();

// ---------------------------------------------------------------- sweeps seen in the CPU trace

struct CpuSample {
    double at = 0;        // now()
    double seconds = 0;   // CPU time of the process so far
};

struct Burst {
    double start = 0;   // time of the last idle sample before it
    double end = 0;     // time of its last busy sample
    double cpu = 0;     // CPU seconds spent in it
};

// Splits a CPU trace into bursts of work: samples whose CPU time grew by more
// than `min_step` seconds, merged while less than `gap` seconds lie between.
// The guard sleeps ten seconds between sweeps, so each burst is one sweep.
std::vector<Burst> find_bursts(const std::vector<CpuSample>& trace, double min_step = 0.0001, double gap = 3.0);

}  // namespace bench
