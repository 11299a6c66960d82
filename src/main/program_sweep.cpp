#include "sweeps.h"

void RunProgramUninstallers() {}
