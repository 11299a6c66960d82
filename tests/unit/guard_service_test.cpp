// The guard program on the simulated machine: its frame and control handler,
// the loop's pacing, and what one sweep does to services and processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "guard/guard_host.h"
#include "guard/guard_state.h"
#include "guard/guard_sweep.h"
#include "main/texts.h"
#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

using Report = std::pair<DWORD, DWORD>;  // state, controls accepted

class GuardTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        StatusHandle = nullptr;
        CurrentState = 0;
        SweepPaused = 0;
        ExitEvent = nullptr;
        M().startedByServiceManager = true;
    }

    // Delivers a control as the dispatcher thread would, at simulated time at.
    void ControlAt(std::int64_t at, DWORD control) {
        M().At(at, [this, control] { M().controlHandler(control); });
    }
    // Runs the service thread to its end: every test schedules a stop.
    void RunService() {
        char name[] = "velmora";
        char* argv[] = {name, nullptr};
        GuardServiceMain(1, argv);
    }
    std::vector<Report> Reports() {
        std::vector<Report> out;
        for (const auto& r : M().statusReports) out.emplace_back(r.state, r.controlsAccepted);
        return out;
    }
    int Sweeps() { return M().Count("OpenSCManagerA"); }

    // Every installed service of the guard's catalogue, running.
    void InstallWholeCatalogue() {
        for (std::size_t i = 0; i < grid::kGuardEdition.serviceCount; ++i)
            M().AddService(grid::kGuardEdition.services[i].name, SERVICE_RUNNING);
    }
};

// --- frame and control handler ------------------------------------------------

TEST_F(GuardTest, EveryControlIsAnsweredWithTheReportsOfItsRow) {
    ControlAt(5000, SERVICE_CONTROL_PAUSE);
    ControlAt(15000, SERVICE_CONTROL_CONTINUE);
    ControlAt(25000, SERVICE_CONTROL_INTERROGATE);
    ControlAt(35000, SERVICE_CONTROL_STOP);
    RunService();

    EXPECT_EQ(Reports(), (std::vector<Report>{{SERVICE_START_PENDING, 3},
                                              {SERVICE_RUNNING, 3},
                                              {SERVICE_PAUSE_PENDING, 0},
                                              {SERVICE_PAUSED, 3},
                                              {SERVICE_CONTINUE_PENDING, 0},
                                              {SERVICE_RUNNING, 3},
                                              {SERVICE_RUNNING, 3},  // interrogation repeats the state
                                              {SERVICE_STOP_PENDING, 0},
                                              {SERVICE_STOPPED, 3}}));
    for (const auto& r : M().statusReports) {
        EXPECT_EQ(r.serviceType, SERVICE_WIN32_OWN_PROCESS);
        EXPECT_EQ(r.win32ExitCode, 0u);
        EXPECT_EQ(r.checkPoint, 0u);
        EXPECT_EQ(r.waitHint, 0u);
    }
    EXPECT_EQ(M().handlerName, "velmora");
    EXPECT_EQ(M().Trace("CreateEventA"), std::vector<std::string>{"CreateEventA <null> 1 0 velmoraexit"});
    EXPECT_EQ(M().now, 35000) << "the stop ends the wait at once";
    EXPECT_EQ(Sweeps(), 3) << "sweeps at 0, 20000 and 30000; the one at 10000 was paused";
    EXPECT_EQ(ExitEvent.load(), nullptr);
}

TEST_F(GuardTest, PausedServiceStopsWithoutAnotherSweep) {
    ControlAt(5000, SERVICE_CONTROL_PAUSE);
    ControlAt(25000, SERVICE_CONTROL_STOP);
    RunService();

    EXPECT_EQ(Reports(), (std::vector<Report>{{SERVICE_START_PENDING, 3},
                                              {SERVICE_RUNNING, 3},
                                              {SERVICE_PAUSE_PENDING, 0},
                                              {SERVICE_PAUSED, 3},
                                              {SERVICE_STOP_PENDING, 0},
                                              {SERVICE_STOPPED, 3}}));
    EXPECT_EQ(Sweeps(), 1);
    EXPECT_EQ(M().now, 25000);
    EXPECT_EQ(SweepPaused.load(), 1) << "a stop leaves the pause flag as it was";
}

