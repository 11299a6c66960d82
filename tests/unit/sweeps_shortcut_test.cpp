#include <gtest/gtest.h>

#include <algorithm>

#include "main/cleanup/sweeps.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

const std::string kDesktop = "C:\\users\\tester\\Desktop\\";
const std::string kQuickLaunch = "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\";
const std::string kStartMenu = "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\";
const std::string kFavorites = "C:\\users\\tester\\Favorites\\";

class ShortcutSweepTest : public SimTest {
protected:
    // The paths handed to DeleteFileA, in order.
    std::vector<std::string> Deletions() {
        std::vector<std::string> out;
        for (const auto& entry : M().Trace("DeleteFileA ")) out.push_back(entry.substr(12));
        return out;
    }
};

TEST_F(ShortcutSweepTest, FourGroupsInTableOrderDuplicatesIncluded) {
    RemoveShortcuts();
    auto paths = Deletions();
    ASSERT_EQ(paths.size(), 27u + 28u + 26u + 19u);

    EXPECT_EQ(paths[0], kDesktop + "쉐어박스.url");
    EXPECT_EQ(paths[26], kDesktop + "BonDisk.lnk");
    EXPECT_EQ(paths[27], kQuickLaunch + "쉐어박스.url");
    EXPECT_EQ(paths[54], kQuickLaunch + "BonDisk.lnk");
    EXPECT_EQ(paths[55], kStartMenu + "쉐어박스.url");
    EXPECT_EQ(paths[80], kStartMenu + "BonDisk.lnk");
    EXPECT_EQ(paths[81], kFavorites + "쉐어박스.url");
    EXPECT_EQ(paths[99], kFavorites + "무료영화 다운.url");

    // Listed twice, deleted twice; the second deletion finds nothing.
    auto count = [&](const std::string& path) { return std::count(paths.begin(), paths.end(), path); };
    EXPECT_EQ(count(kDesktop + "케이디스크.lnk"), 2);
    EXPECT_EQ(count(kDesktop + "슈퍼다운.url"), 1);
    EXPECT_EQ(count(kQuickLaunch + "슈퍼다운.url"), 2);
    EXPECT_EQ(count(kQuickLaunch + "BonDisk.lnk"), 2);
    EXPECT_EQ(count(kStartMenu + "BonDisk.lnk"), 2);
    EXPECT_EQ(count(kFavorites + "케이디스크.lnk"), 2);
    EXPECT_TRUE(M().launches.empty());
}

TEST_F(ShortcutSweepTest, OnlyTheNamedFilesInTheNamedFoldersGo) {
    // The literals here are CP949 too; the favorites' page titles are also
    // converted from UTF-8 to prove what reaches the file system.
    struct {
        std::string path;
        bool stays;
        bool readOnly = false;
    } files[] = {
        {kDesktop + "BonDisk.url", false},
        {kDesktop + "bondisk.LNK", false},  // names are compared without case
        {kDesktop + "투투디스크.lnk", false},
        {kDesktop + "메가파일.lnk", true, true},
        {kDesktop + "메모.txt", true},
        {kQuickLaunch + "큐다운.lnk", false},
        {kQuickLaunch + "큐다운.url", true},
        {kQuickLaunch + "BonDisk.url", true},
        {kStartMenu + "큐다운.url", false},
        {kStartMenu + "큐다운.lnk", true},
        {kStartMenu + "투투디스크.lnk", true},
        {kStartMenu + "Programs\\쉐어박스.url", true},
        {kFavorites + sim::ToCp949(u8"▒ 재밌는 인터넷, 파일노리 ▒.url"), false},
        {kFavorites + sim::ToCp949(u8"파일시티 - 디지털 컨텐츠 전문거래소.lnk"), false},
        {kFavorites + "큐다운.url", true},
        {"C:\\users\\Public\\Desktop\\쉐어박스.url", true},
    };
    for (const auto& f : files) M().AddFile(f.path, f.readOnly);

    RemoveShortcuts();

    for (const auto& f : files) EXPECT_EQ(M().FileExists(f.path), f.stays) << f.path;
    EXPECT_EQ(Deletions().size(), 100u) << "a file that stays does not stop the sweep";
}

// A path built from a folder the shell could not tell would name a file at
// the root of the current drive.
TEST_F(ShortcutSweepTest, UnknownFolderSkipsItsGroupsOnly) {
    const std::string atRoot = "\\쉐어박스.url";
    M().AddFile(atRoot);
    M().RemoveSpecialFolder(CSIDL_DESKTOP);
    M().SetSpecialFolder(CSIDL_APPDATA, "");  // the shell answers, but with nothing

    RemoveShortcuts();

    auto paths = Deletions();
    EXPECT_EQ(paths.size(), 26u + 19u) << "only the Start Menu and the favorites remain";
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(paths[i].rfind(i < 26 ? kStartMenu : kFavorites, 0), 0u) << paths[i];
    EXPECT_TRUE(M().FileExists(atRoot));
    EXPECT_EQ(M().Trace("SHGetFolderPathA"),
              (std::vector<std::string>{"SHGetFolderPathA 0 <null>", "SHGetFolderPathA 26 <null>",
                                        "SHGetFolderPathA 11 <null>", "SHGetFolderPathA 6 <null>"}));
}

