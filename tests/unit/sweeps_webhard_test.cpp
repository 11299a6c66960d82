#include <gtest/gtest.h>

#include <cstring>

#include "shared/process_shell.h"
#include "main/rights/launch.h"
#include "main/window/main_window.h"
#include "main/resource_ids.h"
#include "main/cleanup/sweeps.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

const std::string kPF = "C:\\Program Files\\";
const std::string kPF86 = "C:\\Program Files (x86)\\";

class WebhardSweepTest : public SimTest {
protected:
    // 1-based, as the entries are numbered.
    const sim::Launch& Entry(std::size_t number) { return M().launches.at(number - 1); }
    int CountFile(const std::string& file) {
        int n = 0;
        for (const auto& l : M().launches) n += sim::SameNoCase(l.file, file);
        return n;
    }
};

TEST_F(WebhardSweepTest, SeventyFourLaunchesInTableOrder) {
    RunWebhardUninstallers();
    ASSERT_EQ(M().launches.size(), 74u);
    for (const auto& l : M().launches) EXPECT_EQ(l.via, "CreateProcessA") << l.file;

    EXPECT_EQ(Entry(1).file, "C:\\Windows\\System32\\ClubboxUninstall.exe");
    EXPECT_EQ(Entry(2).file, kPF + "DBfile\\Uninstall.exe");
    EXPECT_EQ(Entry(28).file, kPF + "SuperDown\\UnInstall.exe");
    EXPECT_EQ(Entry(29).file, kPF86 + "DBfile\\Uninstall.exe");
    // The explorer add-on of FileCity exists under the (x86) root only.
    EXPECT_EQ(Entry(34).file, kPF86 + "Filecity\\Uninstall.exe");
    EXPECT_EQ(Entry(35).file, kPF86 + "FileCity\\Explorer\\UnInExplorer.exe");
    EXPECT_EQ(Entry(36).file, kPF86 + "FileI\\UnInstall.exe");
    EXPECT_EQ(Entry(56).file, kPF86 + "SuperDown\\UnInstall.exe");
    EXPECT_EQ(CountFile(kPF + "FileCity\\Explorer\\UnInExplorer.exe"), 0);

    std::vector<std::string> editions;
    for (std::size_t n = 57; n <= 64; ++n) editions.push_back(Entry(n).file);
    EXPECT_EQ(editions, (std::vector<std::string>{
                            kPF + "bondisk.co.kr\\bondisk(normal)\\Uninstall.exe",
                            kPF + "bondisk.co.kr\\bondisk(fast)\\Uninstall.exe",
                            kPF86 + "bondisk.co.kr\\bondisk(normal)\\Uninstall.exe",
                            kPF86 + "bondisk.co.kr\\bondisk(fast)\\Uninstall.exe",
                            kPF + "fdisk.co.kr\\Fdisk(normal)\\Uninstall.exe",
                            kPF + "fdisk.co.kr\\Fdisk(fast)\\Uninstall.exe",
                            kPF86 + "fdisk.co.kr\\Fdisk(normal)\\Uninstall.exe",
                            kPF86 + "fdisk.co.kr\\Fdisk(fast)\\Uninstall.exe",
                        }));
    EXPECT_EQ(Entry(69).file, kPF + "FileNori\\ActivexUnInstaller.exe");
    EXPECT_EQ(Entry(72).file, kPF86 + "pdpopx\\Uninstall.exe");
    EXPECT_EQ(Entry(73).file, kPF + "ShareBox\\Uninstall.exe");
    EXPECT_EQ(Entry(74).file, kPF86 + "ShareBox\\Uninstall.exe");

    // Fixed paths: the machine's folders are asked for once, and only to be
    // compared with the roots; the system folder once more, for the full
    // path of userenv.dll.
    EXPECT_EQ(M().Trace("SHGetSpecialFolderPathA"),
              (std::vector<std::string>{"SHGetSpecialFolderPathA 38 0", "SHGetSpecialFolderPathA 42 0"}));
    EXPECT_EQ(M().Count("GetSystemDirectoryA"), 2);
}