TEST_F(GuardTest, ContinueWaitsForTheCurrentWaitToRunOut) {
    int sweepsBeforeWaitEnds = -1;
    ControlAt(5000, SERVICE_CONTROL_PAUSE);
    ControlAt(12000, SERVICE_CONTROL_CONTINUE);
    M().At(19999, [&] { sweepsBeforeWaitEnds = Sweeps(); });
    ControlAt(20500, SERVICE_CONTROL_STOP);
    RunService();

    EXPECT_EQ(sweepsBeforeWaitEnds, 1) << "no sweep between the continue and the end of the wait";
    EXPECT_EQ(Sweeps(), 2) << "the sweep at 20000 ran";
}

TEST_F(GuardTest, StopDuringASweepLetsItFinishThenStopsWithoutWaiting) {
    M().AddService("QuickDownload Agent", SERVICE_RUNNING);
    M().AddService("xOcean", SERVICE_RUNNING);
    ControlAt(50, SERVICE_CONTROL_STOP);  // inside the first 100 ms pause
    RunService();

    EXPECT_EQ(M().FindService("QuickDownload Agent"), nullptr);
    EXPECT_EQ(M().FindService("xOcean"), nullptr) << "the sweep went on after the stop request";
    EXPECT_EQ(M().now, 200);
    EXPECT_EQ(M().Count("WaitForSingleObject"), 1);
    auto trace = M().trace;
    auto stopPending = std::find(trace.begin(), trace.end(), "SetServiceStatus 3 0");
    auto lastDelete = std::find(trace.begin(), trace.end(), "DeleteService xOcean");
    auto stopped = std::find(trace.begin(), trace.end(), "SetServiceStatus 1 3");
    EXPECT_TRUE(stopPending < lastDelete && lastDelete < stopped);
}

TEST_F(GuardTest, AnEventOfItsNameMadeByAnotherProgramCannotStopIt) {
    // Made first, signalled, by a program running as the user.
    HANDLE squatter = CreateEventA(nullptr, TRUE, TRUE, "velmoraexit");
    M().At(15000, [squatter] { SetEvent(squatter); });
    ControlAt(25000, SERVICE_CONTROL_STOP);
    RunService();

    EXPECT_EQ(Sweeps(), 3) << "sweeps at 0, 10000 and 20000, until the service manager's stop";
    EXPECT_EQ(M().now, 25000);
    EXPECT_EQ(M().Trace("CreateEventA"), (std::vector<std::string>{"CreateEventA <null> 1 1 velmoraexit",
                                                                    "CreateEventA <null> 1 0 velmoraexit",
                                                                    "CreateEventA <null> 1 0 <null>"}));
    EXPECT_EQ(M().Count("CloseHandle event velmoraexit"), 1) << "the other program's event is let go at once";
    CloseHandle(squatter);
}

// The name taken as a mutex (or semaphore, section) makes the named create
// fail: the guard runs on an event of its own, until the service manager stops it.
TEST_F(GuardTest, AMutexOfItsNameMadeByAnotherProgramCannotKeepItFromRunning) {
    M().otherObjectNames.push_back("velmoraexit");
    ControlAt(25000, SERVICE_CONTROL_STOP);
    RunService();

    EXPECT_EQ(Reports(), (std::vector<Report>{{SERVICE_START_PENDING, 3},
                                              {SERVICE_RUNNING, 3},
                                              {SERVICE_STOP_PENDING, 0},
                                              {SERVICE_STOPPED, 3}}));
    EXPECT_EQ(Sweeps(), 3);
    EXPECT_EQ(M().Trace("CreateEventA"), (std::vector<std::string>{"CreateEventA <null> 1 0 velmoraexit",
                                                                    "CreateEventA <null> 1 0 <null>"}));
}

