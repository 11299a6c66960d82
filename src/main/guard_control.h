// Registering, starting, stopping and deleting the guard service (button 1034).
// The guard is registered from its own copy under Program Files, which turning
// it off deletes again.
#pragma once

#include "../shared/win_types.h"

void ToggleGuardService();
void InstallGuardService();
// Starts the registered guard and waits, at most 30 s, for it to run. Returns
// the state it was left in: SERVICE_RUNNING, SERVICE_STOPPED, a pending state
// when the wait ran out, or 0 when the state could not be read. A refused
// start leaves its error in *startError (0 when the start was accepted).
win::DWORD StartGuardService(win::DWORD* startError = nullptr);
void RemoveGuardService();
// At start-up, once the guard's state is shown: points a registration that
// runs anything but our verified copy at that copy, silently.
void RepairGuardRegistration(win::SC_HANDLE manager);
