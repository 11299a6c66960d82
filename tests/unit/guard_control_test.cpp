// Button 1034 on the simulated machine: copying the guard under Program Files,
// registering, starting, stopping and deleting it, and what the main window
// says about it.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "main/guard_control/guard_control.h"
#include "main/guard_control/guard_folder.h"
#include "main/main_state.h"
#include "main/window/main_window.h"
#include "main/resource_ids.h"
#include "shared/process_shell.h"
#include "shared/service_manager.h"
#include "shared/window_dialog.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

using Texts = std::pair<std::string, std::string>;  // button 1034, label 1036
using Messages = std::vector<std::string>;

// Beside the sim's Kestane.exe, in a folder the user can write to.
const std::string kBeside = "C:\\users\\tester\\Downloads\\Tollvard\\Velmora.exe";
const std::string kFolder = "C:\\Program Files\\Tollvard";
const std::string kCopy = kFolder + "\\Velmora.exe";
const std::string kQuotedCopy = "\"" + kCopy + "\"";
// What Kestane carries as its resource: the Velmora.exe built with it.
const std::string kOurs(sim::kGuardProgramBytes, sizeof(sim::kGuardProgramBytes) - 1);

const Texts kRunning{"Velmora 끄기", "실시간 감시 기능 사용중"};
const Texts kStopped{"Velmora 켜기", "실시간 감시 기능 중지됨"};
const Texts kOff{"Velmora 켜기", "실시간 감시 기능 꺼짐"};

const std::string kInstalled = "설치되었습니다";
const std::string kRemoved = "제거되었습니다";
const std::string kStarted = "시작했습니다";
const std::string kNotStarted = "Velmora를 시작하지 못했습니다";
const std::string kBeingRemoved = "이전 Velmora를 제거하는 중입니다\n잠시 후 다시 시도해 주세요";
const std::string kProgramMissing = "Velmora.exe 파일이 없습니다";
const std::string kNoAccessLists = "Program Files가 있는 드라이브(FAT32 등)는 접근 권한을 저장하지 않습니다\n"
                                   "관리자만 바꿀 수 있는 폴더를 만들 수 없어 Velmora를 켜지 않았습니다";
const std::string kNotOurs = "Kestane 옆의 Velmora.exe가 함께 배포된 파일이 아닙니다\nTollvard 압축 파일을 다시 풀어 주세요";

class GuardControlTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        M().AddFile(kBeside, false, kOurs);
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
    Messages Shown() {
        Messages out;
        for (const auto& box : M().messageBoxes) {
            EXPECT_EQ(box.caption, "알림");
            EXPECT_EQ(box.type, MB_OK);
            EXPECT_EQ(box.owner, MainWindow);
            out.push_back(box.text);
        }
        return out;
    }
    // A guard registered earlier, from its copy.
    sim::Service& Guard(DWORD state) {
        M().AddFile(kCopy, false, kOurs);
        sim::Service& s = M().AddService("Velmora", state);
        s.binaryPath = kQuotedCopy;
        s.startType = SERVICE_AUTO_START;
        return s;
    }
    // The files that lie below a folder.
    std::vector<sim::File> FilesIn(const std::string& folder) {
        std::vector<sim::File> out;
        for (const auto& f : M().files)
            if (f.path.compare(0, folder.size() + 1, folder + "\\") == 0) out.push_back(f);
        return out;
    }
    bool ArrowIsBack() { return M().currentCursor == LoadCursorA(nullptr, IDC_ARROW); }
    std::vector<std::string> Sleeps() { return M().Trace("Sleep"); }
    // Position of the first trace entry that begins with prefix; -1 when none.
    long At(const std::string& prefix) {
        for (std::size_t i = 0; i < M().trace.size(); ++i)
            if (M().trace[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
        return -1;
    }
};

// --- the three-state cycle ------------------------------------------------------

TEST_F(GuardControlTest, PressesCycleThroughInstallRemoveInstall) {
    M().files[0].readOnly = true;  // unpacked from a read-only medium
    sim::Service registered;
    InWindow([&](HWND window) {
        M().trace.clear();
        sim::Command(window, IDC_GUARD_BUTTON);
        ASSERT_NE(M().FindService("Velmora"), nullptr);
        registered = *M().FindService("Velmora");
        EXPECT_TRUE(M().FileExists(kCopy));
        EXPECT_EQ(TextsOf(window), kRunning);
        sim::Command(window, IDC_GUARD_BUTTON);
        EXPECT_EQ(M().FindService("Velmora"), nullptr);
        EXPECT_FALSE(M().FileExists(kCopy));
        EXPECT_FALSE(M().FolderExists(kFolder));
        EXPECT_EQ(TextsOf(window), kOff);
        sim::Command(window, IDC_GUARD_BUTTON);
        EXPECT_EQ(TextsOf(window), kRunning);
    });

    EXPECT_EQ(registered.displayName, "Velmora Tollvard");
    EXPECT_EQ(registered.binaryPath, kQuotedCopy);
    EXPECT_EQ(registered.serviceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(registered.startType, SERVICE_AUTO_START);
    EXPECT_EQ(registered.errorControl, SERVICE_ERROR_IGNORE);
    EXPECT_EQ(registered.description,
              "Velmora 설치된 그리드 서비스 및 상주 그리드 프로그램을 조사하여 상태를 변경하거나 제거합니다");
    EXPECT_EQ(registered.state, SERVICE_RUNNING);
    ASSERT_GE(M().Count("CreateServiceA"), 1);
    EXPECT_EQ(M().Trace("CreateServiceA")[0], "CreateServiceA Velmora Velmora Tollvard 66 16 2 0 " + kQuotedCopy +
                                                  " <null> <null> <null> <null> <null>")
        << "access 0x42, no group, tag, dependencies, account or password";
    // Written as a new file from the bytes Kestane carries: nothing of the
    // file beside it (read-only here) reaches the copy.
    EXPECT_EQ(M().Count("CreateFileA " + kCopy + " 1073741824 0 1"), 2) << "to write, sharing nothing, CREATE_NEW";
    EXPECT_EQ(M().Count("CopyFileA"), 0);
    EXPECT_LT(At("WriteFile " + kCopy), At("CreateServiceA")) << "the copy is in place before it is registered";
    ASSERT_TRUE(M().FileExists(kCopy));
    EXPECT_FALSE(M().files.back().readOnly);
    EXPECT_TRUE(M().FileExists(kBeside)) << "the program beside Kestane is never deleted";
    EXPECT_EQ(M().Count("OpenServiceA Velmora 20"), 2) << "the start asks for query and start rights only";
    EXPECT_EQ(Shown(), (Messages{kInstalled, kRemoved, kInstalled}));
    EXPECT_EQ(Sleeps(), std::vector<std::string>{"Sleep 1500"});
    EXPECT_EQ(M().Count("OpenSCManagerA"), 3) << "one service manager handle per press, handed on";
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
                         "MessageBoxA 설치되었습니다",
                         "SetCursor 32514",
                         "StartServiceA Velmora 0",
                         "SetCursor 32512",
                         "SetWindowTextA 1034 Velmora 끄기",
                         "SetWindowTextA 1036 실시간 감시 기능 사용중",
                     }));
}

TEST_F(GuardControlTest, StoppedGuardIsStartedWithoutRegisteringAgain) {
    Guard(SERVICE_STOPPED);
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Shown(), Messages{kStarted});
    EXPECT_EQ(M().FindService("Velmora")->state, SERVICE_RUNNING);
    EXPECT_EQ(M().Count("CreateServiceA"), 0);
    EXPECT_EQ(M().Count("DeleteService"), 0);
    EXPECT_EQ(M().Count("WriteFile"), 0);
}

// A registered guard whose state cannot be read: start-up leaves the labels
// as they are, and a press says so with the error instead of guessing.
TEST_F(GuardControlTest, UnreadableGuardStateIsToldWithItsErrorCode) {
    Guard(SERVICE_RUNNING).queryFails = true;
    InWindow([&](HWND window) {
        Texts before = TextsOf(window);
        EXPECT_EQ(before, (Texts{"Velmora 켜기", "실시간 감시 기능 사용중"})) << "the template's texts";
        sim::Command(window, IDC_GUARD_BUTTON);
        EXPECT_EQ(TextsOf(window), before);
    });
    EXPECT_EQ(Shown(), Messages{"Velmora의 상태를 확인하지 못했습니다 (오류 코드 5)"});
    EXPECT_EQ(M().Count("StartServiceA") + M().Count("ControlService") + M().Count("DeleteService") +
                  M().Count("CreateServiceA"),
              0);
}

// --- where the guard program comes from and goes to ------------------------------

TEST_F(GuardControlTest, GuardIsTakenFromBesideTheProgramNotFromTheCurrentDirectory) {
    M().files.clear();
    M().modulePath = "C:\\Users\\me\\My Tools\\Kestane.exe";
    M().currentDirectory = "C:\\Users\\me\\Desktop";  // a shortcut's working folder
    M().AddFile("C:\\Users\\me\\My Tools\\Velmora.exe", false, kOurs);
    M().AddFile("C:\\Users\\me\\Desktop\\Velmora.exe");
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(M().Trace("CreateFileA")[0], "CreateFileA C:\\Users\\me\\My Tools\\Velmora.exe 2147483648 1 3")
        << "the one beside Kestane is read";

    sim::Reset();
    ResetProgramState();
    M().AddFile(M().currentDirectory + "\\Velmora.exe");
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Shown(), Messages{kProgramMissing});
    EXPECT_EQ(M().Count("CreateServiceA"), 0);
}