TEST_F(WebhardSweepTest, OnlyEntries65To72AreShownAndOnlyTheQdownServiceGetsParameters) {
    RunWebhardUninstallers();
    ASSERT_EQ(M().launches.size(), 74u);
    for (std::size_t n = 1; n <= 74; ++n) {
        EXPECT_EQ(Entry(n).show, n >= 65 && n <= 72 ? SW_SHOW : SW_HIDE) << "entry " << n << " " << Entry(n).file;
        bool qdownService = n == 25 || n == 53;
        EXPECT_EQ(Entry(n).hasParameters, qdownService) << "entry " << n << " " << Entry(n).file;
    }
    EXPECT_EQ(Entry(25).file, kPF + "qdown.co.kr\\Qdown(fast)\\ExpressService.exe");
    EXPECT_EQ(Entry(53).file, kPF86 + "qdown.co.kr\\Qdown(fast)\\ExpressService.exe");
    EXPECT_EQ(Entry(25).parameters, "-u");
    EXPECT_EQ(Entry(53).parameters, "-u");
}

TEST_F(WebhardSweepTest, RepeatedUninstallersStartAsOftenAsTabled) {
    RunWebhardUninstallers();
    // The Hidisk fast edition's folder is opened, hidden, right after its batch file.
    EXPECT_EQ(Entry(12).file, kPF + "hidisk.co.kr\\Hidisk(fast)\\UnExpService.bat");
    EXPECT_EQ(Entry(13).file, kPF + "hidisk.co.kr\\Hidisk(fast)");
    EXPECT_EQ(Entry(13).show, SW_HIDE);
    // The two spellings of the Kdisk folder are one folder to the file system.
    EXPECT_TRUE(sim::SameNoCase(Entry(16).file, Entry(17).file));
    EXPECT_NE(Entry(16).file, Entry(17).file);
    EXPECT_EQ(Entry(16).file, kPF + "kdisk.co.kr\\Kdisk(normal)\\Uninstall.exe");
    EXPECT_EQ(Entry(17).file, kPF + "Kdisk.co.kr\\Kdisk(normal)\\Uninstall.exe");
    EXPECT_EQ(CountFile(kPF + "kdisk.co.kr\\Kdisk(normal)\\Uninstall.exe"), 2);
    // Once hidden from list A, once shown.
    EXPECT_EQ(CountFile(kPF + "Zfile\\Uninstall.exe"), 2);
    EXPECT_EQ(CountFile(kPF86 + "FileNori\\ActivexUnInstaller.exe"), 2);

    // No state between runs: a second press starts everything again.
    RunWebhardUninstallers();
    EXPECT_EQ(M().launches.size(), 148u);
}

// Each sweep button reports the removal once its sweep returned, whatever the
// sweep found (here: nothing at all).
TEST_F(WebhardSweepTest, SweepButtonsReportRemovedAfterTheirSweeps) {
    M().dialogScripts[IDD_MAIN] = [&](HWND w) {
        for (int id : {IDC_WEBHARD_SWEEP, IDC_PROGRAM_SWEEP, IDC_SHORTCUT_SWEEP}) EXPECT_EQ(sim::Command(w, id), TRUE);
    };
    RunMainWindow(nullptr);
    ASSERT_EQ(M().messageBoxes.size(), 3u);
    for (const auto& box : M().messageBoxes) {
        EXPECT_EQ(box.text, "제거되었습니다");
        EXPECT_EQ(box.caption, "알림");
    }
    // The trace in the order of events: each message right behind its sweep.
    std::vector<std::string> calls;
    for (const auto& entry : M().trace)
        for (const char* name : {"CreateProcessA", "DeleteFileA", "MessageBoxA"})
            if (entry.rfind(name, 0) == 0 && (calls.empty() || calls.back() != name)) calls.push_back(name);
    EXPECT_EQ(calls, (std::vector<std::string>{"CreateProcessA", "MessageBoxA", "CreateProcessA", "MessageBoxA",
                                               "DeleteFileA", "MessageBoxA"}));
    EXPECT_EQ(M().launches.size(), 74u + 352u);
}

