// The sweeps behind buttons 1013, 1014 and 1011.
#pragma once

// False when there was no desktop user to sweep as; the user has been told.
bool RemoveShortcuts();
void RunWebhardUninstallers();
void RunProgramUninstallers();
