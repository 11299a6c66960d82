#include <gtest/gtest.h>

#include "main/main_state.h"
#include "main/window/main_window.h"
#include "main/window/probes.h"
#include "main/resource_ids.h"
#include "shared/window_dialog.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

class ProbeTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // Labels of a main window, so the probes have somewhere to write.
        M().dialogScripts[IDD_MAIN] = [this](HWND w) { window_ = w; };
    }
    // Runs the whole start-up and reports the three status labels.
    std::vector<std::string> StartUp() {
        RunMainWindow(nullptr);
        HWND w = M().LastDialog(IDD_MAIN)->handle;
        return {M().ControlText(w, IDC_INSTALLED_LABEL), M().ControlText(w, IDC_RESIDENT_LABEL),
                M().ControlText(w, IDC_SUMMARY_LABEL)};
    }
    HWND window_ = nullptr;
};

const std::vector<std::string> kNothing = {"설치: OFF", "상주: OFF", "설치된 그리드가 없습니다"};
const std::vector<std::string> kInstalledOnly = {"설치: ON", "상주: OFF", "설치된 그리드가 있습니다"};
const std::vector<std::string> kResidentOnly = {"설치: OFF", "상주: ON", "설치된 그리드가 있습니다"};

TEST_F(ProbeTest, NothingFoundLeavesTheStartTexts) {
    M().AddProcess("explorer.exe");
    M().AddService("Spooler", SERVICE_RUNNING);
    EXPECT_EQ(StartUp(), kNothing);
    EXPECT_EQ(ResidentGridFound, 0);
}

TEST_F(ProbeTest, ResidentProbeMatchesWholeNamesIgnoringCase) {
    M().AddProcess("PINOMATE.EXE");
    EXPECT_EQ(StartUp(), kResidentOnly);
    EXPECT_EQ(ResidentGridFound, 1);

    for (const char* near : {"pinomate", "pinomate.exe.old", "xpinomate.exe", "ExpressService.ex"}) {
        sim::Reset();
        ResetProgramState();
        M().AddProcess(near);
        ProbeResidentGrids();
        EXPECT_EQ(ResidentGridFound, 0) << near;
    }
}

TEST_F(ProbeTest, EveryNameGetsItsOwnFullPassEvenAfterAMatch) {
    M().AddProcess("ExpressService.exe");  // the first name matches at once
    M().AddProcess("MultiDownload.exe");
    for (int i = 0; i < 5; ++i) M().AddProcess("svchost.exe");
    ProbeResidentGrids();
    EXPECT_EQ(ResidentGridFound, 1);
    EXPECT_EQ(M().Count("CreateToolhelp32Snapshot"), 11);
    EXPECT_EQ(M().Count("CloseHandle snapshot"), 11);
}

TEST_F(ProbeTest, AFailedSnapshotSkipsOnlyItsOwnName) {
    M().AddProcess("MultiDownload.exe");  // the 11th name
    M().AddProcess("pinomate.exe");       // the 10th name
    M().failingSnapshots = {10};
    ProbeResidentGrids();
    EXPECT_EQ(ResidentGridFound, 1) << "the 11th name is still probed";

    sim::Reset();
    ResetProgramState();
    M().AddProcess("pinomate.exe");
    M().failingSnapshots = {10};
    ProbeResidentGrids();
    EXPECT_EQ(ResidentGridFound, 0) << "the failed pass counts as not found";
    EXPECT_EQ(M().Count("CreateToolhelp32Snapshot"), 11);
}

TEST_F(ProbeTest, AnEmptySnapshotIsClosedToo) {
    ProbeResidentGrids();
    EXPECT_EQ(ResidentGridFound, 0);
    EXPECT_EQ(M().Count("CloseHandle snapshot"), 11);
}

TEST_F(ProbeTest, AnyDeleteClassServiceCountsWhateverItsState) {
    M().AddService("QuickDownload Agent", SERVICE_STOPPED);  // a name with blanks
    EXPECT_EQ(StartUp(), kInstalledOnly);
    EXPECT_EQ(M().Count("OpenServiceA QuickDownload Agent 983551"), 1);
}

