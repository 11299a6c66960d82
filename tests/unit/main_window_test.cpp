#include <gtest/gtest.h>

#include <algorithm>

#include "main/main_state.h"
#include "main/window/main_window.h"
#include "main/resource_ids.h"
#include "shared/window_dialog.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

HINSTANCE const kInstance = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x400000});

class MainWindowTest : public SimTest {
protected:
    // Runs the program; the main window closes itself after the script.
    int Run(std::function<void(HWND)> script = nullptr) {
        if (script) M().dialogScripts[IDD_MAIN] = script;
        return RunMainWindow(kInstance);
    }
    std::string Label(int id) { return M().ControlText(M().LastDialog(IDD_MAIN)->handle, id); }
    std::vector<std::string> Labels() {
        return {Label(IDC_INSTALLED_LABEL), Label(IDC_RESIDENT_LABEL), Label(IDC_SUMMARY_LABEL),
                Label(IDC_GUARD_STATUS), Label(IDC_GUARD_BUTTON)};
    }
};

TEST_F(MainWindowTest, CleanMachineStartsWithEveryLabelOff) {
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Labels(), (std::vector<std::string>{"설치: OFF", "상주: OFF", "설치된 그리드가 없습니다",
                                                  "실시간 감시 기능 꺼짐", "Velmora 켜기"}));
    EXPECT_EQ(M().Text(M().LastDialog(IDD_MAIN)->handle), "Tollvard v1.3");
    EXPECT_TRUE(M().messageBoxes.empty());
    EXPECT_EQ(M().LastDialog(IDD_MAIN)->bigIcon, LoadIconA(kInstance, IDI_MAIN));
}

TEST_F(MainWindowTest, StartUpRunsItsStepsInOrder) {
    Run();
    std::vector<std::string> steps;
    for (const auto& e : M().trace) {
        if (e.rfind("SetWindowTextA", 0) == 0 || e.rfind("CreateToolhelp32Snapshot", 0) == 0 ||
            e.rfind("OpenSCManagerA", 0) == 0 || e.rfind("OpenServiceA Velmora", 0) == 0 ||
            e == "OpenServiceA QuickDownload Agent 983551" || e.rfind("SendMessageA", 0) == 0)
            if (steps.empty() || steps.back() != e) steps.push_back(e);
    }
    std::vector<std::string> expected = {
        "SendMessageA 101 128",
        "SetWindowTextA 1008 설치: OFF",
        "SetWindowTextA 1003 상주: OFF",
        "SetWindowTextA 1004 설치된 그리드가 없습니다",
        "CreateToolhelp32Snapshot 2 0",  // eleven of them, folded into one line here
        "OpenSCManagerA <null> <null> 2",
        "OpenServiceA Velmora 983551",
        "SetWindowTextA 1034 Velmora 켜기",
        "SetWindowTextA 1036 실시간 감시 기능 꺼짐",
        "OpenServiceA Velmora 3",  // the repair of an older registration, once the state is shown
        "OpenSCManagerA <null> <null> 2",
        "OpenServiceA QuickDownload Agent 983551",
    };
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(M().Count("CreateToolhelp32Snapshot"), 11);
    EXPECT_EQ(M().Count("OpenServiceA"), 2 + 55);
}

TEST_F(MainWindowTest, WithoutRightsOnlyTheAdministratorMessageAndTheWindowEnds) {
    M().isAdministrator = false;
    M().AddService("xOcean", SERVICE_RUNNING);
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(M().messageBoxes.size(), 1u);
    const auto& box = M().messageBoxes[0];
    EXPECT_EQ(box.text, "프로그램을 관리자 권한으로 실행해주세요\n 속성-호환성-관리자 권한으로 이 프로그램 실행");
    EXPECT_NE(box.text.find("\n \xBC\xD3"), std::string::npos) << "second line begins with a blank";
    EXPECT_EQ(box.caption, "알림");
    EXPECT_EQ(box.type, MB_OK);
    EXPECT_EQ(box.owner, M().LastDialog(IDD_MAIN)->handle);
    EXPECT_EQ(M().Trace("EndDialog"), std::vector<std::string>{"EndDialog 101 0"});
    EXPECT_EQ(M().Count("OpenServiceA"), 0) << "nothing is probed after the refusal";
    EXPECT_EQ(M().Trace("DialogEnded"), std::vector<std::string>{"DialogEnded 101 0"});
}

