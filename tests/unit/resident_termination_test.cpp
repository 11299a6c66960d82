#include <gtest/gtest.h>

#include "main/main_state.h"
#include "main/cleanup/resident_termination.h"
#include "sim/sim_test.h"

using namespace win;

namespace {

class ResidentTerminationTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // A live label to write to, as the main window publishes it.
        sim::Window label;
        label.id = 1003;
        label.className = "STATIC";
        ResidentLabel = M().NewWindow(label);
    }
};

// The programs being ended are two of the files: Windows deletes no running
// program's file, so the deletions wait until the task-kills, which end them
// after their starts have returned, have ended, all together.
TEST_F(ResidentTerminationTest, ElevenHiddenTaskKillsInCatalogueOrderThenThreeDeletions) {
    const std::string local = "C:\\users\\tester\\AppData\\Local";
    const std::string roaming = "C:\\users\\tester\\AppData\\Roaming";
    const std::string pinomate = local + "\\PeeringPortal\\Pino\\pinomate.exe";
    M().AddProcess("PINOMATE.EXE").path = pinomate;
    M().AddProcess("pinomate.exe").path = pinomate;
    M().AddProcess("expressservice.exe");
    M().AddProcess("notepad.exe");
    M().AddProcess("MultiDownload.exe").path = local + "\\MultiDownload\\MultiDownload.exe";
    M().AddFile(pinomate);
    M().AddFile(local + "\\MultiDownload\\MultiDownload.exe");
    M().AddFile(local + "\\MultiDownload\\multidownloadupdate.exe");
    M().AddFile(roaming + "\\MultiDownload\\MultiDownload.exe");

    TerminateResidentGrids();

    const char* images[] = {"ExpressService.exe", "bigfilesearch.exe", "NetAccelerator.exe", "SBoxSearchBar.exe",
                            "QAutoUp.exe",        "KAutoUp.exe",       "JJangQSearchBar.exe", "wincloud.exe",
                            "BBoxSearchBar.exe",  "pinomate.exe",      "MultiDownload.exe"};
    ASSERT_EQ(M().launches.size(), 11u);
    for (std::size_t i = 0; i < 11; ++i) {
        const auto& l = M().launches[i];
        EXPECT_EQ(l.via, "CreateProcessA");
        EXPECT_EQ(l.file, "C:\\windows\\system32\\taskkill.exe") << "never the bare word";
        EXPECT_EQ(l.parameters, std::string("/F /IM ") + images[i]);
        EXPECT_EQ(l.show, SW_HIDE);
    }
    EXPECT_EQ(M().Trace("DeleteFileA"),
              (std::vector<std::string>{"DeleteFileA " + local + "\\PeeringPortal\\Pino\\pinomate.exe",
                                        "DeleteFileA " + local + "\\MultiDownload\\MultiDownload.exe",
                                        "DeleteFileA " + local + "\\multidownload\\multidownloadupdate.exe"}));
    EXPECT_FALSE(M().FileExists(pinomate)) << "deleted before its program had ended";
    EXPECT_FALSE(M().FileExists(local + "\\MultiDownload\\MultiDownload.exe"));
    EXPECT_FALSE(M().FileExists(local + "\\MultiDownload\\multidownloadupdate.exe"));
    EXPECT_TRUE(M().FileExists(roaming + "\\MultiDownload\\MultiDownload.exe"));
    EXPECT_EQ(M().CountProcesses("pinomate.exe"), 0) << "one command ends both copies";
    EXPECT_EQ(M().CountProcesses("ExpressService.exe"), 0);
    EXPECT_TRUE(M().HasProcess("notepad.exe"));
    EXPECT_EQ(M().Text(ResidentLabel), "상주: OFF");
    EXPECT_EQ(M().now, M().taskkillRunMs) << "one wait for all eleven, as long as the slowest";
    EXPECT_EQ(M().Count("WaitForMultipleObjects 11 10000"), 1);

    // One that takes longer than the limit is waited for no longer: its
    // program's file stays, and the rest goes on.
    sim::Reset();
    M().taskkillRunMs = 60000;
    M().AddProcess("pinomate.exe").path = pinomate;
    M().AddFile(pinomate);
    TerminateResidentGrids();
    EXPECT_EQ(M().now, 10000);
    EXPECT_TRUE(M().FileExists(pinomate));
    EXPECT_EQ(M().Count("DeleteFileA"), 3);
}

TEST_F(ResidentTerminationTest, NoSystemFolderMeansNoTaskKillAtAll) {
    M().systemDirectory = "";
    TerminateResidentGrids();
    EXPECT_EQ(M().launches.size(), 0u) << "a bare TASKKILL could run a planted program";
    EXPECT_EQ(M().Count("DeleteFileA"), 3);
    EXPECT_EQ(M().Text(ResidentLabel), "상주: OFF");
}

TEST_F(ResidentTerminationTest, NoLocalFolderMeansNoDeletion) {
    M().AddFile("C:\\PeeringPortal\\Pino\\pinomate.exe");
    M().AddFile("\\MultiDownload\\MultiDownload.exe");
    M().RemoveSpecialFolder(CSIDL_LOCAL_APPDATA);
    TerminateResidentGrids();
    EXPECT_EQ(M().Count("DeleteFileA"), 0);
    EXPECT_EQ(M().launches.size(), 11u);

    M().SetSpecialFolder(CSIDL_LOCAL_APPDATA, "");  // the shell answers with an empty path
    TerminateResidentGrids();
    EXPECT_EQ(M().Count("DeleteFileA"), 0);
    EXPECT_EQ(M().Text(ResidentLabel), "상주: OFF");
}

TEST_F(ResidentTerminationTest, PathsThatWouldNotFitAreSkippedNeverCut) {
    // 222 + "\PeeringPortal\Pino\pinomate.exe" (32) = 254 fits with its zero;
    // the other two tails make 257 and 263 bytes.
    std::string folder = "C:\\" + std::string(219, 'd');
    M().SetSpecialFolder(CSIDL_LOCAL_APPDATA, folder);
    TerminateResidentGrids();
    auto deletions = M().Trace("DeleteFileA");
    ASSERT_EQ(deletions.size(), 2u);
    EXPECT_EQ(deletions[0], "DeleteFileA " + folder + "\\PeeringPortal\\Pino\\pinomate.exe");
    EXPECT_EQ(deletions[1], "DeleteFileA " + folder + "\\MultiDownload\\MultiDownload.exe");
    for (const auto& d : deletions) EXPECT_LT(d.size() - std::string("DeleteFileA ").size(), 260u);
}

}  // namespace
