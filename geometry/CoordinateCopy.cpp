#include "geometry/CoordinateCopy.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <system_error>
#include <thread>

#include "geometry/Shares.h"
#include "projection/Transformation.h"

namespace {

// Progress is looked at after this many edges of a ring.
constexpr unsigned ProgressEdges = 1u << 15;

// Points transformed together when the copy is written back transformed.
constexpr uint64_t TransformWindow = 256;
static_assert(sizeof(C2DCoordinateCopy::CPoint) == 2 * sizeof(double));

// Bit-for-bit equality: 0.0 and -0.0 differ, and so may two NaNs.
inline bool SameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// The defining straight line of an edge: the edge itself, or an arc's chord.
// Null for anything that is neither.
C2DLine* DefiningLine(C2DLineBase* edge) {
    if (edge->GetType() == GeometryType::Line) {
        return static_cast<C2DLine*>(edge);
    }
    if (edge->GetType() == GeometryType::Arc) {
        return &static_cast<C2DArc*>(edge)->chord;
    }
    return nullptr;
}

// Calls visit(ring) for every ring of content in copy order: per holed
// polygon its rim (when it has one), then its holes.
template <typename Visitor> void ForEachRing(const C2DHoledPolyBaseSet& content, Visitor&& visit) {
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = content.GetAt(i);
        if (holed->GetRim() != nullptr) {
            visit(*holed->GetRim());
        }
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            visit(*holed->GetHole(h));
        }
    }
}

} // namespace

void C2DCoordinateCopy::Clear() {
    // Swapping with empty vectors hands the memory back, which clear() would
    // keep.
    std::vector<CPoint>().swap(points);
    std::vector<CRing>().swap(rings);
    std::vector<CPolygon>().swap(polygons);
    std::vector<uint64_t>().swap(restarts);
    std::vector<CDirection>().swap(directions);
    std::vector<CArcShape>().swap(arcs);
}

