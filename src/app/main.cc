#include "app/run.h"

// The command line is never read: the tool's own location decides everything.
int main() { return RunQuenlit(SystemPlatform()); }
