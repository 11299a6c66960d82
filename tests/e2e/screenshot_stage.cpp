// screenshot_stage.exe: sets a scene for the README pictures and holds it
// while tools/screenshots.sh takes the picture.
//   screenshot_stage.exe [--bin DIR] [--margin PIXELS] --scene deep-scan|about RECT_FILE
// deep-scan: four grid services registered and running, Kestane started, then
//            two bigfilesearch.exe and one pinomate.exe, and "▶" (1007) pressed:
//            the Dunmere dialog with rows in both lists.
// about:     Kestane started on a clean machine and "About" (1005) pressed.
// Once the scene stands, the region to picture ("left top width height" in
// desktop coordinates: the scene's window and the main window together, with
// a margin of desktop around them) goes to RECT_FILE. When that file is
// deleted (or after two minutes) the dialog and Kestane are closed, the
// services removed and the stand-in programs ended. The exit code is 0 when
// the scene stood and everything was undone, 1 otherwise.
//
// The scenes run as harness cases registered here, so they get the harness's
// clean-up and leftover removal; this program is not part of e2e_driver.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"

using namespace e2e;

namespace {

constexpr int kAboutButton = 1005;
constexpr int kDeepScanButton = 1007;
constexpr int kServiceList = 1047;
constexpr int kProcessList = 1048;

constexpr DWORD kHoldLimit = 120000;   // how long a scene waits for its picture

std::wstring rect_file;
int margin = 16;

std::string join_rows(const std::vector<std::wstring>& rows) {
    std::string out;
    for (const std::wstring& row : rows) out += (out.empty() ? "" : ", ") + std::string(str(row));
    return out.empty() ? "none" : out;
}

// The region around both windows, kept on the desktop.
RECT capture_region(HWND scene, HWND main) {
    RECT a = window_rect(scene), b = window_rect(main);
    RECT region = {std::min(a.left, b.left) - margin, std::min(a.top, b.top) - margin,
                   std::max(a.right, b.right) + margin, std::max(a.bottom, b.bottom) + margin};
    RECT desktop = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    region.left = std::max(region.left, desktop.left);
    region.top = std::max(region.top, desktop.top);
    region.right = std::min(region.right, desktop.right);
    region.bottom = std::min(region.bottom, desktop.bottom);
    return region;
}

// Lets the windows paint, hands the region over and waits until the picture
// was taken (the file is deleted then).
void hold_for_picture(HWND scene, HWND main) {
    // Bring the scene's window to the front and let both windows finish painting.
    SetForegroundWindow(scene);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RedrawWindow(scene, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);
    RECT region = capture_region(scene, main);
    std::string line = std::to_string(region.left) + " " + std::to_string(region.top) + " " +
                       std::to_string(region.right - region.left) + " " +
                       std::to_string(region.bottom - region.top) + "\n";
    trace("region %s", line.c_str());
    need(make_file(rect_file, line), "cannot write %s: error %lu", str(rect_file), GetLastError());
    ULONGLONG deadline = GetTickCount64() + kHoldLimit;
    while (file_exists(rect_file) && GetTickCount64() < deadline) Sleep(100);
    if (file_exists(rect_file)) trace("nobody took the picture within %lu s", kHoldLimit / 1000);
}

// Closes a dialog of Kestane with its cancel button and waits for it to go.
void close_dialog(HWND dialog) {
    press(dialog, IDCANCEL);
    for (int i = 0; i < 50 && IsWindow(dialog); ++i) Sleep(100);
    ok(!IsWindow(dialog), "expected the dialog %s to close, it is still open", str(window_text(dialog)));
}

}  // namespace

E2E_CASE(scene_deep_scan) {
    // Registered and running before Kestane starts: the main window reports them installed.
    for (const wchar_t* name : {L"xOcean", L"QuickDownload Agent", L"bondisk update service", L"KService"})
        create_fake_service(name, FakeMode::Stops, true);
    App app = launch_kestane();
    // Started after Kestane's start-up probe, so the main window keeps "상주: OFF"
    // and only the dialog lists them.
    start_fake_grid(L"bigfilesearch.exe", 2);
    start_fake_grid(L"pinomate.exe", 1);

    need(press(app.main, kDeepScanButton), "pressing 1007 failed: error %lu", GetLastError());
    WindowQuery query;
    query.pid = app.proc.pid;
    query.owner = app.main;
    query.caption = L"Dunmere";
    HWND dialog = wait_window(query, 10000);
    need(dialog, "expected the dialog \"Dunmere\" after 1007, none came");
    std::vector<std::wstring> services = listbox_rows(dialog, kServiceList);
    std::vector<std::wstring> processes = listbox_rows(dialog, kProcessList);
    trace("services: %s", join_rows(services).c_str());
    trace("processes: %s", join_rows(processes).c_str());
    need(services.size() == 4, "expected 4 service rows, got %s", join_rows(services).c_str());
    need(processes.size() == 3, "expected 3 process rows, got %s", join_rows(processes).c_str());

    hold_for_picture(dialog, app.main);
    close_dialog(dialog);
    close_kestane(app);
}

E2E_CASE(scene_about) {
    App app = launch_kestane();
    need(press(app.main, kAboutButton), "pressing 1005 failed: error %lu", GetLastError());
    WindowQuery query;
    query.pid = app.proc.pid;
    query.owner = app.main;
    query.caption = L"About";
    query.class_name = L"#32770";
    HWND box = wait_window(query, 10000);
    need(box, "expected the About box after 1005, none came");

    hold_for_picture(box, app.main);
    close_dialog(box);
    close_kestane(app);
}

int wmain(int argc, wchar_t** argv) {
    // UTF-8 and LF go out untouched to the Linux side, as from the driver.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    std::wstring scene;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--bin" && i + 1 < argc) {
            set_bin_dir(argv[++i]);
        } else if (arg == L"--scene" && i + 1 < argc) {
            scene = argv[++i];
        } else if (arg == L"--margin" && i + 1 < argc) {
            margin = std::max(0, _wtoi(argv[++i]));
        } else if (rect_file.empty() && !arg.empty() && arg[0] != L'-') {
            rect_file = arg;
        } else {
            rect_file.clear();
            break;
        }
    }
    const wchar_t* case_name = scene == L"deep-scan" ? L"scene_deep_scan" : scene == L"about" ? L"scene_about" : nullptr;
    if (!case_name || rect_file.empty()) {
        fprintf(stderr, "usage: screenshot_stage.exe [--bin DIR] [--margin PIXELS] --scene deep-scan|about RECT_FILE\n");
        return 2;
    }
    return run_cases({case_name}, false);
}