TEST_F(MainWindowTest, GuardStateFollowsTheRegisteredService) {
    struct Case {
        const char* what;
        bool registered;
        DWORD state;
        const char* status;
        const char* button;
    } cases[] = {
        {"running", true, SERVICE_RUNNING, "실시간 감시 기능 사용중", "Velmora 끄기"},
        {"start pending", true, SERVICE_START_PENDING, "실시간 감시 기능 사용중", "Velmora 끄기"},
        {"stop pending", true, SERVICE_STOP_PENDING, "실시간 감시 기능 사용중", "Velmora 끄기"},
        {"paused", true, SERVICE_PAUSED, "실시간 감시 기능 사용중", "Velmora 끄기"},
        {"stopped", true, SERVICE_STOPPED, "실시간 감시 기능 중지됨", "Velmora 켜기"},
        {"not registered", false, 0, "실시간 감시 기능 꺼짐", "Velmora 켜기"},
    };
    for (const auto& c : cases) {
        sim::Reset();
        ResetProgramState();
        if (c.registered) M().AddService("velmora", c.state);  // key names are case-blind
        Run();
        EXPECT_EQ(Label(IDC_GUARD_STATUS), c.status) << c.what;
        EXPECT_EQ(Label(IDC_GUARD_BUTTON), c.button) << c.what;
        EXPECT_EQ(M().OpenHandles(), std::vector<std::string>{}) << c.what;
    }
}

// Texts and names reach Windows in the process's code page: the bytes of old
// under 949; UTF-8 under the UTF-8 code page, joined to a user folder that
// CP949 cannot write, as Windows gave it; the bytes of old again where the
// code page cannot carry Korean at all.
TEST_F(MainWindowTest, TextsAndNamesReachWindowsInTheProcessCodePage) {
    // Five labels, the message and its caption, a shortcut, an uninstaller.
    const std::vector<std::string> cp949 = {"설치: OFF", "상주: ON", "설치된 그리드가 있습니다",
        "실시간 감시 기능 꺼짐", "Velmora 켜기", "제거되었습니다 | 알림", "쉐어박스.url", "스마트튠\\uninst.exe"};
    const std::vector<std::string> utf8 = {u8"설치: OFF", u8"상주: ON", u8"설치된 그리드가 있습니다",
        u8"실시간 감시 기능 꺼짐", u8"Velmora 켜기", u8"제거되었습니다 | 알림", u8"쉐어박스.url", u8"스마트튠\\uninst.exe"};
    const std::string desktop = "C:\\users\\tester\\Desktop", foreignUser = u8"C:\\Users\\Nguyễn\\Desktop";
    struct Case {
        UINT codePage;
        const std::string& desktop;
        const std::vector<std::string>& texts;
    } cases[] = {{949, desktop, cp949}, {65001, foreignUser, utf8}, {1252, desktop, cp949}};
    for (const Case& c : cases) {
        sim::Reset();
        ResetProgramState();
        M().ansiCodePage = c.codePage;
        M().SetSpecialFolder(CSIDL_DESKTOP, c.desktop);
        M().AddFile(c.desktop + "\\" + c.texts[6]);
        M().AddProcess("pinomate.exe");
        Run([](HWND w) {
            sim::Command(w, IDC_SHORTCUT_SWEEP);
            sim::Command(w, IDC_PROGRAM_SWEEP);
        });
        EXPECT_EQ(Labels(), std::vector<std::string>(c.texts.begin(), c.texts.begin() + 5)) << c.codePage;
        ASSERT_EQ(M().messageBoxes.size(), 2u) << c.codePage;
        for (const auto& box : M().messageBoxes) EXPECT_EQ(box.text + " | " + box.caption, c.texts[5]) << c.codePage;
        EXPECT_FALSE(M().FileExists(c.desktop + "\\" + c.texts[6])) << c.codePage;
        EXPECT_EQ(std::count_if(M().launches.begin(), M().launches.end(),
                                [&](const sim::Launch& l) { return l.file == "C:\\Program Files\\" + c.texts[7]; }),
                  2)
            << c.codePage;
    }
}

