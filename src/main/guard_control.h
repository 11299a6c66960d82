// Registering, starting, stopping and deleting the guard service (button 1034).
#pragma once

#include "../shared/win_types.h"

void ToggleGuardService();
void InstallGuardService();
// Starts the registered guard and waits, at most 30 s, for it to run. Returns
// the state it was left in: SERVICE_RUNNING, SERVICE_STOPPED, a pending state
// when the wait ran out, or 0 when the state could not be read.
win::DWORD StartGuardService();
void RemoveGuardService();
