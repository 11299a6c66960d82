#include <gtest/gtest.h>

#include <functional>

#include "main/window/about.h"
#include "main/cleanup/resident_termination.h"
#include "main/cleanup/sweeps.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

const std::string kPF = "C:\\Program Files\\";
const std::string kPF86 = "C:\\Program Files (x86)\\";
const std::string kRoaming = "C:\\users\\tester\\AppData\\Roaming";
const std::string kCmd = "C:\\windows\\system32\\cmd.exe";
const std::string kSystem = "C:\\windows\\system32";

class ProgramSweepTest : public SimTest {
protected:
    // 1-based, as the entries are numbered.
    const sim::Launch& Entry(std::size_t number) { return M().launches.at(number - 1); }
    int CountFile(const std::string& file, bool exact = false) {
        int n = 0;
        for (const auto& l : M().launches) n += exact ? l.file == file : sim::SameNoCase(l.file, file);
        return n;
    }
    std::vector<std::string> Files(std::size_t first, std::size_t last) {
        std::vector<std::string> out;
        for (std::size_t n = first; n <= last; ++n) out.push_back(Entry(n).file);
        return out;
    }
};

TEST_F(ProgramSweepTest, ThreeHundredFiftyTwoHiddenLaunchesInTableOrder) {
    RunProgramUninstallers();
    ASSERT_EQ(M().launches.size(), 352u);
    for (const auto& l : M().launches) {
        EXPECT_EQ(l.via, "CreateProcessA") << l.file;
        EXPECT_EQ(l.show, SW_HIDE) << l.file;
    }

    EXPECT_EQ(Files(1, 3), (std::vector<std::string>{kPF + "ShareBox\\SBoxSearchBar\\Uninstall.exe",
                                                     kPF + "BigfileSearch\\uninstall.exe",
                                                     kPF + "JJangQ\\JJangQSearchBar\\uninstall.exe"}));
    EXPECT_EQ(Entry(6).file, kPF86 + "ShareBox\\SBoxSearchBar\\Uninstall.exe");
    EXPECT_EQ(Files(11, 13), (std::vector<std::string>{kPF + "ShareBox\\SBoxButton\\Uninstall.exe",
                                                       kPF86 + "ShareBox\\SBoxButton\\Uninstall.exe",
                                                       kPF + "52hxw\\uninst.exe"}));
    EXPECT_EQ(Entry(18).file, kPF + "Aqua\\") << "a folder, opened like the rest";
    EXPECT_EQ(Entry(71).file, kPF + "vodstreamer.co.kr\\Video Streamer\\unins000.exe");
    EXPECT_EQ(Entry(111).file, kPF + "SuperDown\\UnInstall.exe");
    EXPECT_EQ(Entry(112).file, kPF + "tab_browser\\tab_browserndel.exe");
    EXPECT_EQ(Entry(138).file, kPF + "스마트튠\\uninst.exe");
    EXPECT_EQ(Entry(169).file, kPF + "Scan119\\uninst.exe");
    EXPECT_EQ(Entry(176).file, kPF86 + "52hxw\\uninst.exe");
    EXPECT_EQ(Entry(274).file, kPF86 + "tab_browser\\tab_browserndel.exe") << "SuperDown left out";
    EXPECT_EQ(Entry(331).file, kPF86 + "Scan119\\uninst.exe");
    EXPECT_EQ(Entry(332).file, "C:\\Windows\\System32\\Uninstall.exe");
    EXPECT_EQ(Entry(337).file, "c:\\WINDOWS\\system32\\uninst_powercare.exe");
    EXPECT_EQ(Entry(338).file, kPF + "QuickDownloadService\\unins000.exe");
    EXPECT_EQ(Entry(349).file, kPF86 + "BomulBox\\BBoxSearchBar\\Uninstall.exe");
    EXPECT_EQ(Entry(352).file, "C:\\Windows\\system32\\codechange.exe");

    EXPECT_EQ(CountFile(kPF + "SuperDown\\UnInstall.exe"), 1);
    EXPECT_EQ(CountFile(kPF86 + "SuperDown\\UnInstall.exe"), 0);
}

