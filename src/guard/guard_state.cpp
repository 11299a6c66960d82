#include "guard_state.h"

std::atomic<win::SERVICE_STATUS_HANDLE> StatusHandle{nullptr};
std::atomic<win::DWORD> CurrentState{0};
std::atomic<int> SweepPaused{0};
std::atomic<win::HANDLE> ExitEvent{nullptr};
