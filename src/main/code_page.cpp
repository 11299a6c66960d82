#include "code_page.h"

#include "shared/process_shell.h"
#include "shared/win_defs.h"

using namespace win;

namespace {

bool IsAscii(const char* text) {
    for (; *text; ++text)
        if (static_cast<unsigned char>(*text) >= 0x80) return false;
    return true;
}

// The process's code page form of a UTF-16 text (its terminating zero
// included); false when that code page has no character for part of it.
bool FromWide(UINT codePage, const std::u16string& wide, std::string& text) {
    // UTF-8 has a character for everything and takes no default character.
    BOOL usedDefault = FALSE;
    BOOL* lossy = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int wideLength = static_cast<int>(wide.size());
    int length = WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, lossy);
    if (length <= 0 || usedDefault) return false;
    std::string converted(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(codePage, 0, wide.data(), wideLength, &converted[0], length, nullptr, lossy) != length ||
        usedDefault)
        return false;
    text.assign(converted.c_str());
    return true;
}

}  // namespace

std::string InProcessCodePage(const char* cp949) {
    UINT codePage = GetACP();
    if (codePage == kKoreanCodePage || IsAscii(cp949)) return cp949;

    // Windows without the Korean tables (XP without East Asian support)
    // cannot read the literal either: it keeps its bytes.
    int wideLength = MultiByteToWideChar(kKoreanCodePage, MB_ERR_INVALID_CHARS, cp949, -1, nullptr, 0);
    if (wideLength <= 0) return cp949;
    std::u16string wide(static_cast<std::size_t>(wideLength), u'\0');
    if (MultiByteToWideChar(kKoreanCodePage, MB_ERR_INVALID_CHARS, cp949, -1, &wide[0], wideLength) != wideLength)
        return cp949;

    std::string text;
    return FromWide(codePage, wide, text) ? text : std::string(cp949);
}