TEST_F(ProgramSweepTest, ParametersOnlyWhereTabled) {
    RunProgramUninstallers();
    ASSERT_EQ(M().launches.size(), 352u);
    std::vector<std::pair<std::size_t, std::string>> withParameters;
    for (std::size_t n = 1; n <= 352; ++n)
        if (Entry(n).hasParameters) withParameters.push_back({n, Entry(n).parameters});
    const std::string rmdir = "/d /c rmdir /s /q \"";
    EXPECT_EQ(withParameters, (std::vector<std::pair<std::size_t, std::string>>{
                                  {4, rmdir + kPF + "JJangQ\\JJangQSearchBar"},
                                  {5, rmdir + kPF + "BigfileSearch"},
                                  {9, rmdir + kPF86 + "JJangQ\\JJangQSearchBar"},
                                  {10, rmdir + kPF86 + "BigfileSearch"},
                                  {41, "-uninst -runfromtemp"},
                                  {158, "/SILENT"},
                                  {172, "-uninstall"},
                                  {204, "-uninst -runfromtemp"},
                                  {320, "/SILENT"},
                                  {336, "/delete"},
                                  {350, "/delete"},
                                  {352, "/delete"},
                              }));
    EXPECT_EQ(Entry(41).file,
              kPF + "InstallShield Installation Information\\{8D2B0FEF-AD16-4BC8-A733-9B79B2FAD84E}\\setup.exe");
    EXPECT_EQ(Entry(158).file, kPF + "GAESORI\\unins000.exe");
    EXPECT_EQ(Entry(36).file, kPF + "GAESORI\\unins000.exe") << "the first time without parameters";
}

// The folder removals run the system's command processor, never one that
// happens to lie in the current folder; the parameters stay as tabled, with
// the quote left open.
TEST_F(ProgramSweepTest, FolderRemovalsRunTheSystemCommandProcessor) {
    M().AddFile(M().currentDirectory + "\\cmd.exe");
    RunProgramUninstallers();
    for (std::size_t n : {4, 5, 9, 10}) EXPECT_EQ(Entry(n).file, kCmd) << "entry " << n;
    EXPECT_EQ(Entry(5).parameters, "/d /c rmdir /s /q \"C:\\Program Files\\BigfileSearch");
    EXPECT_EQ(CountFile(kCmd, true), 4);
    EXPECT_EQ(CountFile("cmd") + CountFile("cmd.exe"), 0);

    // Without the system folder there is no command processor we trust, and
    // no userenv.dll to load by its full path: no environment that only
    // administrators wrote, so nothing starts with our rights, and the user
    // is told (127: the call was not found).
    sim::Reset();
    M().systemDirectory = "";
    RunProgramUninstallers();
    EXPECT_EQ(M().launches.size(), 0u);
    ASSERT_EQ(M().messageBoxes.size(), 1u);
    EXPECT_EQ(M().messageBoxes[0].text,
              "관리자만 바꿀 수 있는 임시 폴더를 만들지 못해 프로그램을 실행하지 않았습니다 (오류 코드 127)");
}

TEST_F(ProgramSweepTest, RunTimePathsComeFromTheRoamingFolderWithTheirBlanks) {
    RunProgramUninstallers();
    EXPECT_EQ(Files(170, 175), (std::vector<std::string>{
                                   kRoaming + "\\tab_browser\\tab_browserndel.exe ",
                                   kRoaming + "\\greenopen2\\greenopendel.exe ",
                                   kRoaming + "\\DirectKeyword\\DirectKeyword.exe ",
                                   kRoaming + "\\MultiDownload\\MultiDownloadUninstall.exe ",
                                   kRoaming + "\\GoodFile\\FileGet\\FileGetUninstall.exe ",
                                   kRoaming + "\\everytoolbar\\everytoolbardel.exe ",
                               }));
    EXPECT_EQ(M().Count("SHGetFolderPathA 26 <null>"), 6) << "once for each, not created when missing";
    EXPECT_EQ(M().Count("SHGetSpecialFolderPathA"), 2) << "the machine's two Program Files folders";

    // Each starts in a folder only administrators can change: a row below a
    // root in its own, the command processor and a run-time path (no split
    // token here) in the system folder; never in Kestane's current folder.
    EXPECT_EQ(Entry(1).directory, kPF + "ShareBox\\SBoxSearchBar");
    EXPECT_EQ(Entry(4).directory, kSystem);
    EXPECT_EQ(Entry(18).directory, "C:\\Program Files") << "the folder row Aqua\\";
    EXPECT_EQ(Entry(171).directory, kSystem);
    EXPECT_EQ(Entry(352).directory, "C:\\Windows\\system32") << "as the table writes it";

    // Blanks and lower-case drives in the fixed paths are handed on as written.
    EXPECT_EQ(Entry(150).file, kPF + "bclubwidget\\bclubwidgetun.exe ");
    EXPECT_EQ(Entry(152).file, kPF + "F2Day\\f2ddel.exe ");
    EXPECT_EQ(CountFile(kPF + "F2Day\\f2ddel.exe", true), 2);
    EXPECT_EQ(Entry(139).file, "c:\\Program Files\\PlusLineIU\\PLUninstallIU.exe");
    EXPECT_EQ(Entry(303).file, "c:\\Program Files (x86)\\ShoppingSave\\uninstall.exe");
    EXPECT_EQ(CountFile("c:\\Program Files\\Favoclicks\\uninstall.exe", true), 2);
    EXPECT_EQ(CountFile(kPF + "Favoclicks\\uninstall.exe", true), 0);
    // Differing only in case is one file to the shell, started twice.
    EXPECT_EQ(CountFile(kPF + "SearchPot\\uninstall.exe"), 2);
    EXPECT_EQ(CountFile(kPF86 + "tencent\\QQMusic\\QQMusicUninst.exe"), 2);
}