bool C2DCoordinateCopy::Capture(const C2DHoledPolyBaseSet& content,
                                const std::function<void(unsigned)>& progress) {
    Clear();
    std::size_t ringCount = 0;
    std::size_t edgeCount = 0;
    ForEachRing(content, [&](const C2DPolyBase& ring) {
        ++ringCount;
        edgeCount += ring.GetLineCount();
    });
    try {
        polygons.reserve(content.GetSize());
        rings.reserve(ringCount);
        // One point per edge and one per ring; restarts are rare.
        points.reserve(edgeCount + ringCount + edgeCount / 1024);
        uint64_t edgeNumber = 0;
        unsigned reported = 0;
        bool understood = true;
        // By the share of edges copied, between polygons and within the
        // rings of a large one (a country of a detailed map can hold a
        // sixth of its edges).
        const auto report = [&] {
            if (progress && edgeCount != 0) {
                const auto percent = static_cast<unsigned>(edgeNumber * 100 / edgeCount);
                if (percent != reported) {
                    progress(percent);
                    reported = percent;
                }
            }
        };
        for (unsigned i = 0; i < content.GetSize() && understood; ++i) {
            report();
            const C2DHoledPolyBase* holed = content.GetAt(i);
            polygons.push_back(
                CPolygon{rings.size(), holed->GetHoleCount(), holed->GetRim() != nullptr});
            const auto copyRing = [&](const C2DPolyBase& ring) {
                rings.push_back(
                    CRing{points.size(), edgeNumber, ring.GetLineCount(), ring.GetType()});
                for (unsigned k = 0; k < ring.GetLineCount(); ++k, ++edgeNumber) {
                    if (k % ProgressEdges == ProgressEdges - 1) {
                        report();
                    }
                    C2DLineBase* edge = ring.GetLine(k);
                    const C2DLine* line = DefiningLine(edge);
                    if (line == nullptr) {
                        understood = false;
                        return;
                    }
                    if (edge->GetType() == GeometryType::Arc) {
                        const auto* arc = static_cast<const C2DArc*>(edge);
                        arcs.push_back(CArcShape{edgeNumber, arc->radius, arc->centreOnRight,
                                                 arc->arcOnRight});
                    }
                    const CPoint start{line->start.x, line->start.y};
                    // The end exactly as C2DLine::GetEnd computes it.
                    const CPoint end{line->start.x + line->direction.dx,
                                     line->start.y + line->direction.dy};
                    if (k == 0) {
                        points.push_back(start);
                    } else if (!SameBits(start.x, points.back().x) ||
                               !SameBits(start.y, points.back().y)) {
                        restarts.push_back(edgeNumber);
                        points.push_back(start);
                    }
                    points.push_back(end);
                    if (!SameBits(end.x - start.x, line->direction.dx) ||
                        !SameBits(end.y - start.y, line->direction.dy)) {
                        directions.push_back(
                            CDirection{edgeNumber, line->direction.dx, line->direction.dy});
                    }
                }
            };
            if (holed->GetRim() != nullptr) {
                copyRing(*holed->GetRim());
            }
            for (unsigned h = 0; h < holed->GetHoleCount() && understood; ++h) {
                copyRing(*holed->GetHole(h));
            }
        }
        if (!understood) {
            Clear();
            return false;
        }
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    return true;
}

bool C2DCoordinateCopy::CollectRings(const C2DHoledPolyBaseSet& content,
                                     std::vector<C2DPolyBase*>& targets) const {
    if (content.GetSize() != polygons.size()) {
        return false;
    }
    try {
        targets.reserve(rings.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = content.GetAt(i);
        const CPolygon& polygon = polygons[i];
        if (polygon.hasRim != (holed->GetRim() != nullptr) ||
            polygon.holeCount != holed->GetHoleCount()) {
            return false;
        }
        if (holed->GetRim() != nullptr) {
            targets.push_back(holed->GetRim());
        }
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            targets.push_back(holed->GetHole(h));
        }
    }
    if (targets.size() != rings.size()) {
        return false;
    }
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const CRing& ring = rings[r];
        const C2DPolyBase& target = *targets[r];
        if (target.GetLineCount() != ring.edgeCount || target.GetType() != ring.type) {
            return false;
        }
        std::size_t arc = FirstEntryAt(arcs, ring.firstEdge);
        if (ring.type == GeometryType::Polygon) {
            // A polygon holds straight edges only.
            if (arc < arcs.size() && arcs[arc].edge < ring.firstEdge + ring.edgeCount) {
                return false;
            }
            continue;
        }
        for (uint32_t k = 0; k < ring.edgeCount; ++k) {
            const bool copiedArc = arc < arcs.size() && arcs[arc].edge == ring.firstEdge + k;
            const int32_t type = target.GetLine(k)->GetType();
            if (copiedArc != (type == GeometryType::Arc) ||
                (type != GeometryType::Arc && type != GeometryType::Line)) {
                return false;
            }
            arc += copiedArc ? 1 : 0;
        }
    }
    return true;
}

bool C2DCoordinateCopy::Fits(const C2DHoledPolyBaseSet& content) const {
    std::vector<C2DPolyBase*> targets;
    return CollectRings(content, targets);
}

bool C2DCoordinateCopy::FinitePointsWithin(const C2DRect& bounds, bool& anyFinite) const {
    anyFinite = false;
    for (const CPoint& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            continue;
        }
        if (p.x < bounds.topLeft.x || p.x > bounds.bottomRight.x || p.y < bounds.bottomRight.y ||
            p.y > bounds.topLeft.y) {
            return false;
        }
        anyFinite = true;
    }
    return true;
}

std::size_t C2DCoordinateCopy::FirstRestartAt(uint64_t edge) const {
    return static_cast<std::size_t>(std::lower_bound(restarts.begin(), restarts.end(), edge) -
                                    restarts.begin());
}