// Unpacked into the guard's folder itself, Kestane finds it holding more than
// Velmora.exe, and Windows moves no folder while Kestane runs from it.
TEST_F(GuardControlTest, RunningFromTheGuardsFolderItNeitherWorksInItNorMovesIt) {
    // Started by its short name, as an old shortcut may do.
    M().longNames["C:\\PROGRA~1"] = "C:\\Program Files";
    M().modulePath = "C:\\PROGRA~1\\TOLLVARD\\Kestane.exe";
    M().AddFile(kCopy, false, kOurs);
    M().AddFile(kFolder + "\\Kestane.exe");
    EXPECT_EQ(Press(), (std::vector<Texts>{kOff}));
    EXPECT_EQ(Shown(), Messages{"Velmora를 설치할 폴더를 만들지 못했습니다 (오류 코드 5)"});
    EXPECT_EQ(M().Count("CreateServiceA") + M().Count("WriteFile") + M().Count("DeleteFileA"), 0);
    EXPECT_TRUE(M().FileExists(kCopy));
}

TEST_F(GuardControlTest, InstallFailuresAreToldTruthfullyAndRegisterNothing) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string message;
    };
    // Program Files of 236 bytes: the quoted copy fills MAX_PATH with its zero.
    const std::string fitting = "C:\\" + std::string(233, 'p');
    const std::string longProgramFiles = fitting + "p";
    const std::vector<Case> cases = {
        {"no Program Files", [this] { M().RemoveSpecialFolder(CSIDL_PROGRAM_FILES); },
         "Program Files 폴더를 찾지 못했습니다"},
        {"copy path too long",
         [&] {
             M().SetSpecialFolder(CSIDL_PROGRAM_FILES, longProgramFiles);
             M().AddFolder(longProgramFiles);
         },
         "Velmora를 설치할 경로가 너무 깁니다"},
        {"folder refused", [this] { M().deniedFolders.push_back("C:\\Program Files"); },
         "Velmora를 설치할 폴더를 만들지 못했습니다 (오류 코드 5)"},
        {"copy refused", [this] { M().deniedFolders.push_back(kFolder); },
         "Velmora.exe를 복사하지 못했습니다 (오류 코드 5)"},
        {"old copy in use", [this] { M().AddFile(kCopy); M().files.back().inUse = true; }, kBeingRemoved},
        // One byte changed: what the user unpacked is not what Kestane came
        // with, although the copy would be written from Kestane's own bytes.
        {"swapped beside Kestane", [this] { M().files.back().content[4] ^= 1; }, kNotOurs},
        {"swapped in the guard's folder, Kestane run from there",
         [this] {
             M().modulePath = kFolder + "\\Kestane.exe";
             M().AddFile(kCopy, false, kOurs + "!");
         },
         kNotOurs},
        {"a drive that keeps no access lists", [this] { M().fileSystem = "FAT32"; }, kNoAccessLists},
        {"registration refused", [this] { M().createServiceFails = true; },
         "Velmora를 설치하지 못했습니다 (오류 코드 5)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        ResetProgramState();
        M().AddFile(kBeside, false, kOurs);
        c.arrange();
        EXPECT_EQ(Press(), std::vector<Texts>{kOff});
        EXPECT_EQ(Shown(), Messages{c.message});
        EXPECT_EQ(M().FindService("Velmora"), nullptr);
        EXPECT_EQ(M().Count("StartServiceA"), 0);
        EXPECT_TRUE(M().FileExists(kBeside));
        if (c.message == kNotOurs) {
            EXPECT_EQ(M().Count("WriteFile"), 0);
        }
    }
    // The copy made for the refused registration went again, with its folder;
    // the shorter path above was accepted up to the last byte.
    EXPECT_FALSE(M().FileExists(kCopy));
    EXPECT_FALSE(M().FolderExists(kFolder));

    sim::Reset();
    ResetProgramState();
    M().AddFile(kBeside, false, kOurs);
    M().SetSpecialFolder(CSIDL_PROGRAM_FILES, fitting);
    M().AddFolder(fitting);
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    ASSERT_NE(M().FindService("Velmora"), nullptr);
    EXPECT_EQ(M().FindService("Velmora")->binaryPath.size(), 259u);
}

