// Opening the catalogue's grid services with full access.
#pragma once

#include "shared/win_types.h"

// OpenServiceA with SERVICE_ALL_ACCESS. Some grids give their service a DACL
// that denies administrators that access, so that it resists removal: such a
// service gets no handle, yet it is installed, and `refused` says so. A name
// the manager does not know leaves `refused` false.
win::SC_HANDLE OpenGridService(win::SC_HANDLE manager, const char* name, bool& refused);
