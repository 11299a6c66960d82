// The simulated code pages: the process's ANSI code page, the conversions
// to and from UTF-16, and the console's output code page.
#include <algorithm>
#include <cstring>

#include "sim/sim_kernel.h"

using namespace sim::kernel;

const char* sim::kernel::CharacterSet(UINT codePage) {
    if (codePage == CP_ACP) codePage = M().ansiCodePage;
    return codePage == 949 ? "CP949" : codePage == CP_UTF8 ? "UTF-8" : codePage == 1252 ? "CP1252" : nullptr;
}

namespace {

// As Windows fills a caller's buffer: the size needed when size is 0.
template <typename Unit>
int CopyConverted(const std::basic_string<Unit>& converted, Unit* out, int size) {
    if (size != 0 && size < static_cast<int>(converted.size())) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (size != 0) std::copy(converted.begin(), converted.end(), out);
    return static_cast<int>(converted.size());
}

}  // namespace

std::string sim::FromCp949(const std::string& cp949) {
    std::string out;
    return M().ansiCodePage != 949 && Recode(CharacterSet(M().ansiCodePage), "CP949", cp949, out) ? out : cp949;
}

// Pure conversions, not traced. Invalid input is always refused here.
namespace win {

UINT GetACP() { return M().ansiCodePage; }

int MultiByteToWideChar(UINT codePage, DWORD, const char* text, int length, WCHAR* wide, int wideLength) {
    std::string bytes(text, length < 0 ? std::strlen(text) + 1 : static_cast<std::size_t>(length)), utf16;
    if (!CharacterSet(codePage) || !sim::Recode("UTF-16LE", CharacterSet(codePage), bytes, utf16))
        return Fail(1113);  // ERROR_NO_UNICODE_TRANSLATION
    std::u16string units(utf16.size() / 2, u'\0');
    std::memcpy(&units[0], utf16.data(), utf16.size());
    return CopyConverted(units, wide, wideLength);
}

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* wide, int wideLength, char* text, int length,
                        const char*, BOOL* usedDefaultChar) {
    // UTF-8 has a form for everything and refuses to report a default character.
    const char* set = CharacterSet(codePage);
    if (!set || (codePage == CP_UTF8 && usedDefaultChar)) return Fail(87);  // ERROR_INVALID_PARAMETER
    std::size_t count = wideLength >= 0 ? wideLength : std::char_traits<WCHAR>::length(wide) + 1;
    std::string units(reinterpret_cast<const char*>(wide), count * 2), converted;
    if (!sim::Recode(set, "UTF-16LE", units, converted)) {
        // What the code page lacks becomes "?".
        sim::Recode((std::string(set) + "//TRANSLIT").c_str(), "UTF-16LE", units, converted);
        if (usedDefaultChar) *usedDefaultChar = TRUE;
    }
    return CopyConverted(converted, text, length);
}

UINT GetConsoleOutputCP() { return M().consoleOutputCodePage; }

BOOL SetConsoleOutputCP(UINT codePage) {
    M().Log("SetConsoleOutputCP " + std::to_string(codePage));
    if (M().consoleOutputCodePage == 0) return Fail(ERROR_INVALID_HANDLE);
    M().consoleOutputCodePage = codePage;
    return TRUE;
}

}  // namespace win