// The folder Windows runs the guard from as LocalSystem, and looks for DLLs
// in first: made with a list of its own, or used as found only when it is
// exactly that and holds nothing but a sound copy. Anything else is moved
// aside with all it holds, never worked in nor deleted through, and made anew
// before the copy lands. On XP, as here, what an administrator makes is
// owned by the administrator's own account unless Kestane says otherwise.
TEST_F(GuardControlTest, FolderFoundThereIsUsedOnlyWhenExactlyOursAndMovedAsideOtherwise) {
    const std::string kUsers = "S-1-5-32-545", kAside = kFolder + ".moved-1";
    const std::vector<sim::AccessEntry> kOwnList = {{ACCESS_ALLOWED_ACE_TYPE, 3, 0x1F01FF, "S-1-5-32-544"},
                                                    {ACCESS_ALLOWED_ACE_TYPE, 3, 0x1F01FF, "S-1-5-18"},
                                                    {ACCESS_ALLOWED_ACE_TYPE, 3, 0x1200A9, kUsers}};
    const sim::AccessEntry kUsersModify{ACCESS_ALLOWED_ACE_TYPE, 3, 0x1301BF, kUsers};
    const std::string kPlanted = "C:\\users\\tester\\Downloads\\Planted";
    auto folder = [this] { return &M().SecurityOf(kFolder); };
    struct Case {
        const char* what;
        std::function<void()> arrange;  // after our copy was put there; null: no folder yet
        std::string aside;              // where what was found goes; empty: kept
    };
    const std::vector<Case> cases = {
        {"no folder yet: made with the list", nullptr, ""},
        {"ours, with our copy", [] {}, ""},
        {"ours, as Program Files passes it on: TrustedInstaller and CREATOR OWNER may change it", [&] {
             folder()->entries.push_back({ACCESS_ALLOWED_ACE_TYPE, 2, 0x10000000,
                                          "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"});
             folder()->entries.push_back({ACCESS_ALLOWED_ACE_TYPE, 11, 0x10000000, "S-1-3-0"});
             folder()->entries.push_back({ACCESS_DENIED_ACE_TYPE, 0, 0x1301BF, kUsers});
         }, ""},
        {"ours, with an older copy that is read-only", [this] { M().files.back() = {kCopy, true, false, "MZ old"}; },
         ""},
        {"Users may modify it", [&] { folder()->entries.push_back(kUsersModify); }, kAside},
        {"Power Users may change what is made in it, as on XP",
         [&] { folder()->entries.push_back({ACCESS_ALLOWED_ACE_TYPE, 11, 0x40000000, "S-1-5-32-547"}); }, kAside},
        {"owned by a user", [&] { folder()->owner = "S-1-5-21-7-8-9-1001"; }, kAside},
        {"no list at all", [&] { folder()->noList = true; }, kAside},
        {"a DLL beside the copy, and a folder moved aside before",
         [&] {
             M().AddFile(kFolder + "\\version.dll", false, "MZ planted");
             M().AddFolder(kAside);
         },
         kFolder + ".moved-2"},
        {"a copy that Users may change", [&] { M().SecurityOf(kCopy).entries.push_back(kUsersModify); }, kAside},
        {"a copy with a second name: a hard link", [this] { M().files.back().links = 2; }, kAside},
        {"a copy encrypted, as CopyFileA carried it over", [this] { M().files.back().encrypted = true; }, kAside},
        {"a junction to a folder of the user's", [&] {
             M().files.back().path = kPlanted + "\\Velmora.exe";
             M().folders.back() = kPlanted;
             M().junctions[kFolder] = kPlanted;
         }, kAside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        ResetProgramState();
        M().AddFile(kBeside, false, kOurs);
        M().defaultOwner = "S-1-5-21-7-8-9-500";
        if (c.arrange) {
            M().AddFile(kCopy, false, kOurs);
            c.arrange();
        }
        const std::vector<sim::File> found = FilesIn(kFolder);
        EXPECT_EQ(Press(), std::vector<Texts>{kRunning});

        // Our copy, owned as the folder, and nothing else; a folder made with its own list.
        const std::vector<sim::File> now = FilesIn(kFolder);
        ASSERT_EQ(now.size(), 1u);
        EXPECT_TRUE(now[0].path == kCopy && now[0].content == kOurs && now[0].links == 1 && !now[0].encrypted);
        EXPECT_EQ(M().SecurityOf(kCopy).owner + " " + folder()->owner, "S-1-5-32-544 S-1-5-32-544");
        const bool kept = c.arrange && c.aside.empty();
        EXPECT_TRUE(kept || (folder()->entries == kOwnList && folder()->protectedList));
        EXPECT_EQ(M().Count("WriteFile"), kept && found[0].content == kOurs ? 0 : 1) << "ours kept, or written anew";
        EXPECT_LT(At("CreateFileA " + kFolder), At("CreateServiceA")) << "checked or held before registered";
        // Moved, not deleted: what was there lies in the folder moved aside
        // (a junction as a junction), and nothing was written into it.
        ASSERT_EQ(M().Trace("MoveFileExA").size(), c.aside.empty() ? 0u : 1u + (c.aside != kAside));
        if (c.aside.empty()) continue;
        EXPECT_EQ(M().Trace("MoveFileExA").back(), "MoveFileExA " + kFolder + " " + c.aside + " 0");
        EXPECT_TRUE(M().deletedFiles.empty());
        const std::vector<sim::File> aside = FilesIn(M().junctions.count(c.aside) ? kPlanted : c.aside);
        ASSERT_EQ(aside.size(), std::max<std::size_t>(found.size(), 1));
        for (std::size_t i = 0; i < found.size(); ++i)
            EXPECT_TRUE(aside[i].path == c.aside + found[i].path.substr(kFolder.size()) &&
                        aside[i].content == found[i].content && aside[i].links == found[i].links);
    }

    // A move that Windows refuses, because a file in the folder is open: the
    // install is refused, and nothing is registered, written or deleted.
    sim::Reset();
    ResetProgramState();
    M().AddFile(kBeside, false, kOurs);
    M().AddFile(kCopy, false, kOurs);
    M().AddFile(kFolder + "\\version.dll");
    M().files.back().inUse = true;
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Shown(), Messages{"Velmora를 설치할 폴더를 만들지 못했습니다 (오류 코드 5)"});
    EXPECT_EQ(M().Count("CreateServiceA") + M().Count("WriteFile") + M().Count("DeleteFileA"), 0);
    EXPECT_EQ(FilesIn(kFolder).size(), 2u);
    // Held, the folder can be neither renamed nor removed by anybody else.
    sim::Reset();
    bool ours = false;
    std::string refusal;
    HANDLE held = OpenGuardFolder(GuardCopy{kFolder, kCopy}, &ours, refusal);
    EXPECT_FALSE(MoveFileExA(kFolder.c_str(), "C:\\Program Files\\Other", 0) || RemoveDirectoryA(kFolder.c_str()));
    CloseHandle(held);
    EXPECT_TRUE(MoveFileExA(kFolder.c_str(), "C:\\Program Files\\Other", 0));
}

