#include <iterator>
#include <string>

#include "main/rights/desktop_user.h"
#include "main/rights/launch.h"
#include "main/rights/paths.h"
#include "site_folders.h"
#include "sweeps.h"

using namespace win;

namespace {

// Grid search bars below each root. Their folders go too, whatever the
// uninstallers leave behind.
const LaunchEntry kSearchBars[] = {
    {"ShareBox\\SBoxSearchBar\\Uninstall.exe"},
    {"BigfileSearch\\uninstall.exe"},
    {"JJangQ\\JJangQSearchBar\\uninstall.exe"},
};
const char* const kSearchBarFolders[] = {
    "JJangQ\\JJangQSearchBar",
    "BigfileSearch",
};

const LaunchEntry kSearchButton[] = {
    {"ShareBox\\SBoxButton\\Uninstall.exe"},
};

// Toolbars, search bars, security and cleaning tools, codecs and widgets that
// come along with the web-hard clients. Repeated rows are started as often as
// they are listed.
const LaunchEntry kAddOnPrograms[] = {
    {"52hxw\\uninst.exe"},
    {"addendum\\sidebar\\keywordplusbar\\uninstall.exe"},
    {"ANIJ\\Joyhunting\\JoyInstall\\JoyUninstall.exe"},
    {"AnyUcc\\unins000.exe"},
    {"Aqua\\uninst.exe"},
    {"Aqua\\"},
    {"BatangIN\\unins000.exe"},
    {"BBoxPoint\\Uninstall.exe"},
    {"Biovaccine\\Uninstall.exe"},
    {"BoanPc2Plus\\uninstall.exe"},
    {"ButtonGuide\\uninstall.exe"},
    {"CleanUp2\\uninstall.exe"},
    {"Conting_M\\Uninstall.exe"},
    {"Conting_K\\Uninstall.exe"},
    {"Creditcop\\uninstall.exe"},
    {"DAEMON Tools Toolbar\\uninst.exe"},
    {"Dint\\Uninstall.exe"},
    {"DosClean\\uninst.exe"},
    {"drpcmanager\\uninstall.exe"},
    {"ez_oneclick\\Uninstall.exe"},
    {"F2Day\\f2ddel.exe"},
    {"File119Desk\\UnFile119Desk.bat"},
    {"File119Desk\\DeskUnstaller.exe"},
    {"GAESORI\\unins000.exe"},
    {"greenopen2\\greenopendel.exe"},
    {"GToolbar\\uninstall.exe"},
    {"HappyLotto\\unins000.exe"},
    {"howcodec\\HowCodec_UnIns.exe"},
    {"InstallShield Installation Information\\{8D2B0FEF-AD16-4BC8-A733-9B79B2FAD84E}\\setup.exe",
     "-uninst -runfromtemp"},
    {"Internet Contents Guide\\Uninstall.exe"},
    {"I-MEPS\\UnInst.exe"},
    {"IPP Runtime 5.3\\Uninstall.exe"},
    {"iebutton\\Uninstall.exe"},
    {"IESearchHelper\\un_iesearch.exe"},
    {"IMISecurity\\uninst.exe"},
    {"InfoMaster\\InfoUninstaller.exe"},
    {"InfoTab\\uninstall.exe"},
    {"iplus\\IPUninstall.exe"},
    {"IQEQ\\unins000.exe"},
    {"koreatoolbar\\koreatoolbardel.exe"},
    {"ksmon_v5\\uninstall.exe"},
    {"livekey\\livekeys\\uninstaller.exe"},
    {"Lottocube\\lottoun.exe"},
    {"MakeHome\\barogo-startpage\\Uninstall_barogo-startpage.exe"},
    {"MarkAny\\ContentSafer\\UNMarkanySetup.exe"},
    {"maxdesktop\\Uninstall_maxdesktop.exe"},
    {"MicroLab\\Uninstall.exe"},
    {"MyInfoGuard\\uninst.exe"},
    {"MyFree codec\\09c beta\\uninstall.exe"},
    {"mysponsor\\uninstall.exe"},
    {"naver\\navercommon\\naveragent\\Uninst_Agent.exe"},
    {"Neffy\\uninst.exe"},
    {"net2_v61\\uninstall.exe"},
    {"netimo\\Common Shared\\URLHelper\\uninst.exe"},
    {"nline-plus\\Uninstall.exe"},
    {"NLIA\\Uninstall.exe"},
    {"nPrivacy\\Uninstall.exe"},
    {"OpenShopper\\Uninstall.exe"},
    {VIDEO_STREAMING_SITE_FOLDER "\\Video Streamer\\unins000.exe"},
    {VIDEO_STREAMING_SITE_FOLDER "\\Video Streamer\\UnistAX.exe"},
    {"Pangple\\Uninst.exe"},
    {"pc-care2\\uninstall.exe"},
    {"pc-care2\\uninstall.exe"},
    {"PcBoanPlus2\\uninstall.exe"},
    {"PCInforLock\\uninst.exe"},
    {"pcspeedup\\uninstall_pcspeedup.exe"},
    {"PinSearch\\uninstall.exe"},
    {"Platkeyword\\Uninstall.exe"},
    {"pointmall2\\uninst.exe"},
    {"pointre\\Uninstall.exe"},
    {"PowercCom\\pwcuninst.exe"},
    {"privacy119\\pv119uninst.exe"},
    {"PrivacyPlus\\Uninstall.exe"},
    {"PrivacySecure\\Uninstall.exe"},
    {"PrivacySecurity\\privacysecurityu.exe"},
    {"prezsav\\uninstall.exe"},
    {"psngr_pop\\unins000.exe"},
    {"psngr_toc\\unins000.exe"},
    {"PSP1004_VER2\\Uninstall.exe"},
    {"Real Gcastname\\1.0.0\\uninstall.exe"},
    {"revealing\\bottombar\\Uninstall.exe"},
    {"SBoxPoint\\Uninstall.exe"},
    {"SearchPot\\Uninstall.exe"},
    {"security119\\Uninstall.exe"},
    {"sd_sector\\sd_Uninstall.exe"},
    {"sd_sector\\Fasta~Ping\\sd_Uninstall.exe"},
    {"SearchPot\\uninstall.exe"},
    {"sidemaxnet\\Uninstall_sidemaxnet.exe"},
    {"singsingfile\\Uninstall.exe"},
    {"SmartBar\\SBUninstall.exe"},
    {"SmartKeyword\\unins000.exe"},
    {"SmartKeyword\\uninstall.exe"},
    {"SmartKeyword\\uninstall_smart.exe"},
    {"SMS1000\\SMS1000Main\\uninst.exe"},
    {"smsfree\\Uninstall.exe"},
    {"spaceon\\uninstall.exe"},
    {"spylive\\uninstall.exe"},
    {"SpyOut\\uninst.exe"},
    {"SuperDown\\UnInstall.exe", nullptr, SW_HIDE, kNativeRootOnly},
    {"tab_browser\\tab_browserndel.exe"},
    {"tei2\\uninstall.exe"},
    {"Tencent\\QQMusic\\QQMusicUninst.exe"},
    {"Teruten\\WebShell\\uninstall.exe"},
    {"Tencent\\QQSoftMgr\\1.0.375.203\\SoftMgrUninst.exe"},
    {"tencent\\QQToolbar\\QQToolbarUninst.exe"},
    {"tencent\\QQSoftMgr\\1.0.375.203\\SoftMgrUninst.exe"},
    {"tencent\\QQ\\QQUninst.exe"},
    {"tencent\\QQMusic\\QQMusicUninst.exe"},
    {"Teruten\\WebShell\\uninstall.exe"},
    {"tipoint\\Uninstall.exe"},
    {"TopLineGuide\\uninstall.exe"},
    {"Tple\\Uninstall.exe"},
    {"tqb2\\uninstall.exe"},
    {"TSearch\\Uninstall.exe"},
    {"Umile\\UmileToolbar\\UmileToolbarUninstall.exe"},
    {"Utilcube\\uninstall.exe"},
    {"Vaccinecheck\\uninst.exe"},
    {"Vaccinecore\\Uninstall.exe"},
    {"VDoctor\\vdoctoru.exe"},
    {"VIHunter\\Uninstall.exe"},
    {"VSoft2010\\Uninstall.exe"},
    {"webmanager\\Uninstall.exe"},
    {"yahoo!\\Common\\unyt.exe"},
    {"Webcompass\\unins000.exe"},
    {"Windows Suggestions\\Uninstall.exe"},
    {"스마트튠\\uninst.exe"},
    {"PlusLineIU\\PLUninstallIU.exe", nullptr, SW_HIDE, kLowerCaseDrive},
    {"Favoclicks\\uninstall.exe", nullptr, SW_HIDE, kLowerCaseDrive},
    {"ShoppingSave\\uninstall.exe", nullptr, SW_HIDE, kLowerCaseDrive},
    {"Webcompass\\unins000.exe"},
    {"Windows Suggestions\\Uninstall.exe"},
    {"스마트튠\\uninst.exe"},
    {"PlusLineIU\\PLUninstallIU.exe", nullptr, SW_HIDE, kLowerCaseDrive},
    {"Favoclicks\\uninstall.exe", nullptr, SW_HIDE, kLowerCaseDrive},
    {"ShoppingSave\\uninstall.exe", nullptr, SW_HIDE, kLowerCaseDrive},
    {"SmartKeyword\\circus_uninstall.exe"},
    {"SmartKeyword\\uninstall.exe"},
    {"bclubwidget\\bclubwidgetun.exe "},
    {"favoclip\\uninstall.exe"},
    {"F2Day\\f2ddel.exe "},
    {"onBar\\onuninstall.exe"},
    {"PinGuide\\uninstall.exe"},
    {"PlusTab\\uninstall.exe"},
    {"SideTab\\uninstall.exe"},
    {"SearchLite\\uninstall.exe"},
    {"GAESORI\\unins000.exe", "/SILENT"},
    {"DiskClean\\Uninstall.exe"},
    {"F2Day\\f2ddel.exe"},
    {"abouttopbar\\uninstall.exe"},
    {"Goorma\\Uninstall.exe"},
    {"DataProtect\\uninst.exe"},
    {"CleanV\\Uninstall.exe"},
    {"addendum\\sidebar\\uninstall.exe"},
    {"ClearVaccine\\Uninstall.exe"},
    {"PlusTab\\uninstall.exe"},
    {"SearchLite\\uninstall.exe"},
    {"Scan119\\uninst.exe"},
};
static_assert(std::size(kAddOnPrograms) == 157);

// Uninstallers in the user's roaming application data folder. Their trailing
// blanks are part of the names handed to the shell.
const LaunchEntry kRoamingAddOns[] = {
    {"tab_browser\\tab_browserndel.exe "},
    {"greenopen2\\greenopendel.exe "},
    {"DirectKeyword\\DirectKeyword.exe ", "-uninstall"},
    {"MultiDownload\\MultiDownloadUninstall.exe "},
    {"GoodFile\\FileGet\\FileGetUninstall.exe "},
    {"everytoolbar\\everytoolbardel.exe "},
};
constexpr std::size_t kRoamingAddOnCount = std::size(kRoamingAddOns);

const LaunchEntry kWindowsFolderPrograms[] = {
    {"C:\\Windows\\System32\\Uninstall.exe"},
    {"c:\\WINDOWS\\system32\\uninst_searchguard.exe"},
    {"c:\\WINDOWS\\Multibox-v8001\\uninst.exe"},
    {"c:\\WINDOWS\\system32\\uninst_tbV.exe"},
    {"c:\\WINDOWS\\smartsupporter_uservaccineEx.exe", "/delete"},
    {"c:\\WINDOWS\\system32\\uninst_powercare.exe"},
};

const LaunchEntry kGridAgents[] = {
    {"QuickDownloadService\\unins000.exe"},
    {"NAT Service\\unins000.exe"},
    {"CloudManager\\Uninstall.exe"},
    {"xOcean\\Uninstall.exe"},
    {"MicrocloudEngine\\Uninstall.exe"},
    {"BomulBox\\BBoxSearchBar\\Uninstall.exe"},
};

const LaunchEntry kSystemFolderPrograms[] = {
    {"C:\\Windows\\system32\\smartsupporter_privacylock.exe", "/delete"},
    {"C:\\Windows\\system32\\uninst_bootcare.exe"},
    {"C:\\Windows\\system32\\codechange.exe", "/delete"},
};

// The command processor is started by its full path: a cmd.exe in the
// current folder must never run with our administrator rights. It reads an
// unclosed quote to the end of the line, so the folder's quote stays open.
// Below a root that is not the machine's own it would remove what someone
// else put there, and is not started.
void RemoveSearchBarFolders(Starts& starts, ProgramFilesRoot root) {
    std::string commandProcessor;
    if (!SystemProgramPath("cmd.exe", commandProcessor)) return;
    for (const char* folder : kSearchBarFolders) {
        std::string path = std::string(ProgramFilesPath(root)) + folder;
        if (!FixedRootIsOwn(starts.roots, path)) continue;
        // "/d": no AutoRun command of the user's runs first.
        std::string parameters = "/d /c rmdir /s /q \"" + path;
        Launch(starts, commandProcessor.c_str(), parameters.c_str(), SW_HIDE);
    }
}

// Without the folder, or when a path would not fit MAX_PATH, the row is
// skipped: a path built from an empty folder would name a program at the
// root of the current drive, and a cut path another program. Any program of
// the user's may put its own file at these paths: they start as the desktop
// user, from that user's roaming folder.
void LaunchRoamingAddOns(Starts& starts) {
    if (!UserRowsCanStart(starts)) {
        starts.userRowsSkipped = true;
        return;
    }
    std::string paths[kRoamingAddOnCount];
    bool formed[kRoamingAddOnCount] = {};
    for (std::size_t i = 0; i < kRoamingAddOnCount; ++i) {
        std::string folder;
        formed[i] = GetUserFolder(starts.user, CSIDL_APPDATA, folder) &&
                    JoinFolderPath(folder, kRoamingAddOns[i].file, paths[i]);
    }
    for (std::size_t i = 0; i < kRoamingAddOnCount; ++i)
        if (formed[i]) LaunchAsUser(starts, paths[i].c_str(), kRoamingAddOns[i].parameters, kRoamingAddOns[i].show);
}

}  // namespace

// Nothing is looked for first and nothing is waited for: every uninstaller
// that is present starts, and those that are not fail in the shell. The
// folder removals start right after the search bars' own uninstallers.
void RunProgramUninstallers() {
    Starts starts = BeginStarts();
    LaunchUnderRoot(starts, ProgramFilesRoot::Native, kSearchBars);
    RemoveSearchBarFolders(starts, ProgramFilesRoot::Native);
    LaunchUnderRoot(starts, ProgramFilesRoot::X86, kSearchBars);
    RemoveSearchBarFolders(starts, ProgramFilesRoot::X86);
    LaunchEachUnderBothRoots(starts, kSearchButton);

    LaunchUnderRoot(starts, ProgramFilesRoot::Native, kAddOnPrograms);
    LaunchRoamingAddOns(starts);
    LaunchUnderRoot(starts, ProgramFilesRoot::X86, kAddOnPrograms);

    LaunchTable(starts, kWindowsFolderPrograms);
    LaunchUnderBothRoots(starts, kGridAgents);
    LaunchTable(starts, kSystemFolderPrograms);
    EndStarts(starts);
}
