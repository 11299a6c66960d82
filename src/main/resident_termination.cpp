#include "resident_termination.h"

#include <string>

#include "../shared/catalogue.h"
#include "../shared/win_defs.h"
#include "../shared/window_dialog.h"
#include "desktop_user.h"
#include "launch.h"
#include "main_state.h"
#include "paths.h"
#include "texts.h"

using namespace win;

namespace {

// Grid executables that come back unless the files go too; relative to the
// user's local application data folder.
const char* const kResidentFiles[] = {
    "PeeringPortal\\Pino\\pinomate.exe",
    "MultiDownload\\MultiDownload.exe",
    "multidownload\\multidownloadupdate.exe",
};

}  // namespace

void TerminateResidentGrids() {
    // The system's own task-kill program, by its full path: a taskkill.exe in
    // the current folder must never run with our administrator rights.
    std::string taskkill;
    if (SystemProgramPath("taskkill.exe", taskkill)) {
        const grid::Edition& edition = grid::kMainEdition;
        for (std::size_t i = 0; i < edition.imageCount; ++i) {
            std::string parameters = std::string("/F /IM ") + edition.images[i];
            Launch(taskkill.c_str(), parameters.c_str(), SW_HIDE);
        }
    }

    // Without the folder there is nothing safe to delete: a path built from an
    // empty folder would name files at the root of the current drive. The
    // desktop user's folder, and the user deletes in it.
    DesktopUser user = FindDesktopUser();
    std::string localAppData;
    if (GetUserFolder(user, CSIDL_LOCAL_APPDATA, localAppData)) {
        for (const char* tail : kResidentFiles) {
            std::string path;
            if (JoinFolderPath(localAppData, tail, path)) DeleteAsUser(user, path);
        }
    }
    CloseDesktopUser(user);

    ShowLabel(ResidentLabel, text::kResidentOff);
}
