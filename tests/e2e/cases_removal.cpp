// Button 1001 and the deep-scan dialog against real services and processes:
// what is gone afterwards, what stays, and what the window says about it.
#include "harness.h"

using namespace e2e;

namespace {

constexpr int kRemoveGrids = 1001;
constexpr int kResidentLabel = 1003;
constexpr int kSummaryLabel = 1004;
constexpr int kDeepScan = 1007;
constexpr int kInstalledLabel = 1008;
constexpr int kServiceList = 1047;
constexpr int kProcessList = 1048;
constexpr int kRemoveAll = 1049;

constexpr wchar_t kNotice[] = L"알림";
constexpr wchar_t kRemoved[] = L"제거되었습니다";
constexpr wchar_t kTryAgain[] = L"다시 시도해 주세요";

// Presses 1001, waits for the outcome's message box, reads and closes it.
MessageBoxText RemoveAndRead(const App& app) {
    need(press(app.main, kRemoveGrids), "pressing 1001 failed: error %lu", GetLastError());
    HWND box = wait_message_box(app.main, 30000);
    need(box, "expected a message box after the removal, none came");
    MessageBoxText message = read_message_box(box);
    ok(message.caption == kNotice, "caption: expected %s, got %s", str(kNotice), str(message.caption));
    ok(dismiss_message_box(box), "the message box did not close");
    return message;
}

bool WaitGone(const std::wstring& name, DWORD timeout_ms) {
    for (DWORD waited = 0; waited <= timeout_ms; waited += 100) {
        if (!service_exists(name)) return true;
        Sleep(100);
    }
    return false;
}

}  // namespace

// Two running grid services, a stopped one and a stopped ExpressService: the
// grids are gone, ExpressService stays untouched.
E2E_CASE(removal_running_and_stopped_services) {
    create_fake_service(L"xOcean", FakeMode::Stops, true);
    create_fake_service(L"KService", FakeMode::Stops, true);
    create_fake_service(L"qdownagent", FakeMode::Stops);
    create_fake_service(L"ExpressService", FakeMode::Stops, false, SERVICE_DEMAND_START);
    App app = launch_kestane();
    ok_control_text(app.main, kInstalledLabel, L"설치: ON");

    MessageBoxText message = RemoveAndRead(app);
    ok(message.text == kRemoved, "expected %s, got %s", str(kRemoved), str(message.text));
    for (const wchar_t* name : {L"xOcean", L"KService", L"qdownagent"})
        ok(WaitGone(name, 5000), "expected %s to be gone, it is %s", str(name), state_name(query_service(name).state));
    ServiceInfo express = query_service(L"ExpressService");
    ok(express.exists, "expected ExpressService to be kept");
    ok(express.start_type == SERVICE_DEMAND_START, "ExpressService start type: expected %s, got %s",
       start_type_name(SERVICE_DEMAND_START), start_type_name(express.start_type));
    ok_control_text(app.main, kInstalledLabel, L"설치: OFF");
    ok_control_text(app.main, kSummaryLabel, L"설치된 그리드가 없습니다");
}

// A running ExpressService is stopped and disabled, never deleted.
E2E_CASE(removal_disables_running_express_service) {
    create_fake_service(L"ExpressService", FakeMode::Stops, true, SERVICE_AUTO_START);
    App app = launch_kestane();
    MessageBoxText message = RemoveAndRead(app);
    ok(message.text == kRemoved, "expected %s, got %s", str(kRemoved), str(message.text));
    ServiceInfo express = query_service(L"ExpressService");
    ok(express.exists, "expected ExpressService to be kept");
    ok(express.start_type == SERVICE_DISABLED, "start type: expected %s, got %s", start_type_name(SERVICE_DISABLED),
       start_type_name(express.start_type));
    ok(wait_service_state(L"ExpressService", SERVICE_STOPPED, 5000), "expected it stopped, it is %s",
       state_name(query_service(L"ExpressService").state));
}

// A service that ignores the stop request survives; the user is asked to try again.
E2E_CASE(removal_service_that_ignores_stop) {
    create_fake_service(L"gdownagent", FakeMode::Ignore, true);
    App app = launch_kestane();
    MessageBoxText message = RemoveAndRead(app);
    ok(message.text == kTryAgain, "expected %s, got %s", str(kTryAgain), str(message.text));
    ok_control_text(app.main, kInstalledLabel, L"설치 :ON");
    ok_control_text(app.main, kSummaryLabel, L"설치된 그리드가 있습니다");
    ok(service_exists(L"gdownagent"), "expected the service to survive");
}

