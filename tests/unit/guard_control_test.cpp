// Button 1034 on the simulated machine: registering, starting, stopping and
// deleting the guard service, and what the main window says about it.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "main/guard_control.h"
#include "main/main_state.h"
#include "main/main_window.h"
#include "main/resource_ids.h"
#include "main/texts.h"
#include "shared/window_dialog.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

using Texts = std::pair<std::string, std::string>;  // button 1034, label 1036

const std::string kGuardPath = "C:\\Program Files\\Tollvard\\Velmora.exe";  // beside the sim's Kestane.exe
const Texts kRunning{text::kGuardTurnOff, text::kGuardInUse};
const Texts kStopped{text::kGuardTurnOn, text::kGuardStopped};
const Texts kOff{text::kGuardTurnOn, text::kGuardOff};

class GuardControlTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        M().AddFile(kGuardPath);
    }
    // Runs the main window with the script; it closes afterwards.
    void InWindow(std::function<void(HWND)> script) {
        M().dialogScripts[IDD_MAIN] = std::move(script);
        RunMainWindow(reinterpret_cast<HINSTANCE>(std::uintptr_t{0x400000}));
    }
    // Presses 1034 once per entry; the texts after each press.
    std::vector<Texts> Press(int times = 1) {
        std::vector<Texts> after;
        InWindow([&](HWND window) {
            for (int i = 0; i < times; ++i) {
                sim::Command(window, IDC_GUARD_BUTTON);
                after.push_back(TextsOf(window));
            }
        });
        return after;
    }
    Texts TextsOf(HWND window) {
        return {M().ControlText(window, IDC_GUARD_BUTTON), M().ControlText(window, IDC_GUARD_STATUS)};
    }
    std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const auto& box : M().messageBoxes) {
            EXPECT_EQ(box.caption, text::kNotice);
            EXPECT_EQ(box.type, MB_OK);
            EXPECT_EQ(box.owner, MainWindow);
            out.push_back(box.text);
        }
        return out;
    }
    sim::Service& Guard(DWORD state) {
        sim::Service& s = M().AddService("Velmora", state);
        s.binaryPath = "\"" + kGuardPath + "\"";
        s.startType = SERVICE_AUTO_START;
        return s;
    }
    bool ArrowIsBack() { return M().currentCursor == LoadCursorA(nullptr, IDC_ARROW); }
    std::vector<std::string> Sleeps() { return M().Trace("Sleep"); }
};

std::string WithCode(const char* message, DWORD code) {
    return std::string(message) + " (" + text::kErrorCode + " " + std::to_string(code) + ")";
}

// --- the three-state cycle ------------------------------------------------------

TEST_F(GuardControlTest, PressesCycleThroughInstallRemoveInstall) {
    sim::Service registered;
    InWindow([&](HWND window) {
        sim::Command(window, IDC_GUARD_BUTTON);
        registered = *M().FindService("Velmora");
        EXPECT_EQ(TextsOf(window), kRunning);
        sim::Command(window, IDC_GUARD_BUTTON);
        EXPECT_EQ(M().FindService("Velmora"), nullptr);
        EXPECT_EQ(TextsOf(window), kOff);
        sim::Command(window, IDC_GUARD_BUTTON);
        EXPECT_EQ(TextsOf(window), kRunning);
    });

    EXPECT_EQ(registered.displayName, "Velmora Tollvard");
    EXPECT_EQ(registered.binaryPath, "\"" + kGuardPath + "\"");
    EXPECT_EQ(registered.serviceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(registered.startType, SERVICE_AUTO_START);
    EXPECT_EQ(registered.errorControl, SERVICE_ERROR_IGNORE);
    EXPECT_EQ(registered.description, text::kGuardDescription);
    EXPECT_EQ(registered.state, SERVICE_RUNNING);
    EXPECT_EQ(M().Trace("CreateServiceA")[0], "CreateServiceA Velmora Velmora Tollvard 66 16 2 0 \"" + kGuardPath +
                                                  "\" <null> <null> <null> <null> <null>")
        << "access 0x42, no group, tag, dependencies, account or password";
    EXPECT_EQ(M().Count("OpenServiceA Velmora 20"), 2) << "the start asks for query and start rights only";
    EXPECT_EQ(Messages(), (std::vector<std::string>{text::kInstalled, text::kRemoved, text::kInstalled}));
    EXPECT_EQ(Sleeps(), std::vector<std::string>{"Sleep 1500"});
    EXPECT_TRUE(ArrowIsBack());
}

TEST_F(GuardControlTest, InstallShowsItsMessageBeforeStartingAndTheTextsAfter) {
    Press();
    std::vector<std::string> steps;
    for (const auto& e : M().trace)
        if (e.rfind("MessageBoxA", 0) == 0 || e.rfind("StartServiceA", 0) == 0 || e.rfind("SetCursor", 0) == 0 ||
            e.rfind("SetWindowTextA 103", 0) == 0 || e.rfind("ChangeServiceConfig2A", 0) == 0)
            steps.push_back(e);
    // The start-up texts come first; only the steps of the press matter here.
    steps.erase(steps.begin(), steps.begin() + 2);
    EXPECT_EQ(steps, (std::vector<std::string>{
                         "ChangeServiceConfig2A Velmora 1",
                         std::string("MessageBoxA ") + text::kInstalled,
                         "SetCursor 32514",
                         "StartServiceA Velmora 0",
                         "SetCursor 32512",
                         std::string("SetWindowTextA 1034 ") + text::kGuardTurnOff,
                         std::string("SetWindowTextA 1036 ") + text::kGuardInUse,
                     }));
}

TEST_F(GuardControlTest, StoppedGuardIsStartedWithoutRegisteringAgain) {
    Guard(SERVICE_STOPPED);
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Messages(), std::vector<std::string>{text::kStarted});
    EXPECT_EQ(M().FindService("Velmora")->state, SERVICE_RUNNING);
    EXPECT_EQ(M().Count("CreateServiceA"), 0);
    EXPECT_EQ(M().Count("DeleteService"), 0);
}

