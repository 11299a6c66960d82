// The guard program's frame: the entry point that hands the process to the
// Service Control Manager, the service main function and the control handler.
#pragma once

#include "shared/win_types.h"

// The body of main: runs the service dispatcher, then prints the notice for
// whoever started the program by hand and lingers ten seconds. Returns 0.
int RunGuardProgram();

void WIN_CALLBACK GuardServiceMain(win::DWORD argc, char** argv);
void WIN_CALLBACK GuardControlHandler(win::DWORD control);

// Sets CurrentState and reports it with the fixed fields of every report.
void ReportStatus(win::DWORD state, win::DWORD controlsAccepted, win::DWORD win32ExitCode = 0);
