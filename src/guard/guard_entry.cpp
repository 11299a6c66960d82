#include "guard_host.h"

int main() { return RunGuardProgram(); }