// --- turning off ---------------------------------------------------------------

TEST_F(GuardControlTest, TurningOffDeletesTheCopyOnlyAfterTheGuardHasLeft) {
    sim::Service& guard = Guard(SERVICE_RUNNING);
    guard.stopDelayMs = 4000;
    M().AddFile(kFolder + "\\readme.txt");  // not ours: the folder stays for it
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Shown(), Messages{kRemoved});
    EXPECT_FALSE(M().FileExists(kCopy));
    EXPECT_TRUE(M().FolderExists(kFolder));
    EXPECT_TRUE(M().FileExists(kBeside));
    EXPECT_LT(At("ServiceGone Velmora"), At("DeleteFileA " + kCopy));
    EXPECT_EQ(M().Count("DeleteFileA"), 1) << "no attempt while the registration remains";
    EXPECT_EQ(M().now, 4000) << "polled often enough to notice at once";
    for (const auto& sleep : Sleeps()) EXPECT_TRUE(sleep == "Sleep 1500" || sleep == "Sleep 100") << sleep;
    EXPECT_LT(At("SetCursor 32514"), At("OpenServiceA Velmora 4"));
    EXPECT_TRUE(ArrowIsBack());

    // Stopped, but another program still holds the registration open, which
    // keeps it until that program lets go: the guard has left all the same,
    // so its copy goes at once, without waiting to the limit.
    sim::Reset();
    ResetProgramState();
    Guard(SERVICE_RUNNING).openHandles = 1;
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Shown(), Messages{kRemoved});
    EXPECT_EQ(M().now, 1500) << "the stop's grace and no more";
    EXPECT_FALSE(M().FileExists(kCopy));
    ASSERT_NE(M().FindService("Velmora"), nullptr);
    EXPECT_TRUE(M().FindService("Velmora")->markedForDelete);
    M().services.back()->openHandles = 0;

    // A copy that another program holds for a while after the guard has
    // gone is not taken as deleted: the removal tries again until it goes.
    sim::Reset();
    ResetProgramState();
    Guard(SERVICE_RUNNING);
    M().files.back().inUse = true;
    M().At(3000, [this] { M().files.back().inUse = false; });
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_FALSE(M().FileExists(kCopy));
    EXPECT_FALSE(M().FolderExists(kFolder));
    EXPECT_EQ(M().now, 3000);

    // No copy where neither its folder nor Program Files is there: nothing
    // to wait for.
    for (const char* programFiles : {"C:\\Program Files", "C:\\Programs"}) {
        sim::Reset();
        ResetProgramState();
        M().SetSpecialFolder(CSIDL_PROGRAM_FILES, programFiles);
        M().AddService("Velmora", SERVICE_RUNNING).binaryPath = kQuotedCopy;
        EXPECT_EQ(Press(), std::vector<Texts>{kOff});
        EXPECT_EQ(M().now, 1500) << programFiles;
    }

    // A junction put in the folder's place: nothing is deleted through it.
    sim::Reset();
    ResetProgramState();
    M().AddFile("C:\\users\\tester\\Velmora.exe", false, kOurs);
    M().junctions[kFolder] = "C:\\users\\tester";
    M().AddService("Velmora", SERVICE_RUNNING).binaryPath = kQuotedCopy;
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(M().deletedFiles, std::vector<std::string>{kCopy});
    EXPECT_TRUE(M().FileExists("C:\\users\\tester\\Velmora.exe"));
}

