#include <iterator>

#include "main/rights/launch.h"
#include "site_folders.h"
#include "sweeps.h"

using namespace win;

namespace {

const LaunchEntry kSystemFolderClients[] = {
    {"C:\\Windows\\System32\\ClubboxUninstall.exe"},
};

// The clients below each Program Files root. FileCity's explorer add-on
// exists only below the (x86) root.
const LaunchEntry kWebhardClients[] = {
    {"DBfile\\Uninstall.exe"},
    {"DBGO\\Uninstall.exe"},
    {"DBGO smsfree\\Uninstall.exe"},
    {"diyhard\\UNWISE.EXE"},
    {"DownPia\\Uninstall.exe"},
    {"Filecity\\Uninstall.exe"},
    {"FileCity\\Explorer\\UnInExplorer.exe", nullptr, SW_HIDE, kX86RootOnly},
    {"FileI\\UnInstall.exe"},
    {"FileLand\\unins000.exe"},
    {"FileNori\\ActivexUnInstaller.exe"},
    {HIDISK_SITE_FOLDER "\\Hidisk(normal)\\Uninstall.exe"},
    {HIDISK_SITE_FOLDER "\\Hidisk(fast)\\UnExpService.bat"},
    {HIDISK_SITE_FOLDER "\\Hidisk(fast)"},
    {"JJangQ\\Uninstall.exe"},
    {"Joyhard\\uninst.exe"},
    {KDISK_SITE_FOLDER_LOWER "\\Kdisk(normal)\\Uninstall.exe"},
    {KDISK_SITE_FOLDER_CAPITAL "\\Kdisk(normal)\\Uninstall.exe"},
    {KDISK_SITE_FOLDER_CAPITAL "\\Kdisk(fast)\\Uninstall.exe"},
    {"OnDisk\\UninstallExpressService.exe"},
    {"OnDisk\\UnInstall.exe"},
    {QDOWN_SITE_FOLDER "\\Qdown(normal)\\Uninstall.exe"},
    {QDOWN_SITE_FOLDER "\\Qdown(normal)\\unSetStratMenu.exe"},
    {QDOWN_SITE_FOLDER "\\Qdown(fast)\\Uninstall.exe"},
    {QDOWN_SITE_FOLDER "\\Qdown(fast)\\UnExpService.bat"},
    {QDOWN_SITE_FOLDER "\\Qdown(fast)\\ExpressService.exe", "-u"},
    {"Zfile\\UnInstall.exe"},
    {"StarDisk\\unins000.exe"},
    {"SuperDown\\UnInstall.exe"},
};
static_assert(std::size(kWebhardClients) == 28);

const LaunchEntry kBondiskEditions[] = {
    {BONDISK_SITE_FOLDER "\\bondisk(normal)\\Uninstall.exe"},
    {BONDISK_SITE_FOLDER "\\bondisk(fast)\\Uninstall.exe"},
};

const LaunchEntry kFdiskEditions[] = {
    {FDISK_SITE_FOLDER "\\Fdisk(normal)\\Uninstall.exe"},
    {FDISK_SITE_FOLDER "\\Fdisk(fast)\\Uninstall.exe"},
};

// The last clients; the first four are started where the user sees them.
const LaunchEntry kLastClients[] = {
    {"Zfile\\Uninstall.exe", nullptr, SW_SHOW},
    {"ZioFile\\Uninstall.exe", nullptr, SW_SHOW},
    {"FileNori\\ActivexUnInstaller.exe", nullptr, SW_SHOW},
    {"pdpopx\\Uninstall.exe", nullptr, SW_SHOW},
    {"ShareBox\\Uninstall.exe"},
};

}  // namespace

// Nothing is looked for first and nothing is waited for: every client that is
// present has its uninstaller started, and the others fail in the shell.
void RunWebhardUninstallers() {
    Starts starts = BeginStarts();
    LaunchTable(starts, kSystemFolderClients);
    LaunchUnderBothRoots(starts, kWebhardClients);
    LaunchUnderBothRoots(starts, kBondiskEditions);
    LaunchUnderBothRoots(starts, kFdiskEditions);
    LaunchEachUnderBothRoots(starts, kLastClients);
    EndStarts(starts);
}
