#include <gtest/gtest.h>

#include "main/cleanup/grid_removal.h"
#include "main/main_state.h"
#include "main/window/main_window.h"
#include "main/cleanup/resident_termination.h"
#include "main/resource_ids.h"
#include "shared/catalogue.h"
#include "shared/window_dialog.h"
#include "sim/sim_test.h"

using namespace win;
using sim::Service;

namespace {

class RemovalTest : public SimTest {
protected:
    // Starts the program and presses button 1001 `presses` times.
    void PressRemove(int presses = 1) {
        M().dialogScripts[IDD_MAIN] = [presses](HWND w) {
            for (int i = 0; i < presses; ++i) sim::Command(w, IDC_REMOVE_GRIDS);
        };
        RunMainWindow(nullptr);
        window_ = M().LastDialog(IDD_MAIN)->handle;
    }
    std::string Label(int id) { return M().ControlText(window_, id); }
    std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const auto& box : M().messageBoxes) out.push_back(box.text);
        return out;
    }
    // Trace entries from the removal's own manager on (start-up opens two).
    std::vector<std::string> RemovalTrace() {
        auto all = M().trace;
        std::vector<std::string> out;
        bool in = false;
        int managers = 0;
        for (const auto& e : all) {
            if (e.rfind("OpenSCManagerA", 0) == 0 && ++managers == 3) in = true;  // after guard state and probe
            if (in) out.push_back(e);
        }
        return out;
    }
    HWND window_ = nullptr;
};

std::vector<std::string> Keep(const std::vector<std::string>& trace, std::initializer_list<const char*> prefixes) {
    std::vector<std::string> out;
    for (const auto& e : trace)
        for (const char* p : prefixes)
            if (e.rfind(p, 0) == 0) {
                out.push_back(e);
                break;
            }
    return out;
}

TEST_F(RemovalTest, StepsRunInTheirOrder) {
    M().AddService("ExpressService", SERVICE_RUNNING);
    M().AddService("xOcean", SERVICE_RUNNING);
    M().AddService("netaccelerator", SERVICE_RUNNING);
    M().AddService("qdownagent", SERVICE_STOPPED);
    M().AddProcess("pinomate.exe");
    PressRemove();

    auto run = RemovalTrace();
    EXPECT_EQ(std::count_if(run.begin(), run.end(), [](const std::string& e) { return e.rfind("OpenServiceA", 0) == 0; }),
              55 + 53);
    const std::string removing = "SetWindowTextA 1004 그리드를 제거중입니다";
    const std::string progress = "SetWindowTextA 1008 설치: 제거중";
    auto steps = Keep(run, {"CreateProcessA C:\\windows\\system32\\taskkill.exe | /F /IM ExpressService.exe",
                            "CreateProcessA C:\\windows\\system32\\taskkill.exe | /F /IM MultiDownload.exe",
                            "QueryServiceStatus", "ControlService", "Sleep", "ChangeServiceConfigA",
                            "SetWindowTextA", "DeleteService", "CloseServiceHandle", "SendMessageA", "MessageBoxA"});
    std::vector<std::string> expected = {
        "CreateProcessA C:\\windows\\system32\\taskkill.exe | /F /IM ExpressService.exe | 0 | C:\\windows\\system32",
        "CreateProcessA C:\\windows\\system32\\taskkill.exe | /F /IM MultiDownload.exe | 0 | C:\\windows\\system32",
        "SetWindowTextA 1003 상주: OFF",
        "QueryServiceStatus ExpressService",
        "ControlService ExpressService 1",
        "Sleep 100",
        "ChangeServiceConfigA ExpressService 4294967295 4 4294967295 nulls",
        "QueryServiceStatus netaccelerator",
        "ControlService netaccelerator 1",
        "Sleep 100",
        "ChangeServiceConfigA netaccelerator 4294967295 4 4294967295 nulls",
        removing,
        "QueryServiceStatus xOcean",
        "ControlService xOcean 1",
        "Sleep 600",
        progress,
        "QueryServiceStatus qdownagent",
        "DeleteService xOcean",
        "DeleteService netaccelerator",
        "DeleteService qdownagent",
        "CloseServiceHandle xOcean",
        "CloseServiceHandle netaccelerator",
        "CloseServiceHandle qdownagent",
        "CloseServiceHandle ExpressService",
        "CloseServiceHandle manager",
        "SetWindowTextA 1004 설치된 그리드가 없습니다",
        "SetWindowTextA 1008 설치: OFF",
        "MessageBoxA 제거되었습니다",
    };
    EXPECT_EQ(steps, expected);
    // The re-check opens the 53 deleted entries only, after every handle of them was closed.
    auto reopen = std::find(run.begin(), run.end(), "CloseServiceHandle qdownagent");
    EXPECT_EQ(std::count_if(reopen, run.end(), [](const std::string& e) { return e.rfind("OpenServiceA", 0) == 0; }), 53);
    EXPECT_EQ(std::count(reopen, run.end(), "OpenServiceA ExpressService 983551"), 0);
    EXPECT_EQ(std::count(reopen, run.end(), "OpenServiceA netaccelerator 983551"), 1);
}