TEST_F(GuardTest, WithoutItsEventTheServiceReportsStoppedWithTheError) {
    M().createEventFails = true;
    RunService();  // returns by itself: no stop needed

    EXPECT_EQ(Reports(), (std::vector<Report>{{SERVICE_START_PENDING, 3}, {SERVICE_STOPPED, 0}}));
    EXPECT_EQ(M().statusReports.back().win32ExitCode, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Sweeps(), 0);
    EXPECT_EQ(M().Count("WaitForSingleObject"), 0);
}

TEST_F(GuardTest, WithoutAHandlerNothingIsReportedAndNothingSwept) {
    M().registerHandlerFails = true;
    RunService();
    EXPECT_TRUE(M().statusReports.empty());
    EXPECT_EQ(M().Count("CreateEventA"), 0);
    EXPECT_EQ(Sweeps(), 0);
}

// --- the program's main -------------------------------------------------------

TEST_F(GuardTest, StartedByHandItPrintsItsNoticeInCp949ForTenSeconds) {
    M().startedByServiceManager = false;
    M().consoleOutputCodePage = 437;
    testing::internal::CaptureStdout();
    int exitCode = RunGuardProgram();
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(out, "Velmora v1.0\n\nTollvard 프로그램내의 Velmora기능으로 작동하세요\n그렇지 않으면 Velmora 기능은 작동되지 않습니다");
    EXPECT_EQ(out.compare(0, 14, "Velmora v1.0\n\n"), 0);
    EXPECT_NE(out.find("\xB1\xD7\xB7\xB8\xC1\xF6"), std::string::npos) << "\"그렇지\" as CP949 bytes";
    EXPECT_NE(out.back(), '\n') << "the last line has no line feed";
    // The console reads the bytes as CP949 and has its own code page back
    // before the program lingers.
    std::vector<std::string> expected = {"SetConsoleOutputCP 949", "SetConsoleOutputCP 437"}, seen;
    expected.insert(expected.end(), 10, "Sleep 1000");
    for (const auto& e : M().trace)
        if (e.rfind("SetConsoleOutputCP", 0) == 0 || e.rfind("Sleep", 0) == 0) seen.push_back(e);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(M().consoleOutputCodePage, 437u);
    EXPECT_EQ(M().dispatcherName, "velmora");
    EXPECT_TRUE(M().statusReports.empty());
    EXPECT_EQ(Sweeps(), 0);
}

TEST_F(GuardTest, UnderTheServiceManagerItGuardsUntilStoppedThenEndsAtOnce) {
    M().AddProcess("pinomate.exe");
    ControlAt(3000, SERVICE_CONTROL_STOP);
    testing::internal::CaptureStdout();
    int exitCode = RunGuardProgram();
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(exitCode, 0);
    // First of all, the DLL search leaves out the guard's own folder.
    ASSERT_GE(M().trace.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(M().trace.begin(), M().trace.begin() + 6),
              (std::vector<std::string>{"GetModuleHandleA kernel32.dll", "GetProcAddress SetDefaultDllDirectories",
                                        "SetDefaultDllDirectories 2048", "GetProcAddress SetDllDirectoryA",
                                        "SetDllDirectoryA \"\"", "StartServiceCtrlDispatcherA velmora"}));
    EXPECT_FALSE(M().HasProcess("pinomate.exe"));
    EXPECT_EQ(Reports().back(), (Report{SERVICE_STOPPED, 3}));
    EXPECT_EQ(M().Trace("CloseHandle event").size(), 1u);
    EXPECT_GT(M().trace.size(), 2u);
    EXPECT_EQ(M().trace.end()[-2], "CloseHandle event velmoraexit") << "the event goes before the last report";
    EXPECT_EQ(M().trace.back(), "SetServiceStatus 1 3");
    EXPECT_EQ(M().now, 3000) << "no notice and no ten seconds once the service has run";
    EXPECT_EQ(out, "");
}

