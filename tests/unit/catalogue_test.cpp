#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "shared/catalogue.h"

using grid::ServiceHandling;

TEST(Catalogue, EditionsHoldTheirPrefixesOfOneOrderedTable) {
    EXPECT_EQ(grid::kMainEdition.serviceCount, 55u);
    EXPECT_EQ(grid::kMainEdition.imageCount, 11u);
    EXPECT_EQ(grid::kGuardEdition.serviceCount, 54u);
    EXPECT_EQ(grid::kGuardEdition.imageCount, 10u);
    EXPECT_STREQ(grid::kMainEdition.services[0].name, "QuickDownload Agent");
    EXPECT_STREQ(grid::kMainEdition.services[54].name, "SuperDownService");
    EXPECT_STREQ(grid::kGuardEdition.services[53].name, "PFSMonitorService");
    EXPECT_STREQ(grid::kMainEdition.images[10], "MultiDownload.exe");
    EXPECT_STREQ(grid::kGuardEdition.images[9], "pinomate.exe");
    EXPECT_STREQ(grid::kGridServices[28].name, "FIdownservice");
    EXPECT_STREQ(grid::kGridServices[48].name, "bondisk update service");
}

TEST(Catalogue, HandlingClassesAndDisableGroup) {
    int disable = 0, disableAndDelete = 0, del = 0;
    for (const auto& s : grid::kGridServices) {
        if (s.handling == ServiceHandling::Disable) ++disable;
        if (s.handling == ServiceHandling::DisableAndDelete) ++disableAndDelete;
        if (s.handling == ServiceHandling::Delete) ++del;
    }
    EXPECT_EQ(disable, 2);
    EXPECT_EQ(disableAndDelete, 1);
    EXPECT_EQ(del, 52);
    EXPECT_STREQ(grid::kGridServices[grid::kDisableGroup[0]].name, "ExpressService");
    EXPECT_STREQ(grid::kGridServices[grid::kDisableGroup[1]].name, "NATservice");
    EXPECT_STREQ(grid::kGridServices[grid::kDisableGroup[2]].name, "netaccelerator");
    EXPECT_EQ(grid::kGridServices[grid::kNetAccelerator].handling, ServiceHandling::DisableAndDelete);
}

TEST(Catalogue, NoTwoServiceNamesEqualIgnoringCase) {
    std::set<std::string> seen;
    for (const auto& s : grid::kGridServices) EXPECT_TRUE(seen.insert(grid::LowerImageName(s.name)).second) << s.name;
}

TEST(SameImageName, WholeNameIgnoringAsciiCase) {
    EXPECT_TRUE(grid::SameImageName("PINOMATE.EXE", "pinomate.exe"));
    EXPECT_TRUE(grid::SameImageName("pinomate.EXE", "pinomate.exe"));
    EXPECT_TRUE(grid::SameImageName("eXpReSsSeRvIcE.exe", "ExpressService.exe"));
    EXPECT_FALSE(grid::SameImageName("pinomate", "pinomate.exe"));
    EXPECT_FALSE(grid::SameImageName("pinomate.exe.bak", "pinomate.exe"));
    EXPECT_FALSE(grid::SameImageName("ExpressService.exe2", "ExpressService.exe"));
    EXPECT_FALSE(grid::SameImageName("C:\\x\\pinomate.exe", "pinomate.exe"));
    EXPECT_FALSE(grid::SameImageName("", "pinomate.exe"));
}

// In CP949 a trail byte may lie in 0x41-0x5A. "갂" is 0x81 0x41: folding its
// trail byte as an ASCII capital would turn it into 0x81 0x61, which is "걁".
TEST(SameImageName, TrailBytesAreNotFoldedAsAsciiCapitals) {
    const char upperTrail[] = "\x81\x41.exe";  // 갂.exe
    const char lowerTrail[] = "\x81\x61.exe";  // 걁.exe
    EXPECT_FALSE(grid::SameImageName(upperTrail, lowerTrail));
    EXPECT_TRUE(grid::SameImageName(upperTrail, upperTrail));
    EXPECT_EQ(grid::LowerImageName("\x81\x41Z.EXE"), std::string("\x81\x41z.exe"));
}

TEST(SameImageName, DoubleByteCapitalsFoldToTheirSmallForms) {
    // Full-width A (0xA3 0xC1) and full-width a (0xA3 0xE1).
    EXPECT_TRUE(grid::SameImageName("\xA3\xC1.exe", "\xA3\xE1.exe"));
    // Hangul has no case: two different syllables never match.
    EXPECT_FALSE(grid::SameImageName("\xB0\xA1.exe", "\xB0\xA2.exe"));
}

// Under the UTF-8 code page image names come as UTF-8, whose bytes the CP949
// folding pairs up wrongly. It still never turns a byte of 0x80 or more into
// ASCII, so a name with any letter beyond ASCII never matches the ASCII
// catalogue, and an ASCII name matches as before.
TEST(SameImageName, Utf8NamesNeverMatchTheAsciiCatalogue) {
    EXPECT_TRUE(grid::SameImageName(u8"PINOMATE.EXE", "pinomate.exe"));
    for (const char* name : {u8"핀pinomate.exe", u8"pinomate.exe ", u8"ｐｉｎｏｍａｔｅ.exe", u8"₥Épinomate.exe",
                             u8"각PINOMATE.EXE", u8"pınomate.exe"})
        for (const char* image : grid::kGridImages) EXPECT_FALSE(grid::SameImageName(name, image)) << name << image;
    // The ASCII part before the first other byte folds as ever, so a path
    // below an ASCII root is recognised whatever follows.
    EXPECT_EQ(grid::LowerImageName(u8"C:\\PROGRAM FILES\\스마트튠").substr(0, 17), "c:\\program files\\");
}

TEST(SameImageName, LoneLeadByteAtTheEndStaysAndDoesNotReadPastTheEnd) {
    EXPECT_EQ(grid::LowerImageName("AB\x81"), std::string("ab\x81"));
    EXPECT_FALSE(grid::SameImageName("AB\x81", "ab"));
}

TEST(FoldImageName, CutsOnlyBeforeAWholeCharacterAndAlwaysTerminates) {
    char out[5];
    grid::FoldImageName("AB\xB0\xA1Z", out, sizeof(out));  // "AB가Z": the syllable fits, Z does not
    EXPECT_STREQ(out, "ab\xB0\xA1");
    char small[4];
    grid::FoldImageName("AB\xB0\xA1", small, sizeof(small));  // the syllable would need 5 bytes
    EXPECT_STREQ(small, "ab");
    char one[1] = {'x'};
    grid::FoldImageName("ABC", one, sizeof(one));
    EXPECT_EQ(one[0], '\0');
}
