// The floor of Kestane's start-up: the bare dialog, shown only after the
// platform calls that Kestane's start-up cannot do without on the benchmark's
// machine (grid services registered and stopped, no grid running, no guard
// registered), made with the same access rights, in the same order and at the
// same moments: the first before the dialog is created, the others while it
// exists and is not yet shown.
//
//  1. The DLL search order restricted: the current folder moved to the
//     system folder, SetDefaultDllDirectories and SetDllDirectoryA(""). A
//     program run as administrator from Downloads has to do this before
//     anything loads a DLL by name.
//  2. One Tool Help snapshot per image name of the main edition, each walked
//     to its end: the resident label cannot be shown without them.
//  3. The service manager opened with SC_MANAGER_CREATE_SERVICE: its refusal
//     is how Kestane learns that it lacks administrator rights.
//  4. The guard's service opened once, with full access: its labels show
//     whether it is registered.
//  5. Every grid service of the main edition opened with full access, all
//     held, then all closed: the installed label cannot be shown without them.
//
// Left out, because the start-up can do without them before its window
// shows, or they cost next to nothing:
//  - the system DLLs that Kestane loads by full path ahead of their loaders:
//    a shown window loads those it needs in the bare dialog as well, and the
//    rest wait for what the buttons do; likewise shell32, imported for them;
//  - a second service manager handle for the grid services;
//  - a second open of the guard's service once the first found none;
//  - comparing the folded names, the label texts, and the icon looked up
//    again for every message.
#include <windows.h>

#include <iterator>

#include "bare_dialog.h"
#include "shared/catalogue.h"
#include "shared/process_walk.h"

namespace {

constexpr char kGuardService[] = "Velmora";
// Seen by the benchmark as an end before the window: the catalogue's main
// edition has outgrown the tables it is a prefix of.
constexpr int kEditionOutgrowsTables = 3;

void RestrictDllSearch() {
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH) SetCurrentDirectoryA(system);
    // Looked up, as Kestane looks them up: older Windows lack them.
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    auto setDefault = reinterpret_cast<BOOL(WINAPI*)(DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    auto setDllDirectory = reinterpret_cast<BOOL(WINAPI*)(const char*)>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDllDirectoryA")));
    if (setDllDirectory) setDllDirectory("");
}

// Kestane's own walk of the list, each name terminated and folded, with a
// test that matches nothing: no grid runs on the benchmark's machine.
void WalkProcessSnapshot() {
    WalkProcessList([](const win::PROCESSENTRY32&, const char*, void*) {}, nullptr);
}

void OpenServices(const grid::Edition& edition) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager) return;
    if (SC_HANDLE guard = OpenServiceA(manager, kGuardService, SERVICE_ALL_ACCESS)) CloseServiceHandle(guard);

    SC_HANDLE services[std::size(grid::kGridServices)] = {};
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        services[i] = OpenServiceA(manager, edition.services[i].name, SERVICE_ALL_ACCESS);
    for (std::size_t i = 0; i < edition.serviceCount; ++i)
        if (services[i]) CloseServiceHandle(services[i]);
    CloseServiceHandle(manager);
}

void ProbeCalls() {
    const grid::Edition& edition = grid::kMainEdition;
    for (std::size_t i = 0; i < edition.imageCount; ++i) WalkProcessSnapshot();
    OpenServices(edition);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const grid::Edition& edition = grid::kMainEdition;
    if (edition.serviceCount > std::size(grid::kGridServices) || edition.imageCount > std::size(grid::kGridImages))
        return kEditionOutgrowsTables;

    RestrictDllSearch();
    ShowBareDialog(instance, ProbeCalls);
    return 0;
}
