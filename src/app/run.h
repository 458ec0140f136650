#pragma once

#include "platform/platform.h"

// One whole run of the tool on the given platform; returns the exit status:
// 0 after every orderly end, 1 after the last-resort error report.
int RunQuenlit(Platform& platform);
