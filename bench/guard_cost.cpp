// guard_cost.exe [SECONDS]: what the guard costs while there is nothing to
// remove. Velmora.exe runs as the real service "Velmora" for SECONDS (default
// 60) with 150 extra processes running and no grid program or grid service
// present; its CPU time over that window, per sweep, and as a share of one
// core.
//
// The first sweep starts as soon as the service reports RUNNING, on the heels
// of the process's own start-up; the two are reported together, apart. The
// window opens once that first sweep is over (the first second without CPU
// time) and lasts SECONDS, so it holds the steady state: one sweep every ten
// seconds and a little more. Sweeps are counted from the CPU trace, sampled every 50 ms: the
// guard is idle for ten seconds between sweeps, so every burst of CPU time is
// one sweep. Under Wine, GetProcessTimes tells nothing about another
// process, so the CPU time comes from the Linux /proc of the guard's process;
// on Windows it comes from GetProcessTimes.
#include <cstdio>

#include "bench_common.h"

namespace {

using namespace e2e;

constexpr int kProcesses = 150;
constexpr double kDefaultSeconds = 60;
constexpr double kSweepIntervalSeconds = 10;   // the guard's wait between sweeps
constexpr double kGoalShare = 0.005;   // of one core
constexpr DWORD kSampleMs = 50;

}  // namespace

