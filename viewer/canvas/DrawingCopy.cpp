#include "viewer/canvas/MapDrawing.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace {

inline void ExpandBox(CDrawingCopy::CBox& box, const CDrawingCopy::CPoint& point) {
    box.left = std::min(box.left, point.x);
    box.right = std::max(box.right, point.x);
    box.bottom = std::min(box.bottom, point.y);
    box.top = std::max(box.top, point.y);
}

CDrawingCopy::CBox BoxOf(const CDrawingCopy::CPoint* points, std::size_t count) {
    CDrawingCopy::CBox box{points[0].x, points[0].y, points[0].x, points[0].y};
    for (std::size_t i = 1; i < count; ++i) {
        ExpandBox(box, points[i]);
    }
    return box;
}

// Appends the copied points of a polygon's straight edges, and their
// restarts as a list ended by a 0; false (with points and restarts as they
// were) when a vertex is not finite.
bool CopyEdges(const C2DPolygon& ring, CDrawingCopy& copy) {
    const std::size_t firstPoint = copy.points.size();
    const std::size_t firstRestart = copy.restarts.size();
    const std::span<const C2DBase* const> edges = ring.GetEdges();
    const unsigned edgeCount = ring.GetLineCount();
    for (unsigned i = 0; i < edgeCount; ++i) {
        if (i + PrefetchDistance < edgeCount) {
            __builtin_prefetch(&C2DPolygon::AsLine(edges[i + PrefetchDistance]).start);
        }
        const C2DLine& line = C2DPolygon::AsLine(edges[i]);
        // Drawing compares each edge's own start and end; one point can stand
        // for an end and the next start only when they are the same number.
        if (i == 0 || line.start.x != copy.points.back().x ||
            line.start.y != copy.points.back().y) {
            if (i != 0) {
                copy.restarts.push_back(static_cast<uint32_t>(copy.points.size() - firstPoint));
            }
            copy.points.push_back({line.start.x, line.start.y});
        }
        copy.points.push_back({line.start.x + line.direction.dx, line.start.y + line.direction.dy});
    }
    for (std::size_t i = firstPoint; i < copy.points.size(); ++i) {
        if (!std::isfinite(copy.points[i].x) || !std::isfinite(copy.points[i].y)) {
            copy.points.resize(firstPoint);
            copy.restarts.resize(firstRestart);
            return false;
        }
    }
    if (copy.restarts.size() != firstRestart) {
        copy.restarts.push_back(0);
    }
    return true;
}

// Appends the copy of one ring, or a record that sends its drawing to the
// ring's edges.
void CopyRing(const C2DPolyBase* ring, CDrawingCopy& copy) {
    CDrawingCopy::CRing copied{{0.0, 0.0, 0.0, 0.0},
                               static_cast<uint32_t>(copy.points.size()),
                               0,
                               0,
                               static_cast<uint32_t>(copy.runs.size())};
    const std::size_t restartsBefore = copy.restarts.size();
    if (ring != nullptr && ring->GetLineCount() != 0 && ring->GetType() == GeometryType::Polygon &&
        CopyEdges(static_cast<const C2DPolygon&>(*ring), copy)) {
        if (copy.restarts.size() != restartsBefore) {
            copied.firstRestart = static_cast<uint32_t>(restartsBefore);
        }
        const CDrawingCopy::CPoint* points = copy.points.data() + copied.firstPoint;
        copied.pointCount = static_cast<uint32_t>(copy.points.size() - copied.firstPoint);
        copied.bounds = BoxOf(points, copied.pointCount);
        constexpr unsigned RunLength = CDrawingCopy::RunLength;
        for (uint32_t first = 0; first + RunLength < copied.pointCount; first += RunLength) {
            copy.runs.push_back(BoxOf(points + first, RunLength + 1));
        }
    }
    copy.rings.push_back(copied);
}

} // namespace

