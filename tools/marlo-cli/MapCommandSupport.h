#pragma once

// Shared pieces of the map file commands (info, convert, render): option
// parsing, the terminal progress bar, the viewer's road of a map (read, make
// clockwise, rotate, project, write) and the process's memory tuning.

#include "tools/marlo-cli/MapCommandOptions.h"
#include "tools/marlo-cli/MapConversion.h"
#include "tools/marlo-cli/MemoryTuning.h"
#include "tools/marlo-cli/TerminalProgress.h"
