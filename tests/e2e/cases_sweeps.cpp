// The sweeps behind buttons 1013, 1014 and 1011, the About box and the update
// check, against the real Kestane.exe: shortcuts with Korean names deleted
// from the user's folders, stand-in uninstallers that record how they were
// started, a search-bar folder removed by the command processor, and a
// stand-in Internet Explorer that records the page it was asked to open.
#include "harness.h"

#include <shlobj.h>

namespace {

using namespace e2e;

constexpr int kAboutButton = 1005;
constexpr int kProgramSweepButton = 1011;
constexpr int kShortcutSweepButton = 1013;
constexpr int kWebhardSweepButton = 1014;
constexpr int kUpdateCheckButton = 1035;
constexpr int kAboutProduct = 1015;
constexpr int kAboutLink = 1017;

constexpr wchar_t kRemoved[] = L"제거되었습니다";
constexpr wchar_t kNotice[] = L"알림";
constexpr wchar_t kProgramFiles[] = L"C:\\Program Files\\";
constexpr wchar_t kProgramFilesX86[] = L"C:\\Program Files (x86)\\";
constexpr wchar_t kExplorer[] = L"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";

// The sweeps launch hundreds of programs before the message comes.
constexpr DWORD kSweepTimeout = 60000;

// Presses a sweep's button and answers the message that follows it.
void sweep(const App& app, int button) {
    need(press(app.main, button), "pressing %d failed: error %lu", button, GetLastError());
    HWND box = wait_message_box(app.main, kSweepTimeout);
    need(box, "after %d: expected the message %s, no message box came", button, str(kRemoved));
    MessageBoxText shown = read_message_box(box);
    ok(shown.caption == kNotice, "after %d: caption: expected %s, got %s", button, str(kNotice), str(shown.caption));
    ok(shown.text == kRemoved, "after %d: expected %s, got %s", button, str(kRemoved), str(shown.text));
    need(dismiss_message_box(box), "after %d: the message box did not close", button);
}

// The command line without the program: what the shell passed as parameters.
std::wstring parameters_of(const std::wstring& line) {
    size_t end = line.empty() ? 0 : line[0] == L'"' ? line.find(L'"', 1) : line.find(L' ');
    if (end == std::wstring::npos) return L"";
    size_t start = line.find_first_not_of(L' ', end + 1);
    return start == std::wstring::npos ? L"" : line.substr(start);
}

// What one recorded start looked like, for messages.
std::string describe(const std::vector<Launch>& launches) {
    std::string out;
    for (const Launch& launch : launches) {
        if (!out.empty()) out += "; ";
        out += "show=" + (launch.show_set ? std::to_string(launch.show) : std::string("-")) + " " +
               utf8(launch.command_line);
    }
    return out.empty() ? "no start" : out;
}

// Expects exactly these starts, in any order (the stand-ins start at once and
// log as they finish): each as show mode and parameters. Every start of a
// press is made before its message: once no stand-in of that name runs, a
// start too many has logged too.
void expect_starts(const std::wstring& recorder, std::vector<std::pair<int, std::wstring>> expected) {
    wait_launches(recorder, expected.size());
    wait_process_count(recorder.substr(parent_dir(recorder).size() + 1), 0, kStandInTimeout);
    std::vector<Launch> launches = recorded_launches(recorder);
    ok(launches.size() == expected.size(), "%s: expected %u starts, got %s", str(recorder),
       static_cast<unsigned>(expected.size()), describe(launches).c_str());
    for (const Launch& launch : launches) {
        bool matched = false;
        for (auto it = expected.begin(); it != expected.end() && !matched; ++it) {
            if (launch.show_set && launch.show == it->first && parameters_of(launch.command_line) == it->second) {
                expected.erase(it);
                matched = true;
            }
        }
        ok(matched, "%s: unexpected start %s", str(recorder), describe({launch}).c_str());
    }
}

// Every recorded start ran in this folder, one that only administrators can
// change.
void expect_folder(const std::wstring& recorder, const std::wstring& folder) {
    for (const Launch& launch : recorded_launches(recorder))
        ok(lower(launch.cwd) == lower(folder), "%s: expected to start in %s, started in %s", str(recorder),
           str(folder), str(launch.cwd));
}

// The system folder as Kestane names it, a 32-bit Kestane on 64-bit Windows
// included.
std::wstring system_folder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return std::wstring(buffer, length <= MAX_PATH ? length : 0);
}