TEST_F(RemovalTest, RefusedManagerShowsOneMessageAndChangesNothing) {
    M().AddService("xOcean", SERVICE_RUNNING);
    M().AddProcess("pinomate.exe");
    bool ran = true;
    M().dialogScripts[IDD_MAIN] = [&](HWND w) {
        M().isAdministrator = false;  // rights lost after start-up
        std::size_t before = M().trace.size();
        sim::Command(w, IDC_REMOVE_GRIDS);
        std::vector<std::string> after(M().trace.begin() + static_cast<long>(before), M().trace.end());
        EXPECT_EQ(after, (std::vector<std::string>{"SetClassLongA 101 -14 0", "OpenSCManagerA <null> <null> 2",
                                                   "MessageBoxA 프로그램을 관리자 권한으로 다시 실행하세요"}));
        ran = false;
    };
    RunMainWindow(nullptr);
    EXPECT_FALSE(ran);
    // Only the refusal: no "removed" may follow a removal that never ran.
    EXPECT_EQ(Messages(), std::vector<std::string>{"프로그램을 관리자 권한으로 다시 실행하세요"});
    EXPECT_EQ(M().messageBoxes[0].caption, "알림");
    EXPECT_EQ(M().messageBoxes[0].owner, M().LastDialog(IDD_MAIN)->handle);
    EXPECT_EQ(GridRemovalIncomplete, 0);
    EXPECT_EQ(M().FindService("xOcean")->state, SERVICE_RUNNING);
    EXPECT_EQ(M().launches.size(), 0u) << "resident termination does not run";
}

TEST_F(RemovalTest, NothingInstalledWaitsNotAtAll) {
    GridRemovalIncomplete = 1;
    PressRemove();
    EXPECT_EQ(M().slept, 0);
    auto summary = Keep(M().trace, {"SetWindowTextA 1004"});
    EXPECT_EQ(std::vector<std::string>(summary.end() - 2, summary.end()),
              (std::vector<std::string>{"SetWindowTextA 1004 그리드를 제거중입니다",
                                        "SetWindowTextA 1004 설치된 그리드가 없습니다"}));
    EXPECT_EQ(Label(IDC_INSTALLED_LABEL), "설치: OFF");
    EXPECT_EQ(GridRemovalIncomplete, 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"제거되었습니다"});
}

TEST_F(RemovalTest, AllFiftyFiveRunningCostExactlyThirtyOneAndAHalfSeconds) {
    for (const auto& s : grid::kGridServices) M().AddService(s.name, SERVICE_RUNNING);
    PressRemove();
    EXPECT_EQ(M().slept, 3 * 100 + 52 * 600);
    EXPECT_EQ(M().Count("SetWindowTextA 1008 설치: 제거중"), 52);
    EXPECT_EQ(M().services.size(), 2u) << "only ExpressService and NATservice stay";
    EXPECT_EQ(M().FindService("ExpressService")->startType, SERVICE_DISABLED);
    EXPECT_EQ(M().FindService("NATservice")->startType, SERVICE_DISABLED);
    EXPECT_EQ(Messages(), std::vector<std::string>{"제거되었습니다"});
}

TEST_F(RemovalTest, FiveRunningDeleteServicesGiveFiveProgressTexts) {
    for (const char* name : {"xOcean", "KService", "gridmember", "SvcEnv", "SuperDownService"})
        M().AddService(name, SERVICE_RUNNING);
    M().AddService("ExpressService", SERVICE_STOPPED);
    PressRemove();
    EXPECT_EQ(M().slept, 3000);
    EXPECT_EQ(M().Count("SetWindowTextA 1008 설치: 제거중"), 5);
    EXPECT_EQ(M().FindService("SuperDownService"), nullptr);
}