// On XP the Start Menu lies in the profile, not below the roaming folder.
TEST_F(ShortcutSweepTest, XpStartMenuIsSweptWhereItIs) {
    M().UseXpProfile();
    const std::string xpStartMenu = "C:\\Documents and Settings\\tester\\Start Menu\\";
    M().AddFile(xpStartMenu + "큐다운.url");
    RemoveShortcuts();
    EXPECT_FALSE(M().FileExists(xpStartMenu + "큐다운.url"));
    EXPECT_EQ(Deletions()[55], xpStartMenu + "쉐어박스.url");
}

TEST_F(ShortcutSweepTest, PathThatWouldNotFitIsSkippedNotCut) {
    // 250 bytes of folder leave room for "\" and 8 bytes of name with the
    // terminating zero in MAX_PATH.
    const std::string folder = "C:\\" + std::string(247, 'd');
    M().SetSpecialFolder(CSIDL_DESKTOP, folder);
    M().AddFile(folder + "\\Tple.url");
    M().AddFile(folder + "\\BonDisk.u");  // what "BonDisk.url" cut to fit would name

    RemoveShortcuts();

    EXPECT_FALSE(M().FileExists(folder + "\\Tple.url")) << "exactly MAX_PATH with its zero still fits";
    EXPECT_TRUE(M().FileExists(folder + "\\BonDisk.u"));
    std::vector<std::string> desktop;
    for (const auto& path : Deletions()) {
        EXPECT_LT(path.size(), MAX_PATH) << path;
        if (path.compare(0, folder.size(), folder) == 0) desktop.push_back(path.substr(folder.size() + 1));
    }
    // Of the desktop group only the names of 8 bytes fit.
    EXPECT_EQ(desktop, (std::vector<std::string>{"짱큐.url", "Tple.url"}));
    EXPECT_EQ(Deletions().size(), desktop.size() + 28u + 26u + 19u);

    // Bytes of the process's code page: in UTF-8 "짱큐.url" takes 10.
    M().ansiCodePage = 65001;
    M().trace.clear();
    RemoveShortcuts();
    for (const auto& path : Deletions()) EXPECT_LT(path.size(), MAX_PATH) << path;
    EXPECT_EQ(M().Count("DeleteFileA " + folder), 1) << "only Tple.url fits";
}

// With a split token each deletion runs as the desktop user: a folder that a
// user-level program made a junction into Windows' own leads nowhere the
// user could not delete anyway. Where the impersonation fails, nothing goes.
TEST_F(ShortcutSweepTest, DeletionsRunAsTheDesktopUserThroughJunctionsToo) {
    const std::string fonts = "C:\\Windows\\Fonts\\";
    M().SplitToken();
    M().junctions[kQuickLaunch.substr(0, kQuickLaunch.size() - 1)] = fonts.substr(0, fonts.size() - 1);
    M().AddFile(fonts + "쉐어박스.url");
    M().AddFile(kDesktop + "쉐어박스.url");

    RemoveShortcuts();

    EXPECT_TRUE(M().FileExists(fonts + "쉐어박스.url")) << "deleted through the junction as administrator";
    EXPECT_FALSE(M().FileExists(kDesktop + "쉐어박스.url"));
    std::vector<std::string> steps;
    for (const auto& entry : M().trace)
        for (const char* step : {"ImpersonateLoggedOnUser desktop user", "DeleteFileA", "RevertToSelf"})
            if (entry.rfind(step, 0) == 0) steps.push_back(step);
    ASSERT_EQ(steps.size(), 3u * 100u);
    for (std::size_t i = 0; i < steps.size(); i += 3)
        EXPECT_EQ(std::vector<std::string>(steps.begin() + i, steps.begin() + i + 3),
                  (std::vector<std::string>{"ImpersonateLoggedOnUser desktop user", "DeleteFileA", "RevertToSelf"}));

    sim::Reset();
    M().SplitToken();
    M().impersonationFails = true;
    M().AddFile(kDesktop + "쉐어박스.url");
    RemoveShortcuts();
    EXPECT_TRUE(M().FileExists(kDesktop + "쉐어박스.url")) << "never deleted as administrator instead";
    EXPECT_EQ(M().Count("DeleteFileA"), 0);
}

}  // namespace
