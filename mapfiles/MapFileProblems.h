#pragma once

#include "mapfiles/MapFiles.h"

// Filling in the optional error out-parameter of the readers and writers.
// Each does nothing when error is null, and keeps the first problem reported.

void ReportProblem(CMapFileError* error, MapFileProblem problem);
// A file that could not be opened for reading: missing, or another reason.
void ReportOpenFailure(CMapFileError* error, int systemError);
// A file that could not be created or written: a full disk, or another reason.
void ReportWriteFailure(CMapFileError* error, int systemError);
