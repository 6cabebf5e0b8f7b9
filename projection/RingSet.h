#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// A point of a plane. In geographic ring sets x is the longitude and y the
// latitude, both in degrees; in projected ones they are the projection's plane
// coordinates (radians of arc on the unit sphere, or metres).
struct CPlanePoint {
    double x;
    double y;
};

// Allocates like std::allocator but leaves new elements of a trivial type
// uninitialised: arrays of millions of points are sized first and then
// filled, by several threads at once, and zeroing them first would only cost
// time (the system hands out fresh memory zeroed anyway).
template <typename T> struct CUninitialisedAllocator : std::allocator<T> {
    template <typename U> struct rebind { using other = CUninitialisedAllocator<U>; };
    CUninitialisedAllocator() = default;
    template <typename U> CUninitialisedAllocator(const CUninitialisedAllocator<U>&) {}
    template <typename U> void construct(U* place) { ::new (static_cast<void*>(place)) U; }
    template <typename U, typename... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
    }
};

using CPlanePoints = std::vector<CPlanePoint, CUninitialisedAllocator<CPlanePoint>>;

// Polygons, or polylines, as three flat arrays: compact (16 bytes per point)
// and cheap to hand between threads and libraries.
//
// Ring r holds points [ringStarts[r], ringStarts[r + 1]). Polygon p holds
// rings [polygonStarts[p], polygonStarts[p + 1]); its first ring is its rim.
// Both start arrays begin with 0 and have one entry more than they index.
// Whether a ring repeats its first point at the end is stated by whoever
// fills the set; line sets use the same layout with each "ring" an open
// polyline.
struct CRingSet {
    CPlanePoints points;
    std::vector<uint32_t> ringStarts{0};
    std::vector<uint32_t> polygonStarts{0};

    std::size_t GetPolygonCount() const { return polygonStarts.size() - 1; }
    std::size_t GetRingCount() const { return ringStarts.size() - 1; }
    std::size_t GetPointCount() const { return points.size(); }

    uint32_t GetFirstRing(std::size_t polygon) const { return polygonStarts[polygon]; }
    uint32_t GetEndRing(std::size_t polygon) const { return polygonStarts[polygon + 1]; }
    const CPlanePoint* GetRingPoints(std::size_t ring) const {
        return points.data() + ringStarts[ring];
    }
    uint32_t GetRingSize(std::size_t ring) const { return ringStarts[ring + 1] - ringStarts[ring]; }

    // Closes the ring made of the points added since the last EndRing.
    void EndRing() { ringStarts.push_back(static_cast<uint32_t>(points.size())); }
    // Closes the polygon made of the rings ended since the last EndPolygon
    // (possibly none).
    void EndPolygon() { polygonStarts.push_back(static_cast<uint32_t>(GetRingCount())); }

    void Clear() {
        points.clear();
        ringStarts.assign(1, 0);
        polygonStarts.assign(1, 0);
    }
    // Appends every polygon of other after this set's own.
    void Append(const CRingSet& other);
    // Bytes held, capacity included.
    std::size_t GetBytes() const;
};

// Twice the signed area of a ring in the y-up plane, by the shoelace sum over
// its points with the closing edge implied (a repeated first point adds
// nothing): negative when the ring runs clockwise.
double RingDoubleArea(const CPlanePoint* points, std::size_t count);

// The net area of a polygon set whose exterior rings run clockwise and whose
// holes run anticlockwise: the sum over polygons of the absolute value of
// their rings' signed areas.
double NetArea(const CRingSet& polygons);

// Bounds of the finite points of a set: false when it has none.
bool FiniteBounds(const CRingSet& set, CPlanePoint& minimum, CPlanePoint& maximum);