TEST_F(RemovalTest, AServiceThatIgnoresStopSurvivesAndAsksToTryAgain) {
    M().AddService("KService", SERVICE_RUNNING).stopDelayMs = sim::kNever;
    M().AddService("xOcean", SERVICE_RUNNING);
    PressRemove(2);
    ASSERT_NE(M().FindService("KService"), nullptr);
    EXPECT_EQ(M().FindService("xOcean"), nullptr);
    EXPECT_EQ(Label(IDC_INSTALLED_LABEL), "설치 :ON");
    EXPECT_EQ(Label(IDC_SUMMARY_LABEL), "설치된 그리드가 있습니다");
    EXPECT_EQ(GridRemovalIncomplete, 1);
    // Pressing again runs the whole removal again.
    EXPECT_EQ(Messages(), (std::vector<std::string>{"다시 시도해 주세요", "다시 시도해 주세요"}));
    EXPECT_EQ(M().FindService("KService")->stopRequests, 2);
}

TEST_F(RemovalTest, AServiceStillStoppingAfterItsWaitCountsAsSurvivor) {
    M().AddService("gdownagent", SERVICE_RUNNING).stopDelayMs = 1500;
    PressRemove();
    EXPECT_EQ(GridRemovalIncomplete, 1);
    EXPECT_EQ(Messages(), std::vector<std::string>{"다시 시도해 주세요"});
    // Marked for deletion: it leaves once it has stopped and the last handle is closed.
    M().Advance(1000);
    EXPECT_EQ(M().FindService("gdownagent"), nullptr);
}

TEST_F(RemovalTest, ExpressServiceAndNatServiceAreDisabledWhenRunningAndUntouchedWhenStopped) {
    M().AddService("ExpressService", SERVICE_RUNNING).startType = SERVICE_AUTO_START;
    M().AddService("NATservice", SERVICE_STOPPED).startType = SERVICE_AUTO_START;
    PressRemove();
    sim::Service* express = M().FindService("ExpressService");
    sim::Service* nat = M().FindService("NATservice");
    ASSERT_TRUE(express && nat) << "neither is ever deleted";
    EXPECT_EQ(express->state, SERVICE_STOPPED);
    EXPECT_EQ(express->startType, SERVICE_DISABLED);
    EXPECT_FALSE(express->markedForDelete);
    EXPECT_EQ(nat->startType, SERVICE_AUTO_START);
    EXPECT_EQ(nat->stopRequests + nat->configChanges, 0);
    // They do not count in the outcome.
    EXPECT_EQ(Label(IDC_INSTALLED_LABEL), "설치: OFF");
    EXPECT_EQ(Messages(), std::vector<std::string>{"제거되었습니다"});
}

TEST_F(RemovalTest, NetacceleratorIsDisabledAndDeletedWhenRunningAndOnlyDeletedWhenStopped) {
    M().AddService("netaccelerator", SERVICE_RUNNING);
    PressRemove();
    EXPECT_EQ(M().FindService("netaccelerator"), nullptr);
    EXPECT_EQ(M().Count("ChangeServiceConfigA netaccelerator 4294967295 4 4294967295 nulls"), 1);
    EXPECT_EQ(M().Count("Sleep 100"), 1);

    sim::Reset();
    ResetProgramState();
    M().AddService("netaccelerator", SERVICE_STOPPED);
    PressRemove();
    EXPECT_EQ(M().FindService("netaccelerator"), nullptr);
    EXPECT_EQ(M().Count("ChangeServiceConfigA"), 0);
    EXPECT_EQ(M().slept, 0);
}

TEST_F(RemovalTest, ResidentGridsEndBeforeTheFirstStopOnEveryRun) {
    M().AddProcess("BBoxSearchBar.exe");
    M().AddService("xOcean", SERVICE_RUNNING);
    M().dialogScripts[IDD_MAIN] = [this](HWND w) {
        sim::Command(w, IDC_REMOVE_GRIDS);
        M().AddService("xOcean", SERVICE_RUNNING);  // came back
        M().AddProcess("BBoxSearchBar.exe");
        sim::Command(w, IDC_REMOVE_GRIDS);
    };
    RunMainWindow(nullptr);
    EXPECT_EQ(M().launches.size(), 22u);
    EXPECT_EQ(M().CountProcesses("BBoxSearchBar.exe"), 0);
    // Each run: eleven task-kill launches, then the first stop request.
    auto calls = Keep(M().trace, {"CreateProcessA", "ControlService"});
    ASSERT_EQ(calls.size(), 24u);
    EXPECT_EQ(calls[11], "ControlService xOcean 1");
    EXPECT_EQ(calls[23], "ControlService xOcean 1");
    EXPECT_EQ(ResidentGridFound, 1) << "never cleared";
}

class DeepScanRemovalTest : public RemovalTest {};