TEST_F(GuardControlTest, StartingGuardIsStoppedOnceItRunsAndOneThatStaysIsToldToGoAtRestart) {
    // Windows takes no stop from a guard that is still starting: the removal
    // waits until it runs. One that never gets there, or ignores the stop,
    // keeps running until Windows restarts, and the window says so.
    sim::Service& starting = Guard(SERVICE_START_PENDING);
    starting.pendingUntil = 2500;
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Shown(), Messages{kRemoved});
    EXPECT_EQ(M().Trace("ControlService"), std::vector<std::string>{"ControlService Velmora 1"});
    EXPECT_EQ(M().slept, 2500 + 1500) << "stopped as soon as it ran";
    EXPECT_FALSE(M().FileExists(kCopy));

    sim::Reset();
    ResetProgramState();
    sim::Service& stuck = Guard(SERVICE_START_PENDING);
    stuck.stopDelayMs = sim::kNever;
    stuck.waitHint = 5000;
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Shown(), Messages{"Velmora가 아직 실행 중입니다\nWindows를 다시 시작하면 제거됩니다"});
    EXPECT_TRUE(M().FindService("Velmora")->markedForDelete) << "deleted by the manager once it stops";
    EXPECT_EQ(M().FindService("Velmora")->state, SERVICE_START_PENDING) << "the stop was refused";
    EXPECT_TRUE(M().FileExists(kCopy));
    EXPECT_EQ(M().slept, 30000 + 1500 + 15000);
    EXPECT_EQ(M().Count("Sleep 1000"), 45) << "the wait hint is capped at a second";
    EXPECT_TRUE(ArrowIsBack());
}

// --- the start, and recovering from a failed one -----------------------------------

TEST_F(GuardControlTest, StartWaitPollsAtLeastOnceASecondWithoutSpinning) {
    sim::Service& guard = Guard(SERVICE_STOPPED);
    guard.startDelayMs = 2500;
    guard.waitHint = 60000;
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Sleeps(), (std::vector<std::string>{"Sleep 1000", "Sleep 1000", "Sleep 1000"}));
    EXPECT_EQ(Shown(), Messages{kStarted});

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
    EXPECT_EQ(Shown(), Messages{kNotStarted});
    EXPECT_EQ(M().slept, 1500);
    EXPECT_TRUE(ArrowIsBack());
}

TEST_F(GuardControlTest, StartOfARegistrationBeingDeletedAsksToTryAgainShortly) {
    Guard(SERVICE_STOPPED).markedForDelete = true;
    M().services.back()->openHandles = 1;  // someone else still holds it
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Shown(), Messages{kBeingRemoved});
    M().services.back()->openHandles = 0;
}

// --- older registrations ------------------------------------------------------------

// Older versions registered Velmora.exe unquoted in the folder Tollvard was
// unpacked to, where every user may write.
const std::string kOldRegistration = "C:\\users\\tester\\Downloads\\Tollvard Old\\Velmora.exe";

