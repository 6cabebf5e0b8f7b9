#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "geometry/Base.h"
#include "geometry/Lines.h"

// A straight edge as plain numbers: its start and its direction, exactly as
// C2DLine holds them.
struct CFlatEdge {
    double x;
    double y;
    double dx;
    double dy;
};

// A ring of straight edges held as plain numbers: what C2DPolygon::Create
// makes of the same points (the edges and the ring's bounding rectangle;
// an edge's rectangle is worked out when asked for, with the same
// arithmetic) without an object per edge. A map of millions of
// edges is read far faster this way where no objects are wanted.
//
// Its tests answer as C2DPolyBase's answer for that polygon, to the bit:
// they take the same steps with the same arithmetic (StraightEdges.h, and
// C2DLine's own crossing test on an edge made on the stack).
//
// The ring refers to edges kept by a CFlatRingStore.
class CFlatRing {
public:
    const CFlatEdge* edges = nullptr;
    unsigned count = 0;
    C2DRect bounds;

    unsigned GetLineCount() const { return count; }
    unsigned GetLineRectCount() const { return count; }
    const C2DRect& GetBoundingRect() const { return bounds; }
    C2DRect GetLineRect(unsigned i) const;
    // Edge i as a line object of its own.
    C2DLine GetLine(unsigned i) const {
        const CFlatEdge& e = edges[i];
        return C2DLine(C2DPoint(e.x, e.y), C2DOffset(e.dx, e.dy));
    }

    // As C2DPolyBase::Contains, over every edge or over the given ones.
    bool Contains(const C2DPoint& point) const;
    bool Contains(const C2DPoint& point, std::span<const unsigned> edgeNumbers) const;
    C2DRect GetProbeBounds(const C2DPoint& point) const;
    // As C2DPolyBase::Crosses: whether any edge (of all, or of the given
    // ones) crosses the line; whether any edge crosses any of other's.
    bool Crosses(const C2DLine& line) const;
    bool Crosses(const C2DLine& line, std::span<const unsigned> edgeNumbers) const;
    bool Crosses(const CFlatRing& other) const;
    // As C2DPolyBase::IsWithin.
    bool IsWithin(const CFlatRing& other) const;

private:
    template <typename EdgeNumbers>
    bool ContainsAmong(const C2DPoint& point, const EdgeNumbers& edgeNumbers) const;
    template <typename EdgeNumbers>
    bool CrossesAnyAmong(const C2DLine& line, const EdgeNumbers& edgeNumbers) const;
};

// The edges of flat rings made one after another. Room for
// them all is reserved first, so that the rings made earlier stay where
// they are.
class CFlatRingStore {
public:
    // Room for this many edges in all; what was made before is dropped.
    void Reset(std::size_t edgeCount);
    // Makes a ring of count points (x, y pairs) as C2DPolygon::Create does:
    // edge k from point k to point k + 1, the last back to point 0. With
    // backwards, the points are taken last first. False, with nothing made,
    // when the room reserved is used up.
    bool Add(const double* points, unsigned count, bool backwards, CFlatRing& ring);
    // The same with the ring's edges placed from edge firstEdge of the room,
    // leaving the count of edges made as it is: several threads may make
    // rings at once this way, each in places of its own. Add is not to be
    // used on the same room then.
    bool AddAt(std::size_t firstEdge, const double* points, unsigned count, bool backwards,
               CFlatRing& ring);
    // The start of the room; Add makes its rings in order from there.
    CFlatEdge* GetEdges() { return edges.get(); }
    // Lets the room go.
    void Release();

private:
    // Left uninitialised until rings are made in it.
    std::unique_ptr<CFlatEdge[]> edges;
    std::size_t capacity = 0;
    std::size_t size = 0;
};

// C2DPolygon::GetArea of the polygon made from count points: positive when
// they run anticlockwise (y up).
double AreaOfPoints(const double* points, unsigned count);
