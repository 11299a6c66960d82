#include "guard_control.h"

void ToggleGuardService() {}
void InstallGuardService() {}
void StartGuardService() {}
void RemoveGuardService() {}
