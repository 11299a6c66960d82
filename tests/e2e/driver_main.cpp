// e2e_driver.exe: runs the end-to-end cases against the real programs.
//   e2e_driver.exe [--bin DIR] [--tools DIR] [--status-file FILE] [--code-page N] [--list] [PATTERN...]
//   e2e_driver.exe [--bin DIR] --show-main RECT_FILE
// --tools: the folder of the stand-ins (fake_service.exe, sleeper.exe,
// recorder.exe) when it is not the driver's, e.g. 32-bit stand-ins for a
// 32-bit Kestane driven by a 64-bit driver.
// --status-file: the exit code is also written to FILE, for runs whose
// starter cannot pass it on (a program started by a Wine desktop's explorer).
// --code-page: the ANSI code page the locale of the run gives this driver;
// when it does not, the locale was not set up and no case runs. Kestane's
// manifest gives it the UTF-8 code page under any locale.
// The second form serves tools/run-kestane.sh: it starts Kestane, writes the
// main window's rectangle ("left top width height") to RECT_FILE, waits until
// that file is deleted (at most two minutes), then closes Kestane and returns
// its exit code.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

namespace {

int ShowMainWindow(const std::wstring& rect_file) {
    using namespace e2e;
    Proc kestane = start_kestane();
    if (!kestane) return 3;
    HWND main = wait_main_window(kestane);
    if (!main) {
        fprintf(stderr, "the main window of %s did not show\n", utf8(kestane_path()).c_str());
        return 3;
    }
    RECT rect = window_rect(main);
    std::string line = std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
                       std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top) + "\n";
    if (!make_file(rect_file, line)) {
        fprintf(stderr, "cannot write %s\n", utf8(rect_file).c_str());
        return 3;
    }
    for (int waited = 0; waited < 1200 && file_exists(rect_file); ++waited) Sleep(100);
    press(main, IDCANCEL);
    DWORD code = 3;
    if (!wait_exit(kestane, kExitTimeout, &code)) terminate(kestane);
    return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Line ends stay LF and UTF-8 goes out untouched to the Linux side.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    std::vector<std::wstring> patterns;
    std::wstring show_main;
    std::wstring status_file;
    UINT code_page = 0;
    bool list_only = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--bin" && i + 1 < argc) {
            e2e::set_bin_dir(argv[++i]);
        } else if (arg == L"--tools" && i + 1 < argc) {
            e2e::set_tool_dir(argv[++i]);
        } else if (arg == L"--status-file" && i + 1 < argc) {
            status_file = argv[++i];
        } else if (arg == L"--code-page" && i + 1 < argc) {
            code_page = static_cast<UINT>(wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--show-main" && i + 1 < argc) {
            show_main = argv[++i];
        } else if (arg == L"--list") {
            list_only = true;
        } else if (arg == L"--help" || arg == L"-h") {
            printf("usage: e2e_driver.exe [--bin DIR] [--tools DIR] [--status-file FILE] [--code-page N] [--list] "
                   "[PATTERN...]\n"
                   "       e2e_driver.exe [--bin DIR] --show-main RECT_FILE\n");
            return 0;
        } else if (arg.compare(0, 2, L"--") == 0) {
            // Taken as a pattern it would select nothing, and a run of no case passes.
            fprintf(stderr, "e2e_driver: unknown option %s\n", e2e::utf8(arg).c_str());
            if (!status_file.empty()) e2e::write_status_file(status_file, 2);
            return 2;
        } else {
            patterns.push_back(arg);
        }
    }
    if (!show_main.empty()) return ShowMainWindow(show_main);
    if (code_page && GetACP() != code_page) {
        fprintf(stderr, "e2e_driver: expected the ANSI code page %u of the run's locale, got %u\n", code_page, GetACP());
        if (!status_file.empty()) e2e::write_status_file(status_file, 2);
        return 2;
    }
    printf("driver's ANSI code page: %u\n", GetACP());
    int status = e2e::run_cases(patterns, list_only);
    if (!status_file.empty()) e2e::write_status_file(status_file, status);
    return status;
}
