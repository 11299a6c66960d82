// Entry point of Kestane.exe.
#include <windows.h>

#include "main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return RunMainWindow(reinterpret_cast<win::HINSTANCE>(instance));
}