// --- the loop's work ----------------------------------------------------------

TEST_F(GuardTest, AGridProgramStartedAgainIsEndedAtTheNextSweep) {
    M().AddProcess("wincloud.exe");
    M().At(4000, [this] { M().AddProcess("wincloud.exe"); });
    int leftBeforeSecondSweep = -1;
    M().At(9999, [&] { leftBeforeSecondSweep = M().CountProcesses("wincloud.exe"); });
    ControlAt(15000, SERVICE_CONTROL_STOP);
    RunService();

    EXPECT_EQ(leftBeforeSecondSweep, 1);
    EXPECT_FALSE(M().HasProcess("wincloud.exe"));
    EXPECT_EQ(M().Count("TerminateProcess"), 2);
}

TEST_F(GuardTest, ServiceSweepStopsDisablesAndDeletesInItsOrder) {
    InstallWholeCatalogue();
    M().FindService("ExpressService")->state = SERVICE_STOPPED;
    M().FindService("PFSMonitorService")->stopDelayMs = 500;  // still stop-pending at its second look
    M().AddService("SuperDownService", SERVICE_RUNNING);
    SweepGridServices();

    const grid::Edition& guard = grid::kGuardEdition;
    std::vector<std::string> expected = {"OpenSCManagerA <null> <null> 2"};
    for (std::size_t i = 0; i < guard.serviceCount; ++i)
        expected.push_back(std::string("OpenServiceA ") + guard.services[i].name + " 983551");
    for (const char* name : {"ExpressService", "NATservice", "netaccelerator"}) {
        expected.push_back(std::string("ControlService ") + name + " 1");
        expected.push_back(std::string("ChangeServiceConfigA ") + name + " 4294967295 4 4294967295 nulls");
    }
    auto stopStep = [&](const std::string& name) {
        expected.push_back("QueryServiceStatus " + name);
        expected.push_back("ControlService " + name + " 1");
        expected.push_back("Sleep 100");
    };
    int stopPass = 0;
    for (std::size_t i = 0; i < guard.serviceCount; ++i)
        if (guard.services[i].handling == grid::ServiceHandling::Delete) {
            stopStep(guard.services[i].name);
            ++stopPass;
        }
    stopStep("PFSMonitorService");
    int deletions = 0;
    for (std::size_t i = 0; i < guard.serviceCount; ++i)
        if (guard.services[i].handling != grid::ServiceHandling::Disable) {
            expected.push_back(std::string("DeleteService ") + guard.services[i].name);
            ++deletions;
        }
    for (std::size_t i = 0; i < guard.serviceCount; ++i)
        expected.push_back(std::string("CloseServiceHandle ") + guard.services[i].name);
    expected.push_back("CloseServiceHandle manager");

    std::vector<std::string> actual;
    for (const auto& e : M().trace)
        if (e.rfind("ServiceGone", 0) != 0) actual.push_back(e);
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(stopPass, 51);
    EXPECT_EQ(deletions, 52);
    EXPECT_EQ(M().slept, 52 * 100);

    // Afterwards: the two kept services disabled, everything else gone or going.
    for (const char* kept : {"ExpressService", "NATservice"}) {
        ASSERT_NE(M().FindService(kept), nullptr) << kept;
        EXPECT_EQ(M().FindService(kept)->startType, SERVICE_DISABLED) << kept;
        EXPECT_FALSE(M().FindService(kept)->markedForDelete) << kept;
    }
    EXPECT_EQ(M().FindService("ExpressService")->stopRequests, 1) << "asked to stop although stopped";
    EXPECT_EQ(M().FindService("netaccelerator"), nullptr);
    EXPECT_EQ(M().FindService("PFSMonitorService")->stopRequests, 2);
    M().Advance(500);
    EXPECT_EQ(M().FindService("PFSMonitorService"), nullptr);
    EXPECT_EQ(M().services.size(), 3u);
    EXPECT_EQ(M().FindService("SuperDownService")->state, SERVICE_RUNNING) << "not in the guard's catalogue";
    EXPECT_EQ(M().FindService("SuperDownService")->stopRequests, 0);
}

