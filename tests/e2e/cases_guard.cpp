// The guard: button 1034 copying the real Velmora.exe under Program Files,
// registering, starting, stopping and deleting it as a service, the guard at
// work on grid programs and grid services, and Velmora.exe started by hand.
#include "harness.h"

namespace {

using namespace e2e;

constexpr int kGuardButton = 1034;
constexpr int kGuardStatusLabel = 1036;

constexpr wchar_t kGuardService[] = L"Velmora";
constexpr wchar_t kTurnOn[] = L"Velmora 켜기";
constexpr wchar_t kTurnOff[] = L"Velmora 끄기";
constexpr wchar_t kInUse[] = L"실시간 감시 기능 사용중";
constexpr wchar_t kOff[] = L"실시간 감시 기능 꺼짐";
constexpr wchar_t kInstalled[] = L"설치되었습니다";
constexpr wchar_t kRemoved[] = L"제거되었습니다";
constexpr wchar_t kBeingRemoved[] = L"이전 Velmora를 제거하는 중입니다\n잠시 후 다시 시도해 주세요";
constexpr wchar_t kNotOurs[] = L"Kestane 옆의 Velmora.exe가 함께 배포된 파일이 아닙니다\nTollvard 압축 파일을 다시 풀어 주세요";
constexpr wchar_t kNotice[] = L"알림";
constexpr wchar_t kDescription[] =
    L"Velmora 설치된 그리드 서비스 및 상주 그리드 프로그램을 조사하여 상태를 변경하거나 제거합니다";

// Longest the start wait may keep the window busy after the install message.
constexpr DWORD kStartTimeout = 35000;

std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring process_path(DWORD pid) {
    for (const ProcessEntry& entry : list_processes())
        if (entry.pid == pid) return entry.path;
    return L"";
}

// Waits for the message box of the main window, checks its caption and text
// and presses OK.
void answer_message(const App& app, const wchar_t* expected) {
    HWND box = wait_message_box(app.main, 15000);
    need(box, "expected the message %s, no message box came", str(expected));
    MessageBoxText shown = read_message_box(box);
    ok(shown.caption == kNotice, "caption: expected %s, got %s", str(kNotice), str(shown.caption));
    ok(shown.text == expected, "message: expected %s, got %s", str(expected), str(shown.text));
    need(dismiss_message_box(box), "the message box %s did not close", str(shown.text));
}

void expect_guard_texts(const App& app, const wchar_t* button, const wchar_t* status, DWORD timeout_ms) {
    std::wstring shown = wait_control_text(app.main, kGuardButton, button, timeout_ms);
    ok(shown == button, "1034: expected %s, got %s", str(button), str(shown));
    ok_control_text(app.main, kGuardStatusLabel, status);
}

// What a guard turned on leaves behind is undone last: the copy and its
// folder, once the service has gone.
void clean_up_guard_afterwards() {
    remove_guard_copy_afterwards();
    track_service(kGuardService);
}

// After a press that starts the guard: its message, then the running texts
// once the start wait is over, and the service running.
void expect_guard_started(const App& app, const wchar_t* message) {
    answer_message(app, message);
    expect_guard_texts(app, kTurnOff, kInUse, kStartTimeout);
    ServiceInfo guard = query_service(kGuardService);
    need(guard.exists && guard.state == SERVICE_RUNNING, "expected Velmora %s, got %s", state_name(SERVICE_RUNNING),
         guard.exists ? state_name(guard.state) : "no service");
    // The registration lasts as long as the guard's process: stop it and let
    // it end before the harness deletes the service.
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, guard.pid);
    defer([process] {
        control_service(kGuardService, SERVICE_CONTROL_STOP);
        if (process) {
            WaitForSingleObject(process, 25000);
            CloseHandle(process);
        }
    });
}

// One press of 1034 on a machine without the guard: installed and running.
void turn_guard_on(const App& app) {
    clean_up_guard_afterwards();
    need(press(app.main, kGuardButton), "pressing 1034 failed");
    expect_guard_started(app, kInstalled);
}

// Polls until no process has that image name; the milliseconds it took, or
// -1 when one was still there at the deadline.
long wait_gone(const std::wstring& image, DWORD timeout_ms) {
    ULONGLONG started = GetTickCount64();
    if (!wait_process_count(image, 0, timeout_ms)) return -1;
    return static_cast<long>(GetTickCount64() - started);
}

