// The sweeps behind buttons 1013, 1014 and 1011.
#pragma once

void RemoveShortcuts();
void RunWebhardUninstallers();
void RunProgramUninstallers();
