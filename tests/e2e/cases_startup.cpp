// Start-up of Kestane: what the main window shows about the machine it finds,
// and how it ends.
#include "harness.h"

using namespace e2e;

namespace {

constexpr int kResidentLabel = 1003;
constexpr int kSummaryLabel = 1004;
constexpr int kHeading = 1006;
constexpr int kInstalledLabel = 1008;
constexpr int kGuardButton = 1034;
constexpr int kGuardStatusLabel = 1036;

constexpr wchar_t kInstalledOff[] = L"설치: OFF";
constexpr wchar_t kInstalledOn[] = L"설치: ON";
constexpr wchar_t kResidentOff[] = L"상주: OFF";
constexpr wchar_t kResidentOn[] = L"상주: ON";
constexpr wchar_t kNoGrid[] = L"설치된 그리드가 없습니다";
constexpr wchar_t kGridFound[] = L"설치된 그리드가 있습니다";
constexpr wchar_t kGuardInUse[] = L"실시간 감시 기능 사용중";
constexpr wchar_t kGuardStopped[] = L"실시간 감시 기능 중지됨";
constexpr wchar_t kGuardOff[] = L"실시간 감시 기능 꺼짐";
constexpr wchar_t kGuardTurnOn[] = L"Velmora 켜기";
constexpr wchar_t kGuardTurnOff[] = L"Velmora 끄기";

void expect_guard(HWND main, const wchar_t* status, const wchar_t* button) {
    ok_control_text(main, kGuardStatusLabel, status);
    ok_control_text(main, kGuardButton, button);
}

void expect_exit_code_zero(const App& app, const char* how) {
    DWORD code = 0;
    bool ended = wait_exit(app.proc, kExitTimeout, &code);
    ok(ended, "%s: expected Kestane to end within %lu ms, it still runs", how, kExitTimeout);
    if (ended) ok(code == 0, "%s: expected exit code 0, got %lu", how, code);
    ok(!IsWindow(app.main), "%s: expected the main window to be gone, it is still there", how);
}

}  // namespace

// Nothing of ours installed or running: every label shows its "nothing
// found" text, including the guard line, whose template text says "in use".
E2E_CASE(startup_clean_machine) {
    App app = launch_kestane();
    std::wstring caption = window_text(app.main);
    ok(caption == kMainCaption, "caption: expected %s, got %s", str(kMainCaption), str(caption));
    ok_control_text(app.main, kHeading, L"그리드 제거 프로그램");
    ok_control_text(app.main, kInstalledLabel, kInstalledOff);
    ok_control_text(app.main, kResidentLabel, kResidentOff);
    ok_control_text(app.main, kSummaryLabel, kNoGrid);
    expect_guard(app.main, kGuardOff, kGuardTurnOn);

    // The template asks the dialog manager to centre the window on the screen.
    RECT window = window_rect(app.main);
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    long dx = (window.left + window.right) / 2 - (work.left + work.right) / 2;
    long dy = (window.top + window.bottom) / 2 - (work.top + work.bottom) / 2;
    ok(dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2,
       "expected the window centred in the work area (%ld,%ld)-(%ld,%ld), got (%ld,%ld)-(%ld,%ld)", work.left,
       work.top, work.right, work.bottom, window.left, window.top, window.right, window.bottom);

    // Administrators get no notice at start-up: nothing but the main window.
    HWND box = wait_message_box_of(app.proc.pid, app.main, 500);
    ok(!box, "expected no dialog besides the main window, got %s", box ? str(window_text(box)) : "");
}

// A grid program in memory, no grid service: resident, not installed. The
// image name is the catalogue's "pinomate.exe" in capitals.
E2E_CASE(startup_resident_grid_only) {
    start_fake_grid(L"PINOMATE.EXE");
    App app = launch_kestane();
    ok_control_text(app.main, kResidentLabel, kResidentOn);
    ok_control_text(app.main, kSummaryLabel, kGridFound);
    ok_control_text(app.main, kInstalledLabel, kInstalledOff);
    expect_guard(app.main, kGuardOff, kGuardTurnOn);
    ok(count_processes(L"PINOMATE.EXE") == 1, "expected the grid process to be left running at start-up, got %d",
       count_processes(L"PINOMATE.EXE"));
}

// A process whose name only begins with a catalogue entry is no grid.
E2E_CASE(startup_lookalike_process_is_no_grid) {
    start_fake_grid(L"pinomate");
    start_fake_grid(L"bigfilesearch.exe.old");
    App app = launch_kestane();
    ok_control_text(app.main, kResidentLabel, kResidentOff);
    ok_control_text(app.main, kSummaryLabel, kNoGrid);
}