bool wait_service_gone(const std::wstring& name, DWORD timeout_ms) {
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (service_exists(name)) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(100);
    }
    return true;
}

// The names in one line, for a message.
std::wstring listed(const std::vector<std::wstring>& names) {
    std::wstring out;
    for (const std::wstring& name : names) out += (out.empty() ? L"" : L", ") + name;
    return out;
}

// A file's names: more than one for a hard link; 0 when it cannot be read.
DWORD link_count(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info = {};
    bool read = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return read ? info.nNumberOfLinks : 0;
}

std::string cp949(const std::wstring& text) {
    int size = WideCharToMultiByte(949, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(949, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

}  // namespace

// Registration as the guard needs it: own process, automatic start,
// LocalSystem, and the path of its copy under Program Files in quotation
// marks; the running guard is that copy, byte for byte the program beside
// Kestane.
E2E_CASE(guard_install_and_start) {
    App app = launch_kestane();
    expect_guard_texts(app, kTurnOn, kOff, 0);
    turn_guard_on(app);

    ServiceInfo guard = query_service(kGuardService);
    ok(guard.type == SERVICE_WIN32_OWN_PROCESS, "type: expected 0x10, got 0x%lx", guard.type);
    ok(guard.start_type == SERVICE_AUTO_START, "start type: expected %s, got %s", start_type_name(SERVICE_AUTO_START),
       start_type_name(guard.start_type));
    ok(guard.binary_path == quoted(guard_copy()), "binary path: expected %s, got %s", str(quoted(guard_copy())),
       str(guard.binary_path));
    std::string copied = read_file(guard_copy());
    ok(!copied.empty() && copied == read_file(velmora_path()), "expected %s to hold the %u bytes of %s, it holds %u",
       str(guard_copy()), static_cast<unsigned>(read_file(velmora_path()).size()), str(velmora_path()),
       static_cast<unsigned>(copied.size()));
    std::wstring running = process_path(guard.pid);
    ok(lower(running) == lower(guard_copy()), "expected the guard to run from %s, it runs from %s",
       str(guard_copy()), str(running));
    // What an install meets while an old guard still runs from the copy.
    BOOL overwritten = CopyFileW(velmora_path().c_str(), guard_copy().c_str(), FALSE);
    DWORD error = GetLastError();
    ok(!overwritten && error == ERROR_SHARING_VIOLATION,
       "copying over the running guard: expected ERROR_SHARING_VIOLATION, got %s %lu",
       overwritten ? "success" : "error", overwritten ? 0 : error);
    ok(guard.display_name == L"Velmora Tollvard", "display name: expected %s, got %s", str(L"Velmora Tollvard"),
       str(guard.display_name));
    ok(guard.description == kDescription, "description: expected %s, got %s", str(kDescription),
       str(guard.description));
    ok(lower(guard.account) == L"localsystem", "account: expected LocalSystem, got %s", str(guard.account));
    ok(guard.pid != 0, "expected the process id of the running guard, got 0");
}

// The running guard ends a grid program and removes a running grid service
// within one sweep; what is only in the main program's catalogue stays. Then
// how long a grid program newly started under the running guard survives.
E2E_CASE(guard_ends_grids) {
    start_fake_grid(L"bigfilesearch.exe");
    start_fake_grid(L"MultiDownload.exe");
    create_fake_service(L"xOcean", FakeMode::Stops, true);
    create_fake_service(L"SuperDownService", FakeMode::Stops, true);

    App app = launch_kestane();
    ULONGLONG pressed = GetTickCount64();
    turn_guard_on(app);
    long process_ms = wait_gone(L"bigfilesearch.exe", 25000);
    ok(process_ms >= 0, "expected bigfilesearch.exe to be ended within 25 s, %d still run",
       count_processes(L"bigfilesearch.exe"));
    ok(wait_service_gone(L"xOcean", 25000), "expected xOcean to be deleted within 25 s, it is %s",
       state_name(query_service(L"xOcean").state));
    trace("grid process and service gone %.1f s after 1034 was pressed", (GetTickCount64() - pressed) / 1000.0);

    ok(count_processes(L"MultiDownload.exe") == 1, "expected MultiDownload.exe left running, got %d",
       count_processes(L"MultiDownload.exe"));
    ServiceInfo kept = query_service(L"SuperDownService");
    ok(kept.exists && kept.state == SERVICE_RUNNING, "expected SuperDownService left running, got %s",
       kept.exists ? state_name(kept.state) : "no service");

    // A grid program that appears while the guard waits lives until the next
    // sweep: at most the 10 s wait plus one sweep.
    long longest = 0;
    for (const wchar_t* image : {L"QAutoUp.exe", L"KAutoUp.exe", L"pinomate.exe"}) {
        start_fake_grid(image);
        long lived = wait_gone(image, 25000);
        ok(lived >= 0 && lived <= 12000, "expected %s ended within 12 s, took %ld ms", str(image), lived);
        trace("%s ended %ld ms after it appeared", utf8(image).c_str(), lived);
        longest = lived > longest ? lived : longest;
        Sleep(3100);  // start the next one at another point of the 10 s cycle
    }
    trace("longest life of a grid program under the guard: %ld ms", longest);
}

// Pause and continue through the Service Control Manager: paused, the guard
// leaves a grid program alone; continued, it ends it at its next sweep.
E2E_CASE(guard_pause_and_continue) {
    App app = launch_kestane();
    turn_guard_on(app);
    // A sweep under way when the pause comes runs to its end, and could end
    // a grid program started after the pause. pinomate.exe is the last image
    // the guard looks for: once a sweep has ended it, that sweep's process
    // part is over.
    // Started by hand: the guard may end it before anybody sees it listed.
    std::wstring canary = join(join(scratch_dir(), L"grid"), L"pinomate.exe");
    need(copy_file(tool_path(L"sleeper.exe"), canary), "copying sleeper.exe to %s failed", str(canary));
    Proc started = start_process(canary);
    need(started, "starting %s failed", str(canary));
    need(wait_exit(started, 25000), "expected the guard to end pinomate.exe within 25 s");
    need(control_service(kGuardService, SERVICE_CONTROL_PAUSE), "ControlService(PAUSE) failed: error %lu",
         GetLastError());
    need(wait_service_state(kGuardService, SERVICE_PAUSED), "expected Velmora %s, got %s", state_name(SERVICE_PAUSED),
         state_name(query_service(kGuardService).state));

    start_fake_grid(L"wincloud.exe");
    Sleep(12000);  // longer than a whole cycle
    ok(count_processes(L"wincloud.exe") == 1, "expected wincloud.exe to survive while paused, got %d",
       count_processes(L"wincloud.exe"));

    need(control_service(kGuardService, SERVICE_CONTROL_CONTINUE), "ControlService(CONTINUE) failed: error %lu",
         GetLastError());
    ok(wait_service_state(kGuardService, SERVICE_RUNNING), "expected Velmora %s, got %s",
       state_name(SERVICE_RUNNING), state_name(query_service(kGuardService).state));
    long lived = wait_gone(L"wincloud.exe", 12000);
    ok(lived >= 0, "expected wincloud.exe ended within 12 s of the continue, %d still run",
       count_processes(L"wincloud.exe"));
    trace("wincloud.exe ended %ld ms after the continue", lived);
}

// The second press stops and deletes the guard, waits until its process has
// ended and deletes the copy with its folder; the program beside Kestane
// stays. The guard's process ends promptly once its service has stopped, and
// a press right after the removal installs the guard anew.
E2E_CASE(guard_turned_off_and_on_again) {
    App app = launch_kestane();
    turn_guard_on(app);
    DWORD pid = query_service(kGuardService).pid;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    need(process, "opening the guard's process %lu failed: error %lu", pid, GetLastError());
    defer([process] { CloseHandle(process); });

    ULONGLONG pressed = GetTickCount64();
    need(press(app.main, kGuardButton), "pressing 1034 failed");
    // Watch the service while Kestane removes it: when it reports STOPPED
    // (or is gone before a look saw it stopped), and when the process ends.
    ULONGLONG stopped = 0, ended = 0;
    HWND box = nullptr;
    while (!box && GetTickCount64() - pressed < 40000) {
        if (!stopped) {
            ServiceInfo info = query_service(kGuardService);
            if (!info.exists || info.state == SERVICE_STOPPED) stopped = GetTickCount64();
        }
        if (!ended && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) ended = GetTickCount64();
        box = find_window({0, app.main, nullptr, L"#32770"});
        Sleep(20);
    }
    ULONGLONG answered = GetTickCount64();
    answer_message(app, kRemoved);
    expect_guard_texts(app, kTurnOn, kOff, 5000);
    if (!ended && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) ended = answered;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    ok(ended && code == 0, "expected Velmora.exe to have ended with 0 when the message came, got %s %lu",
       ended ? "exit code" : "still running", code);
    ok(stopped && ended && ended <= stopped + 2000, "expected the guard's process to end within 2 s of STOPPED, "
       "took %ld ms", stopped && ended ? static_cast<long>(ended - stopped) : -1L);
    ok(!service_exists(kGuardService), "expected Velmora deleted, it is %s",
       state_name(query_service(kGuardService).state));
    ok(!file_exists(guard_copy()) && !dir_exists(guard_folder()), "expected %s and its folder deleted",
       str(guard_copy()));
    ok(file_exists(velmora_path()), "expected %s to stay", str(velmora_path()));
    trace("off: STOPPED after %.1f s, process ended after %.1f s, message after %.1f s",
          stopped ? (stopped - pressed) / 1000.0 : -1.0, ended ? (ended - pressed) / 1000.0 : -1.0,
          (answered - pressed) / 1000.0);

    // On again at once: installed and running, or (should the old
    // registration still linger) told so, and installed by a press later on.
    ULONGLONG again = GetTickCount64();
    need(press(app.main, kGuardButton), "pressing 1034 failed");
    HWND next = wait_message_box(app.main, 15000);
    need(next, "expected a message after pressing 1034 again");
    MessageBoxText shown = read_message_box(next);
    if (shown.text == kBeingRemoved) {
        trace("on again: the old registration was still being removed");
        need(dismiss_message_box(next), "the message box did not close");
        expect_guard_texts(app, kTurnOn, kOff, 5000);
        Sleep(15000);
        turn_guard_on(app);
    } else {
        ok(shown.text == kInstalled, "expected %s or %s, got %s", str(kInstalled), str(kBeingRemoved),
           str(shown.text));
        need(dismiss_message_box(next), "the message box did not close");
        track_service(kGuardService);
        expect_guard_texts(app, kTurnOff, kInUse, kStartTimeout);
        ServiceInfo guard = query_service(kGuardService);
        ok(guard.state == SERVICE_RUNNING, "expected Velmora %s, got %s", state_name(SERVICE_RUNNING),
           state_name(guard.state));
        trace("off, then on: running %.1f s after the first press (%.1f s after the second)",
              (GetTickCount64() - pressed) / 1000.0, (GetTickCount64() - again) / 1000.0);
    }
}

// A registration of an older version, unquoted, in a folder every user may
// write to, and stopped: Kestane points it at the verified copy when it
// starts, before anything else may start it, and one press starts the copy.
E2E_CASE(guard_older_registration_pointed_at_the_copy) {
    const std::wstring old_path = L"C:\\Tollvard Old\\Velmora.exe";
    need(create_service(kGuardService, old_path, SERVICE_AUTO_START), "registering Velmora at %s failed",
         str(old_path));
    clean_up_guard_afterwards();
    ULONGLONG started = GetTickCount64();
    App app = launch_kestane();
    double repairing = (GetTickCount64() - started) / 1000.0;
    expect_guard_texts(app, kTurnOn, L"실시간 감시 기능 중지됨", 0);
    ServiceInfo guard = query_service(kGuardService);
    ok(guard.binary_path == quoted(guard_copy()), "binary path: expected %s, got %s", str(quoted(guard_copy())),
       str(guard.binary_path));
    ok(guard.state == SERVICE_STOPPED && guard.start_type == SERVICE_AUTO_START,
       "expected it still stopped and auto-start, got %s and %s", state_name(guard.state),
       start_type_name(guard.start_type));
    ok(read_file(guard_copy()) == read_file(velmora_path()), "expected %s to be a copy of %s", str(guard_copy()),
       str(velmora_path()));

    need(press(app.main, kGuardButton), "pressing 1034 failed");
    expect_guard_started(app, L"시작했습니다");
    std::wstring running = process_path(query_service(kGuardService).pid);
    ok(lower(running) == lower(guard_copy()), "expected the guard to run from %s, it runs from %s",
       str(guard_copy()), str(running));

    // Against a start that finds the registration as it should be.
    close_kestane(app);
    started = GetTickCount64();
    App again = launch_kestane();
    trace("main window after %.2f s with the repair, %.2f s with nothing to repair", repairing,
          (GetTickCount64() - started) / 1000.0);
    expect_guard_texts(again, kTurnOff, kInUse, 0);
}

// A Tollvard folder made by another program before the first press, with a
// DLL planted beside a Velmora.exe that is a hard link to a file of the
// user's: Kestane moves it aside whole, makes the folder anew, writes its
// copy there as a new file, and writes nothing through the link. (Wine shows
// every folder as owned by the user who runs it, so there any folder found
// is moved aside.)
E2E_CASE(guard_found_folder_moved_aside) {
    clean_up_guard_afterwards();
    const std::wstring aside = guard_folder() + L".moved-1";
    const std::wstring theirs = join(scratch_dir(), L"their-velmora.exe");
    const std::string their_bytes = "MZ a file of the user's";
    need(make_file(theirs, their_bytes) && make_file(join(guard_folder(), L"version.dll"), "MZ planted"),
         "making the files to be found failed");
    need(CreateHardLinkW(guard_copy().c_str(), theirs.c_str(), nullptr), "linking %s to %s failed: error %lu",
         str(guard_copy()), str(theirs), GetLastError());
    App app = launch_kestane();
    turn_guard_on(app);

    std::vector<std::wstring> ours = names_in(guard_folder()), moved = names_in(aside);
    ok(ours == std::vector<std::wstring>{L"Velmora.exe"}, "expected %s to hold Velmora.exe only, it holds %s",
       str(guard_folder()), str(listed(ours)));
    ok(moved == (std::vector<std::wstring>{L"Velmora.exe", L"version.dll"}),
       "expected %s to hold what was found, it holds %s", str(aside), str(listed(moved)));
    ok(read_file(guard_copy()) == read_file(velmora_path()) && link_count(guard_copy()) == 1,
       "expected %s to be a file of its own holding %s, it has %lu names", str(guard_copy()), str(velmora_path()),
       link_count(guard_copy()));
    ok(read_file(theirs) == their_bytes && link_count(theirs) == 2,
       "expected %s unchanged and still linked, it has %lu names", str(theirs), link_count(theirs));
    std::wstring running = process_path(query_service(kGuardService).pid);
    ok(lower(running) == lower(guard_copy()), "expected the guard to run from %s, it runs from %s",
       str(guard_copy()), str(running));
}

// A program of the user's holds the name of the guard's stop event as a
// mutex, made before 1034: under its plain name, which Wine 8 shares with
// services because it runs them in the user's session, and as
// Global\velmoraexit, the name a service's plain name is on Windows. The
// guard runs all the same, sweeps, and stops when the service manager asks.
E2E_CASE(guard_runs_despite_a_mutex_of_its_event_name) {
    HANDLE plain = CreateMutexW(nullptr, FALSE, L"velmoraexit");
    need(plain, "creating the mutex velmoraexit failed: error %lu", GetLastError());
    HANDLE global = CreateMutexW(nullptr, FALSE, L"Global\\velmoraexit");
    DWORD error = GetLastError();
    defer([plain, global] {
        if (global) CloseHandle(global);
        CloseHandle(plain);
    });
    need(global, "creating the mutex Global\\velmoraexit failed: error %lu", error);
    trace("Global\\velmoraexit is %s the plain name here",
          error == ERROR_ALREADY_EXISTS ? "the same mutex as" : "apart from");
    start_fake_grid(L"bigfilesearch.exe");

    App app = launch_kestane();
    turn_guard_on(app);
    ok(wait_gone(L"bigfilesearch.exe", 25000) >= 0, "expected the guard to end bigfilesearch.exe within 25 s, %d "
       "still run", count_processes(L"bigfilesearch.exe"));
    need(control_service(kGuardService, SERVICE_CONTROL_STOP), "ControlService(STOP) failed: error %lu",
         GetLastError());
    ok(wait_service_state(kGuardService, SERVICE_STOPPED), "expected Velmora %s after the stop, got %s",
       state_name(SERVICE_STOPPED), state_name(query_service(kGuardService).state));
}

// Kestane in a folder with a blank, started from another working folder (as
// a shortcut does): the guard beside it is found and copied.
E2E_CASE(guard_install_from_folder_with_blank) {
    std::wstring folder = join(scratch_dir(), L"My Tools");
    std::wstring kestane = join(folder, L"Kestane.exe");
    std::wstring velmora = join(folder, L"Velmora.exe");
    // First with one byte of Velmora.exe changed: refused, and nothing is left.
    std::string changed = read_file(velmora_path());
    changed.back() ^= 1;
    need(copy_file(kestane_path(), kestane) && make_file(velmora, changed), "copying the programs to %s failed",
         str(folder));

    App app;
    app.proc = start_process(kestane, L"", scratch_dir());
    need(app.proc, "starting %s failed", str(kestane));
    app.main = wait_main_window(app.proc);
    need(app.main, "expected the main window of %s", str(kestane));
    need(press(app.main, kGuardButton), "pressing 1034 failed");
    answer_message(app, kNotOurs);
    expect_guard_texts(app, kTurnOn, kOff, 0);
    ok(!service_exists(kGuardService), "expected no Velmora registered, it is %s",
       state_name(query_service(kGuardService).state));
    ok(!file_exists(guard_copy()) && !dir_exists(guard_folder()), "expected no %s left, nor its folder",
       str(guard_copy()));

    need(delete_file(velmora) && copy_file(velmora_path(), velmora), "replacing %s failed", str(velmora));
    turn_guard_on(app);
    ok(read_file(guard_copy()) == read_file(velmora), "expected %s to be a copy of %s", str(guard_copy()),
       str(velmora));
}

// Started by hand, Velmora.exe does no guard work: it prints its notice in
// CP949 and ends with 0 ten seconds later (under Wine after another ten, which
// the dispatcher takes to give up outside the Service Control Manager).
E2E_CASE(velmora_started_by_hand) {
    std::wstring output = join(scratch_dir(), L"velmora-output.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    need(file != INVALID_HANDLE_VALUE, "creating %s failed: error %lu", str(output), GetLastError());
    track_file(output);

    std::wstring command = quoted(velmora_path());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info = {};
    ULONGLONG started = GetTickCount64();
    BOOL created = CreateProcessW(velmora_path().c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, scratch_dir().c_str(), &startup, &info);
    CloseHandle(file);
    need(created, "starting %s failed: error %lu", str(velmora_path()), GetLastError());
    CloseHandle(info.hThread);
    defer([info] {
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
    });

    // The notice reaches the file with the first flush, right after the
    // dispatcher has given up; from then on the program lingers ten seconds.
    ULONGLONG noticed = 0;
    while (!noticed && WaitForSingleObject(info.hProcess, 50) == WAIT_TIMEOUT) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (GetFileAttributesExW(output.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 0)
            noticed = GetTickCount64();
    }
    bool ended = WaitForSingleObject(info.hProcess, 40000) == WAIT_OBJECT_0;
    ULONGLONG finished = GetTickCount64();
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    need(ended, "expected Velmora.exe to end within 40 s, it still runs");
    ok(code == 0, "expected exit code 0, got %lu", code);
    ok(noticed != 0, "expected the notice while the program still ran");
    double lingered = noticed ? (finished - noticed) / 1000.0 : 0;
    ok(lingered >= 9.0 && lingered <= 12.0, "expected it to end about 10 s after its notice, got %.1f s", lingered);
    trace("Velmora.exe by hand: notice after %.1f s, ended after %.1f s", (noticed - started) / 1000.0,
          (finished - started) / 1000.0);

    std::string expected = cp949(L"Velmora v1.0\n\nTollvard 프로그램내의 Velmora기능으로 작동하세요\n"
                                 L"그렇지 않으면 Velmora 기능은 작동되지 않습니다");
    std::string printed = read_file(output);
    // The runtime may write each line feed as CR LF on a file.
    std::string unix_printed;
    for (char c : printed)
        if (c != '\r') unix_printed += c;
    ok(unix_printed == expected, "expected the notice in CP949 (%u bytes), got %u bytes: %s",
       static_cast<unsigned>(expected.size()), static_cast<unsigned>(printed.size()), printed.c_str());
    ok(!service_exists(kGuardService), "expected no service registered by a start by hand");
}