// A row below a fixed root runs only where that root is the machine's own
// folder: anyone may create C:\Program Files (x86) on 32-bit Windows, or
// C:\Windows where Windows lives on D:, and plant an "uninstaller" there; nor
// where every user may change it, nor with a TEMP that a user replaced.
// Buttons 1014, 1011 and the update check, on each machine; refusals told.
TEST_F(WebhardSweepTest, NothingStartsBelowRootsThatAreNotTheMachinesOwn) {
    auto on32BitWindows = [this] {
        M().windows64 = M().program64 = false;
        M().RemoveSpecialFolder(CSIDL_PROGRAM_FILESX86);
        M().AddFile(kPF86 + "ShareBox\\SBoxSearchBar\\Uninstall.exe");
        M().AddFile(kPF86 + "Zfile\\Uninstall.exe");
        M().AddFolder(kPF86 + "BigfileSearch");
    };
    const std::string removed = "제거되었습니다", planted = "C:\\users\\tester\\planted",
                      open = "모든 사용자가 바꿀 수 있는 폴더의 제거 프로그램은 관리자 권한으로 실행하지 않았습니다";
    auto installed = [this](const std::string& file, const char* sid, DWORD mask) {
        M().AddFile(kPF + file);
        M().SecurityOf(kPF + file.substr(0, file.find('\\'))).entries.push_back({0, 0, mask, sid});
    };
    struct Case {
        const char* machine;
        std::function<void()> setUp;
        std::size_t launches;   // of the 74 + 352 + 1 of a machine set up the usual way
        const char* forbidden;  // no file, no parameters and no TEMP below this
        std::vector<std::string> notices = {"제거되었습니다", "제거되었습니다"};
        std::function<void()> afterFirstPress = [] {};
    } cases[] = {
        {"32-bit Windows", on32BitWindows, 37 + 184 + 1, "C:\\Program Files (x86)\\"},
        {"the first XP",
         [&] {
             on32BitWindows();
             M().missingExports = {"IsWow64Process"};
         },
         37 + 184 + 1, "C:\\Program Files (x86)\\"},
        {"WoW64",
         [this] {
             M().program64 = false;
             M().SetSpecialFolder(CSIDL_PROGRAM_FILES, "C:\\Program Files (x86)");
         },
         74 + 352 + 1, nullptr},
        {"Windows on D:",
         [this] {
             M().windowsDirectory = "D:\\Windows";
             M().systemDirectory = "D:\\Windows\\system32";
             M().AddFolder("D:\\Windows\\Temp");
         },
         73 + 343 + 1, "C:\\Windows\\"},
        {"Program Files on D:",
         [this] {
             M().SetSpecialFolder(CSIDL_PROGRAM_FILES, "D:\\Program Files");
             M().SetSpecialFolder(CSIDL_PROGRAM_FILESX86, "D:\\Program Files (x86)");
         },
         1 + 15, "C:\\Program Files"},
        {"TEMP replaced by a junction", [] {}, 352 + 1, planted.c_str(), {removed, removed}, [&] {
             RemoveDirectoryA(StartTempFolder.c_str()), M().launches.clear();
             M().junctions[StartTempFolder] = planted, M().AddFolder(planted);
         }},
        {"start refused", [&] { M().AddFile(kPF + "Zfile\\Uninstall.exe"), M().files.back().notAProgram = true; },
         74 + 352 - 1, nullptr, {"관리자 권한으로 실행하지 못한 프로그램이 있습니다 (오류 코드 193)", removed, removed}},
        {"Everyone full control", [&] { installed("DBfile\\Uninstall.exe", "S-1-1-0", FILE_ALL_ACCESS); },
         74 + 352, "C:\\Program Files\\DBfile", {open, removed, removed}},
        {"Users write", [&] { installed("52hxw\\uninst.exe", "S-1-5-32-545", FILE_WRITE_DATA); }, 74 + 352,
         "C:\\Program Files\\52hxw", {removed, open, removed}},
        {"a junction", [&] { M().junctions[kPF + "Scan119"] = planted, M().AddFile(planted + "\\uninst.exe"); },
         74 + 352, "C:\\Program Files\\Scan119", {removed, open, removed}},
    };
    for (const Case& c : cases) {
        sim::Reset();
        ResetProgramState();
        c.setUp();
        M().dialogScripts[IDD_MAIN] = [&c](HWND w) {
            sim::Command(w, IDC_WEBHARD_SWEEP), c.afterFirstPress();
            for (int id : {IDC_PROGRAM_SWEEP, IDC_UPDATE_CHECK}) sim::Command(w, id);
        };
        RunMainWindow(nullptr);
        EXPECT_EQ(M().launches.size(), c.launches) << c.machine;
        for (const auto& l : M().launches) {
            if (!c.forbidden) break;  // WoW64: everything runs
            for (const std::string& path : {l.file, M().LongForm(l.environment.at("TEMP"))})
                EXPECT_FALSE(sim::SameNoCase(path.substr(0, std::strlen(c.forbidden)), c.forbidden))
                    << c.machine << ": " << path;
            EXPECT_EQ(l.parameters.find(c.forbidden), std::string::npos) << c.machine << ": " << l.parameters;
        }
        std::vector<std::string> notices;
        for (const auto& box : M().messageBoxes) notices.push_back(box.text);
        EXPECT_EQ(notices, c.notices) << c.machine;
    }
}

