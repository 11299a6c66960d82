// Removal of the installed grid services (button 1001 and the deep-scan
// dialog's "모두 제거").
#pragma once

// Returns false when the service manager refused us (the user has been told);
// the outcome is in GridRemovalIncomplete and the main window's labels.
bool RemoveInstalledGrids();
