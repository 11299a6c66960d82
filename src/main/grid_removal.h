// Removal of the installed grid services (button 1001 and the deep-scan
// dialog's "모두 제거").
#pragma once

void RemoveInstalledGrids();
