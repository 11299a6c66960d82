#include <iterator>
#include <string>

#include "shared/win_defs.h"
#include "main/rights/desktop_user.h"
#include "main/code_page.h"
#include "main/rights/paths.h"
#include "sweeps.h"

using namespace win;

namespace {

// Names as the sites and their grid programs write them, in deletion order.
// A name listed twice is deleted twice; the second deletion finds nothing.
const char* const kDesktopShortcuts[] = {
    "쉐어박스.url",
    "온디스크.lnk",
    "위디스크 바로가기.exe",
    "메가파일.lnk",
    "슈퍼다운.url",
    "케이디스크.lnk",
    "제트파일.lnk",
    "케이디스크.lnk",
    "하이디스크.lnk",
    "파일아이.lnk",
    "파일팜.url",
    "에프디스크.lnk",
    "빅파일.url",
    "BonDisk.url",
    "큐다운.lnk",
    "애플파일.lnk",
    "투투디스크.lnk",
    "짱큐.url",
    "파일시티.lnk",
    "Tple.url",
    "스타디스크.lnk",
    "최신영화 다운로드.lnk",
    "지오파일.url",
    "아톰파일.url",
    "디비파일.url",
    "짱파일 홈페이지 바로가기.lnk",
    "BonDisk.lnk",
};
static_assert(std::size(kDesktopShortcuts) == 27);

const char* const kQuickLaunchShortcuts[] = {
    "쉐어박스.url",
    "온디스크.lnk",
    "위디스크 바로가기.exe",
    "메가파일.lnk",
    "슈퍼다운.url",
    "케이디스크.lnk",
    "제트파일.lnk",
    "케이디스크.lnk",
    "하이디스크.lnk",
    "파일아이.lnk",
    "파일팜.url",
    "에프디스크.lnk",
    "빅파일.url",
    "BonDisk.lnk",
    "큐다운.lnk",
    "애플파일.lnk",
    "투투디스크.lnk",
    "슈퍼다운.url",
    "짱큐.url",
    "파일시티.lnk",
    "Tple.url",
    "스타디스크.lnk",
    "최신영화 다운로드.lnk",
    "지오파일.url",
    "아톰파일.url",
    "디비파일.url",
    "짱파일 홈페이지 바로가기.lnk",
    "BonDisk.lnk",
};
static_assert(std::size(kQuickLaunchShortcuts) == 28);

const char* const kStartMenuShortcuts[] = {
    "쉐어박스.url",
    "온디스크.lnk",
    "위디스크 바로가기.exe",
    "메가파일.lnk",
    "슈퍼다운.url",
    "케이디스크.lnk",
    "제트파일.lnk",
    "케이디스크.lnk",
    "하이디스크.lnk",
    "파일아이.lnk",
    "파일팜.url",
    "에프디스크.lnk",
    "빅파일.url",
    "BonDisk.lnk",
    "큐다운.url",
    "애플파일.lnk",
    "짱큐.url",
    "파일시티.lnk",
    "Tple.url",
    "스타디스크.lnk",
    "최신영화 다운로드.lnk",
    "지오파일.url",
    "아톰파일.url",
    "디비파일.url",
    "짱파일 홈페이지 바로가기.lnk",
    "BonDisk.lnk",
};
static_assert(std::size(kStartMenuShortcuts) == 26);

// Some sites add themselves to the Internet Explorer favorites too; the
// browser names those after the page title.
const char* const kFavoriteShortcuts[] = {
    "쉐어박스.url",
    "온디스크.lnk",
    "위디스크 바로가기.exe",
    "메가파일.lnk",
    "슈퍼다운.url",
    "케이디스크.lnk",
    "제트파일.lnk",
    "케이디스크.lnk",
    "하이디스크.lnk",
    "파일아이.lnk",
    "파일팜.url",
    "에프디스크.lnk",
    "빅파일.url",
    "BonDisk.lnk",
    "큐다운.lnk",
    "파일시티 - 디지털 컨텐츠 전문거래소.lnk",
    "▒ 재밌는 인터넷, 파일노리 ▒.url",
    "▒ 컨텐츠와 함께 위디스크 ▒.url",
    "무료영화 다운.url",
};
static_assert(std::size(kFavoriteShortcuts) == 19);

// Deletes folder\subfolder\name for every name. Without the folder (empty)
// nothing is deleted: a path built from an empty folder would name files at
// the root of the current drive. A path that would not fit MAX_PATH is passed
// over rather than cut to another name. The user deletes: a folder made a
// junction leads only to what the user could delete anyway.
template <std::size_t N>
void DeleteShortcuts(const DesktopUser& user, const std::string& folder, const char* subfolder,
                     const char* const (&names)[N]) {
    for (const char* name : names) {
        std::string path;
        if (JoinFolderPath(folder, (subfolder + InProcessCodePage(name)).c_str(), path)) DeleteAsUser(user, path);
    }
}

}  // namespace

bool RemoveShortcuts() {
    // The folders of the user whose desktop this is, not the administrator's
    // who typed the password. A folder the shell cannot tell stays empty, and
    // its groups delete nothing. Without the user, none is swept.
    DesktopUser user = FindDesktopUser();
    if (user.answer == DesktopUser::kNoUser) {
        TellUserFoldersSkipped();
        return false;
    }
    std::string desktop, appData, startMenu, favorites;
    GetUserFolder(user, CSIDL_DESKTOP, desktop);
    GetUserFolder(user, CSIDL_APPDATA, appData);
    GetUserFolder(user, CSIDL_STARTMENU, startMenu);
    GetUserFolder(user, CSIDL_FAVORITES, favorites);

    DeleteShortcuts(user, desktop, "", kDesktopShortcuts);
    DeleteShortcuts(user, appData, "Microsoft\\Internet Explorer\\Quick Launch\\", kQuickLaunchShortcuts);
    // The root of the Start Menu only; its Programs folder belongs to
    // installers. Asked for by its own name: on XP it is not below the
    // roaming folder, and it may be redirected anywhere.
    DeleteShortcuts(user, startMenu, "", kStartMenuShortcuts);
    DeleteShortcuts(user, favorites, "", kFavoriteShortcuts);
    CloseDesktopUser(user);
    return true;
}
