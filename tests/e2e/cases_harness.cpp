// The harness's own stand-ins, as the other cases rely on them: the fake
// service in each mode and its cleanup, the recorder, fake grid processes and
// message-box reading. When one of these fails, suspect the harness (or
// Wine) before suspecting Kestane.
#include "harness.h"

using namespace e2e;

E2E_CASE(harness_fake_service_modes) {
    const std::wstring stops = L"TollvardE2E stops";
    create_fake_service(stops, FakeMode::Stops, true, SERVICE_AUTO_START);
    ServiceInfo info = query_service(stops);
    ok(info.state == SERVICE_RUNNING, "stops: expected %s, got %s", state_name(SERVICE_RUNNING),
       state_name(info.state));
    ok(info.binary_path == fake_service_command(stops, FakeMode::Stops), "stops: expected binary path %s, got %s",
       str(fake_service_command(stops, FakeMode::Stops)), str(info.binary_path));
    ok(info.start_type == SERVICE_AUTO_START, "stops: expected %s, got %s", start_type_name(SERVICE_AUTO_START),
       start_type_name(info.start_type));
    ok(info.pid != 0, "stops: expected the process id of the running service, got 0");
    ok(control_service(stops, SERVICE_CONTROL_STOP), "stops: ControlService(STOP) failed: error %lu",
       GetLastError());
    ok(wait_service_state(stops, SERVICE_STOPPED, 3000), "stops: expected %s within 3 s, got %s",
       state_name(SERVICE_STOPPED), state_name(query_service(stops).state));

    const std::wstring ignore = L"TollvardE2E ignore";
    create_fake_service(ignore, FakeMode::Ignore, true);
    DWORD pid = query_service(ignore).pid;
    ok(control_service(ignore, SERVICE_CONTROL_STOP), "ignore: ControlService(STOP) failed: error %lu",
       GetLastError());
    Sleep(500);
    info = query_service(ignore);
    ok(info.state == SERVICE_RUNNING, "ignore: expected %s after a stop request, got %s",
       state_name(SERVICE_RUNNING), state_name(info.state));
    ok(info.pid == pid && count_processes(L"fake_service.exe") == 1,
       "ignore: expected process %lu to go on running, got process %lu and %d running", pid, info.pid,
       count_processes(L"fake_service.exe"));
    ok(remove_service(ignore), "ignore: expected the harness to remove the service, it is still registered");
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    bool ended = !process || WaitForSingleObject(process, kExitTimeout) == WAIT_OBJECT_0;
    if (process) CloseHandle(process);
    ok(ended, "ignore: expected process %lu to end with its service, it still runs", pid);

    const std::wstring pending = L"TollvardE2E pending";
    create_fake_service(pending, FakeMode::Pending, true);
    ok(query_service(pending).state == SERVICE_START_PENDING, "pending: expected %s, got %s",
       state_name(SERVICE_START_PENDING), state_name(query_service(pending).state));
    ok(remove_service(pending), "pending: expected the harness to remove the service, it is still registered");
}

E2E_CASE(harness_recorder_logs_launches) {
    std::wstring uninstaller = join(special_folder(CSIDL_PROGRAM_FILES), L"TollvardE2E Test\\Uninstall.exe");
    need(install_recorder(uninstaller), "expected recorder.exe at %s, copying failed: error %lu", str(uninstaller),
         GetLastError());
    HINSTANCE started = ShellExecuteW(nullptr, L"open", uninstaller.c_str(), L"/S /uninstall", nullptr, SW_HIDE);
    ok(reinterpret_cast<INT_PTR>(started) > 32, "ShellExecute: expected success, got %d",
       static_cast<int>(reinterpret_cast<INT_PTR>(started)));
    std::vector<Launch> launches = wait_launches(uninstaller, 1);
    need(launches.size() == 1, "expected 1 recorded start, got %u", static_cast<unsigned>(launches.size()));
    ok(launches[0].show_set && launches[0].show == SW_HIDE, "expected show mode SW_HIDE, got %s %d",
       launches[0].show_set ? "given" : "not given", launches[0].show);
    ok(launches[0].command_line.find(L"/S /uninstall") != std::wstring::npos,
       "expected the parameters in the command line, got %s", str(launches[0].command_line));
    ok(lower(launches[0].command_line).find(lower(uninstaller)) != std::wstring::npos,
       "expected the program's path in the command line, got %s", str(launches[0].command_line));
    // The stand-in has Kestane's bitness: its Program Files is the one the
    // harness tells the cases Kestane sees ("(x86)" only under WoW64).
    ok(!launches[0].program_files.empty() && launches[0].program_files == kestane_program_files(),
       "expected Program Files %s, the recorder has %s", str(kestane_program_files()),
       str(launches[0].program_files));

    Proc plain = start_process(uninstaller, L"second");
    ok(wait_exit(plain, kExitTimeout), "expected the recorder to end at once, it still runs");
    launches = wait_launches(uninstaller, 2);
    need(launches.size() == 2, "expected 2 recorded starts, got %u", static_cast<unsigned>(launches.size()));
    ok(!launches[1].show_set, "expected no show mode without STARTF_USESHOWWINDOW, got %d", launches[1].show);
}

E2E_CASE(harness_fake_grid_and_taskkill) {
    // The grids the release meets are 32-bit programs, and Wine's 32-bit
    // TASKKILL sees no 64-bit process: the stand-ins take Kestane's bitness.
    for (const wchar_t* tool : {L"sleeper.exe", L"fake_service.exe", L"recorder.exe"})
        ok(is_32bit_program(tool_path(tool)) == is_32bit_program(kestane_path()),
           "expected %s with Kestane's bitness (%s-bit), it is not", utf8(tool).c_str(),
           is_32bit_program(kestane_path()) ? "32" : "64");
    start_fake_grid(L"bigfilesearch.exe", 2);
    ok(count_processes(L"BigFileSearch.exe") == 2, "expected 2 processes, got %d",
       count_processes(L"BigFileSearch.exe"));
    taskkill(L"bigfilesearch.exe");
    ok(wait_process_count(L"bigfilesearch.exe", 0, kExitTimeout), "expected TASKKILL to end both, %d left",
       count_processes(L"bigfilesearch.exe"));
}

namespace {
DWORD WINAPI ShowNotice(void* result) {
    *static_cast<int*>(result) = MessageBoxW(nullptr, L"첫 줄\n 둘째 줄", L"알림", MB_OK);
    return 0;
}
}  // namespace

E2E_CASE(harness_message_box_reading) {
    int result = -1;
    HANDLE thread = CreateThread(nullptr, 0, ShowNotice, &result, 0, nullptr);
    need(thread, "CreateThread failed: error %lu", GetLastError());
    defer([thread] {
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    });
    HWND box = wait_message_box_of(GetCurrentProcessId(), nullptr);
    need(box, "expected a message box, got none");
    MessageBoxText shown = read_message_box(box);
    ok(shown.caption == L"알림", "caption: expected %s, got %s", str(L"알림"), str(shown.caption));
    ok(shown.text == L"첫 줄\n 둘째 줄", "text: expected %s, got %s", str(L"첫 줄\n 둘째 줄"), str(shown.text));
    ok(has_control(box, 0xFFFF), "expected the text in static control 0xFFFF, there is none");
    ok(dismiss_message_box(box), "expected the box to close on IDOK, it is still there");
    WaitForSingleObject(thread, 5000);
    ok(result == IDOK, "MessageBox: expected IDOK, got %d", result);
}