TEST_F(ProbeTest, KeyNamesAreLookedUpCaseBlind) {
    M().AddService("QATUTOUP", SERVICE_STOPPED);
    EXPECT_EQ(StartUp(), kInstalledOnly);

    sim::Reset();
    ResetProgramState();
    M().dialogScripts[IDD_MAIN] = [](HWND) {};
    M().AddService("qatutoupx", SERVICE_RUNNING);  // differs in letters: no entry finds it
    EXPECT_EQ(StartUp(), kNothing);
}

TEST_F(ProbeTest, DisableGroupCountsOnlyWhileNotStopped) {
    struct Case {
        const char* name;
        DWORD state;
        bool counts;
        bool refused = false;  // its state cannot be read: it counts as running
    } cases[] = {
        {"netaccelerator", SERVICE_STOPPED, false}, {"netaccelerator", SERVICE_RUNNING, true},
        {"netaccelerator", SERVICE_START_PENDING, true}, {"netaccelerator", SERVICE_PAUSED, true},
        {"ExpressService", SERVICE_STOPPED, false}, {"NATservice", SERVICE_STOP_PENDING, true},
        {"ExpressService", SERVICE_STOPPED, true, true},
    };
    for (const auto& c : cases) {
        sim::Reset();
        ResetProgramState();
        M().dialogScripts[IDD_MAIN] = [](HWND) {};
        M().AddService(c.name, c.state).refuseFullAccess = c.refused;
        EXPECT_EQ(StartUp(), c.counts ? kInstalledOnly : kNothing) << c.name << " state " << c.state;
    }
}

TEST_F(ProbeTest, StoppedExpressServiceWithAnotherGridCountsAsInstalled) {
    M().AddService("ExpressService", SERVICE_STOPPED);
    M().AddService("SuperDownService", SERVICE_STOPPED);
    EXPECT_EQ(StartUp(), kInstalledOnly);
    EXPECT_EQ(M().Count("QueryServiceStatus"), 0) << "presence of a Delete entry decides alone";
}

TEST_F(ProbeTest, AllHandlesAreOpenedBeforeAnyIsTestedAndClosedAfter) {
    M().AddService("xOcean", SERVICE_RUNNING);
    M().AddService("NATservice", SERVICE_RUNNING);
    M().AddService("SuperDownService", SERVICE_RUNNING);
    StartUp();
    auto calls = M().Trace("");
    auto first = [&](const std::string& e) { return std::find(calls.begin(), calls.end(), e) - calls.begin(); };
    auto last = [&](const std::string& e) {
        return static_cast<long>(calls.rend() - std::find(calls.rbegin(), calls.rend(), e)) - 1;
    };
    EXPECT_LT(last("OpenServiceA SuperDownService 983551"), first("CloseServiceHandle xOcean"));
    EXPECT_LT(last("CloseServiceHandle SuperDownService"), last("CloseServiceHandle manager"));
}

// A service whose DACL denies administrators full access is installed all the same.
TEST_F(ProbeTest, ServiceThatRefusesFullAccessIsStillInstalled) {
    M().AddService("xOcean", SERVICE_RUNNING).refuseFullAccess = true;
    std::vector<std::string> listed;
    M().dialogScripts[IDD_DEEP_SCAN] = [&](HWND d) { listed = M().Rows(GetDlgItem(d, IDC_DS_SERVICES)); };
    M().dialogScripts[IDD_MAIN] = [](HWND w) {
        sim::Command(w, IDC_DEEP_SCAN);
        sim::Command(w, IDC_REMOVE_GRIDS);
    };
    EXPECT_EQ(StartUp(), (std::vector<std::string>{"설치 :ON", "상주: OFF", "설치된 그리드가 있습니다"}));
    EXPECT_EQ(M().Count("SetWindowTextA 1008 설치: ON"), 1) << "the start-up probe";
    EXPECT_EQ(listed, std::vector<std::string>{"xOcean"});
    EXPECT_EQ(M().Trace("MessageBoxA"), std::vector<std::string>{"MessageBoxA 다시 시도해 주세요"});
    // Probe, deep scan, first opening and re-check ask for full access, and nothing more.
    EXPECT_EQ(M().Trace("OpenServiceA xOcean "), std::vector<std::string>(4, "OpenServiceA xOcean 983551"));
}

}  // namespace
