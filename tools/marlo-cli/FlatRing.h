#pragma once

#include <cstddef>
#include <vector>

#include "geometry/FlatRings.h"
#include "mapfiles/RingPoints.h"
#include "tools/marlo-cli/MapConversion.h"

// A ring of straight edges as plain numbers: per edge its start and its
// direction, exactly as C2DLine holds them, and the ring's bounding
// rectangle. PrepareFlatRing takes it down PrepareRing's road with the same
// arithmetic, step for step, as the ring's edge objects would, so that the
// points it gives are the bits PrepareRing then TakeRingPoints would give;
// the objects can be let go as soon as their numbers are copied. The tests
// compare whole conversions both ways byte for byte.

// Copies the ring's edges when every one is straight (C2DLine); false, with
// nothing added, otherwise.
bool AppendFlatRing(const C2DPolyBase& ring, std::vector<CFlatEdge>& edges, double (&bounds)[4]);

// Makes the ring clockwise, rotates and projects it as transformations say,
// and writes its points (with the edge ends when withEnds) into out, whose
// vectors must already have room for them: nothing but room (a thread's own
// scratch, grown as needed) is allocated, so any thread may do it. bounds is
// (left, top, right, bottom), as C2DRect keeps them.
void PrepareFlatRing(CFlatEdge* edges, std::size_t count, const double (&bounds)[4],
                     const CMapTransformations& transformations, bool withEnds, CRingPoints& out,
                     std::vector<unsigned char>& room);
