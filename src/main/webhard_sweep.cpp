#include "sweeps.h"

void RunWebhardUninstallers() {}
