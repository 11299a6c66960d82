#include "guard_notice.h"

#include <cstdio>

#include "shared/process_shell.h"
#include "guard_texts.h"

using namespace win;

namespace {

constexpr UINT kKoreanCodePage = 949;

}  // namespace

void PrintGuardNotice() {
    // Without a console (a service has none) there is nobody to tell.
    UINT consoleCodePage = GetConsoleOutputCP();
    bool told = consoleCodePage != 0 && consoleCodePage != kKoreanCodePage && SetConsoleOutputCP(kKoreanCodePage);

    std::fputs(text::kGuardBanner, stdout);
    std::fputs(text::kGuardUseMainProgram, stdout);
    std::fputs(text::kGuardOtherwiseIdle, stdout);
    // The console reads the bytes as they are written: only then may it go back.
    std::fflush(stdout);

    if (told) SetConsoleOutputCP(consoleCodePage);
}
