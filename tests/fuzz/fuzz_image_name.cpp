// Fuzzes the multibyte-aware lower-casing and image-name comparison with
// arbitrary bytes: lone lead bytes at the end, invalid trail bytes, names up
// to the 260 bytes of a process entry.
#include <cctype>
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

    // Folding into a smaller buffer gives a whole-character prefix of the
    // full result, zero-terminated inside the buffer.
    std::size_t room = size ? data[0] % 262 : 0;
    char small[262];
    std::memset(small, 0x7F, sizeof(small));
    grid::FoldImageName(image, small, room);
    if (room > 0) {
        std::size_t got = std::strlen(small);
        if (got >= room || lowered.compare(0, got, small) != 0) std::abort();
        if (got < lowered.size() && got + 1 < room) {
            // Stopped early only because the next character did not fit.
            unsigned char next = static_cast<unsigned char>(lowered[got]);
            if (!(next >= 0x81 && next <= 0xFE && got + 2 >= room)) std::abort();
        }
    }
    if (room < sizeof(small) && static_cast<unsigned char>(small[room]) != 0x7F) std::abort();
    if (!grid::SameImageName(image, image)) std::abort();
    // Whatever the code page (CP949, or UTF-8 under the UTF-8 code page):
    // up to the first byte of 0x80 or more the result is the ASCII
    // lower-casing, and that byte stays beyond ASCII. So an ASCII prefix or
    // name (a root, the catalogue) compares exactly, and a name with any other
    // letter never matches the catalogue.
    std::size_t ascii = 0;
    while (ascii < length && static_cast<unsigned char>(image[ascii]) < 0x80) ++ascii;
    for (std::size_t i = 0; i < ascii; ++i)
        if (lowered[i] != static_cast<char>(std::tolower(static_cast<unsigned char>(image[i])))) std::abort();
    if (ascii < length && static_cast<unsigned char>(lowered[ascii]) < 0x80) std::abort();
    for (const char* name : grid::kGridImages) {
        if (grid::SameImageName(image, name) != grid::SameImageName(name, image)) std::abort();
        if (grid::SameImageName(image, name) && ascii < length) std::abort();
    }
    return 0;
}