// A registered grid service counts as installed whatever its state; the name
// has a blank in it and must reach the Service Control Manager unchanged.
E2E_CASE(startup_stopped_grid_service) {
    create_fake_service(L"QuickDownload Agent", FakeMode::Stops);
    ServiceInfo service = query_service(L"QuickDownload Agent");
    need(service.state == SERVICE_STOPPED, "expected the service to be %s, got %s", state_name(SERVICE_STOPPED),
         state_name(service.state));
    App app = launch_kestane();
    ok_control_text(app.main, kInstalledLabel, kInstalledOn);
    ok_control_text(app.main, kSummaryLabel, kGridFound);
    ok_control_text(app.main, kResidentLabel, kResidentOff);
    service = query_service(L"QuickDownload Agent");
    ok(service.exists && service.state == SERVICE_STOPPED,
       "expected the probe to leave the service registered and stopped, got %s",
       service.exists ? state_name(service.state) : "no service");
}

// netaccelerator belongs to the group that the removal only disables: stopped
// it is no installed grid, running it is.
E2E_CASE(startup_netaccelerator_counts_only_while_running) {
    create_fake_service(L"netaccelerator", FakeMode::Stops);
    {
        App app = launch_kestane();
        ok_control_text(app.main, kInstalledLabel, kInstalledOff);
        ok_control_text(app.main, kSummaryLabel, kNoGrid);
        close_kestane(app);
    }
    need(start_service(L"netaccelerator") && wait_service_state(L"netaccelerator", SERVICE_RUNNING),
         "expected netaccelerator to run, it is %s", state_name(query_service(L"netaccelerator").state));
    App app = launch_kestane();
    ok_control_text(app.main, kInstalledLabel, kInstalledOn);
    ok_control_text(app.main, kSummaryLabel, kGridFound);
    ok_control_text(app.main, kResidentLabel, kResidentOff);
}

// The guard line follows the state of the service named Velmora, not the
// presence of Velmora.exe: here a stand-in service plays the guard (until
// Kestane points its registration at the guard's copy, as it does with any
// registration of another program).
E2E_CASE(startup_guard_state) {
    remove_guard_copy_afterwards();
    create_fake_service(L"Velmora", FakeMode::Stops);
    {
        App app = launch_kestane();
        expect_guard(app.main, kGuardStopped, kGuardTurnOn);
        ok_control_text(app.main, kInstalledLabel, kInstalledOff);
        close_kestane(app);
    }
    need(start_service(L"Velmora") && wait_service_state(L"Velmora", SERVICE_RUNNING),
         "expected Velmora to run, it is %s", state_name(query_service(L"Velmora").state));
    {
        App app = launch_kestane();
        expect_guard(app.main, kGuardInUse, kGuardTurnOff);
        close_kestane(app);
    }
    // Paused is not stopped.
    need(control_service(L"Velmora", SERVICE_CONTROL_PAUSE) && wait_service_state(L"Velmora", SERVICE_PAUSED),
         "expected Velmora to pause, it is %s", state_name(query_service(L"Velmora").state));
    App app = launch_kestane();
    expect_guard(app.main, kGuardInUse, kGuardTurnOff);
}

// A guard that never finished starting is not stopped either.
E2E_CASE(startup_guard_start_pending) {
    remove_guard_copy_afterwards();
    create_fake_service(L"Velmora", FakeMode::Pending, true);
    App app = launch_kestane();
    expect_guard(app.main, kGuardInUse, kGuardTurnOff);
}

// IDCANCEL (Esc), the close box and IDOK all end the program at once, with
// exit code 0 and no question asked.
E2E_CASE(startup_window_closes) {
    {
        App app = launch_kestane();
        ok(PostMessageW(app.main, WM_COMMAND, IDCANCEL, 0), "posting IDCANCEL failed: error %lu", GetLastError());
        expect_exit_code_zero(app, "IDCANCEL");
    }
    {
        App app = launch_kestane();
        ok(post_close(app.main), "posting WM_CLOSE failed: error %lu", GetLastError());
        expect_exit_code_zero(app, "WM_CLOSE");
    }
    App app = launch_kestane();
    ok(PostMessageW(app.main, WM_COMMAND, IDOK, 0), "posting IDOK failed: error %lu", GetLastError());
    expect_exit_code_zero(app, "IDOK");
}
