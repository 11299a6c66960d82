// Fuzzes path building near the 260-byte limit: special folders, the system
// folder and the program's own path of any length and content, joined with
// the tails the program uses. A built path must never exceed MAX_PATH with its
// terminator, never be cut, and never start from an empty folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "main/rights/paths.h"
#include "sim/sim.h"

namespace {
const char* const kTails[] = {
    "PeeringPortal\\Pino\\pinomate.exe",
    "Microsoft\\Internet Explorer\\Quick Launch\\BonDisk.lnk",
    "tab_browser\\tab_browserndel.exe ",
    "Velmora.exe",
    "",
};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    sim::Reset();
    std::size_t cut = data[0] % size;
    std::string first(reinterpret_cast<const char*>(data) + 1, reinterpret_cast<const char*>(data) + 1 + cut / 2);
    std::string second(reinterpret_cast<const char*>(data) + 1 + cut / 2, reinterpret_cast<const char*>(data) + size);
    first = first.substr(0, first.find('\0'));
    second = second.substr(0, second.find('\0'));
    const char* tail = kTails[data[0] % (sizeof(kTails) / sizeof(kTails[0]))];

    std::string path;
    bool built = JoinFolderPath(first, tail, path);
    if (built != (!first.empty() && first.size() + 1 + std::string(tail).size() + 1 <= 260)) std::abort();
    if (built && path != first + "\\" + tail) std::abort();

    sim::machine().SetSpecialFolder(26, first);
    std::string folder;
    if (GetSpecialFolder(26, folder)) {
        if (folder.empty() || folder.size() >= 260) std::abort();
        if (first.size() < 260 && folder != first) std::abort();
    }

    sim::machine().systemDirectory = second;
    if (SystemProgramPath("taskkill.exe", path)) {
        if (path.size() + 1 > 260 || path != second + "\\taskkill.exe") std::abort();
    }

    sim::machine().modulePath = first;
    if (ModuleFolder(folder)) {
        if (folder.empty() || folder.size() >= first.size() || first.compare(0, folder.size(), folder) != 0)
            std::abort();
    }
    return 0;
}
