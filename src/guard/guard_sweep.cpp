#include "guard_sweep.h"

#include <cstring>

#include "shared/catalogue.h"
#include "shared/process_shell.h"
#include "shared/process_walk.h"
#include "shared/service_manager.h"
#include "shared/win_defs.h"
#include "guard_state.h"

using namespace win;

namespace {

constexpr DWORD kSweepIntervalMs = 10000;
constexpr DWORD kPauseAfterStopMs = 100;
// Room for the image path of a process; one that lies deeper is not ended,
// since what it runs cannot be told.
constexpr DWORD kImagePathBytes = 1024;

const grid::Edition& Catalogue() { return grid::kGuardEdition; }

static_assert(grid::kPfsMonitorService < grid::kGuardServiceCount, "the stop pass's last service is the guard's");

void StopUnlessStopped(SC_HANDLE service) {
    if (!service) return;
    SERVICE_STATUS status = {};
    // A failed query leaves the record zeroed, which reads as not stopped:
    // asking once too often costs only the pause.
    QueryServiceStatus(service, &status);
    if (status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        Sleep(kPauseAfterStopMs);
    }
}

using QueryFullProcessImageNameProc = BOOL(WIN_CALLBACK*)(HANDLE, DWORD, char*, DWORD*);

// One image name sought through one snapshot.
struct Sought {
    char name[MAX_PATH + 1];  // folded
    QueryFullProcessImageNameProc queryImage;  // null where Windows lacks it (XP)
};

// Whether the opened process still runs the image its snapshot entry named:
// that entry was read earlier, and Windows gives a freed process ID to the
// next process that starts.
bool StillRunsTheImage(HANDLE process, const Sought& sought) {
    char path[kImagePathBytes];
    DWORD size = sizeof(path);
    if (!sought.queryImage(process, 0, path, &size)) return false;
    const char* slash = std::strrchr(path, '\\');
    char folded[MAX_PATH + 1];
    grid::FoldImageName(slash ? slash + 1 : path, folded, sizeof(folded));
    return std::strcmp(folded, sought.name) == 0;
}

}  // namespace

void RunGuardLoop() {
    for (;;) {
        if (SweepPaused == 0) {
            SweepGridProcesses();
            SweepGridServices();
        }
        if (WaitForSingleObject(ExitEvent.load(), kSweepIntervalMs) == WAIT_OBJECT_0) return;
    }
}

void SweepGridProcesses() {
    for (std::size_t i = 0; i < Catalogue().imageCount; ++i) TerminateGridProcess(Catalogue().images[i]);
}

void TerminateGridProcess(const char* imageName) {
    Sought sought;
    grid::FoldImageName(imageName, sought.name, sizeof(sought.name));
    // Vista brought the query and the right it needs. XP refuses a mask with
    // a right it does not know, so there the process is ended as the
    // snapshot named it.
    sought.queryImage = reinterpret_cast<QueryFullProcessImageNameProc>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA"));
    WalkProcessList(
        [](const PROCESSENTRY32& entry, const char* foldedName, void* context) {
            const Sought& sought = *static_cast<const Sought*>(context);
            if (std::strcmp(foldedName, sought.name) != 0) return;
            // Only the rights to terminate and to read the image name: Windows
            // XP refuses the full-access mask outright, and other processes
            // are none of our business.
            DWORD access = PROCESS_TERMINATE | (sought.queryImage ? PROCESS_QUERY_LIMITED_INFORMATION : 0);
            HANDLE process = OpenProcess(access, FALSE, entry.th32ProcessID);
            if (!process) return;  // protected or already gone; the next instance may still be ours to end
            if (!sought.queryImage || StillRunsTheImage(process, sought)) TerminateProcess(process, 0);
            CloseHandle(process);
        },
        &sought);
}

void SweepGridServices() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager) return;

    const std::size_t count = Catalogue().serviceCount;
    const grid::GridService* services = Catalogue().services;
    SC_HANDLE handles[grid::kGuardServiceCount] = {};

    for (std::size_t i = 0; i < count; ++i) handles[i] = OpenServiceA(manager, services[i].name, SERVICE_ALL_ACCESS);

    // The disable group is told to stop and set to disabled on every sweep,
    // whatever its state: cheaper than asking, and it undoes a re-enable.
    SERVICE_STATUS status = {};
    for (std::size_t i : grid::kDisableGroup) {
        if (!handles[i]) continue;
        ControlService(handles[i], SERVICE_CONTROL_STOP, &status);
        ChangeServiceConfigA(handles[i], SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    for (std::size_t i = 0; i < count; ++i)
        if (!grid::InDisableGroup(services[i])) StopUnlessStopped(handles[i]);
    // PFSMonitorService often survives its first stop request; a second look
    // before the deletions keeps it from being deleted while still running.
    StopUnlessStopped(handles[grid::kPfsMonitorService]);

    for (std::size_t i = 0; i < count; ++i)
        if (services[i].handling != grid::ServiceHandling::Disable && handles[i]) DeleteService(handles[i]);

    for (std::size_t i = 0; i < count; ++i)
        if (handles[i]) CloseServiceHandle(handles[i]);
    CloseServiceHandle(manager);
}