// Starts below C:\Program Files (x86): only 64-bit Windows has that folder
// of its own, and only there do they come.
std::vector<std::pair<int, std::wstring>> on_64bit_windows(std::vector<std::pair<int, std::wstring>> starts) {
    return windows_is_64bit() ? starts : std::vector<std::pair<int, std::wstring>>{};
}

void install(const std::wstring& path) {
    need(install_recorder(path), "expected a stand-in at %s, copying failed: error %lu", str(path), GetLastError());
}

// Replaces Internet Explorer with a recorder for the case and puts the
// original back afterwards.
void stand_in_for_explorer() {
    std::wstring backup = join(scratch_dir(), L"iexplore.original");
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(kExplorer, &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        // Back under the name it had, letter case included.
        std::wstring original = join(parent_dir(kExplorer), found.cFileName);
        need(CopyFileW(original.c_str(), backup.c_str(), FALSE), "saving %s failed: error %lu", str(original),
             GetLastError());
        // Registered first, so it runs after the harness deleted the recorder.
        defer([backup, original] {
            if (!CopyFileW(backup.c_str(), original.c_str(), FALSE))
                trace("warning: %s could not be restored: error %lu", str(original), GetLastError());
            DeleteFileW(backup.c_str());
        });
    }
    install(kExplorer);
}

// Makes Wine load these DLLs of Kestane.exe from the program's folder first,
// as Windows searches; Wine otherwise prefers its own. Only Wine's per-program
// setting reaches the loader (an override in Kestane's environment would
// not); it goes again when the case ends.
void search_program_folder_first(const std::vector<std::wstring>& dlls) {
    const wchar_t* const program = L"Software\\Wine\\AppDefaults\\Kestane.exe";
    HKEY existing = nullptr;
    bool ours = RegOpenKeyExW(HKEY_CURRENT_USER, program, 0, KEY_READ, &existing) != ERROR_SUCCESS;
    if (existing) RegCloseKey(existing);
    HKEY overrides = nullptr;
    std::wstring path = std::wstring(program) + L"\\DllOverrides";
    need(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &overrides,
                         nullptr) == ERROR_SUCCESS,
         "creating HKCU\\%s failed", utf8(path).c_str());
    defer([=] {
        if (ours)
            RegDeleteTreeW(HKEY_CURRENT_USER, program);
        else
            for (const auto& dll : dlls) RegDeleteKeyValueW(HKEY_CURRENT_USER, path.c_str(), dll.c_str());
    });
    const wchar_t order[] = L"native,builtin";
    for (const auto& dll : dlls)
        RegSetValueExW(overrides, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
    RegCloseKey(overrides);
}

}  // namespace

