// The grid catalogue: which services and which running programs are grids.
//
// Two constant, ordered tables compiled into both programs. The main program
// walks all of them; the guard walks its shorter edition (the first 54
// services, the first 10 images). Catalogue order is behaviour: it fixes the
// order of service calls, progress texts and list rows.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace grid {

enum class ServiceHandling {
    Disable,           // stopped and set to disabled, never deleted
    DisableAndDelete,  // as Disable, then deleted with the others
    Delete,            // stopped unless already stopped, then deleted
};

struct GridService {
    const char* name;  // service key name, exactly as registered by the grid
    ServiceHandling handling;
};

struct Edition {
    const GridService* services;
    std::size_t serviceCount;
    const char* const* images;
    std::size_t imageCount;
};

extern const GridService kGridServices[55];
extern const char* const kGridImages[11];

extern const Edition kMainEdition;   // 55 services, 11 images
extern const Edition kGuardEdition;  // 54 services, 10 images

constexpr std::size_t kGuardServiceCount = 54;
constexpr std::size_t kGuardImageCount = 10;
// Catalogue index of "PFSMonitorService", the last service of the guard's
// stop pass, which the guard asks a second time.
constexpr std::size_t kPfsMonitorService = 53;

// Catalogue indexes of the disable group, in its own order.
constexpr std::size_t kExpressService = 3;
constexpr std::size_t kNatService = 10;
constexpr std::size_t kNetAccelerator = 12;
constexpr std::size_t kDisableGroup[3] = {kExpressService, kNatService, kNetAccelerator};

inline bool InDisableGroup(const GridService& service) { return service.handling != ServiceHandling::Delete; }

// Lower-cases a narrow CP949 string the way the runtime's multibyte
// lower-casing does: A-Z become a-z, a lead byte (0x81-0xFE) carries its trail
// byte with it, and only the double-byte letters that have a lower-case form
// (full-width Latin, Greek, Cyrillic) are mapped. A trail byte in 0x41-0x5A is
// never folded as if it were an ASCII capital.
//
// Into a caller's buffer of `size` bytes, always zero-terminated; a name that
// does not fit is cut before a whole character. Allocates nothing: the guard
// uses it, and the guard carries no string library.
void FoldImageName(const char* name, char* out, std::size_t size);

inline std::string LowerImageName(const char* name) {
    std::string lowered(std::strlen(name) + 1, '\0');
    FoldImageName(name, &lowered[0], lowered.size());
    lowered.resize(std::strlen(lowered.c_str()));
    return lowered;
}

// Whole-name, case-blind match of a process image name against a catalogue
// image name.
bool SameImageName(const char* imageName, const char* catalogueName);

}  // namespace grid
