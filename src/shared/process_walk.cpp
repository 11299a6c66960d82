#include "process_walk.h"

#include "catalogue.h"
#include "process_shell.h"
#include "win_defs.h"

using namespace win;

void WalkProcessList(ProcessVisit visit, void* context) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;

    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        // The name comes from another process's record: never trust its end.
        entry.szExeFile[sizeof(entry.szExeFile) - 1] = '\0';
        char folded[MAX_PATH + 1];
        grid::FoldImageName(entry.szExeFile, folded, sizeof(folded));
        visit(entry, folded, context);
    }
    CloseHandle(snapshot);
}