// Shortcuts from the tables go from the desktop, Quick Launch, the Start
// Menu's root and the favorites; the names each table leaves out stay, and so
// do read-only files, the Programs subfolder and the all-users desktop.
E2E_CASE(sweep_shortcuts_removed) {
    std::wstring desktop = special_folder(CSIDL_DESKTOPDIRECTORY);
    std::wstring appData = special_folder(CSIDL_APPDATA);
    std::wstring favorites = special_folder(CSIDL_FAVORITES);
    std::wstring allUsersDesktop = special_folder(CSIDL_COMMON_DESKTOPDIRECTORY);
    need(!desktop.empty() && !appData.empty() && !favorites.empty() && !allUsersDesktop.empty(),
         "expected the user's folders, got desktop %s, application data %s, favorites %s, all users %s",
         str(desktop), str(appData), str(favorites), str(allUsersDesktop));
    std::wstring quickLaunch = join(appData, L"Microsoft\\Internet Explorer\\Quick Launch");
    std::wstring startMenu = join(appData, L"Microsoft\\Windows\\Start Menu");

    const std::vector<std::wstring> gone = {
        join(desktop, L"쉐어박스.url"),
        join(desktop, L"케이디스크.lnk"),
        join(desktop, L"BonDisk.url"),
        join(desktop, L"bondisk.LNK"),
        join(desktop, L"위디스크 바로가기.exe"),
        join(quickLaunch, L"큐다운.lnk"),
        join(quickLaunch, L"투투디스크.lnk"),
        join(startMenu, L"큐다운.url"),
        join(startMenu, L"짱파일 홈페이지 바로가기.lnk"),
        join(favorites, L"▒ 재밌는 인터넷, 파일노리 ▒.url"),
        join(favorites, L"파일시티 - 디지털 컨텐츠 전문거래소.lnk"),
    };
    const std::vector<std::wstring> kept = {
        join(desktop, L"메가파일.lnk"),  // read-only, below
        join(desktop, L"메모.txt"),
        join(quickLaunch, L"큐다운.url"),
        join(startMenu, L"큐다운.lnk"),
        join(startMenu, L"투투디스크.lnk"),
        join(startMenu, L"Programs\\쉐어박스.url"),
        join(favorites, L"큐다운.url"),
        join(allUsersDesktop, L"쉐어박스.url"),
    };
    for (const auto& path : gone) need(make_file(path, "[InternetShortcut]\r\n"), "creating %s failed", str(path));
    for (const auto& path : kept) need(make_file(path, "[InternetShortcut]\r\n"), "creating %s failed", str(path));
    need(SetFileAttributesW(kept[0].c_str(), FILE_ATTRIBUTE_READONLY), "making %s read-only failed", str(kept[0]));

    App app = launch_kestane();
    sweep(app, kShortcutSweepButton);

    for (const auto& path : gone) ok(!file_exists(path), "expected %s deleted, it is still there", str(path));
    for (const auto& path : kept) ok(file_exists(path), "expected %s left alone, it is gone", str(path));

    // A second press finds nothing and still reports the removal.
    sweep(app, kShortcutSweepButton);
    for (const auto& path : kept) ok(file_exists(path), "second run: expected %s left alone, it is gone", str(path));
}

// Stand-in uninstallers at table paths under both roots record how they were
// started: the Qdown service with "-u", Zfile twice (hidden from the client
// list, shown from the last ones), Kdisk's normal edition once for each
// spelling of its site folder.
E2E_CASE(sweep_webhard_uninstallers_started) {
    const std::wstring qdownService =
        std::wstring(kProgramFiles) + L"qdown.co.kr\\Qdown(fast)\\ExpressService.exe";
    const std::wstring kdiskNormal =
        std::wstring(kProgramFiles) + L"kdisk.co.kr\\Kdisk(normal)\\Uninstall.exe";
    const std::wstring zfile = std::wstring(kProgramFilesX86) + L"Zfile\\Uninstall.exe";
    const std::wstring pdpopx = std::wstring(kProgramFiles) + L"pdpopx\\Uninstall.exe";
    const std::wstring shareBox = std::wstring(kProgramFilesX86) + L"ShareBox\\Uninstall.exe";
    for (const auto& path : {qdownService, kdiskNormal, zfile, pdpopx, shareBox}) install(path);

    App app = launch_kestane();
    sweep(app, kWebhardSweepButton);

    expect_starts(qdownService, {{SW_HIDE, L"-u"}});
    expect_folder(qdownService, parent_dir(qdownService));
    expect_starts(kdiskNormal, {{SW_HIDE, L""}, {SW_HIDE, L""}});
    expect_starts(zfile, on_64bit_windows({{SW_HIDE, L""}, {SW_SHOW, L""}}));
    expect_starts(pdpopx, {{SW_SHOW, L""}});
    expect_starts(shareBox, on_64bit_windows({{SW_HIDE, L""}}));
}

