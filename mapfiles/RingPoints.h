#pragma once

#include <cstdint>
#include <vector>

#include "geometry/HoledPolygons.h"

// A ring as the writers take it: the coordinates they write, copied out of
// the edge objects. A holed polygon's edges cost some 200 bytes per vertex;
// these copies cost 16 (32 with the ends), so a conversion can let go of the
// objects as soon as a ring is prepared and still write exactly what writing
// the objects would.

// A vertex as plain numbers (C2DPoint carries a virtual table).
struct CPointXY {
    double x = 0.0;
    double y = 0.0;
};

// The shape of an arc edge beyond its chord.
struct CArcPoints {
    unsigned edge = 0;
    double radius = 0.0;
    bool centreOnRight = false;
    bool arcOnRight = false;
};

struct CRingPoints {
    // Every edge's start, in edge order.
    std::vector<CPointXY> starts;
    // Every edge's end (start + direction, which may differ in the last bit
    // from the next edge's start); only taken when a writer needs it.
    std::vector<CPointXY> ends;
    // The arc edges, in edge order.
    std::vector<CArcPoints> arcs;
    // The ring's bounding rectangle (four numbers: the largest records hold
    // hundreds of thousands of rings, and C2DRect's corners carry a virtual
    // table each).
    CEdgeBox bounds{};

    unsigned GetEdgeCount() const { return static_cast<unsigned>(starts.size()); }
    // The arc data of edge k, or null for a straight edge; arcs are visited in
    // order through nextArc, which starts at 0 for each ring.
    const CArcPoints* ArcAt(unsigned edge, std::size_t& nextArc) const;
};

struct CHoledPolygonPoints {
    bool hasRim = false;
    CRingPoints rim;
    std::vector<CRingPoints> holes;
};

// Copies what the writers need of a ring; withEnds also takes every edge's
// end (the text map's version 2 writes them).
void TakeRingPoints(const C2DPolyBase& ring, bool withEnds, CRingPoints& points);
void TakeHoledPolygonPoints(const C2DHoledPolyBase& holedPolygon, bool withEnds,
                            CHoledPolygonPoints& points);

// Whether the element is a holed polygon of any kind.
bool IsHoledPolygon(const C2DBase& element);
