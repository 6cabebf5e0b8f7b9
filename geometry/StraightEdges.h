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

// Writes the bounds of the straight edge from (sx, sy) along (dx, dy) into the
// rectangle, with the same comparisons as C2DLine::GetBounds (both corners at
// the start, then the end point included).
inline void SetLineBounds(C2DRect& rect, double sx, double sy, double dx, double dy) {
    const double ex = sx + dx;
    const double ey = sy + dy;
    double left = sx;
    double right = sx;
    double top = sy;
    double bottom = sy;
    if (right < ex) {
        right = ex;
    } else if (left > ex) {
        left = ex;
    }
    if (top < ey) {
        top = ey;
    } else if (bottom > ey) {
        bottom = ey;
    }
    rect.topLeft.x = left;
    rect.topLeft.y = top;
    rect.bottomRight.x = right;
    rect.bottomRight.y = bottom;
}

// ExpandToInclude of a rectangle, inline for the transformation loops.
inline void Include(C2DRect& into, const C2DRect& rect) {
    for (const C2DPoint* p : {&rect.topLeft, &rect.bottomRight}) {
        if (into.bottomRight.x < p->x) {
            into.bottomRight.x = p->x;
        } else if (into.topLeft.x > p->x) {
            into.topLeft.x = p->x;
        }
        if (into.topLeft.y < p->y) {
            into.topLeft.y = p->y;
        } else if (into.bottomRight.y > p->y) {
            into.bottomRight.y = p->y;
        }
    }
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