// Uninstallers of the program table start hidden with their parameters, and
// the command processor that removes the search-bar folders is the system's:
// a cmd.exe in Kestane's current folder never runs.
E2E_CASE(sweep_programs_started_hidden) {
    const std::wstring installShield =
        std::wstring(kProgramFiles) +
        L"InstallShield Installation Information\\{8D2B0FEF-AD16-4BC8-A733-9B79B2FAD84E}\\setup.exe";
    const std::wstring gaesori = std::wstring(kProgramFilesX86) + L"GAESORI\\unins000.exe";
    const std::wstring tuner = std::wstring(kProgramFiles) + L"스마트튠\\uninst.exe";
    const std::wstring plusLine = std::wstring(kProgramFiles) + L"PlusLineIU\\PLUninstallIU.exe";
    const std::wstring agent = std::wstring(kProgramFilesX86) + L"xOcean\\Uninstall.exe";
    const std::wstring superDown = std::wstring(kProgramFilesX86) + L"SuperDown\\UnInstall.exe";
    // Kestane names it with a trailing blank, which the file system drops.
    const std::wstring keyword = join(special_folder(CSIDL_APPDATA), L"DirectKeyword\\DirectKeyword.exe");
    // Kestane names it in C:\Windows\system32, which a 32-bit installer on
    // 64-bit Windows filled as SysWOW64: there a 32-bit Kestane finds it.
    const std::wstring codeChange = join(kestane_system_dir(), L"codechange.exe");
    for (const auto& path : {installShield, gaesori, tuner, plusLine, agent, superDown, keyword, codeChange})
        install(path);
    std::wstring folder = join(scratch_dir(), L"current");
    need(make_dirs(folder), "creating %s failed", str(folder));
    std::wstring strayCommandProcessor = join(folder, L"cmd.exe");
    install(strayCommandProcessor);

    App app = launch_kestane(folder);
    sweep(app, kProgramSweepButton);

    expect_starts(installShield, {{SW_HIDE, L"-uninst -runfromtemp"}});
    expect_starts(gaesori, on_64bit_windows({{SW_HIDE, L""}, {SW_HIDE, L"/SILENT"}}));
    expect_starts(tuner, {{SW_HIDE, L""}, {SW_HIDE, L""}});
    expect_starts(plusLine, {{SW_HIDE, L""}, {SW_HIDE, L""}});
    expect_starts(agent, on_64bit_windows({{SW_HIDE, L""}}));
    expect_starts(keyword, {{SW_HIDE, L"-uninstall"}});
    expect_starts(codeChange, {{SW_HIDE, L"/delete"}});
    expect_starts(superDown, {});
    expect_starts(strayCommandProcessor, {});
    // Never in the folder Kestane was started from: an uninstaller below a
    // root in its own, the one from the roaming folder in its own too, as
    // the desktop user (the shell stand-in's).
    expect_folder(installShield, parent_dir(installShield));
    expect_folder(tuner, parent_dir(tuner));
    expect_folder(codeChange, system_folder());
    expect_folder(keyword, parent_dir(keyword));
    // What starts with Kestane's rights has TEMP in a folder of its own
    // below the Windows folder's Temp, not the user's.
    const std::wstring userTemp = lower(special_folder(CSIDL_LOCAL_APPDATA));
    for (const auto& path : {installShield, tuner, codeChange})
        for (const Launch& launch : recorded_launches(path)) {
            std::wstring temp = lower(launch.temp);
            ok(temp.find(L"\\temp\\tollvard-") != std::wstring::npos && temp.rfind(userTemp, 0) != 0,
               "%s: expected TEMP in Kestane's own folder, got %s", str(path), str(launch.temp));
        }
}

// The folder removal deletes the search bar's folder with everything in it,
// without asking, though the path's quote is never closed.
E2E_CASE(sweep_programs_remove_search_bar_folder) {
    const std::wstring bar = std::wstring(kProgramFiles) + L"BigfileSearch";
    need(make_file(join(bar, L"BigfileSearch.dll"), "bar"), "creating a file in %s failed", str(bar));
    need(make_file(join(bar, L"skin\\bar.bmp"), "skin"), "creating a file below %s failed", str(bar));

    App app = launch_kestane();
    sweep(app, kProgramSweepButton);

    ULONGLONG deadline = GetTickCount64() + 15000;
    while (dir_exists(bar) && GetTickCount64() < deadline) Sleep(100);
    ok(!dir_exists(bar), "expected %s removed within 15 s, it is still there", str(bar));
}