void C2DCoordinateCopy::WriteRings(const std::vector<C2DPolyBase*>& targets, std::size_t firstRing,
                                   std::size_t endRing, CTransformation* transformation) const {
    if (firstRing >= endRing) {
        return;
    }
    const uint64_t firstEdge = rings[firstRing].firstEdge;
    std::size_t restart = FirstRestartAt(firstEdge);
    std::size_t direction = FirstEntryAt(directions, firstEdge);
    std::size_t arc = FirstEntryAt(arcs, firstEdge);
    // The points are read in ascending order, so a transformation moves
    // them a window at a time: TransformPoints may overlap the work of
    // neighbouring points, and each comes out as Transform would give it.
    // The window stops at the last ring's end: the points beyond are
    // another thread's share, and moving them here as well would be work
    // done twice.
    CPoint window[TransformWindow];
    uint64_t windowStart = 0;
    uint64_t windowEnd = 0;
    const uint64_t endPoint = endRing < rings.size() ? rings[endRing].firstPoint : points.size();
    const auto take = [&](uint64_t index) {
        if (transformation == nullptr) {
            return points[index];
        }
        if (index < windowStart || index >= windowEnd) {
            windowStart = index;
            windowEnd = std::min<uint64_t>(index + TransformWindow, endPoint);
            std::copy(points.begin() + windowStart, points.begin() + windowEnd, window);
            transformation->TransformPoints(&window[0].x, &window[0].y, windowEnd - windowStart,
                                            sizeof(CPoint) / sizeof(double));
        }
        return window[index - windowStart];
    };
    for (std::size_t r = firstRing; r < endRing; ++r) {
        const CRing& ring = rings[r];
        C2DPolyBase& target = *targets[r];
        uint64_t point = ring.firstPoint;
        CPoint end{0.0, 0.0};
        for (uint32_t k = 0; k < ring.edgeCount; ++k) {
            const uint64_t edgeNumber = ring.firstEdge + k;
            // Each stored point is transformed once: an edge that starts
            // where the previous one ended takes that end as it is.
            CPoint start = end;
            if (k == 0) {
                start = take(point);
            } else if (restart < restarts.size() && restarts[restart] == edgeNumber) {
                ++restart;
                start = take(++point);
            }
            end = take(++point);
            C2DLineBase* edge = target.GetLine(k);
            C2DLine& line = *DefiningLine(edge);
            line.start.x = start.x;
            line.start.y = start.y;
            line.direction.dx = end.x - start.x;
            line.direction.dy = end.y - start.y;
            if (direction < directions.size() && directions[direction].edge == edgeNumber) {
                // The loaded direction was not end - start; a transformation
                // sets it to end' - start' whatever it was.
                if (transformation == nullptr) {
                    line.direction.dx = directions[direction].dx;
                    line.direction.dy = directions[direction].dy;
                }
                ++direction;
            }
            if (arc < arcs.size() && arcs[arc].edge == edgeNumber) {
                auto& shape = *static_cast<C2DArc*>(edge);
                shape.radius = arcs[arc].radius;
                shape.centreOnRight = arcs[arc].centreOnRight;
                shape.arcOnRight = arcs[arc].arcOnRight;
                ++arc;
            }
        }
        // A complete ring refreshes its rectangles as a transformation does; a
        // ring under construction has none, and its edges only move.
        if (target.GetLineRectCount() == target.GetLineCount()) {
            target.MakeLineRects();
            target.MakeBoundingRect();
        }
    }
}

bool C2DCoordinateCopy::Restore(C2DHoledPolyBaseSet& content) const {
    std::vector<C2DPolyBase*> targets;
    if (!CollectRings(content, targets)) {
        return false;
    }
    WriteRings(targets, 0, rings.size(), nullptr);
    return true;
}

bool C2DCoordinateCopy::RestoreTransformed(C2DHoledPolyBaseSet& content,
                                           CTransformation& transformation,
                                           unsigned threads) const {
    std::vector<C2DPolyBase*> targets;
    if (!CollectRings(content, targets)) {
        return false;
    }
    // Each thread takes a run of whole rings with about an equal share of the
    // points. Rings are separate objects whose rectangles already exist, so
    // the writers allocate nothing and touch nothing in common.
    RunShares(
        SplitIntoShares(rings.size(), points.size(), threads * SharesPerWorker,
                        [&](std::size_t ring) { return rings[ring].firstPoint; }),
        [&](std::size_t first, std::size_t end) {
            WriteRings(targets, first, end, &transformation);
        },
        threads);
    return true;
}

std::size_t C2DCoordinateCopy::GetBytes() const {
    return points.capacity() * sizeof(CPoint) + rings.capacity() * sizeof(CRing) +
           polygons.capacity() * sizeof(CPolygon) + restarts.capacity() * sizeof(uint64_t) +
           directions.capacity() * sizeof(CDirection) + arcs.capacity() * sizeof(CArcShape);
}