// At start-up, before anything may start it, such a registration is pointed
// at the quoted copy once a verified copy lies in a folder that passed its
// check or was made fresh. Otherwise it keeps its path and is disabled, and
// so is one registered at the copy already whose folder cannot be used: it
// must not run as LocalSystem at the next boot.
// One at the copy in a folder that passes stays, whatever lies beside Kestane.
TEST_F(GuardControlTest, OlderRegistrationIsPointedAtTheCopyAtStartUpOrDisabled) {
    const std::string kPathOnly = "ChangeServiceConfigA Velmora 4294967295 4294967295 4294967295 values";
    struct Case {
        const char* what;
        DWORD state;
        std::string beside;  // Velmora.exe beside Kestane; empty: none there
        bool programFilesKnown;
        std::string path;  // registered after start-up
        DWORD startType;   // after start-up
        Messages shown;    // after one press on a stopped guard
        std::vector<std::string> changes;
        std::function<void()> arrange = nullptr;
    };
    const std::string kDisabledOnly = "ChangeServiceConfigA Velmora 4294967295 4 4294967295 nulls";
    auto atTheCopy = [this](const std::string& bytes) {  // no bytes: its folder only
        M().FindService("Velmora")->binaryPath = kQuotedCopy;
        bytes.empty() ? M().AddFolder(kFolder) : M().AddFile(kCopy, false, bytes);
    };
    const std::vector<Case> cases = {
        {"stopped", SERVICE_STOPPED, kOurs, true, kQuotedCopy, SERVICE_AUTO_START, {kStarted}, {kPathOnly}},
        {"running: it runs on until it next starts", SERVICE_RUNNING, kOurs, true, kQuotedCopy, SERVICE_AUTO_START,
         {}, {kPathOnly}},
        {"no Velmora.exe beside Kestane", SERVICE_STOPPED, "", true, kQuotedCopy, SERVICE_AUTO_START,
         {kProgramMissing}, {kPathOnly}},
        {"a swapped Velmora.exe beside Kestane", SERVICE_STOPPED, "MZ planted by a program running as the user", true,
         kQuotedCopy, SERVICE_AUTO_START, {kNotOurs}, {kPathOnly}},
        {"at the copy, Velmora.exe beside Kestane moved away", SERVICE_RUNNING, "", true, kQuotedCopy,
         SERVICE_AUTO_START, {}, {}, [=] { atTheCopy(kOurs); }},
        {"at the copy, beside another build's Velmora.exe", SERVICE_RUNNING, "MZ another build", true, kQuotedCopy,
         SERVICE_AUTO_START, {}, {}, [=] { atTheCopy(kOurs); }},
        {"at the copy, an older build's that runs on after an upgrade", SERVICE_RUNNING, kOurs, true, kQuotedCopy,
         SERVICE_AUTO_START, {}, {}, [=] { atTheCopy("MZ an older build"); }},
        {"registered at the copy, in a folder not ours that cannot be moved", SERVICE_STOPPED, kOurs, true,
         kQuotedCopy, SERVICE_DISABLED, {"Velmora를 설치할 폴더를 만들지 못했습니다 (오류 코드 5)"}, {kDisabledOnly},
         [this] {
             M().FindService("Velmora")->binaryPath = kQuotedCopy;
             M().AddFile(kFolder + "\\version.dll");
             M().files.back().inUse = true;
         }},
        {"at the copy, its folder on a drive that keeps no access lists", SERVICE_STOPPED, kOurs, true, kQuotedCopy,
         SERVICE_DISABLED, {kNoAccessLists}, {kDisabledOnly}, [=] { M().fileSystem = "FAT32"; atTheCopy(""); }},
        {"no Program Files to point it at", SERVICE_STOPPED, kOurs, false, kOldRegistration, SERVICE_DISABLED,
         {"Program Files 폴더를 찾지 못했습니다"}, {kDisabledOnly}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        ResetProgramState();
        if (!c.beside.empty()) M().AddFile(kBeside, false, c.beside);
        if (!c.programFilesKnown) M().RemoveSpecialFolder(CSIDL_PROGRAM_FILES);
        M().AddFile(kOldRegistration, false, "MZ whatever the user put there");
        sim::Service& old = M().AddService("Velmora", c.state);
        old.binaryPath = kOldRegistration;
        old.startType = SERVICE_AUTO_START;
        if (c.arrange) c.arrange();
        const bool starts = c.shown == Messages{kStarted};
        int startsBeforeThePress = -1;
        InWindow([&](HWND window) {
            EXPECT_EQ(M().FindService("Velmora")->binaryPath, c.path) << "at start-up, before any press";
            EXPECT_EQ(M().FindService("Velmora")->startType, c.startType);
            EXPECT_EQ(M().Trace("ChangeServiceConfigA"), c.changes) << "only the path, or only the start type";
            EXPECT_EQ(TextsOf(window), c.state == SERVICE_STOPPED ? kStopped : kRunning);
            EXPECT_EQ(M().FolderExists(kFolder), M().FileExists(kCopy) || c.arrange) << "no empty folder is left";
            EXPECT_FALSE(M().FolderExists(kFolder + ".moved-1"));
            startsBeforeThePress = M().Count("StartServiceA") + M().Count("ControlService");
            if (c.state == SERVICE_STOPPED) sim::Command(window, IDC_GUARD_BUTTON);
            EXPECT_EQ(TextsOf(window), c.state == SERVICE_STOPPED && !starts ? kStopped : kRunning);
        });
        EXPECT_EQ(startsBeforeThePress, 0);
        EXPECT_EQ(Shown(), c.shown) << "nothing at start-up; the press tells the outcome";
        EXPECT_EQ(M().FindService("Velmora")->state, starts || c.state != SERVICE_STOPPED ? SERVICE_RUNNING
                                                                                           : SERVICE_STOPPED);
        EXPECT_EQ(M().FindService("Velmora")->binaryPath, c.path);
        EXPECT_EQ(M().Count("CreateServiceA") + M().Count("DeleteService"), 0);
        EXPECT_EQ(M().FileExists(kCopy), c.startType == SERVICE_AUTO_START);
    }

    // Once the copy can be placed, the next start-up points the disabled guard
    // at it, and a press lets it start with Windows again and starts it.
    M().SetSpecialFolder(CSIDL_PROGRAM_FILES, "C:\\Program Files");
    M().messageBoxes.clear();
    M().trace.clear();
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Shown(), Messages{kStarted});
    EXPECT_EQ(M().Trace("ChangeServiceConfigA"),
              (std::vector<std::string>{kPathOnly, "ChangeServiceConfigA Velmora 4294967295 2 4294967295 nulls"}));
    EXPECT_EQ(M().FindService("Velmora")->binaryPath, kQuotedCopy);
    EXPECT_EQ(M().FindService("Velmora")->startType, SERVICE_AUTO_START);
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
    EXPECT_EQ(Shown(), (Messages{kInstalled, kNotStarted, kStarted}));
    EXPECT_EQ(M().Count("CreateServiceA"), 1);
}

