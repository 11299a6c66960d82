// Fuzzes the multibyte-aware lower-casing and image-name comparison with
// arbitrary bytes: lone lead bytes at the end, invalid trail bytes, names up
// to the 260 bytes of a process entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shared/catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 260) size = 260;
    // As a process entry holds it: zero-terminated inside its fixed buffer.
    char image[261] = {};
    std::memcpy(image, data, size);
    std::size_t length = std::strlen(image);

    std::string lowered = grid::LowerImageName(image);
    if (lowered.size() != length) std::abort();
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char before = static_cast<unsigned char>(image[i]);
        unsigned char after = static_cast<unsigned char>(lowered[i]);
        // Lower-casing never creates a capital and never touches a lead byte.
        if (after >= 'A' && after <= 'Z' && before != after) std::abort();
        if (before >= 0x81 && before <= 0xFE && i + 1 < length) {
            if (after != before) std::abort();
            ++i;
        }
    }
    if (grid::LowerImageName(lowered.c_str()) != lowered) std::abort();  // idempotent
    if (!grid::SameImageName(image, image)) std::abort();
    for (const char* name : grid::kGridImages)
        if (grid::SameImageName(image, name) != grid::SameImageName(name, image)) std::abort();
    return 0;
}
