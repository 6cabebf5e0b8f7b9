#pragma once

#include <cstdint>
#include <vector>

#include "projection/RingSet.h"

// Even-odd test of a point against a closed ring of count points (the last
// repeating the first): a horizontal ray from the point to the right crosses
// the edges whose y range holds the point's y.
bool RingContains(const CPlanePoint* ring, uint32_t count, const CPlanePoint& point);

// RingContains for many points against one ring of many points, with the
// same answer to the bit. Only an edge whose y range holds the point's y
// (one end above it, the other not) can count, so the edges are listed in
// horizontal bands by their y ranges and a point tests only the edges of its
// bands, with RingContains' own arithmetic; the answer is the parity of the
// crossings, which does not depend on their order. As for the hole
// assigner's index, there are a few levels of bands, each coarser than the
// one before, and an edge is listed at the finest level where it spans only
// a few bands: a clipped coastline has many short edges and some long ones
// (a straight border, a cut along the horizon). An edge with a NaN y is kept
// in a list that every point tests. The ring must stay alive and unchanged
// while the index is used.
class CRingCrossings {
public:
    CRingCrossings(const CPlanePoint* ring, uint32_t count);

    bool Contains(const CPlanePoint& point) const;

private:
    // Bands of equal height over the ring's finite y range; a y beyond it
    // falls in the first or last band, which keeps Band monotone.
    struct CLevel {
        unsigned bandCount;
        double scale;
        // The edges of band b are edges[bandStart[b] .. bandStart[b + 1]);
        // edge i runs from point i to point i - 1 (edge 0 from point 0 to
        // the last).
        std::vector<uint32_t> bandStart;
        std::vector<uint32_t> edges;
    };

    unsigned Band(const CLevel& level, double y) const;
    bool Crosses(uint32_t edge, const CPlanePoint& point) const;

    const CPlanePoint* ring;
    uint32_t count;
    double origin = 0.0;
    std::vector<CLevel> levels;
    std::vector<uint32_t> testedByAll;
};