// The user's own classes (HKCU\\Software\\Classes) win over the machine's in
// the shell, elevated or not, so no start goes through it: a program starts
// as itself, a batch file in the system's command processor, which reads no
// AutoRun command of the user's, and a folder in the system's explorer, by
// their full paths and with the tabled show modes, each in its own folder.
TEST_F(WebhardSweepTest, TheUsersClassesNeverDecideWhatStarts) {
    const std::string fast = kPF + "hidisk.co.kr\\Hidisk(fast)";
    M().AddFile(fast + "\\UnExpService.bat");
    M().AddFile(kPF + "DBfile\\Uninstall.exe");
    const std::string planted = "C:\\users\\tester\\AppData\\Local\\Temp\\planted.exe";
    M().userAutoRun = planted;

    RunWebhardUninstallers();

    ASSERT_EQ(M().launches.size(), 74u);
    for (const auto& l : M().launches) EXPECT_NE(l.file, planted) << "cmd ran the user's AutoRun command";
    auto start = [&](std::size_t n) {
        return std::make_tuple(Entry(n).file, Entry(n).parameters, Entry(n).show, Entry(n).directory);
    };
    EXPECT_EQ(start(2), std::make_tuple(kPF + "DBfile\\Uninstall.exe", std::string("<null>"), SW_HIDE,
                                        kPF + "DBfile"));
    EXPECT_EQ(start(12), std::make_tuple(std::string("C:\\windows\\system32\\cmd.exe"),
                                         "/d /c \"\"" + fast + "\\UnExpService.bat\"\"", SW_HIDE, fast));
    EXPECT_EQ(start(13), std::make_tuple(std::string("C:\\windows\\explorer.exe"), "\"" + fast + "\"", SW_HIDE,
                                         kPF + "hidisk.co.kr"));
    EXPECT_EQ(start(65), std::make_tuple(kPF + "Zfile\\Uninstall.exe", std::string("<null>"), SW_SHOW, kPF + "Zfile"));

    // A program in a drive's root starts in that root, not in the drive's
    // current folder ("D:" alone).
    Starts starts = BeginStarts();
    Launch(starts, "D:\\setup.exe", nullptr, SW_HIDE);
    EndStarts(starts);
    EXPECT_EQ(M().launches.back().directory, "D:\\");
}

}  // namespace
