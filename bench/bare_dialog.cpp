// Baseline for the start-up benchmark: the main window's own template and
// icon, and nothing else.
#include "bare_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ShowBareDialog(instance);
    return 0;
}