// Built from a folder the shell could not tell, a run-time path would name a
// program at the root of the current drive.
TEST_F(ProgramSweepTest, UnknownRoamingFolderSkipsTheSixRunTimePaths) {
    for (bool answersEmpty : {false, true}) {
        sim::Reset();
        if (answersEmpty) M().SetSpecialFolder(CSIDL_APPDATA, "");
        else M().RemoveSpecialFolder(CSIDL_APPDATA);
        RunProgramUninstallers();
        ASSERT_EQ(M().launches.size(), 346u) << answersEmpty;
        EXPECT_EQ(Entry(169).file, kPF + "Scan119\\uninst.exe");
        EXPECT_EQ(Entry(170).file, kPF86 + "52hxw\\uninst.exe");
        for (const auto& l : M().launches) EXPECT_NE(l.file.front(), '\\') << l.file;
    }
}

TEST_F(ProgramSweepTest, RunTimePathThatWouldNotFitIsSkippedNotCut) {
    // 230 bytes of folder: "\greenopen2\greenopendel.exe " (29 bytes) still
    // fits MAX_PATH with its zero, the others do not.
    const std::string folder = "C:\\" + std::string(227, 'r');
    M().SetSpecialFolder(CSIDL_APPDATA, folder);
    RunProgramUninstallers();
    ASSERT_EQ(M().launches.size(), 347u);
    EXPECT_EQ(Entry(170).file, folder + "\\greenopen2\\greenopendel.exe ");
    EXPECT_EQ(Entry(171).file, kPF86 + "52hxw\\uninst.exe");
}

