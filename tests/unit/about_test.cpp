#include <gtest/gtest.h>

#include <algorithm>

#include "main/window/about.h"
#include "main/window/main_window.h"
#include "main/resource_ids.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

const char kExplorer[] = "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
const char kMakerPage[] = "https://www.tollvard.kr/";

bool HasStyle(const std::vector<std::string>& styles, const char* style) {
    return std::find(styles.begin(), styles.end(), style) != styles.end();
}

class AboutTest : public SimTest {
protected:
    // Opens the About box from the main window's button and runs the script
    // while it is open.
    void OpenAbout(std::function<void(HWND)> script) {
        M().dialogScripts[IDD_ABOUT] = script;
        M().dialogScripts[IDD_MAIN] = [](HWND w) { sim::Command(w, IDC_ABOUT); };
        RunMainWindow(nullptr);
    }
    void ExpectPageOpened(const sim::Launch& l) {
        EXPECT_EQ(l.via, "CreateProcessA") << "no split token: our own, as before";
        EXPECT_EQ(l.directory, "C:\\windows\\system32");
        EXPECT_EQ(l.file, kExplorer);
        EXPECT_EQ(l.parameters, kMakerPage);
        EXPECT_EQ(l.show, SW_SHOW);
    }
};

TEST_F(AboutTest, EnterAndEscCloseTheBox) {
    for (int id : {IDOK, IDCANCEL}) {
        sim::Reset();
        ResetProgramState();
        INT_PTR result = -5;
        OpenAbout([&](HWND box) { result = sim::Command(box, id); });
        EXPECT_EQ(result, FALSE) << id;
        EXPECT_EQ(M().Trace("DialogBoxParamA 102"), std::vector<std::string>{"DialogBoxParamA 102 owner 101"});
        EXPECT_EQ(M().Trace("DialogEnded 102"), std::vector<std::string>{"DialogEnded 102 0"}) << id;
        EXPECT_EQ(M().Count("EndDialog 102"), 1) << "closed by the command itself, " << id;
        EXPECT_TRUE(M().launches.empty());
    }
}

TEST_F(AboutTest, EveryClickOnTheLinkOpensThePageAndTheBoxStaysOpen) {
    std::vector<INT_PTR> results;
    bool stillOpen = false;
    OpenAbout([&](HWND box) {
        results.push_back(sim::Command(box, IDC_ABOUT_LINK));
        // A double click: STN_CLICKED, then STN_DBLCLK in the high word.
        auto proc = M().FindWindow(box)->proc;
        results.push_back(proc(box, WM_COMMAND, IDC_ABOUT_LINK, 0));
        results.push_back(proc(box, WM_COMMAND, (WPARAM{1} << 16) | IDC_ABOUT_LINK, 0));
        results.push_back(sim::Command(box, IDC_ABOUT_PRODUCT));
        stillOpen = !M().FindWindow(box)->ended;
    });
    EXPECT_EQ(results, (std::vector<INT_PTR>{FALSE, FALSE, FALSE, FALSE}));
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(M().launches.size(), 3u);
    for (const auto& l : M().launches) ExpectPageOpened(l);
    EXPECT_TRUE(M().messageBoxes.empty());
}

TEST_F(AboutTest, InitialisesNothingAndLeavesTheFocusToTheDialogManager) {
    EXPECT_EQ(AboutDialogProc(nullptr, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(AboutDialogProc(nullptr, 0x0010 /* WM_CLOSE */, 0, 0), FALSE);
    EXPECT_TRUE(M().trace.empty());
}

TEST_F(AboutTest, UpdateCheckOpensThePageAndNothingElse) {
    INT_PTR result = -5;
    M().dialogScripts[IDD_MAIN] = [&](HWND w) { result = sim::Command(w, IDC_UPDATE_CHECK); };
    RunMainWindow(nullptr);
    EXPECT_EQ(result, TRUE);
    ASSERT_EQ(M().launches.size(), 1u);
    ExpectPageOpened(M().launches[0]);
    EXPECT_TRUE(M().messageBoxes.empty());
    EXPECT_EQ(M().Count("DialogBoxParamA 102"), 0);
}

TEST(AboutTemplate, ThreeStaticLinesAndNoButton) {
    const auto& tpl = sim::ResourceTemplates().at(IDD_ABOUT);
    EXPECT_EQ(tpl.caption, "About");
    EXPECT_EQ(tpl.font, "MS Shell Dlg");
    EXPECT_EQ(tpl.fontSize, 8);
    EXPECT_EQ(std::make_tuple(tpl.x, tpl.y, tpl.cx, tpl.cy), std::make_tuple(0, 0, 186, 54));
    for (const char* style : {"WS_POPUP", "WS_CAPTION", "WS_SYSMENU", "DS_MODALFRAME", "DS_FIXEDSYS", "DS_SETFONT"})
        EXPECT_TRUE(HasStyle(tpl.styles, style)) << style;
    EXPECT_FALSE(HasStyle(tpl.styles, "DS_CENTER")) << "opens at the main window's client origin";

    ASSERT_EQ(tpl.controls.size(), 3u);
    const auto& product = tpl.controls[0];
    const auto& link = tpl.controls[1];
    const auto& notice = tpl.controls[2];
    EXPECT_EQ(std::make_tuple(product.id, product.text, product.x, product.y, product.cx, product.cy),
              std::make_tuple(1015, std::string("Tollvard v1.3.1.0"), 7, 8, 70, 11));
    EXPECT_EQ(std::make_tuple(link.id, link.text, link.x, link.y, link.cx, link.cy),
              std::make_tuple(1017, std::string("www.tollvard.kr"), 7, 20, 70, 11));
    EXPECT_EQ(std::make_tuple(notice.id, notice.x, notice.y, notice.cx, notice.cy),
              std::make_tuple(1014, 7, 32, 172, 11));
    for (const auto& c : tpl.controls) {
        EXPECT_EQ(c.className, "STATIC") << c.id;
        for (const char* style : {"WS_CHILD", "WS_VISIBLE", "WS_GROUP", "SS_LEFT"})
            EXPECT_TRUE(HasStyle(c.styles, style)) << c.id << " " << style;
        EXPECT_EQ(HasStyle(c.styles, "SS_NOTIFY"), c.id == IDC_ABOUT_LINK) << c.id;
    }
    // The line shows the host of the page it opens.
    EXPECT_NE(std::string(kMakerPage).find(link.text), std::string::npos);
}

}  // namespace
