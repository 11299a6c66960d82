// Stand-in for a resident grid program: the driver copies it under a grid
// image name (PINOMATE.EXE, bigfilesearch.exe, ...) and starts it. It does
// nothing but wait, forever or for the milliseconds given as its argument.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    DWORD milliseconds = INFINITE;
    if (argc > 1) milliseconds = static_cast<DWORD>(wcstoul(argv[1], nullptr, 10));
    Sleep(milliseconds);
    return 0;
}
