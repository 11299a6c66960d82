// Ending the resident grid programs before their services are removed.
#pragma once

void TerminateResidentGrids();
