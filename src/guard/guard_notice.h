// The notice Velmora prints when somebody starts it by hand.
#pragma once

// Writes the notice to standard output as CP949 bytes and flushes it. A
// console shows them as Korean whatever its own code page: it is told 949
// while the notice is written, and gets its code page back at once, before
// the program lingers (a console closed meanwhile must not keep ours).
void PrintGuardNotice();
