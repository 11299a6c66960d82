// Kestane's texts and names are CP949 literals; Windows reads every narrow
// string in the process's ANSI code page. The two are the same only on
// Korean Windows without the UTF-8 option; everywhere else the text is
// converted here, in this one place, before it reaches Windows.
#pragma once

#include <string>

constexpr unsigned kKoreanCodePage = 949;

// A CP949 text or name in the process's code page: the same bytes when that
// is 949 (or the text is ASCII), else converted through UTF-16. A code page
// that cannot carry Korean (a non-Korean Windows before the UTF-8 code page)
// gets the CP949 bytes, as it always did.
//
// Only for the program's own literals: folders Windows hands back are in the
// process's code page already and are joined to the converted name as they
// come.
std::string InProcessCodePage(const char* cp949);
