#include "resident_termination.h"

void TerminateResidentGrids() {}
