#include "launch.h"

#include <string>

#include "../shared/process_shell.h"
#include "code_page.h"

using namespace win;

namespace {

void LaunchTrusted(const OwnRoots& roots, const std::string& file, const LaunchEntry& row) {
    if (TrustedPath(roots, file)) Launch(InProcessCodePage(file.c_str()).c_str(), row.parameters, row.show);
}

void LaunchBelow(const OwnRoots& roots, ProgramFilesRoot root, const LaunchEntry& row) {
    bool x86 = root == ProgramFilesRoot::X86;
    if ((row.flags & kNativeRootOnly) && x86) return;
    if ((row.flags & kX86RootOnly) && !x86) return;
    std::string file = std::string(ProgramFilesPath(root)) + row.file;
    if (row.flags & kLowerCaseDrive) file[0] = 'c';
    LaunchTrusted(roots, file, row);
}

}  // namespace

const char* ProgramFilesPath(ProgramFilesRoot root) {
    return root == ProgramFilesRoot::X86 ? kProgramFilesX86Root : kProgramFilesRoot;
}

void Launch(const char* file, const char* parameters, int show) {
    ShellExecuteA(nullptr, "open", file, parameters, nullptr, show);
}

void LaunchTable(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) LaunchTrusted(roots, rows[i].file, rows[i]);
}

void LaunchUnderRoot(const OwnRoots& roots, ProgramFilesRoot root, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) LaunchBelow(roots, root, rows[i]);
}

void LaunchUnderBothRoots(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count) {
    LaunchUnderRoot(roots, ProgramFilesRoot::Native, rows, count);
    LaunchUnderRoot(roots, ProgramFilesRoot::X86, rows, count);
}

void LaunchEachUnderBothRoots(const OwnRoots& roots, const LaunchEntry* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        LaunchBelow(roots, ProgramFilesRoot::Native, rows[i]);
        LaunchBelow(roots, ProgramFilesRoot::X86, rows[i]);
    }
}
