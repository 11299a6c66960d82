#include "resident_termination.h"

#include <string>

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "shared/win_defs.h"
#include "shared/window_dialog.h"
#include "main/rights/desktop_user.h"
#include "main/rights/launch.h"
#include "main/main_state.h"
#include "main/rights/paths.h"
#include "main/texts.h"

using namespace win;

namespace {

// Grid executables that come back unless the files go too; relative to the
// user's local application data folder. The first two are programs that
// the task-kills end: Windows deletes no running program's file.
const char* const kResidentFiles[] = {
    "PeeringPortal\\Pino\\pinomate.exe",
    "MultiDownload\\MultiDownload.exe",
    "multidownload\\multidownloadupdate.exe",
};

// How long the eleven task-kills, running side by side, may take to end
// before the files are deleted. Each ends its processes by force and exits
// within a second even on a slow machine; ten seconds leave room for a
// loaded one while the window, which waits with them, stays stuck no longer
// than the removal's own pauses.
constexpr DWORD kTaskKillWaitLimitMs = 10000;
constexpr std::size_t kTaskKillCount = 11;

}  // namespace

void TerminateResidentGrids() {
    Starts starts = BeginStarts();

    // 1. The system's own task-kill program, by its full path: a taskkill.exe
    // in the current folder must never run with our administrator rights.
    const grid::Edition& edition = grid::kMainEdition;
    HANDLE taskKills[kTaskKillCount] = {};
    DWORD started = 0;
    std::string taskkill;
    if (SystemProgramPath("taskkill.exe", taskkill)) {
        for (std::size_t i = 0; i < edition.imageCount && i < kTaskKillCount; ++i) {
            std::string parameters = std::string("/F /IM ") + edition.images[i];
            HANDLE process = nullptr;
            Launch(starts, taskkill.c_str(), parameters.c_str(), SW_HIDE, &process);
            if (process) taskKills[started++] = process;
        }
    }

    // 2. Their processes end before their files can go.
    if (started) WaitForMultipleObjects(started, taskKills, TRUE, kTaskKillWaitLimitMs);
    for (DWORD i = 0; i < started; ++i) CloseHandle(taskKills[i]);

    // 3. Without the folder there is nothing safe to delete: a path built
    // from an empty folder would name files at the root of the current
    // drive. The desktop user's folder, and the user deletes in it; with no
    // user, nothing (EndStarts says so).
    std::string localAppData;
    if (starts.user.answer == DesktopUser::kNoUser) {
        starts.userRowsSkipped = true;
    } else if (GetUserFolder(starts.user, CSIDL_LOCAL_APPDATA, localAppData)) {
        for (const char* tail : kResidentFiles) {
            std::string path;
            if (JoinFolderPath(localAppData, tail, path)) DeleteAsUser(starts.user, path);
        }
    }
    EndStarts(starts);

    ShowLabel(ResidentLabel, text::kResidentOff);
}
