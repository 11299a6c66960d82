// Start-up probes: which grid programs are resident, which grid services are
// installed.
#pragma once

// One pass over the running processes; sets ResidentGridFound on a match.
void FindGridProcess(const char* imageName);
// FindGridProcess for every image of the catalogue, one snapshot each.
void ProbeResidentGrids();
// Tries every catalogue service and reports a find in labels 1008 and 1004.
void ProbeInstalledGrids();
