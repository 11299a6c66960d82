// Registering, starting, stopping and deleting the guard service (button 1034),
// and what the main window shows of it at start-up. The guard is registered
// from its own copy under Program Files, which turning it off deletes again.
#pragma once

#include "shared/win_types.h"

// One press of 1034: opens the service manager once and hands it on to the
// install, the start or the removal.
void ToggleGuardService();
void InstallGuardService(win::SC_HANDLE manager);
// Starts the registered guard and waits, at most 30 s, for it to run. Returns
// the state it was left in: SERVICE_RUNNING, SERVICE_STOPPED, a pending state
// when the wait ran out, or 0 when the state could not be read. A refused
// start leaves its error in *startError (0 when the start was accepted).
win::DWORD StartGuardService(win::SC_HANDLE manager, win::DWORD* startError = nullptr);
void RemoveGuardService(win::SC_HANDLE manager);

// At start-up: labels 1036 and 1034 after the state of the registered guard.
void ShowGuardState(win::SC_HANDLE manager);
// At start-up, once the guard's state is shown, silently: leaves a
// registration of the quoted copy alone while its folder passes its check;
// places our copy (guard_copy.h) and points any other registration at it,
// quoted. Where no verified copy could be placed in a folder that passed its
// check or was made fresh, only the start type is set to disabled.
void RepairGuardRegistration(win::SC_HANDLE manager);