TEST_F(GuardTest, StoppedServicesAreDeletedWithoutAStopRequestOrPause) {
    M().AddService("xOcean", SERVICE_STOPPED);
    M().AddService("PFSMonitorService", SERVICE_RUNNING);  // stops at once
    M().AddService("bigfilesearch", SERVICE_STOP_PENDING).stopDelayMs = sim::kNever;
    SweepGridServices();

    EXPECT_EQ(M().Count("ControlService xOcean"), 0);
    EXPECT_EQ(M().Count("QueryServiceStatus PFSMonitorService"), 2);
    EXPECT_EQ(M().Count("ControlService PFSMonitorService"), 1);
    EXPECT_EQ(M().Count("ControlService bigfilesearch"), 1) << "stop-pending counts as not stopped";
    EXPECT_EQ(M().slept, 200);
    EXPECT_EQ(M().FindService("xOcean"), nullptr);
    EXPECT_TRUE(M().FindService("bigfilesearch")->markedForDelete);
}

TEST_F(GuardTest, ServiceSweepWithoutTheManagerDoesNothing) {
    M().isAdministrator = false;
    M().AddService("xOcean", SERVICE_RUNNING);
    SweepGridServices();
    EXPECT_EQ(M().trace, std::vector<std::string>{"OpenSCManagerA <null> <null> 2"});
}

TEST_F(GuardTest, ProcessSweepEndsEveryInstanceByWholeNameOnly) {
    M().AddProcess("bigfilesearch.exe");
    M().AddProcess("notepad.exe");
    M().AddProcess("BigFileSearch.EXE");
    M().AddProcess("bigfilesearch.exe");
    M().AddProcess("bigfilesearch");
    M().AddProcess("MultiDownload.exe");
    M().AddProcess("ExpressService.exe").refuseFullAccessOpen = true;  // as every process on XP
    SweepGridProcesses();

    EXPECT_EQ(M().Count("CreateToolhelp32Snapshot 2 0"), 10);
    EXPECT_EQ(M().CountProcesses("bigfilesearch.exe"), 0);
    EXPECT_FALSE(M().HasProcess("ExpressService.exe"));
    EXPECT_TRUE(M().HasProcess("bigfilesearch")) << "a name without its extension is not the grid";
    EXPECT_TRUE(M().HasProcess("notepad.exe"));
    EXPECT_TRUE(M().HasProcess("MultiDownload.exe")) << "not in the guard's catalogue";
    EXPECT_EQ(M().Count("OpenProcess"), 4) << "only matching processes are opened";
    EXPECT_EQ(M().Count("OpenProcess 4097 "), 4) << "with the rights to terminate and to read its image only";
}

TEST_F(GuardTest, AnInstanceThatCannotBeEndedDoesNotShieldTheNext) {
    M().AddProcess("wincloud.exe").unkillable = true;
    M().AddProcess("wincloud.exe").refuseOpen = true;
    M().AddProcess("wincloud.exe");
    TerminateGridProcess("wincloud.exe");
    EXPECT_EQ(M().CountProcesses("wincloud.exe"), 2);
    EXPECT_EQ(M().Count("TerminateProcess"), 2);
}

TEST_F(GuardTest, AProcessThatTookAnEndedGridsIdSinceTheSnapshotIsNotEnded) {
    DWORD id = M().AddProcess("wincloud.exe").pid;
    M().processes.back().endsAfterSnapshot = true;
    M().AddProcess("notepad.exe").pid = id;
    TerminateGridProcess("wincloud.exe");
    EXPECT_TRUE(M().HasProcess("notepad.exe"));
}

}  // namespace
