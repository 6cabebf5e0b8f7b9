#include "geometry/FlatRings.h"

#include "geometry/Sets.h"
#include "geometry/StraightEdges.h"

C2DRect CFlatRing::GetLineRect(unsigned i) const {
    const CFlatEdge& e = edges[i];
    C2DRect rect;
    SetLineBounds(rect, e.x, e.y, e.dx, e.dy);
    return rect;
}

template <typename EdgeNumbers>
bool CFlatRing::ContainsAmong(const C2DPoint& point, const EdgeNumbers& edgeNumbers) const {
    if (!LiesInRect(point, bounds)) {
        return false;
    }
    const C2DLine probe = ProbeRay(point, bounds);
    C2DRect probeBounds;
    probe.GetBounds(probeBounds);
    C2DPointSet crossings;
    bool crosses = false;
    if (bounds.Overlaps(probeBounds)) {
        for (const unsigned i : edgeNumbers) {
            if (GetLineRect(i).Overlaps(probeBounds) && GetLine(i).CrossesLine(probe, &crossings)) {
                crosses = true;
            }
        }
    }
    return ProbeSaysInside(point, crosses, crossings);
}

template <typename EdgeNumbers>
bool CFlatRing::CrossesAnyAmong(const C2DLine& line, const EdgeNumbers& edgeNumbers) const {
    C2DRect lineBounds;
    line.GetBounds(lineBounds);
    for (const unsigned i : edgeNumbers) {
        if (GetLineRect(i).Overlaps(lineBounds) && GetLine(i).CrossesLine(line, nullptr)) {
            return true;
        }
    }
    return false;
}

bool CFlatRing::Contains(const C2DPoint& point) const {
    return ContainsAmong(point, CAllEdges(count));
}

bool CFlatRing::Contains(const C2DPoint& point, std::span<const unsigned> edgeNumbers) const {
    return ContainsAmong(point, edgeNumbers);
}

C2DRect CFlatRing::GetProbeBounds(const C2DPoint& point) const {
    C2DRect probeBounds;
    ProbeRay(point, bounds).GetBounds(probeBounds);
    return probeBounds;
}

bool CFlatRing::Crosses(const C2DLine& line) const {
    return CrossesAnyAmong(line, CAllEdges(count));
}

bool CFlatRing::Crosses(const C2DLine& line, std::span<const unsigned> edgeNumbers) const {
    return CrossesAnyAmong(line, edgeNumbers);
}

bool CFlatRing::Crosses(const CFlatRing& other) const {
    if (!other.bounds.Overlaps(bounds)) {
        return false;
    }
    for (unsigned i = 0; i < other.count; ++i) {
        if (Crosses(other.GetLine(i))) {
            return true;
        }
    }
    return false;
}

bool CFlatRing::IsWithin(const CFlatRing& other) const {
    if (count == 0) {
        return false;
    }
    if (!bounds.LiesStrictlyInside(other.bounds)) {
        return false;
    }
    if (!other.Contains(C2DPoint(edges[0].x, edges[0].y))) {
        return false;
    }
    return !Crosses(other);
}

void CFlatRingStore::Reset(std::size_t edgeCount) {
    size = 0;
    if (edgeCount > capacity) {
        edges.reset();
        capacity = 0;
        edges = std::make_unique_for_overwrite<CFlatEdge[]>(edgeCount);
        capacity = edgeCount;
    }
}

void CFlatRingStore::Release() {
    edges.reset();
    capacity = 0;
    size = 0;
}

bool CFlatRingStore::Add(const double* points, unsigned count, bool backwards, CFlatRing& ring) {
    if (!AddAt(size, points, count, backwards, ring)) {
        return false;
    }
    size += count;
    return true;
}

bool CFlatRingStore::AddAt(std::size_t firstEdge, const double* points, unsigned count,
                           bool backwards, CFlatRing& ring) {
    if (firstEdge > capacity || capacity - firstEdge < count) {
        return false;
    }
    CFlatEdge* ringEdges = edges.get() + firstEdge;
    const auto point = [&](unsigned k) { return points + 2 * (backwards ? count - 1 - k : k); };
    // The bounds grow in a local: kept in the ring, they would be stored and
    // loaded again at every edge, since the edges written might overlap them.
    CEdgeBox bounds{};
    for (unsigned i = 0; i < count; ++i) {
        const double* here = point(i);
        const double* next = point(i + 1 == count ? 0 : i + 1);
        const double x = here[0];
        const double y = here[1];
        const double dx = next[0] - x;
        const double dy = next[1] - y;
        ringEdges[i] = CFlatEdge{x, y, dx, dy};
        const CEdgeBox box = EdgeBoxOf(x, y, dx, dy);
        if (i == 0) {
            bounds = box;
        } else {
            Include(bounds, box);
        }
    }
    if (count == 0) {
        ring.bounds.Clear();
    } else {
        ring.bounds.Set(bounds.left, bounds.top, bounds.right, bounds.bottom);
    }
    ring.edges = ringEdges;
    ring.count = count;
    return true;
}

double AreaOfPoints(const double* points, unsigned count) {
    if (count == 0) {
        return 0.0;
    }
    double previousX = points[0];
    double previousY = points[1];
    double sum = 0.0;
    for (unsigned i = 1; i <= count; ++i) {
        const double x = i == count ? points[0] : points[2 * i];
        const double y = i == count ? points[1] : points[2 * i + 1];
        sum += previousX * y - x * previousY;
        previousX = x;
        previousY = y;
    }
    return 0.5 * sum;
}
