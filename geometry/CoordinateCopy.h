#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "geometry/HoledPolygons.h"

class CTransformation;

// A compact copy of a content's coordinates, from which the content can be
// given back exactly those coordinates later, or exactly the coordinates that
// a transformation of them would give.
//
// A straight edge stores its start and its direction; its end is computed as
// start + direction, and that sum may differ in the last bit from the next
// edge's start. A transformation moves an edge's start and its computed end
// and sets direction = end' - start'. So the copy keeps, per ring, the start
// of edge 0 and the end of every edge, plus the start of any edge that is not
// bit for bit the end of the edge before it (a "restart"): every edge's start
// and end exactly. Transforming those points gives the transformed content bit
// for bit. The content itself also needs each edge's direction, which is
// end - start for nearly every edge; the rare edges where it is not are kept
// as exceptions. Arcs add their radius and side flags. About 16 bytes per
// vertex in all.
//
// The copy describes the structure it was taken from (holed polygons, rims,
// holes, edge counts, which edges are arcs). The restore operations write
// into the edges of a content with that same structure, and refuse any other.
class C2DCoordinateCopy {
public:
    struct CPoint {
        double x;
        double y;
    };
    // The shape of an arc edge beyond its chord.
    struct CArcShape {
        uint64_t edge;
        double radius;
        bool centreOnRight;
        bool arcOnRight;
    };
    // A straight edge (or arc chord) whose direction is not end - start.
    struct CDirection {
        uint64_t edge;
        double dx;
        double dy;
    };
    struct CRing {
        uint64_t firstPoint;
        // Edge number of the ring's edge 0 across the whole copy.
        uint64_t firstEdge;
        uint32_t edgeCount;
        int32_t type;
    };
    struct CPolygon {
        uint64_t firstRing;
        uint32_t holeCount;
        // A holed polygon may have no rim at all; then its rings are its
        // holes alone.
        bool hasRim;
    };

    // Takes the copy of content's coordinates as they are now; false (and an
    // empty copy) when memory runs out or the content is too large to count.
    // progress, when given, hears the percentage of edges copied each time
    // it changes: on a map of millions of edges the copy takes a noticeable
    // part of a second.
    bool Capture(const C2DHoledPolyBaseSet& content,
                 const std::function<void(unsigned)>& progress = {});
    void Clear();
    bool IsEmpty() const { return polygons.empty(); }

    // Whether content has the structure the copy was taken from.
    bool Fits(const C2DHoledPolyBaseSet& content) const;
    // Whether no finite point lies beyond bounds (its sides included);
    // anyFinite tells whether the copy has a finite point at all.
    bool FinitePointsWithin(const C2DRect& bounds, bool& anyFinite) const;

    // Gives content the copied coordinates: every edge's start, direction,
    // and an arc's radius and flags, bit for bit, with the rectangles of each
    // ring refreshed as a transformation refreshes them. False, with nothing
    // changed, when content does not fit.
    bool Restore(C2DHoledPolyBaseSet& content) const;
    // Gives content the coordinates that transforming the copied ones would
    // give: exactly the result of content.Transform(transformation) on the
    // copied coordinates, with each point transformed once instead of twice.
    // threads (at least 1) share the work; the transformation must then be
    // usable from several threads at once, as every CTransformation is.
    bool RestoreTransformed(C2DHoledPolyBaseSet& content, CTransformation& transformation,
                            unsigned threads = 1) const;

    std::size_t GetPolygonCount() const { return polygons.size(); }
    const CPolygon& GetPolygon(std::size_t index) const { return polygons[index]; }
    // Rings of holed polygon index: [first, end), the rim first when it has one.
    uint64_t GetEndRing(std::size_t polygon) const {
        return polygon + 1 < polygons.size() ? polygons[polygon + 1].firstRing : rings.size();
    }
    std::size_t GetRingCount() const { return rings.size(); }
    const CRing& GetRing(std::size_t index) const { return rings[index]; }
    const std::vector<CPoint>& GetPoints() const { return points; }

    // Calls visit(start, end, arc) for every edge of ring index in order,
    // with the edge's exact start and end and its arc shape (null for a
    // straight edge).
    template <typename Visitor> void VisitEdges(std::size_t index, Visitor&& visit) const;

    // Edges whose start is kept apart from the previous edge's end, and
    // edges whose direction is kept apart from end - start.
    std::size_t GetRestartCount() const { return restarts.size(); }
    std::size_t GetDirectionExceptionCount() const { return directions.size(); }
    // Bytes held, capacity included.
    std::size_t GetBytes() const;

private:
    void WriteRings(const std::vector<C2DPolyBase*>& targets, std::size_t firstRing,
                    std::size_t endRing, CTransformation* transformation) const;
    bool CollectRings(const C2DHoledPolyBaseSet& content, std::vector<C2DPolyBase*>& targets) const;
    template <typename Entry>
    static std::size_t FirstEntryAt(const std::vector<Entry>& entries, uint64_t edge);
    std::size_t FirstRestartAt(uint64_t edge) const;

    std::vector<CPoint> points;
    std::vector<CRing> rings;
    std::vector<CPolygon> polygons;
    // Edge numbers whose start is stored as a point of its own, ascending.
    std::vector<uint64_t> restarts;
    // Ascending by edge number.
    std::vector<CDirection> directions;
    std::vector<CArcShape> arcs;
};

template <typename Visitor>
void C2DCoordinateCopy::VisitEdges(std::size_t index, Visitor&& visit) const {
    const CRing& ring = rings[index];
    std::size_t restart = FirstRestartAt(ring.firstEdge);
    std::size_t arc = FirstEntryAt(arcs, ring.firstEdge);
    uint64_t point = ring.firstPoint;
    for (uint32_t k = 0; k < ring.edgeCount; ++k) {
        const uint64_t edge = ring.firstEdge + k;
        if (k != 0 && restart < restarts.size() && restarts[restart] == edge) {
            ++point;
            ++restart;
        }
        const CArcShape* shape = nullptr;
        if (arc < arcs.size() && arcs[arc].edge == edge) {
            shape = &arcs[arc++];
        }
        visit(points[point], points[point + 1], shape);
        ++point;
    }
}

template <typename Entry>
std::size_t C2DCoordinateCopy::FirstEntryAt(const std::vector<Entry>& entries, uint64_t edge) {
    std::size_t low = 0;
    std::size_t high = entries.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (entries[middle].edge < edge) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}