// The About box opens at the main window's client origin, shows the host of
// the maker's page, opens the page in Internet Explorer on a click of its
// line and stays open; Enter and Esc close it. Button 1035 opens the same
// page and shows nothing.
E2E_CASE(about_box_and_update_check) {
    stand_in_for_explorer();
    const std::wstring address = L"https://www.tollvard.kr/";

    App app = launch_kestane();
    WindowQuery about;
    about.pid = app.proc.pid;
    about.owner = app.main;
    about.caption = L"About";
    about.class_name = L"#32770";

    need(press(app.main, kAboutButton), "pressing 1005 failed");
    HWND box = wait_window(about, 5000);
    need(box, "expected the About box, none came");
    // Template position 0, 0 places the box's client area there, as the
    // dialog manager does for every dialog that is not centred.
    POINT origin = {0, 0}, placed = {0, 0};
    ClientToScreen(app.main, &origin);
    ClientToScreen(box, &placed);
    ok(placed.x == origin.x && placed.y == origin.y,
       "expected the About box's client area at the main window's client origin (%ld,%ld), got (%ld,%ld)",
       origin.x, origin.y, placed.x, placed.y);
    ok_control_text(box, kAboutProduct, L"Tollvard v1.3.1.0");
    ok_control_text(box, kAboutLink, L"www.tollvard.kr");

    // A click on the line: the static control notifies only with SS_NOTIFY.
    HWND link = GetDlgItem(box, kAboutLink);
    need(link, "expected control 1017 in the About box, there is none");
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    expect_starts(kExplorer, {{SW_SHOW, address}});
    ok(IsWindow(box) && IsWindowVisible(box), "expected the About box to stay open after the click, it closed");

    PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
    ULONGLONG deadline = GetTickCount64() + 5000;
    while (IsWindow(box) && GetTickCount64() < deadline) Sleep(50);
    ok(!IsWindow(box), "Enter: expected the About box to close, it is still open");

    need(press(app.main, kAboutButton), "pressing 1005 again failed");
    box = wait_window(about, 5000);
    need(box, "expected the About box a second time, none came");
    PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
    deadline = GetTickCount64() + 5000;
    while (IsWindow(box) && GetTickCount64() < deadline) Sleep(50);
    ok(!IsWindow(box), "Esc: expected the About box to close, it is still open");
    ok(IsWindow(app.main), "expected the main window to stay, it is gone");

    need(press(app.main, kUpdateCheckButton), "pressing 1035 failed");
    expect_starts(kExplorer, {{SW_SHOW, address}, {SW_SHOW, address}});
    expect_folder(kExplorer, parent_dir(kExplorer));
    HWND shown = wait_message_box_of(app.proc.pid, app.main, 1000);
    ok(!shown, "1035: expected no window besides the main window, got %s", shown ? str(window_text(shown)) : "");
}

