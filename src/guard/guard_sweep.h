// The guard's work: every ten seconds, unless paused, end the grid programs
// and stop, disable and delete the grid services of the guard's catalogue.
#pragma once

// Runs on the service thread until a stop request signals the exit event.
void RunGuardLoop();

void SweepGridProcesses();
// Ends every running process with this image name that can be ended.
void TerminateGridProcess(const char* imageName);
void SweepGridServices();
