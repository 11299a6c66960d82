// The model every other test stands on: where it departs from Windows, the
// logic tests prove nothing. These pin the behaviours the logic relies on.
#include <gtest/gtest.h>

#include "shared/process_shell.h"
#include "shared/service_manager.h"
#include "shared/window_dialog.h"
#include "sim/sim.h"

using namespace win;

namespace {

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    sim::Machine& M() { return sim::machine(); }
};

TEST_F(SimulatorTest, DeletedServiceLeavesOnlyWhenStoppedAndItsLastHandleIsClosed) {
    M().AddService("xOcean", SERVICE_RUNNING).stopDelayMs = 500;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    SC_HANDLE first = OpenServiceA(manager, "XOCEAN", SERVICE_ALL_ACCESS);
    SC_HANDLE second = OpenServiceA(manager, "xocean", SERVICE_ALL_ACCESS);
    ASSERT_TRUE(first && second) << "key names compare without case";
    SERVICE_STATUS status = {};
    EXPECT_TRUE(DeleteService(first));
    EXPECT_FALSE(DeleteService(second)) << "already marked";
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    ControlService(first, SERVICE_CONTROL_STOP, &status);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
    CloseServiceHandle(first);
    CloseServiceHandle(second);
    EXPECT_NE(M().FindService("xOcean"), nullptr) << "still stopping";
    Sleep(500);
    EXPECT_EQ(M().FindService("xOcean"), nullptr);
    CloseServiceHandle(manager);
    EXPECT_TRUE(M().OpenHandles().empty());
}

TEST_F(SimulatorTest, ClosingAHandleTwiceIsCaught) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    EXPECT_TRUE(CloseHandle(snapshot));
    EXPECT_FALSE(CloseHandle(snapshot));
    EXPECT_EQ(M().misuse.size(), 1u);
}

TEST_F(SimulatorTest, SleepAndWaitsRunWhatIsDueInTimeOrder) {
    std::vector<std::string> order;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "e");
    M().At(2500, [&] { order.push_back("second"); SetEvent(event); });
    M().At(700, [&] { order.push_back("first"); });
    Sleep(1000);
    EXPECT_EQ(order, std::vector<std::string>{"first"});
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(M().now, 2500) << "the wait ends when the event is set, not at its time-out";
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0) << "manual reset stays set";
    CloseHandle(event);
}

TEST_F(SimulatorTest, SnapshotsAreCopiesAndTerminationNeedsTheRight) {
    M().AddProcess("a.exe");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    M().AddProcess("b.exe");
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    ASSERT_TRUE(Process32First(snapshot, &entry));
    EXPECT_STREQ(entry.szExeFile, "a.exe");
    EXPECT_FALSE(Process32Next(snapshot, &entry)) << "b.exe started after the snapshot";
    CloseHandle(snapshot);

    HANDLE query = OpenProcess(0x0400, FALSE, entry.th32ProcessID);
    EXPECT_FALSE(TerminateProcess(query, 0));
    HANDLE terminate = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
    EXPECT_TRUE(TerminateProcess(terminate, 0));
    EXPECT_FALSE(M().HasProcess("a.exe"));
    CloseHandle(query);
    CloseHandle(terminate);
}

TEST_F(SimulatorTest, ReadOnlyFilesStayAndNamesCompareWithoutCase) {
    M().AddFile("C:\\x\\Kept.lnk", true);
    M().AddFile("C:\\x\\Gone.lnk");
    EXPECT_FALSE(DeleteFileA("C:\\X\\kept.LNK"));
    EXPECT_TRUE(DeleteFileA("c:\\x\\GONE.lnk"));
    EXPECT_TRUE(M().FileExists("C:\\x\\Kept.lnk"));
    EXPECT_FALSE(M().FileExists("C:\\x\\Gone.lnk"));
}

TEST_F(SimulatorTest, SortedListBoxesSortWithoutCaseAndDeadWindowsAreCaught) {
    M().dialogScripts[114] = [&](HWND d) {
        HWND list = GetDlgItem(d, 1047);
        for (const char* row : {"xOcean", "KService", "bigfilesearch", "114ktisetup"})
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        EXPECT_EQ(M().Rows(list), (std::vector<std::string>{"114ktisetup", "bigfilesearch", "KService", "xOcean"}));
        EXPECT_EQ(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>("kservice")),
                  2);
        EndDialog(d, 0);
    };
    DialogBoxParamA(nullptr, 114, nullptr, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 0; }, 0);
    HWND dead = M().LastDialog(114)->handle;
    SetWindowTextA(dead, "late");
    EXPECT_EQ(M().misuse.size(), 1u);
}

}  // namespace
