// Registering, starting, stopping and deleting the guard service (button 1034).
#pragma once

void ToggleGuardService();
void InstallGuardService();
void StartGuardService();
void RemoveGuardService();