std::unique_ptr<CDrawingCopy> MakeDrawingCopy(const C2DHoledPolyBaseSet& content) {
    auto copy = std::make_unique<CDrawingCopy>();
    copy->content = &content;
    std::size_t ringCount = 0;
    std::size_t edgeCount = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holedPolygon = content.GetAt(i);
        const C2DPolyBase* rim = holedPolygon->GetRim();
        ringCount += 1 + holedPolygon->GetHoleCount();
        edgeCount += rim == nullptr ? 0 : rim->GetLineCount() + 1;
        for (unsigned h = 0; h < holedPolygon->GetHoleCount(); ++h) {
            edgeCount += holedPolygon->GetHole(h)->GetLineCount() + 1;
        }
    }
    // Points are counted in 32 bits, and a ring may need up to two per edge; a
    // content beyond that is drawn from its edges (it would not fit in memory
    // as edge objects anyway).
    if (edgeCount >= std::numeric_limits<uint32_t>::max() / 2) {
        return nullptr;
    }
    copy->polygons.reserve(content.GetSize());
    copy->rings.reserve(ringCount);
    // The empty list of restarts, which every ring without restarts refers to.
    copy->restarts.push_back(0);
    // Restarts add a point each; they are rare.
    copy->points.reserve(edgeCount + edgeCount / 256 + 64);
    copy->runs.reserve(edgeCount / CDrawingCopy::RunLength);
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holedPolygon = content.GetAt(i);
        const C2DPolyBase* rim = holedPolygon->GetRim();
        CDrawingCopy::CPolygon polygon{C2DRect(), copy->rings.size(),
                                       1 + holedPolygon->GetHoleCount(),
                                       rim == nullptr ? 0 : rim->GetLineCount()};
        if (rim != nullptr) {
            rim->GetBounds(polygon.rimBounds);
        }
        copy->polygons.push_back(polygon);
        CopyRing(rim, *copy);
        for (unsigned h = 0; h < holedPolygon->GetHoleCount(); ++h) {
            CopyRing(holedPolygon->GetHole(h), *copy);
        }
    }
    return copy;
}

namespace {

// The record of one ring of a ring set's copy: its points are already in
// place, from firstPoint on; pointCount 0 leaves the ring undrawn.
CDrawingCopy::CRing RingSetRing(CDrawingCopy& copy, uint32_t firstPoint, uint32_t pointCount) {
    // Its edges join end to start exactly: there are no restarts.
    CDrawingCopy::CRing ring{
        {0.0, 0.0, 0.0, 0.0}, firstPoint, 0, 0, static_cast<uint32_t>(copy.runs.size())};
    const CDrawingCopy::CPoint* points = copy.ringSetPoints.data() + firstPoint;
    if (pointCount < 2) {
        return ring;
    }
    for (uint32_t i = 0; i < pointCount; ++i) {
        if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) {
            return ring;
        }
    }
    ring.pointCount = pointCount;
    ring.bounds = BoxOf(points, pointCount);
    constexpr unsigned RunLength = CDrawingCopy::RunLength;
    for (uint32_t first = 0; first + RunLength < pointCount; first += RunLength) {
        copy.runs.push_back(BoxOf(points + first, RunLength + 1));
    }
    return ring;
}

} // namespace

std::unique_ptr<CDrawingCopy> MakeRingSetCopy(CRingSet&& set) {
    auto copy = std::make_unique<CDrawingCopy>();
    copy->ringSetPoints = std::move(set.points);
    copy->polygons.reserve(set.GetPolygonCount());
    copy->rings.reserve(set.GetRingCount());
    copy->restarts.push_back(0);
    copy->runs.reserve(copy->ringSetPoints.size() / CDrawingCopy::RunLength + 1);
    for (std::size_t p = 0; p < set.GetPolygonCount(); ++p) {
        const uint32_t firstRing = set.GetFirstRing(p);
        const uint32_t endRing = set.GetEndRing(p);
        CDrawingCopy::CPolygon polygon{C2DRect(), copy->rings.size(), endRing - firstRing, 0};
        for (uint32_t r = firstRing; r < endRing; ++r) {
            copy->rings.push_back(RingSetRing(*copy, set.ringStarts[r], set.GetRingSize(r)));
        }
        const CDrawingCopy::CRing* rim =
            polygon.ringCount != 0 ? &copy->rings[polygon.firstRing] : nullptr;
        if (rim != nullptr && rim->pointCount != 0) {
            // A closed ring of n + 1 points has n edges.
            polygon.rimEdgeCount = rim->pointCount - 1;
            polygon.rimBounds =
                C2DRect(rim->bounds.left, rim->bounds.top, rim->bounds.right, rim->bounds.bottom);
        }
        copy->polygons.push_back(polygon);
    }
    set.Clear();
    return copy;
}
