#include "catalogue.h"

#include <cstring>
#include <iterator>

namespace grid {

namespace {
constexpr ServiceHandling D = ServiceHandling::Delete;
}

constexpr GridService kGridServices[55] = {
    {"QuickDownload Agent", D},
    {"QuickDownload Service", D},
    {"QuickDownload Update", D},
    {"ExpressService", ServiceHandling::Disable},
    {"xOcean", D},
    {"xOceanUpdate", D},
    {"QBrid_Service", D},
    {"GDownServiceManager", D},
    {"cloudmanager", D},
    {"microcloudengine", D},
    {"NATservice", ServiceHandling::Disable},
    {"MegafileService", D},
    {"netaccelerator", ServiceHandling::DisableAndDelete},
    {"Qdown Update Service", D},
    {"KService", D},
    {"KDisk Update Service", D},
    {"Quploadservice", D},
    {"gridmember", D},
    {"qdownupdate", D},
    {"gdownservice", D},
    {"114ktisetup", D},
    {"JJangFiledown", D},
    {"kdiskdown", D},
    {"bigfiledownload", D},
    {"sboxsearchbar", D},
    {"feeldownload", D},
    {"ingrid114", D},
    {"OnDiskDownService", D},
    {"FIdownservice", D},
    {"QUploader", D},
    {"bonservice", D},
    {"Applefiles_service", D},
    {"TGridservice", D},
    {"YahooAUservice", D},
    {"fsusbexservice", D},
    {"qatutoup", D},
    {"filecityupdater", D},
    {"qdownservice", D},
    {"qdownagent", D},
    {"gdownagent", D},
    {"ziofiledown", D},
    {"filedown", D},
    {"hidiskdown", D},
    {"bigfilesearch", D},
    {"dssearchbar", D},
    {"bboxsearchbar", D},
    {"tple_download", D},
    {"ingrid114up", D},
    {"bondisk update service", D},
    {"wincloud", D},
    {"SvcEnv", D},
    {"NeoGridService", D},
    {"NSDSController", D},
    {"PFSMonitorService", D},
    {"SuperDownService", D},  // main program only
};

const char* const kGridImages[11] = {
    "ExpressService.exe", "bigfilesearch.exe", "NetAccelerator.exe", "SBoxSearchBar.exe",
    "QAutoUp.exe",        "KAutoUp.exe",       "JJangQSearchBar.exe", "wincloud.exe",
    "BBoxSearchBar.exe",  "pinomate.exe",
    "MultiDownload.exe",  // main program only
};

static_assert(std::size(kGridServices) == 55, "main edition holds 55 services");
static_assert(std::size(kGridImages) == 11, "main edition holds 11 images");

namespace {
constexpr bool Named(const GridService& service, const char* name) {
    std::size_t i = 0;
    for (; service.name[i] != '\0' && service.name[i] == name[i]; ++i) {
    }
    return service.name[i] == name[i];
}
}  // namespace

// The indexes the programs address entries by, pinned to their names.
static_assert(Named(kGridServices[kPfsMonitorService], "PFSMonitorService"), "PFSMonitorService index");
static_assert(Named(kGridServices[kGuardServiceCount - 1], "PFSMonitorService") &&
                  Named(kGridServices[kGuardServiceCount], "SuperDownService"),
              "the guard's edition ends where the main program's own service begins");
static_assert(Named(kGridServices[kExpressService], "ExpressService") &&
                  Named(kGridServices[kNatService], "NATservice") &&
                  Named(kGridServices[kNetAccelerator], "netaccelerator"),
              "disable group indexes");
static_assert(kGuardImageCount == std::size(kGridImages) - 1, "the guard's images are all but the last");

const Edition kMainEdition = {kGridServices, 55, kGridImages, 11};
const Edition kGuardEdition = {kGridServices, kGuardServiceCount, kGridImages, kGuardImageCount};

namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Double-byte capitals of CP949 and the distance to their small forms.
void LowerDoubleByte(unsigned char lead, unsigned char& trail) {
    if (lead == 0xA3 && trail >= 0xC1 && trail <= 0xDA) trail += 0x20;       // full-width A-Z
    else if (lead == 0xA5 && trail >= 0xC1 && trail <= 0xD8) trail += 0x20;  // Greek
    else if (lead == 0xAC && trail >= 0xA1 && trail <= 0xC1) trail += 0x30;  // Cyrillic
}

}  // namespace

void FoldImageName(const char* name, char* out, std::size_t size) {
    if (size == 0) return;
    std::size_t i = 0;
    while (name[i] != '\0' && i + 1 < size) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(c) && name[i + 1] != '\0') {
            // A double-byte character goes whole or not at all.
            if (i + 2 >= size) break;
            unsigned char trail = static_cast<unsigned char>(name[i + 1]);
            LowerDoubleByte(c, trail);
            out[i] = static_cast<char>(c);
            out[i + 1] = static_cast<char>(trail);
            i += 2;
        } else {
            // A lone lead byte at the end stays as it is.
            out[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            ++i;
        }
    }
    out[i] = '\0';
}

bool SameImageName(const char* imageName, const char* catalogueName) {
    // Image names from a process snapshot hold at most 260 bytes.
    char image[261], entry[261];
    FoldImageName(imageName, image, sizeof(image));
    FoldImageName(catalogueName, entry, sizeof(entry));
    return std::strcmp(image, entry) == 0;
}

}  // namespace grid
