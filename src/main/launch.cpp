#include "launch.h"

#include <string>

#include "../shared/process_shell.h"

using namespace win;

namespace {

void LaunchBelow(ProgramFilesRoot root, const LaunchEntry& row) {
    bool x86 = root == ProgramFilesRoot::X86;
    if ((row.flags & kNativeRootOnly) && x86) return;
    if ((row.flags & kX86RootOnly) && !x86) return;
    std::string file = std::string(ProgramFilesPath(root)) + row.file;
    if (row.flags & kLowerCaseDrive) file[0] = 'c';
    Launch(file.c_str(), row.parameters, row.show);
}

}  // namespace

const char* ProgramFilesPath(ProgramFilesRoot root) {
    return root == ProgramFilesRoot::X86 ? "C:\\Program Files (x86)\\" : "C:\\Program Files\\";
}

void Launch(const char* file, const char* parameters, int show) {
    ShellExecuteA(nullptr, "open", file, parameters, nullptr, show);
}

void LaunchTable(const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Launch(rows[i].file, rows[i].parameters, rows[i].show);
}

void LaunchUnderRoot(ProgramFilesRoot root, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) LaunchBelow(root, rows[i]);
}

void LaunchUnderBothRoots(const LaunchEntry* rows, std::size_t count) {
    LaunchUnderRoot(ProgramFilesRoot::Native, rows, count);
    LaunchUnderRoot(ProgramFilesRoot::X86, rows, count);
}

void LaunchEachUnderBothRoots(const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        LaunchBelow(ProgramFilesRoot::Native, rows[i]);
        LaunchBelow(ProgramFilesRoot::X86, rows[i]);
    }
}
