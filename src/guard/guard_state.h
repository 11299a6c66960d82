// State shared by the two threads of the guard program: the control handler
// runs on the dispatcher thread, the guard loop on the service thread. Each
// variable is written on one of them and read on the other, so each is atomic;
// none needs a lock because no two of them must change together.
#pragma once

#include <atomic>

#include "shared/win_types.h"

// Status handle returned by the handler registration; every report goes to it.
extern std::atomic<win::SERVICE_STATUS_HANDLE> StatusHandle;
// dwCurrentState of the most recent report; the answer to an interrogation.
extern std::atomic<win::DWORD> CurrentState;
// 1 while the service is paused: the loop skips its sweeps but keeps waiting.
extern std::atomic<int> SweepPaused;
// Manual-reset event "velmoraexit": signalled by a stop request, and stays so.
extern std::atomic<win::HANDLE> ExitEvent;