TEST_F(GuardControlTest, GuardThatIsNotStoppedIsRemovedEvenIfItIgnoresTheStop) {
    sim::Service& guard = Guard(SERVICE_START_PENDING);
    guard.stopDelayMs = sim::kNever;
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Messages(), std::vector<std::string>{text::kRemoved});
    EXPECT_EQ(M().Trace("ControlService"), std::vector<std::string>{"ControlService Velmora 1"});
    ASSERT_NE(M().FindService("Velmora"), nullptr);
    EXPECT_TRUE(M().FindService("Velmora")->markedForDelete) << "deleted by the manager once it stops";
}

// --- where the guard program is found -------------------------------------------

TEST_F(GuardControlTest, GuardIsFoundBesideTheProgramAndRegisteredQuoted) {
    M().files.clear();
    M().modulePath = "C:\\Users\\me\\My Tools\\Kestane.exe";
    M().currentDirectory = "C:\\Users\\me\\Desktop";  // a shortcut's working folder
    M().AddFile("C:\\Users\\me\\My Tools\\Velmora.exe");
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(M().FindService("Velmora")->binaryPath, "\"C:\\Users\\me\\My Tools\\Velmora.exe\"");
}

TEST_F(GuardControlTest, GuardOnlyInTheCurrentDirectoryCountsAsMissing) {
    M().files.clear();
    M().AddFile(M().currentDirectory + "\\Velmora.exe");
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Messages(), std::vector<std::string>{text::kGuardProgramMissing});
    EXPECT_EQ(M().Count("CreateServiceA"), 0);
}

TEST_F(GuardControlTest, QuotedPathMustFitMaxPath) {
    // folder + "\Velmora.exe" of 257 bytes: quoted 259, with its zero 260.
    const std::string folder = "C:\\" + std::string(257 - 12 - 3, 'f');
    M().files.clear();
    M().modulePath = folder + "\\Kestane.exe";
    M().AddFile(folder + "\\Velmora.exe");
    Press();
    ASSERT_NE(M().FindService("Velmora"), nullptr);
    EXPECT_EQ(M().FindService("Velmora")->binaryPath.size(), 259u);

    sim::Reset();
    ResetProgramState();
    const std::string longer = folder + "g";
    M().modulePath = longer + "\\Kestane.exe";
    M().AddFile(longer + "\\Velmora.exe");
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Messages(), std::vector<std::string>{text::kGuardProgramMissing});
    EXPECT_EQ(M().Count("CreateServiceA"), 0);
}

// --- the start wait ----------------------------------------------------------------

TEST_F(GuardControlTest, StartWaitPollsAtLeastOnceASecondWithoutSpinning) {
    sim::Service& guard = Guard(SERVICE_STOPPED);
    guard.startDelayMs = 2500;
    guard.waitHint = 60000;
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Sleeps(), (std::vector<std::string>{"Sleep 1000", "Sleep 1000", "Sleep 1000"}));
    EXPECT_EQ(Messages(), std::vector<std::string>{text::kStarted});

    M().trace.clear();
    guard.state = SERVICE_STOPPED;
    guard.startDelayMs = 250;
    guard.waitHint = 0;
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Sleeps(), (std::vector<std::string>{"Sleep 100", "Sleep 100", "Sleep 100"}));
}

