// Kestane runs as administrator from the folder it was unpacked to, most
// often Downloads, where any program of the user may drop a DLL.
#pragma once

// Makes the system folder the current folder, takes the program's folder and
// the current folder out of the DLL search order and loads, from the system
// folder, the system DLLs that Windows and the shell would otherwise look for
// there first. Runs before anything else.
void RestrictDllSearch();
