#pragma once

#include <memory>
#include <string>

#include "geometry/HoledPolygons.h"

// How the map commands use the process's memory.

// Makes the memory allocator take the memory for a map read from path in
// large pages. A big map is millions of small pooled objects; with ordinary
// pages, faulting their memory in costs about as much as reading the file.
// Call before anything big is allocated.
void ReserveMemoryForMap(const std::string& path);

// Memory for a map converted piece by piece. Call before anything big is
// allocated.
//  - With tcmalloc (the release build): what a record frees, large arrays
//    included, is kept and handed to whichever thread asks next, so the
//    next records reuse pages that are already backed instead of faulting
//    in fresh ones. The process then holds about the most that the records
//    in flight ever needed at once; the threads' caches of small blocks are
//    kept small so as not to add to that.
//  - With glibc's malloc (the sanitizer builds): large arrays (a record's
//    points, a ring's copied points) come from and go back to the system
//    directly, rather than being carved from the heap, where what a large
//    record freed would be left in pieces too small for the next one and
//    the heap would grow record after record.
void TuneMemoryForStreaming();

// Keeps content alive until the process ends: freeing millions of edges one
// by one at exit only costs time, and the system takes the memory back at
// once. The content stays reachable, so leak checkers do not report it.
void KeepUntilExit(std::unique_ptr<C2DHoledPolyBaseSet> content);
