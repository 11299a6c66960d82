// The one walk of the process list. The start-up probe, the deep scan and the
// guard's sweep each take a snapshot per image name and test each entry in
// their own way; the snapshot, its first and next entries and its close are
// done here once.
#pragma once

#include "win_types.h"

// Called for every entry of the snapshot, with the entry's image name
// terminated and folded to lower case (grid::FoldImageName) once.
using ProcessVisit = void (*)(const win::PROCESSENTRY32& entry, const char* foldedName, void* context);

// Walks the whole snapshot, whatever the visits find. A snapshot that cannot
// be taken, or holds no first entry, visits nothing.
void WalkProcessList(ProcessVisit visit, void* context);