TEST_F(DeepScanRemovalTest, RemoveAllUpdatesTheListsOfTheOpenDialog) {
    M().AddService("xOcean", SERVICE_RUNNING);
    M().AddService("KService", SERVICE_RUNNING).stopDelayMs = sim::kNever;
    M().AddService("NATservice", SERVICE_RUNNING);
    M().AddService("netaccelerator", SERVICE_RUNNING).stopDelayMs = sim::kNever;
    std::vector<std::string> before, services, processes;
    M().dialogScripts[IDD_DEEP_SCAN] = [&](HWND d) {
        before = M().Rows(GetDlgItem(d, IDC_DS_SERVICES));
        sim::Command(d, IDC_DS_REMOVE_ALL);
        services = M().Rows(GetDlgItem(d, IDC_DS_SERVICES));
        processes = M().Rows(GetDlgItem(d, IDC_DS_PROCESSES));
    };
    M().dialogScripts[IDD_MAIN] = [this](HWND w) {
        M().AddProcess("pinomate.exe");  // appears after start-up: the dialog lists it, the removal ends nothing
        sim::Command(w, IDC_DEEP_SCAN);
    };
    RunMainWindow(nullptr);
    EXPECT_EQ(before, (std::vector<std::string>{"KService", "NATservice", "netaccelerator", "xOcean"}));
    // xOcean gone, NATservice stopped: rows gone. KService and netaccelerator still run: rows stay.
    EXPECT_EQ(services, (std::vector<std::string>{"KService", "netaccelerator"}));
    EXPECT_EQ(processes, std::vector<std::string>{}) << "emptied even though no program was ended";
    EXPECT_EQ(M().launches.size(), 0u);
    EXPECT_TRUE(M().messageBoxes.empty()) << "the dialog shows no message of its own";

    // Rows of the disable group whose services the removal could not open
    // are judged by a look of their own: ExpressService still runs, stays;
    // NATservice stopped while the dialog was open, goes. A state that
    // cannot be read keeps the row, whichever handle reads it: the removal's
    // own for NATservice, the re-opened one for a netaccelerator that
    // survived its deletion.
    struct {
        const char* machine;
        std::function<void()> setUp;
        std::vector<std::string> after;
    } machines[] = {
        {"not opened",
         [&] {
             M().AddService("ExpressService", SERVICE_RUNNING).refuseFullAccess = true;
             M().AddService("NATservice", SERVICE_RUNNING).refuseFullAccess = true;
         },
         {"ExpressService"}},
        {"unreadable",
         [&] {
             M().AddService("NATservice", SERVICE_RUNNING).stopDelayMs = sim::kNever;
             M().AddService("netaccelerator", SERVICE_RUNNING).deleteFails = true;
         },
         {"NATservice", "netaccelerator"}},
    };
    for (const auto& m : machines) {
        sim::Reset();
        ResetProgramState();
        m.setUp();
        M().dialogScripts[IDD_DEEP_SCAN] = [&](HWND d) {
            if (Service* nat = M().FindService("NATservice"); nat && nat->refuseFullAccess)
                nat->state = SERVICE_STOPPED;
            for (auto& service : M().services) service->queryFails = std::string(m.machine) == "unreadable";
            sim::Command(d, IDC_DS_REMOVE_ALL);
            services = M().Rows(GetDlgItem(d, IDC_DS_SERVICES));
        };
        M().dialogScripts[IDD_MAIN] = [](HWND w) { sim::Command(w, IDC_DEEP_SCAN); };
        RunMainWindow(nullptr);
        EXPECT_EQ(services, m.after) << m.machine;
    }
}

TEST_F(DeepScanRemovalTest, RemovalAfterTheDialogClosedTouchesNoList) {
    M().AddService("xOcean", SERVICE_RUNNING);
    M().dialogScripts[IDD_MAIN] = [](HWND w) {
        sim::Command(w, IDC_DEEP_SCAN);  // opens and closes with Esc
        sim::Command(w, IDC_REMOVE_GRIDS);
    };
    RunMainWindow(nullptr);
    auto ended = std::find(M().trace.begin(), M().trace.end(), "DialogEnded 114 0");
    ASSERT_NE(ended, M().trace.end());
    EXPECT_EQ(std::count_if(ended, M().trace.end(), [](const std::string& e) { return e.rfind("SendMessageA", 0) == 0; }),
              0);
    EXPECT_EQ(DeepScanServiceList, nullptr);
    EXPECT_EQ(DeepScanProcessList, nullptr);
    EXPECT_EQ(M().FindService("xOcean"), nullptr);
}

}  // namespace