// Unpacked to Downloads and run as administrator, Kestane loads no DLL planted
// beside it, neither when its window opens nor when it opens the
// maker's page, and starts nothing below a "C:\Program Files (x86)" that
// 32-bit Windows does not have, where anyone may create one. imm32 is not
// planted: Wine's user32 loads it before Kestane's first statement runs.
E2E_CASE(planted_dlls_and_foreign_program_files_stay_unused) {
    const std::wstring downloads = join(scratch_dir(), L"Downloads");
    const std::wstring kestane = join(downloads, L"Kestane.exe");
    need(copy_file(kestane_path(), kestane), "copying Kestane to %s failed: error %lu", str(kestane), GetLastError());
    const std::vector<std::wstring> planted = {L"uxtheme", L"ole32"};
    std::vector<std::wstring> markers;
    for (const auto& dll : planted) {
        std::wstring beside = join(downloads, dll + L".dll");
        need(copy_file(tool_path((dll + L".dll").c_str()), beside), "planting %s failed: error %lu", str(beside),
             GetLastError());
        markers.push_back(beside + L".loaded");
        track_file(markers.back());
    }
    search_program_folder_first(planted);
    stand_in_for_explorer();
    const std::wstring foreign = std::wstring(kProgramFilesX86) + L"ShareBox\\SBoxButton\\Uninstall.exe";
    install(foreign);

    App app;
    app.proc = start_process(kestane, L"", downloads);
    need(app.proc, "starting %s failed: error %lu", str(kestane), GetLastError());
    app.main = wait_main_window(app.proc);
    need(app.main, "expected the main window of %s, none came", str(kestane));
    need(press(app.main, kUpdateCheckButton), "pressing 1035 failed");
    expect_starts(kExplorer, {{SW_SHOW, L"https://www.tollvard.kr/"}});
    for (const auto& marker : markers)
        ok(!file_exists(marker), "expected %s never loaded, it was", str(marker.substr(0, marker.size() - 7)));
    ok_control_text(app.main, 1006, L"그리드 제거 프로그램");
    ok_control_text(app.main, 1008, L"설치: OFF");
    ok_control_text(app.main, 1003, L"상주: OFF");

    sweep(app, kWebhardSweepButton);
    sweep(app, kProgramSweepButton);
    expect_starts(foreign, on_64bit_windows({{SW_HIDE, L""}}));
}

// Without the shell stand-in a Wine run is what Windows is with Explorer
// ended: UAC separates Kestane's token from the user's, and no user's token
// can be had. Nothing in the user's folders is deleted or started, each
// press says so, and the rest of it goes on.
E2E_CASE(sweeps_without_a_desktop_user_leave_its_folders_alone) {
    const std::wstring skipped =
        L"바탕 화면 사용자의 권한을 얻지 못해 사용자 폴더(바탕 화면, 시작 메뉴, 즐겨찾기, 응용 프로그램 데이터)의 "
        L"항목은 건너뛰었습니다\n탐색기를 실행한 뒤 다시 시도해 주세요";
    const std::wstring shortcut = join(special_folder(CSIDL_DESKTOPDIRECTORY), L"쉐어박스.url");
    const std::wstring keyword = join(special_folder(CSIDL_APPDATA), L"DirectKeyword\\DirectKeyword.exe");
    const std::wstring tuner = std::wstring(kProgramFiles) + L"스마트튠\\uninst.exe";
    need(make_file(shortcut, "[InternetShortcut]\r\n"), "creating %s failed", str(shortcut));
    install(keyword);
    install(tuner);
    stand_in_for_explorer();
    stop_shell_stand_in();
    need(!GetShellWindow(), "expected no shell window without the stand-in");

    App app = launch_kestane();
    auto expect_notice = [&](int button, const std::wstring& text) {
        HWND box = wait_message_box(app.main, kSweepTimeout);
        need(box, "after %d: expected the message %s, none came", button, str(text));
        MessageBoxText shown = read_message_box(box);
        ok(shown.caption == kNotice && shown.text == text, "after %d: expected %s, got %s: %s", button, str(text),
           str(shown.caption), str(shown.text));
        need(dismiss_message_box(box), "after %d: the message box did not close", button);
    };
    need(press(app.main, kShortcutSweepButton), "pressing 1013 failed");
    expect_notice(kShortcutSweepButton, skipped);
    HWND more = wait_message_box_of(app.proc.pid, app.main, 1000);
    ok(!more, "1013: expected no message after it, got %s", more ? str(window_text(more)) : "");
    ok(file_exists(shortcut), "expected %s kept, it is gone", str(shortcut));

    need(press(app.main, kProgramSweepButton), "pressing 1011 failed");
    expect_notice(kProgramSweepButton, skipped);
    expect_notice(kProgramSweepButton, kRemoved);
    expect_starts(tuner, {{SW_HIDE, L""}, {SW_HIDE, L""}});
    expect_starts(keyword, {});

    need(press(app.main, kUpdateCheckButton), "pressing 1035 failed");
    expect_notice(kUpdateCheckButton,
                  L"바탕 화면 사용자의 권한을 얻지 못해 홈페이지를 열지 않았습니다\n탐색기를 실행한 뒤 다시 시도해 주세요");
    expect_starts(kExplorer, {});
}