// A grid program found at start-up is ended before the services are touched,
// and its executables under the local application data folder are deleted;
// a same-named file under the roaming folder is not.
E2E_CASE(removal_ends_resident_grids) {
    const std::wstring local = special_folder(CSIDL_LOCAL_APPDATA);
    const std::wstring roaming = special_folder(CSIDL_APPDATA);
    need(!local.empty() && !roaming.empty(), "expected both application data folders");
    const std::wstring localFile = join(local, L"MultiDownload\\MultiDownload.exe");
    const std::wstring localUpdate = join(local, L"multidownload\\multidownloadupdate.exe");
    const std::wstring roamingFile = join(roaming, L"MultiDownload\\MultiDownload.exe");
    need(make_file(localFile) && make_file(localUpdate) && make_file(roamingFile), "could not create the files");
    start_fake_grid(L"PINOMATE.EXE", 2);

    App app = launch_kestane();
    ok_control_text(app.main, kResidentLabel, L"상주: ON");
    MessageBoxText message = RemoveAndRead(app);
    ok(message.text == kRemoved, "expected %s, got %s", str(kRemoved), str(message.text));
    ok(wait_process_count(L"PINOMATE.EXE", 0, 10000), "expected both copies ended, %d remain",
       count_processes(L"PINOMATE.EXE"));
    ok_control_text(app.main, kResidentLabel, L"상주: OFF");
    ok(!file_exists(localFile), "expected %s deleted", str(localFile));
    ok(!file_exists(localUpdate), "expected %s deleted", str(localUpdate));
    ok(file_exists(roamingFile), "expected %s kept", str(roamingFile));
}

// The deep-scan dialog: its place, both lists, "모두 제거" and "취소".
E2E_CASE(deep_scan_dialog) {
    create_fake_service(L"xOcean", FakeMode::Stops, true);
    create_fake_service(L"114ktisetup", FakeMode::Stops);
    App app = launch_kestane();
    // Started after the start-up probe: listed, but not ended by the removal.
    start_fake_grid(L"BigFileSearch.EXE", 2);

    need(press(app.main, kDeepScan), "pressing 1007 failed");
    WindowQuery query;
    query.pid = app.proc.pid;
    query.caption = L"Dunmere";
    query.owner = app.main;
    HWND dialog = wait_window(query, 10000);
    need(dialog, "expected the dialog captioned \"Dunmere\" owned by the main window");
    RECT rect = window_rect(dialog);
    ok(rect.left == 1000 && rect.top == 400, "expected the dialog at (1000, 400), got (%ld, %ld)", rect.left, rect.top);

    auto services = listbox_rows(dialog, kServiceList);
    ok(services == (std::vector<std::wstring>{L"114ktisetup", L"xOcean"}),
       "services: expected \"114ktisetup\", \"xOcean\", got %d rows, first %s", static_cast<int>(services.size()),
       services.empty() ? "none" : str(services[0]));
    auto processes = listbox_rows(dialog, kProcessList);
    ok(processes == (std::vector<std::wstring>{L"bigfilesearch.exe", L"bigfilesearch.exe"}),
       "processes: expected two \"bigfilesearch.exe\", got %d rows, first %s", static_cast<int>(processes.size()),
       processes.empty() ? "none" : str(processes[0]));

    need(press(dialog, kRemoveAll), "pressing 1049 failed");
    // The removal shows nothing of its own; it ends when the main window's labels change.
    std::wstring summary = wait_control_text(app.main, kSummaryLabel, L"설치된 그리드가 없습니다", 20000);
    ok(summary == L"설치된 그리드가 없습니다", "summary: got %s", str(summary));
    ok(listbox_rows(dialog, kServiceList).empty(), "expected the service rows gone, %d remain",
       static_cast<int>(listbox_rows(dialog, kServiceList).size()));
    ok(listbox_rows(dialog, kProcessList).empty(), "expected the process list emptied, %d rows remain",
       static_cast<int>(listbox_rows(dialog, kProcessList).size()));
    ok(count_processes(L"bigfilesearch.exe") == 2, "expected the programs left running, got %d",
       count_processes(L"bigfilesearch.exe"));
    ok(WaitGone(L"xOcean", 5000) && WaitGone(L"114ktisetup", 5000), "expected both services gone");
    HWND box = wait_message_box_of(app.proc.pid, app.main, 300);
    ok(!box || box == dialog, "expected no message box from the dialog, got %s", box ? str(window_text(box)) : "");

    need(press(dialog, IDCANCEL), "pressing 취소 failed");
    for (int i = 0; i < 50 && IsWindow(dialog); ++i) Sleep(100);
    ok(!IsWindow(dialog), "expected 취소 to close the dialog");
    ok(IsWindow(app.main), "expected the main window to stay");
}
