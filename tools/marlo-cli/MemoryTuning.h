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

// Keeps content alive until the process ends: freeing millions of edges one
// by one at exit only costs time, and the system takes the memory back at
// once. The content stays reachable, so leak checkers do not report it.
void KeepUntilExit(std::unique_ptr<C2DHoledPolyBaseSet> content);