// What lives in the user's folders is found, deleted and started with the
// rights of the user whose desktop it is. Without a split token (XP, UAC off)
// that is Kestane's own, as it always was; with one, the shell's filtered
// token; and where an administrator typed the password over a standard
// user's shoulder, the standard user's, in that user's folders, never the
// administrator's: the shell's account tells whose, split or not ("run as").
// Where no shell token that passes its checks can be had, nothing in the
// user's folders is done, and the user is told.
// What starts with Kestane's token gets the system's variables only, and
// TEMP and TMP in a folder of its own that only administrators can change.
TEST_F(ProgramSweepTest, EachMachineSweepsTheDesktopUsersFoldersWithTheUsersRights) {
    const std::string admin = "C:\\users\\admin", explorer = "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
    enum Answer { kNoSplit, kUser, kNoUser };
    const std::string skipped =
        "바탕 화면 사용자의 권한을 얻지 못해 사용자 폴더(바탕 화면, 시작 메뉴, 즐겨찾기, 응용 프로그램 데이터)의 "
        "항목은 건너뛰었습니다\n탐색기를 실행한 뒤 다시 시도해 주세요";
    struct {
        const char* machine;
        std::function<void()> setUp;
        Answer answer;
        bool installerThere = false;  // MultiDownload's uninstaller, which installer detection refuses as is
        std::vector<std::string> notices = {};
    } machines[] = {
        {"XP", [&] { M().UseXpProfile(), M().tokenClassesKnown = false; }, kNoSplit},
        {"UAC off", [] {}, kNoSplit, true},
        {"split token", [&] { M().SplitToken(); }, kUser},
        {"over the shoulder", [&] { M().OverTheShoulder(); }, kUser},
        {"no shell window", [&] { M().SplitToken(), M().shellPid = 0; }, kNoUser},
        {"shell refuses its token", [&] { M().SplitToken(), M().shellTokenRefused = true; }, kNoUser},
        {"elevated shell", [&] { M().SplitToken(), M().shellElevated = true; }, kNoUser},
        {"secondary logon off", [&] { M().SplitToken(), M().secondaryLogonDisabled = true; }, kUser, true,
         {"사용자 권한으로 실행하지 못한 프로그램이 있습니다 (오류 코드 1058)"}},
        {"installer detection", [&] { M().SplitToken(); }, kUser, true},
        {"run as on XP", [&] { M().UseXpProfile(), M().tokenClassesKnown = false, M().OverTheShoulder(),
                               M().missingExports = {"CreateProcessWithTokenW"}; }, kUser, false,
         {skipped, "바탕 화면 사용자의 권한을 얻지 못해 홈페이지를 열지 않았습니다\n탐색기를 실행한 뒤 다시 시도해 주세요"}},
        {"run as, UAC off", [&] { M().OverTheShoulder(), M().elevationType = 1, M().installerDetection = false; },
         kUser},
        {"built-in Administrator, shoulder", [&] { M().OverTheShoulder(), M().elevationType = 1; }, kUser, true},
        {"elevation unreadable", [&] { M().SplitToken(), M().elevationQueryFails = true; }, kNoUser},
        {"shell at low integrity", [&] { M().SplitToken(), M().shellIntegrity = 0x1000; }, kNoUser},
        {"restricted shell", [&] { M().SplitToken(), M().shellRestricted = true; }, kNoUser},
        {"shell of another session", [&] { M().SplitToken(), M().shellSession = 2; }, kNoUser},
        {"shell window changes process", [&] { M().SplitToken(), M().shellWindowMoves = true; }, kNoUser},
    };
    for (auto& m : machines) {
        sim::Reset();
        ResetProgramState();
        m.setUp();
        if (m.answer == kNoUser)
            m.notices = {skipped, skipped, skipped,
                         "바탕 화면 사용자의 권한을 얻지 못해 홈페이지를 열지 않았습니다\n탐색기를 실행한 뒤 다시 "
                         "시도해 주세요"};
        auto folders = M().userFolders.empty() ? M().specialFolders : M().userFolders;
        const std::string roaming = folders[CSIDL_APPDATA];
        const std::vector<std::string> gone = {folders[CSIDL_DESKTOP] + "\\쉐어박스.url",
                                               folders[CSIDL_LOCAL_APPDATA] + "\\MultiDownload\\MultiDownload.exe"};
        for (const auto& path : gone) M().AddFile(path);
        M().AddFile(admin + "\\Desktop\\쉐어박스.url");
        const std::string installer = roaming + "\\MultiDownload\\MultiDownloadUninstall.exe ";
        if (m.installerThere) M().AddFile(installer);
        M().AddFolder(kPF + "Aqua");  // a folder row: the user's explorer opens it, never an elevated one
        const bool shellOpened = M().shellPid && !M().elevationQueryFails;
        const bool userStartsFail = m.answer == kNoUser || M().secondaryLogonDisabled || !M().missingExports.empty();

        RemoveShortcuts();
        RunProgramUninstallers();
        TerminateResidentGrids();
        OpenMakerPage();

        bool asUser = m.answer == kUser, none = m.answer == kNoUser;
        for (const auto& path : gone) EXPECT_NE(M().FileExists(path), !none) << m.machine << " " << path;
        EXPECT_TRUE(M().FileExists(admin + "\\Desktop\\쉐어박스.url")) << m.machine;
        const int deletions = none ? 0 : 100 + 3;
        EXPECT_EQ(M().Count("DeleteFileA"), deletions) << m.machine;
        EXPECT_EQ(M().Count("ImpersonateLoggedOnUser desktop user"), asUser ? deletions : 0) << m.machine;
        EXPECT_EQ(M().Count("RevertToSelf"), asUser ? deletions : 0) << m.machine;
        std::vector<std::string> notices;
        for (const auto& box : M().messageBoxes) notices.push_back(box.text);
        EXPECT_EQ(notices, m.notices) << m.machine;
        EXPECT_FALSE(M().debugPrivilegeEnabled) << m.machine << ": enabled only while the shell is opened";
        EXPECT_EQ(M().Count("AdjustTokenPrivileges SeDebugPrivilege on"), shellOpened ? 4 : 0)
            << m.machine;

        ASSERT_EQ(M().launches.size(), userStartsFail ? 352u - 7u + 11u : 352u + 11u + 1u) << m.machine;
        const std::string temp = StartTempFolder;
        EXPECT_EQ(temp.rfind("C:\\windows\\Temp\\Tollvard-", 0), 0u) << m.machine << " " << temp;
        EXPECT_EQ(M().SecurityOf(temp).owner, "S-1-5-32-544") << m.machine;
        EXPECT_TRUE(M().SecurityOf(temp).protectedList) << m.machine;
        for (const auto& l : M().launches) {
            bool users = l.file == explorer || l.file == "C:\\windows\\explorer.exe" ||
                         l.file.rfind(roaming + "\\", 0) == 0;
            EXPECT_EQ(l.via, users && asUser ? "CreateProcessWithTokenW" : "CreateProcessA") << m.machine << l.file;
            EXPECT_EQ(l.account, users && asUser ? sim::kDesktopUser : sim::kAdministrator) << m.machine << l.file;
            if (l.account == sim::kDesktopUser) {
                EXPECT_EQ(l.environment.at("TEMP"), M().userEnvironment.at("TEMP")) << m.machine << l.file;
                continue;
            }
            EXPECT_EQ(l.environment.at("TEMP"), temp) << m.machine << l.file;
            EXPECT_EQ(l.environment.at("TMP"), temp) << m.machine << l.file;
            EXPECT_EQ(l.environment.at("Path"), M().systemEnvironment.at("Path")) << m.machine << l.file;
            EXPECT_EQ(l.environment.at("PATHEXT"), ".COM;.EXE;.BAT;.CMD") << m.machine << l.file;
        }
        // Refused as it is, the installer-named uninstaller starts as the user
        // with the layer that runs it as its invoker, in the user's own
        // environment; never as administrator.
        std::size_t installerStarts = 0;
        for (const auto& l : M().launches) {
            if (l.file != installer) continue;
            ++installerStarts;
            auto layer = l.environment.find("__COMPAT_LAYER");
            EXPECT_EQ(layer != l.environment.end() ? layer->second : "", asUser && m.installerThere ? "RunAsInvoker" : "") << m.machine;
        }
        EXPECT_EQ(M().Count("CreateProcessWithTokenW " + installer + " refused: elevation required"),
                  asUser && m.installerThere && !userStartsFail ? 1 : 0)
            << m.machine;
        if (userStartsFail) continue;
        EXPECT_EQ(installerStarts, 1u) << m.machine;
        EXPECT_EQ(Files(170, 171), (std::vector<std::string>{roaming + "\\tab_browser\\tab_browserndel.exe ",
                                                           roaming + "\\greenopen2\\greenopendel.exe "}))
            << m.machine;
        const sim::Launch& keyword = Entry(172);
        EXPECT_EQ(std::make_tuple(keyword.parameters, keyword.show, keyword.directory),
                  std::make_tuple(std::string("-uninstall"), SW_HIDE,
                                  asUser ? roaming + "\\DirectKeyword" : kSystem))
            << m.machine;
        EXPECT_EQ(M().launches.back().directory, asUser ? "C:\\Program Files\\Internet Explorer" : kSystem)
            << m.machine;
    }
}

// A start as the user that fails, here because the secondary logon service
// is disabled, is not made with the administrator's rights instead.
TEST_F(ProgramSweepTest, RoamingRowsThatCannotStartAsTheUserDoNotStartAtAll) {
    M().SplitToken();
    M().secondaryLogonDisabled = true;
    RunProgramUninstallers();
    EXPECT_EQ(M().launches.size(), 346u);
    EXPECT_EQ(M().Count("CreateProcessWithTokenW"), 6);
    for (const auto& l : M().launches) EXPECT_EQ(l.file.find("Roaming"), std::string::npos) << l.file;
}

}  // namespace