TEST_F(GuardControlTest, StartThatEndsStoppedIsReportedAsNotStarted) {
    sim::Service& guard = Guard(SERVICE_STOPPED);
    guard.startDelayMs = 1500;
    guard.startOutcome = SERVICE_STOPPED;
    EXPECT_EQ(Press(), std::vector<Texts>{kStopped});
    EXPECT_EQ(Messages(), std::vector<std::string>{text::kGuardNotStarted});
    EXPECT_EQ(M().slept, 1500);
    EXPECT_TRUE(ArrowIsBack());
}

TEST_F(GuardControlTest, InstalledGuardThatDoesNotStartShowsStoppedAndStartsOnTheNextPress) {
    M().onServiceCreated = [](sim::Service& s) { s.startOutcome = SERVICE_STOPPED; };
    InWindow([&](HWND window) {
        sim::Command(window, IDC_GUARD_BUTTON);
        EXPECT_EQ(TextsOf(window), kStopped);
        M().FindService("Velmora")->startOutcome = SERVICE_RUNNING;
        sim::Command(window, IDC_GUARD_BUTTON);
        EXPECT_EQ(TextsOf(window), kRunning);
    });
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{text::kInstalled, text::kGuardNotStarted, text::kStarted}));
    EXPECT_EQ(M().Count("CreateServiceA"), 1);
}

TEST_F(GuardControlTest, StartWaitEndsWhenTheStatusCannotBeRead) {
    M().onServiceCreated = [](sim::Service& s) {
        s.startDelayMs = sim::kNever;
        s.queryFails = true;
    };
    EXPECT_EQ(Press(), std::vector<Texts>{kStopped});
    EXPECT_EQ(Messages(), (std::vector<std::string>{text::kInstalled, text::kGuardNotStarted}));
    EXPECT_EQ(M().slept, 0);
    EXPECT_TRUE(ArrowIsBack());
}

TEST_F(GuardControlTest, StartWaitGivesUpAfterThirtySecondsAndTheNextPressRemoves) {
    M().onServiceCreated = [](sim::Service& s) {
        s.startDelayMs = sim::kNever;
        s.waitHint = 5000;
    };
    // Still start-pending: labelled as in use, so the button's word matches
    // what the next press does.
    EXPECT_EQ(Press(2), (std::vector<Texts>{kRunning, kOff}));
    EXPECT_EQ(Messages(), (std::vector<std::string>{text::kInstalled, text::kGuardStillStarting, text::kRemoved}));
    EXPECT_EQ(M().Count("Sleep 1000"), 30);
    EXPECT_EQ(M().slept, 30000 + 1500);
    EXPECT_TRUE(ArrowIsBack());
}

// --- failures are not reported as success --------------------------------------

TEST_F(GuardControlTest, FailedRegistrationIsReportedWithItsErrorAndChangesNothing) {
    M().createServiceFails = true;
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Messages(), std::vector<std::string>{WithCode(text::kGuardNotInstalled, ERROR_ACCESS_DENIED)});
    EXPECT_EQ(M().Count("StartServiceA"), 0);
    EXPECT_EQ(M().Count("SetCursor"), 0);
}

TEST_F(GuardControlTest, RegistrationWhileTheOldGuardIsStillBeingDeletedAsksToTryAgain) {
    Guard(SERVICE_STOP_PENDING).markedForDelete = true;
    InWindow([&](HWND window) {
        Texts before = TextsOf(window);
        InstallGuardService();
        EXPECT_EQ(TextsOf(window), before);
    });
    EXPECT_EQ(Messages(), std::vector<std::string>{text::kGuardBeingRemoved});
}

TEST_F(GuardControlTest, RefusedDeletionIsReportedAndTheTextsStay) {
    Guard(SERVICE_RUNNING).deleteFails = true;
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Messages(), std::vector<std::string>{WithCode(text::kGuardNotRemoved, ERROR_ACCESS_DENIED)});
}

TEST_F(GuardControlTest, GuardAlreadyMarkedForDeletionCountsAsRemoved) {
    Guard(SERVICE_RUNNING).markedForDelete = true;
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Messages(), std::vector<std::string>{text::kRemoved});
}

TEST_F(GuardControlTest, WithoutRightsEachOperationAsksForThemAndChangesNothing) {
    InWindow([&](HWND window) {
        Texts before = TextsOf(window);
        M().isAdministrator = false;
        ToggleGuardService();
        InstallGuardService();
        RemoveGuardService();
        EXPECT_EQ(StartGuardService(), 0u);
        EXPECT_EQ(TextsOf(window), before);
    });
    EXPECT_EQ(Messages(), std::vector<std::string>(3, text::kRunAgainAsAdministrator));
    EXPECT_TRUE(ArrowIsBack());
}

}  // namespace
