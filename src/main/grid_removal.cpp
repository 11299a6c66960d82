#include "grid_removal.h"

void RemoveInstalledGrids() {}
