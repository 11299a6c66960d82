// Entry point of Kestane.exe. The C runtime's start-up calls WinMain by its C
// name; the seam's handle types have the platform's, so no <windows.h> here.
#include "main_window.h"

extern "C" int WIN_CALLBACK WinMain(win::HINSTANCE instance, win::HINSTANCE, char*, int) {
    return RunMainWindow(instance);
}