TEST_F(MainWindowTest, OkAndCancelEndAtOnceAndUnknownCommandsDoNothing) {
    INT_PTR unknown = -5, cancel = -5;
    Run([&](HWND w) {
        unknown = sim::Command(w, 4242);
        cancel = sim::Command(w, IDCANCEL);
    });
    EXPECT_EQ(unknown, FALSE);
    EXPECT_EQ(cancel, TRUE);
    EXPECT_EQ(M().Trace("DialogEnded"), std::vector<std::string>{"DialogEnded 101 0"});
    EXPECT_TRUE(M().messageBoxes.empty());

    sim::Reset();
    ResetProgramState();
    INT_PTR ok = -5;
    Run([&](HWND w) { ok = sim::Command(w, IDOK); });
    EXPECT_EQ(ok, TRUE);
    EXPECT_EQ(M().Trace("DialogEnded"), std::vector<std::string>{"DialogEnded 101 0"});
}

TEST_F(MainWindowTest, EveryMessageClearsTheClassIconFirst) {
    Run([&](HWND w) { sim::Command(w, 4242); });
    // WM_INITDIALOG, the unknown command and the closing IDCANCEL.
    EXPECT_EQ(M().Count("SetClassLongA 101 -14 0"), 3);
}

// Run as administrator from the folder it was unpacked to, Kestane first
// leaves that folder and the current one out of the DLL search order and
// loads the DLLs that are later asked for by bare name from the system
// folder; only then comes the window. Older Windows lack some of the calls
// and some of the DLLs.
TEST_F(MainWindowTest, DllSearchOrderIsSetBeforeAnythingElse) {
    const char* const lazyDlls[] = {"uxtheme",         "dwmapi",      "version", "imm32",    "ole32",   "oleaut32",
                                    "propsys",         "cryptbase",   "userenv", "setupapi", "apphelp", "ntmarta",
                                    "windows.storage", "TextShaping", "shcore",  "profapi",  "oleacc",  "clbcatq",
                                    "comres"};
    const std::string lookUp = "GetProcAddress SetDefaultDllDirectories",
                      lookUpDllDirectory = "GetProcAddress SetDllDirectoryA";
    struct Case {
        const char* windows;
        std::vector<std::string> missingExports;
        std::vector<std::string> calls;
    } cases[] = {
        {"Windows 8", {}, {lookUp, "SetDefaultDllDirectories 2048", lookUpDllDirectory, "SetDllDirectoryA \"\""}},
        {"XP SP2", {"SetDefaultDllDirectories"}, {lookUp, lookUpDllDirectory, "SetDllDirectoryA \"\""}},
        {"XP", {"SetDefaultDllDirectories", "SetDllDirectoryA"}, {lookUp, lookUpDllDirectory}},
    };
    for (const Case& c : cases) {
        sim::Reset();
        ResetProgramState();
        M().missingExports = c.missingExports;
        M().missingDlls = {"windows.storage.dll", "TextShaping.dll", "shcore.dll"};
        Run();
        // The system folder is the current folder from the first statement on.
        std::vector<std::string> expected = {"GetSystemDirectoryA 260", "SetCurrentDirectoryA C:\\windows\\system32",
                                             "GetModuleHandleA kernel32.dll"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        for (const char* name : lazyDlls)
            expected.push_back("LoadLibraryExA C:\\windows\\system32\\" + std::string(name) + ".dll 8");
        expected.push_back("DialogBoxParamA 101 owner <no window>");
        ASSERT_GE(M().trace.size(), expected.size()) << c.windows;
        EXPECT_EQ(std::vector<std::string>(M().trace.begin(), M().trace.begin() + expected.size()), expected)
            << c.windows;
    }
}

// The template as the dialog manager reads it from the resource script.
TEST(MainTemplate, ThirteenControlsInTabOrderAsLaidOut) {
    const auto& tpl = sim::ResourceTemplates().at(IDD_MAIN);
    EXPECT_EQ(tpl.caption, "Tollvard v1.3");
    EXPECT_EQ(tpl.font, "굴림");
    EXPECT_EQ(tpl.fontSize, 9);
    EXPECT_EQ(std::make_pair(tpl.cx, tpl.cy), std::make_pair(110, 255));
    for (const char* style : {"WS_POPUP", "WS_CAPTION", "WS_SYSMENU", "DS_MODALFRAME", "DS_CENTER", "DS_NOIDLEMSG",
                              "DS_SETFONT"})
        EXPECT_NE(std::find(tpl.styles.begin(), tpl.styles.end(), style), tpl.styles.end()) << style;

    struct Expected {
        int id;
        const char* cls;
        int x, y, cx, cy;
        const char* text;
    } expected[] = {
        {1005, "BUTTON", 79, 9, 23, 13, "About"},
        {1006, "STATIC", 11, 12, 67, 12, "그리드 제거 프로그램"},
        {1003, "STATIC", 52, 67, 33, 8, "상주: OFF"},
        {1034, "BUTTON", 9, 192, 92, 23, "Velmora 켜기"},
        {1036, "STATIC", 11, 50, 76, 8, "실시간 감시 기능 사용중"},
        {1004, "STATIC", 10, 29, 88, 14, "설치된 그리드가 없습니다"},
        {1008, "STATIC", 11, 67, 40, 8, "설치: OFF"},
        {1013, "BUTTON", 9, 111, 92, 23, "모든 바로가기 제거"},
        {1001, "BUTTON", 9, 85, 92, 23, "설치/상주 그리드 제거"},
        {1035, "BUTTON", 9, 219, 92, 23, "업데이트 확인"},
        {1011, "BUTTON", 9, 137, 92, 24, "프로그램 통합 제거"},
        {1014, "BUTTON", 9, 164, 92, 24, "웹하드 통합 제거"},
        {1007, "BUTTON", 87, 64, 15, 13, "▶"},
    };
    ASSERT_EQ(tpl.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < tpl.controls.size(); ++i) {
        const auto& c = tpl.controls[i];
        const auto& e = expected[i];
        EXPECT_EQ(c.id, e.id) << "control " << i;
        EXPECT_EQ(c.className, e.cls) << e.id;
        EXPECT_EQ((std::vector<int>{c.x, c.y, c.cx, c.cy}), (std::vector<int>{e.x, e.y, e.cx, e.cy})) << e.id;
        EXPECT_EQ(c.text, e.text) << e.id;
        auto has = [&](const char* s) { return std::find(c.styles.begin(), c.styles.end(), s) != c.styles.end(); };
        EXPECT_TRUE(has("WS_CHILD") && has("WS_VISIBLE")) << e.id;
        if (c.className == "BUTTON") {
            EXPECT_TRUE(has("WS_TABSTOP")) << e.id;
            EXPECT_FALSE(has("BS_DEFPUSHBUTTON")) << e.id;
        }
    }
    auto styles = [&](int index) { return tpl.controls[index].styles; };
    EXPECT_NE(std::find(styles(0).begin(), styles(0).end(), "BS_FLAT"), styles(0).end());
    for (const char* s : {"WS_BORDER", "WS_GROUP", "SS_LEFTNOWORDWRAP", "SS_CENTERIMAGE"})
        EXPECT_NE(std::find(styles(5).begin(), styles(5).end(), s), styles(5).end()) << s;
}

}  // namespace
