#include <gtest/gtest.h>

#include "main/deep_scan/deep_scan.h"
#include "main/main_state.h"
#include "main/window/main_window.h"
#include "main/resource_ids.h"
#include "shared/window_dialog.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

class DeepScanTest : public SimTest {
protected:
    // Starts the program, opens the deep-scan dialog and reads it while open.
    void Open() {
        M().dialogScripts[IDD_DEEP_SCAN] = [this](HWND d) {
            dialog_ = d;
            services_ = M().Rows(GetDlgItem(d, IDC_DS_SERVICES));
            processes_ = M().Rows(GetDlgItem(d, IDC_DS_PROCESSES));
            GetWindowRect(d, &rect_);
            published_ = DeepScanServiceList == GetDlgItem(d, IDC_DS_SERVICES) &&
                         DeepScanProcessList == GetDlgItem(d, IDC_DS_PROCESSES);
        };
        M().dialogScripts[IDD_MAIN] = [](HWND w) { sim::Command(w, IDC_DEEP_SCAN); };
        RunMainWindow(nullptr);
    }
    HWND dialog_ = nullptr;
    std::vector<std::string> services_, processes_;
    RECT rect_{};
    bool published_ = false;
};

TEST_F(DeepScanTest, EmptyMachineOpensAtItsPlaceWithEmptyLists) {
    Open();
    EXPECT_EQ(std::make_pair(rect_.left, rect_.top), std::make_pair(1000, 400));
    EXPECT_TRUE(services_.empty());
    EXPECT_TRUE(processes_.empty());
    EXPECT_TRUE(M().messageBoxes.empty());
    EXPECT_TRUE(published_);
    EXPECT_EQ(M().Trace("DialogBoxParamA 114"), std::vector<std::string>{"DialogBoxParamA 114 owner 101"});
    EXPECT_EQ(M().Text(dialog_), "Dunmere");
    EXPECT_EQ(M().Count("SetClassLongA 114 -14 " + std::to_string(0x1C00000 + IDI_DEEP_SCAN)),
              M().Count("SetClassLongA 114"));
}

TEST_F(DeepScanTest, ListsAreSortedAndProcessRowsLowerCasedWithDuplicates) {
    for (const char* name : {"xOcean", "114ktisetup", "QuickDownload Agent", "bondisk update service"})
        M().AddService(name, SERVICE_STOPPED);
    M().AddService("NATservice", SERVICE_PAUSED);
    M().AddService("ExpressService", SERVICE_STOPPED);   // installed but stopped: not listed
    M().AddService("netaccelerator", SERVICE_STOPPED);   // likewise
    M().dialogScripts[IDD_MAIN] = [](HWND) {};
    M().AddProcess("pinomate.exe");
    M().AddProcess("PinoMate.EXE");
    M().AddProcess("MultiDownload.exe");
    M().AddProcess("ExpressService.exe");
    Open();
    EXPECT_EQ(services_, (std::vector<std::string>{"114ktisetup", "bondisk update service", "NATservice",
                                                    "QuickDownload Agent", "xOcean"}));
    EXPECT_EQ(processes_, (std::vector<std::string>{"expressservice.exe", "multidownload.exe", "pinomate.exe",
                                                     "pinomate.exe"}));
}

TEST_F(DeepScanTest, WithoutRightsOneMessageNoServicesButProcessesListed) {
    M().AddService("xOcean", SERVICE_RUNNING);
    M().AddProcess("wincloud.exe");
    M().dialogScripts[IDD_MAIN] = [this](HWND w) {
        M().isAdministrator = false;
        sim::Command(w, IDC_DEEP_SCAN);
    };
    M().dialogScripts[IDD_DEEP_SCAN] = [this](HWND d) {
        services_ = M().Rows(GetDlgItem(d, IDC_DS_SERVICES));
        processes_ = M().Rows(GetDlgItem(d, IDC_DS_PROCESSES));
    };
    RunMainWindow(nullptr);
    ASSERT_EQ(M().messageBoxes.size(), 1u);
    EXPECT_EQ(M().messageBoxes[0].text, "프로그램을 관리자 권한으로 다시 실행하세요");
    EXPECT_EQ(M().messageBoxes[0].owner, M().LastDialog(IDD_MAIN)->handle);
    EXPECT_TRUE(services_.empty());
    EXPECT_EQ(processes_, std::vector<std::string>{"wincloud.exe"});
}

TEST_F(DeepScanTest, ASmallScreenMovesTheDialogJustEnoughToShowItWhole) {
    M().workArea = {0, 0, 1024, 768};
    Open();
    int width = M().LastDialog(IDD_DEEP_SCAN)->rect.right - M().LastDialog(IDD_DEEP_SCAN)->rect.left;
    int height = M().LastDialog(IDD_DEEP_SCAN)->rect.bottom - M().LastDialog(IDD_DEEP_SCAN)->rect.top;
    EXPECT_EQ(rect_.left, 1024 - width);
    EXPECT_EQ(rect_.top, 400) << "it fits downwards: only x moves";
    EXPECT_LE(rect_.top + height, 768);

    sim::Reset();
    ResetProgramState();
    M().workArea = {0, 0, 800, 600};
    Open();
    EXPECT_EQ(std::make_pair(rect_.right, rect_.bottom), std::make_pair(800, 600));
}

TEST_F(DeepScanTest, CancelOkAndEscEndWithZeroAndForgetTheLists) {
    for (int id : {IDCANCEL, IDOK}) {
        sim::Reset();
        ResetProgramState();
        INT_PTR returned = -1;
        M().dialogScripts[IDD_DEEP_SCAN] = [&](HWND d) { returned = sim::Command(d, id); };
        M().dialogScripts[IDD_MAIN] = [](HWND w) { sim::Command(w, IDC_DEEP_SCAN); };
        RunMainWindow(nullptr);
        EXPECT_EQ(returned, FALSE) << id;
        EXPECT_EQ(M().Trace("DialogEnded 114"), std::vector<std::string>{"DialogEnded 114 0"}) << id;
        EXPECT_EQ(DeepScanServiceList, nullptr);
        EXPECT_EQ(M().Count("MessageBoxA"), 0);
    }
}

TEST_F(DeepScanTest, ListResidentProcessFoldsTheGivenNameInPlace) {
    sim::Window list;
    list.className = "LISTBOX";
    list.sorted = true;
    DeepScanProcessList = M().NewWindow(list);
    M().AddProcess("QAUTOUP.EXE");
    char name[] = "QAutoUp.exe";
    ListResidentProcess(name);
    EXPECT_STREQ(name, "qautoup.exe");
    EXPECT_EQ(M().Rows(DeepScanProcessList), std::vector<std::string>{"qautoup.exe"});
    M().failingSnapshots = {2};
    ListResidentProcess(name);
    EXPECT_EQ(M().Rows(DeepScanProcessList).size(), 1u) << "a failed snapshot adds nothing";
}

}  // namespace
