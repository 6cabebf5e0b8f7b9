#pragma once

// The arithmetic of the straight-edge polygon tests, shared by the edge
// objects (C2DPolyBase) and by rings held as plain numbers (CFlatRing): both
// must give the same answer to the bit, so both use these.

#include "geometry/Lines.h"
#include "geometry/Polygons.h"
#include "geometry/Sets.h"

// Every edge number of a ring of count edges, in order, for the loops that
// take either all edges or a chosen few. (std::views::iota would do, but
// clang 14 cannot compile it against libstdc++ 12, and the fuzz targets are
// built with clang.)
class CAllEdges {
public:
    struct CIterator {
        unsigned value;
        unsigned operator*() const { return value; }
        CIterator& operator++() {
            ++value;
            return *this;
        }
        bool operator!=(const CIterator& other) const { return value != other.value; }
    };

    explicit CAllEdges(unsigned count) : count(count) {}
    CIterator begin() const { return CIterator{0}; }
    CIterator end() const { return CIterator{count}; }

private:
    unsigned count;
};

// C2DRect::ExpandToInclude of a point: each coordinate compared with the far
// side first, then the near one.
inline void IncludePoint(CEdgeBox& into, double x, double y) {
    if (into.right < x) {
        into.right = x;
    } else if (into.left > x) {
        into.left = x;
    }
    if (into.top < y) {
        into.top = y;
    } else if (into.bottom > y) {
        into.bottom = y;
    }
}

// C2DRect::ExpandToInclude of another rectangle: its two corners taken in, in
// that order.
inline void Include(CEdgeBox& into, const CEdgeBox& box) {
    IncludePoint(into, box.left, box.top);
    IncludePoint(into, box.right, box.bottom);
}

inline CEdgeBox BoxOf(const C2DRect& rect) {
    return CEdgeBox{rect.topLeft.x, rect.topLeft.y, rect.bottomRight.x, rect.bottomRight.y};
}

inline void SetRect(C2DRect& rect, const CEdgeBox& box) {
    rect.topLeft.x = box.left;
    rect.topLeft.y = box.top;
    rect.bottomRight.x = box.right;
    rect.bottomRight.y = box.bottom;
}

// EdgeBoxOf written into a rectangle.
inline void SetLineBounds(C2DRect& rect, double sx, double sy, double dx, double dy) {
    SetRect(rect, EdgeBoxOf(sx, sy, dx, dy));
}

// Include for rectangles, inline for the transformation loops.
inline void Include(C2DRect& into, const C2DRect& rect) {
    CEdgeBox box = BoxOf(into);
    Include(box, BoxOf(rect));
    SetRect(into, box);
}

// Whether the point lies in the rectangle, its sides included.
inline bool LiesInRect(const C2DPoint& point, const C2DRect& rect) {
    return rect.topLeft.x <= point.x && point.x <= rect.bottomRight.x &&
           rect.bottomRight.y <= point.y && point.y <= rect.topLeft.y;
}

// The probe ray from the point: across the ring's whole width, rising by
// ProbeRise so that it never runs along a horizontal edge.
inline C2DLine ProbeRay(const C2DPoint& point, const C2DRect& ringBounds) {
    return C2DLine(
        point, C2DOffset(ringBounds.bottomRight.x - ringBounds.topLeft.x, C2DPolyBase::ProbeRise));
}

// The verdict of the probe ray from its crossings with the boundary: inside
// for an odd count, or when the nearest crossing is the point itself (on the
// boundary). Sorts crossings by distance.
bool ProbeSaysInside(const C2DPoint& point, bool crosses, C2DPointSet& crossings);