TEST_F(GuardControlTest, StartWaitEndsWhenTheStatusCannotBeRead) {
    M().onServiceCreated = [](sim::Service& s) {
        s.startDelayMs = sim::kNever;
        s.queryFails = true;
    };
    EXPECT_EQ(Press(), std::vector<Texts>{kStopped});
    EXPECT_EQ(Shown(), (Messages{kInstalled, kNotStarted}));
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
    EXPECT_EQ(Press(2), (std::vector<Texts>{kRunning, kRunning}));
    EXPECT_EQ(Shown(), (Messages{kInstalled, "Velmora가 아직 시작 중입니다\n잠시 후 다시 확인해 주세요",
                                 "Velmora가 아직 실행 중입니다\nWindows를 다시 시작하면 제거됩니다"}));
    EXPECT_EQ(M().Count("Sleep 1000"), 30 + 30 + 15) << "start, wait to stop it, wait for it to leave";
    EXPECT_TRUE(ArrowIsBack());
}

// --- failures are not reported as success --------------------------------------

TEST_F(GuardControlTest, RegistrationWhileTheOldGuardIsStillBeingDeletedAsksToTryAgain) {
    sim::Service& old = Guard(SERVICE_STOP_PENDING);
    old.markedForDelete = true;
    old.binaryPath = "\"C:\\old\\Velmora.exe\"";  // an older install, run from elsewhere
    M().files.pop_back();
    InWindow([&](HWND window) {
        Texts before = TextsOf(window);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
        InstallGuardService(manager);
        CloseServiceHandle(manager);
        EXPECT_EQ(TextsOf(window), before);
    });
    EXPECT_EQ(Shown(), Messages{kBeingRemoved});
    EXPECT_FALSE(M().FileExists(kCopy)) << "the copy made for it went again";
}

TEST_F(GuardControlTest, RefusedDeletionIsReportedAndTheTextsStay) {
    Guard(SERVICE_RUNNING).deleteFails = true;
    EXPECT_EQ(Press(), std::vector<Texts>{kRunning});
    EXPECT_EQ(Shown(), Messages{"Velmora를 제거하지 못했습니다 (오류 코드 5)"});
    EXPECT_TRUE(M().FileExists(kCopy));
}

TEST_F(GuardControlTest, GuardAlreadyMarkedForDeletionCountsAsRemoved) {
    Guard(SERVICE_RUNNING).markedForDelete = true;
    EXPECT_EQ(Press(), std::vector<Texts>{kOff});
    EXPECT_EQ(Shown(), Messages{kRemoved});
}

TEST_F(GuardControlTest, WithoutRightsThePressAsksForThemOnceAndChangesNothing) {
    InWindow([&](HWND window) {
        Texts before = TextsOf(window);
        M().isAdministrator = false;
        M().trace.clear();
        ToggleGuardService();
        EXPECT_EQ(TextsOf(window), before);
    });
    EXPECT_EQ(Shown(), Messages(1, "프로그램을 관리자 권한으로 다시 실행하세요"));
    EXPECT_EQ(M().Count("OpenSCManagerA"), 1);
    EXPECT_EQ(M().Count("OpenServiceA") + M().Count("CreateDirectoryA"), 0);
}

}  // namespace
