#include "app/run.h"

// The tool's own location decides everything. The Windows program ignores
// its arguments; the Linux program takes none and answers any with its
// usage, touching nothing.
int main(int argc, char** argv) {
  int status = 0;
  Platform* platform = SystemPlatform(argc, argv, &status);
  return platform ? RunQuenlit(*platform) : status;
}
