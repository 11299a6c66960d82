#include "sweeps.h"

void RemoveShortcuts() {}