E2E_CASE(guard_cost) {
    double seconds = bench::number_argument(0, kDefaultSeconds);
    if (seconds < 15) seconds = 15;

    bench::start_sleepers(kProcesses);
    bench::need_no_grid();
    size_t processes = list_processes().size();

    bench::Guard guard = bench::start_guard();
    const bool wine = static_cast<bool>(guard.unix_process);
    auto cpu_now = [&]() -> double {
        if (wine) return guard.unix_process.cpu().thread_seconds;
        return bench::process_cpu_seconds(guard.process);
    };

    // Other processes whose work the guard's calls cause: the Service Control
    // Manager answers each of its service calls.
    bench::UnixProcess services;
    if (wine) {
        std::vector<int> pids = bench::unix_pids_of(L"services.exe");
        if (pids.size() == 1) services = bench::UnixProcess(pids.front());
    }

    // Wait for the first idle second after the start-up and the first sweep.
    double idle_since = bench::now();
    double last_cpu = cpu_now();
    for (;;) {
        Sleep(kSampleMs);
        double cpu = cpu_now();
        if (cpu - last_cpu > 0.0001) idle_since = bench::now();
        last_cpu = cpu;
        if (bench::now() - idle_since >= 1.0) break;
        if (bench::now() - guard.running_at >= kSweepIntervalSeconds - 1)
            need(false, "expected the guard to be idle after its first sweep, it was busy for %.0f s",
                 kSweepIntervalSeconds - 1);
    }
    double startup_total = wine ? guard.unix_process.cpu().stat_seconds : bench::process_cpu_seconds(guard.process);
    double window_opened = bench::now() - guard.running_at;

    std::vector<bench::CpuSample> trace;
    double window_start = bench::now();
    double times_start = bench::process_cpu_seconds(guard.process);
    bench::UnixCpu unix_start = wine ? guard.unix_process.cpu() : bench::UnixCpu();
    bench::UnixCpu services_start = services ? services.cpu() : bench::UnixCpu();
    bench::Memory memory_start = bench::process_memory(guard.process);
    trace.push_back({bench::now(), cpu_now()});
    while (bench::now() - window_start < seconds) {
        Sleep(kSampleMs);
        if (WaitForSingleObject(guard.process, 0) != WAIT_TIMEOUT)
            need(false, "the Velmora process ended during the run");
        trace.push_back({bench::now(), cpu_now()});
    }
    double window = trace.back().at - window_start;
    double times_end = bench::process_cpu_seconds(guard.process);
    bench::UnixCpu unix_end = wine ? guard.unix_process.cpu() : bench::UnixCpu();
    bench::UnixCpu services_end = services ? services.cpu() : bench::UnixCpu();
    bench::Memory memory_end = bench::process_memory(guard.process);

    double cpu = trace.back().seconds - trace.front().seconds;
    std::vector<bench::Burst> sweeps = bench::find_bursts(trace);
    std::vector<double> sweep_cpu_ms, sweep_wall_ms, sweep_starts;
    for (const bench::Burst& sweep : sweeps) {
        sweep_cpu_ms.push_back(sweep.cpu * 1000);
        sweep_wall_ms.push_back((sweep.end - sweep.start) * 1000);
        sweep_starts.push_back(sweep.start - window_start);
    }
    double spacing = sweeps.size() > 1 ? (sweeps.back().start - sweeps.front().start) / (sweeps.size() - 1) : 0;
    double per_sweep = sweeps.empty() ? 0 : cpu / sweeps.size();
    double share = cpu / window;

    bench::figure("set-up: %d extra sleeper processes, %d processes in all, no grid program or grid service",
                  kProcesses, static_cast<int>(processes));
    bench::figure("start-up and first sweep together: %.0f ms cpu (outside the window)", startup_total * 1000);
    bench::figure("window: %.1f s, opened %.1f s after SERVICE_RUNNING; Velmora process %lu", window, window_opened,
                  guard.pid);
    if (wine) {
        bench::figure("cpu source: Linux /proc/%d (thread schedstat); GetProcessTimes under Wine gives %.1f ms over "
                      "the window, short of the Linux accounting below; not used",
                      guard.unix_process.pid(), (times_end - times_start) * 1000);
        bench::figure("cross-check, /proc/%d/stat utime+stime over the window: %.0f ms (user %.0f + system %.0f, "
                      "10 ms ticks)",
                      guard.unix_process.pid(), (unix_end.stat_seconds - unix_start.stat_seconds) * 1000,
                      (unix_end.user_seconds - unix_start.user_seconds) * 1000,
                      (unix_end.system_seconds - unix_start.system_seconds) * 1000);
    } else {
        bench::figure("cpu source: GetProcessTimes on the service process");
    }
    bench::figure("velmora cpu over the window: %.1f ms", cpu * 1000);
    bench::figure("sweeps seen in the window: %d, one every %.2f s, starting at s: %s",
                  static_cast<int>(sweeps.size()), spacing,
                  bench::join_numbers(sweep_starts, "%.1f").c_str());
    bench::figure("cpu of each sweep (ms): %s", bench::join_numbers(sweep_cpu_ms, "%.1f").c_str());
    bench::figure("length of each sweep, first to last busy sample (ms, 50 ms steps): %s",
                  bench::join_numbers(sweep_wall_ms, "%.0f").c_str());
    bench::figure("velmora cpu per sweep: %.2f ms", per_sweep * 1000);
    bench::figure("velmora share of one core: %.4f %%", share * 100);
    if (services)
        bench::figure("services.exe cpu over the same window (not counted above): %.1f ms",
                      (services_end.thread_seconds - services_start.thread_seconds) * 1000);
    if (memory_start.ok && memory_end.ok)
        bench::figure("velmora memory: working set %.2f -> %.2f MB, private %.2f -> %.2f MB",
                      memory_start.working_set_mb, memory_end.working_set_mb, memory_start.private_mb,
                      memory_end.private_mb);
    int entries = 0;
    bench::Cost snapshot = bench::cost_of(10, [&] { entries = bench::walk_process_snapshot(); });
    bench::figure("for comparison, one process snapshot of %d entries, walked, costs this program %.1f ms cpu, "
                  "%.1f ms wall (average of 10); a sweep takes one per grid image name (10)",
                  entries, snapshot.cpu_ms, snapshot.wall_ms);
    bench::figure("goal under %.1f %% of one core: %s", kGoalShare * 100, share < kGoalShare ? "met" : "NOT met");
}

int wmain(int argc, wchar_t** argv) { return bench::run(argc, argv, L"guard_cost"); }
