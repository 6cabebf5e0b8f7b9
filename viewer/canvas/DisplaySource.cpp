#include "viewer/canvas/DisplaySource.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

#include "geometry/HugePages.h"
#include "geometry/Shares.h"
#include "projection/DisplayGeometry.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "projection/Transformation.h"
#include "viewer/canvas/MapCanvas.h"

namespace {

// An output ring and the copied ring it comes from.
struct CSourceRing {
    std::size_t copyRing;
    bool hasArcs;
};

bool HasArcs(const C2DCoordinateCopy& copy, std::size_t ring) {
    if (copy.GetRing(ring).type == GeometryType::Polygon) {
        return false; // straight edges only
    }
    bool arcs = false;
    copy.VisitEdges(
        ring, [&](const C2DCoordinateCopy::CPoint&, const C2DCoordinateCopy::CPoint&,
                  const C2DCoordinateCopy::CArcShape* shape) { arcs = arcs || shape != nullptr; });
    return arcs;
}

// Appends the open ring of a copied ring: every edge's start, with arcs
// sampled.
void AppendCopiedRing(const C2DCoordinateCopy& copy, std::size_t ring,
                      std::vector<CPlanePoint>& out) {
    copy.VisitEdges(ring, [&](const C2DCoordinateCopy::CPoint& start,
                              const C2DCoordinateCopy::CPoint& end,
                              const C2DCoordinateCopy::CArcShape* shape) {
        if (shape != nullptr) {
            SampleArc(start, end, *shape, ArcSampleTolerance, out);
        } else {
            out.push_back(CPlanePoint{start.x, start.y});
        }
    });
}

// Lays out the output set (its ring and polygon starts, and room for every
// point) and lists where each output ring comes from.
bool MakeLayout(const C2DCoordinateCopy& copy, CRingSet& out, std::vector<CSourceRing>& sources) {
    out.Clear();
    sources.clear();
    std::vector<CPlanePoint> sampled;
    std::size_t total = 0;
    for (std::size_t p = 0; p < copy.GetPolygonCount(); ++p) {
        const C2DCoordinateCopy::CPolygon& polygon = copy.GetPolygon(p);
        const uint64_t end = copy.GetEndRing(p);
        if (polygon.hasRim && copy.GetRing(polygon.firstRing).edgeCount != 0) {
            for (uint64_t r = polygon.firstRing; r < end; ++r) {
                const uint32_t edges = copy.GetRing(r).edgeCount;
                if (edges == 0) {
                    continue;
                }
                const bool arcs = HasArcs(copy, r);
                std::size_t count = edges;
                if (arcs) {
                    sampled.clear();
                    AppendCopiedRing(copy, r, sampled);
                    count = sampled.size();
                }
                total += count;
                if (total >= std::numeric_limits<uint32_t>::max()) {
                    return false; // beyond what a ring set counts
                }
                sources.push_back(CSourceRing{static_cast<std::size_t>(r), arcs});
                out.ringStarts.push_back(static_cast<uint32_t>(total));
            }
        }
        out.EndPolygon();
    }
    ReserveInHugePages(out.points, total);
    out.points.resize(total);
    return true;
}

// The content's rings in the copy's order; false when it does not fit.
bool ContentRings(const C2DCoordinateCopy& copy, const C2DHoledPolyBaseSet& content,
                  std::vector<const C2DPolyBase*>& rings) {
    if (!copy.Fits(content)) {
        return false;
    }
    rings.reserve(copy.GetRingCount());
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = content.GetAt(i);
        if (holed->GetRim() != nullptr) {
            rings.push_back(holed->GetRim());
        }
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            rings.push_back(holed->GetHole(h));
        }
    }
    return true;
}

// Writes the start of every edge of a ring of straight edges.
void CopyEdgeStarts(const C2DPolyBase& ring, CPlanePoint* out) {
    for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
        const auto* line = static_cast<const C2DLine*>(ring.GetLine(k));
        out[k] = CPlanePoint{line->start.x, line->start.y};
    }
}

// Calls fill(first, end) on runs of output rings with about equal shares of
// the points, one run per thread.
template <typename Fill> void FillInParallel(const CRingSet& out, unsigned threads, Fill fill) {
    RunShares(SplitIntoShares(out.GetRingCount(), out.points.size(), threads * SharesPerWorker,
                              [&](std::size_t ring) { return out.ringStarts[ring]; }),
              fill, threads);
}

// Bit-for-bit equality: 0.0 and -0.0 differ.
inline bool SameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// Whether every edge of a ring is a straight line.
bool IsStraight(const C2DPolyBase& ring) {
    if (ring.GetType() == GeometryType::Polygon) {
        return true;
    }
    for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
        if (ring.GetLine(k)->GetType() != GeometryType::Line) {
            return false;
        }
    }
    return true;
}

// Edges of a straight ring whose points TransformStraightRing moves with one
// TransformPoints call (up to two points an edge).
constexpr unsigned StraightRingBatch = 128;
static_assert(sizeof(CPlanePoint) == 2 * sizeof(double));

// A ring of straight edges transformed in place as Transform does: each
// edge's start and end (start + direction) transformed, the direction set to
// their difference, the rectangles refreshed. A start that is bit for bit
// the previous edge's end (nearly all of them), and a last end that is the
// first start, take that point's transform instead of computing it again.
// before and after, when not null, receive the edge starts.
//
// The edges go in batches: the points a batch needs moved are gathered,
// moved together (TransformPoints may overlap the work of neighbouring
// points, each coming out as Transform gives it), then handed out to the
// edges in the same order.
void TransformStraightRing(C2DPolyBase& ring, CTransformation& transformation, CPlanePoint* before,
                           CPlanePoint* after) {
    const unsigned count = ring.GetLineCount();
    if (count == 0) {
        return;
    }
    const auto lineAt = [&](unsigned k) -> C2DLine& {
        return *static_cast<C2DLine*>(ring.GetLine(k));
    };
    const auto endOf = [](const C2DLine& line) {
        return C2DPoint(line.start.x + line.direction.dx, line.start.y + line.direction.dy);
    };
    const auto same = [](const C2DPoint& a, const C2DPoint& b) {
        return SameBits(a.x, b.x) && SameBits(a.y, b.y);
    };
    const C2DPoint first = lineAt(0).start;
    // Whether the last edge ends bit for bit at the first start, and so takes
    // its transform instead of a point of its own.
    const bool lastEndsAtFirst = same(endOf(lineAt(count - 1)), first);
    CPlanePoint moved[2 * StraightRingBatch];
    bool restarts[StraightRingBatch];
    C2DPoint previousEnd;
    CPlanePoint previousEndMoved{0.0, 0.0};
    CPlanePoint firstMoved{0.0, 0.0};
    for (unsigned batch = 0; batch < count; batch += StraightRingBatch) {
        const unsigned batchEnd = std::min(count, batch + StraightRingBatch);
        std::size_t gathered = 0;
        for (unsigned k = batch; k < batchEnd; ++k) {
            const C2DLine& line = lineAt(k);
            const C2DPoint end = endOf(line);
            restarts[k - batch] = k == 0 || !same(line.start, previousEnd);
            if (restarts[k - batch]) {
                moved[gathered++] = CPlanePoint{line.start.x, line.start.y};
            }
            if (k + 1 != count || !lastEndsAtFirst) {
                moved[gathered++] = CPlanePoint{end.x, end.y};
            }
            previousEnd = end;
        }
        transformation.TransformPoints(&moved[0].x, &moved[0].y, gathered,
                                       sizeof(CPlanePoint) / sizeof(double));
        std::size_t taken = 0;
        for (unsigned k = batch; k < batchEnd; ++k) {
            C2DLine& line = lineAt(k);
            const C2DPoint start = line.start;
            const CPlanePoint startMoved = restarts[k - batch] ? moved[taken++] : previousEndMoved;
            if (k == 0) {
                firstMoved = startMoved;
            }
            const CPlanePoint endMoved =
                k + 1 == count && lastEndsAtFirst ? firstMoved : moved[taken++];
            if (before != nullptr) {
                before[k] = CPlanePoint{start.x, start.y};
            }
            if (after != nullptr) {
                after[k] = startMoved;
            }
            line.start = C2DPoint(startMoved.x, startMoved.y);
            line.direction = C2DOffset(endMoved.x - startMoved.x, endMoved.y - startMoved.y);
            previousEndMoved = endMoved;
        }
    }
    if (ring.GetLineRectCount() == count) {
        ring.MakeLineRects();
        ring.MakeBoundingRect();
    }
}

// The defining straight line of a straight edge or an arc: itself, or the
// chord.
C2DLine& DefiningLine(C2DLineBase& edge) {
    if (edge.GetType() == GeometryType::Arc) {
        return static_cast<C2DArc&>(edge).chord;
    }
    return static_cast<C2DLine&>(edge);
}

// Writes copied ring r, transformed, into the content's ring as the copy's
// own restore does: every stored point transformed once (an edge that starts
// where the previous one ended takes that end, and a last end that is the
// first start takes that), directions end' - start', arcs their radius and
// sides, rectangles refreshed. starts, when not null, receive the edge
// starts.
void WriteMovedRing(const C2DCoordinateCopy& copy, std::size_t r, C2DPolyBase& ring,
                    CTransformation& transformation, CPlanePoint* starts) {
    const unsigned count = ring.GetLineCount();
    const C2DCoordinateCopy::CPoint* previousEnd = nullptr;
    const C2DCoordinateCopy::CPoint* firstStart = nullptr;
    C2DPoint previousEndMoved;
    C2DPoint firstMoved;
    unsigned k = 0;
    const auto moved = [&](const C2DCoordinateCopy::CPoint& p) {
        C2DPoint q(p.x, p.y);
        transformation.Transform(q.x, q.y);
        return q;
    };
    copy.VisitEdges(r, [&](const C2DCoordinateCopy::CPoint& start,
                           const C2DCoordinateCopy::CPoint& end,
                           const C2DCoordinateCopy::CArcShape* shape) {
        const C2DPoint startMoved = &start == previousEnd ? previousEndMoved : moved(start);
        if (k == 0) {
            firstStart = &start;
            firstMoved = startMoved;
        }
        const bool closes =
            k + 1 == count && SameBits(end.x, firstStart->x) && SameBits(end.y, firstStart->y);
        const C2DPoint endMoved = closes ? firstMoved : moved(end);
        C2DLineBase& edge = *ring.GetLine(k);
        C2DLine& line = DefiningLine(edge);
        line.start = startMoved;
        line.direction = C2DOffset(endMoved.x - startMoved.x, endMoved.y - startMoved.y);
        if (shape != nullptr) {
            auto& arc = static_cast<C2DArc&>(edge);
            arc.radius = shape->radius;
            arc.centreOnRight = shape->centreOnRight;
            arc.arcOnRight = shape->arcOnRight;
        }
        if (starts != nullptr) {
            starts[k] = CPlanePoint{startMoved.x, startMoved.y};
        }
        previousEnd = &end;
        previousEndMoved = endMoved;
        ++k;
    });
    if (ring.GetLineRectCount() == count) {
        ring.MakeLineRects();
        ring.MakeBoundingRect();
    }
}

// Runs work(firstRing, endRing) over the copy's rings on up to threads
// threads, each run with about an equal share of the points.
template <typename Work>
void ShareCopiedRings(const C2DCoordinateCopy& copy, unsigned threads, Work work) {
    RunShares(SplitIntoShares(copy.GetRingCount(), copy.GetPoints().size(),
                              threads * SharesPerWorker,
                              [&](std::size_t ring) { return copy.GetRing(ring).firstPoint; }),
              work, threads);
}

// The points of copied ring r, arcs sampled, in place of sampled's; false
// when memory runs out.
bool SampleCopiedRing(const C2DCoordinateCopy& copy, std::size_t r,
                      std::vector<CPlanePoint>& sampled) {
    sampled.clear();
    try {
        AppendCopiedRing(copy, r, sampled);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Where the rings go: the content's rings in the copy's order, and, when a
// ring set is laid out, where each copied ring goes in it (Nowhere when it
// does not) and whether it is sampled from arcs.
constexpr std::size_t Nowhere = std::numeric_limits<std::size_t>::max();

struct CRingPlan {
    std::vector<const C2DPolyBase*> contentRings;
    std::vector<std::size_t> placeOf;
    std::vector<char> sampled;
};

// False when the content does not fit the copy.
bool PlanRings(const C2DCoordinateCopy& copy, const C2DHoledPolyBaseSet& content, CRingSet* layout,
               CRingPlan& plan) {
    std::vector<CSourceRing> sources;
    if (!ContentRings(copy, content, plan.contentRings) ||
        (layout != nullptr && !MakeLayout(copy, *layout, sources))) {
        return false;
    }
    if (layout != nullptr) {
        plan.placeOf.assign(copy.GetRingCount(), Nowhere);
        plan.sampled.assign(copy.GetRingCount(), 0);
        for (std::size_t i = 0; i < sources.size(); ++i) {
            plan.placeOf[sources[i].copyRing] = i;
            plan.sampled[sources[i].copyRing] = sources[i].hasArcs;
        }
    }
    return true;
}

} // namespace

void ReserveInHugePages(CPlanePoints& points, std::size_t count) {
    if (points.capacity() < count) {
        points.reserve(count);
        AdviseHugePages(points.data(), points.capacity() * sizeof(CPlanePoint));
    }
}

void SampleArc(const C2DCoordinateCopy::CPoint& start, const C2DCoordinateCopy::CPoint& end,
               const C2DCoordinateCopy::CArcShape& shape, double tolerance,
               std::vector<CPlanePoint>& out) {
    out.push_back(CPlanePoint{start.x, start.y});
    const C2DArc arc(C2DPoint(start.x, start.y), C2DPoint(end.x, end.y), shape.radius,
                     shape.centreOnRight, shape.arcOnRight);
    const double radius = shape.radius;
    if (!arc.HasCircle() || !(radius > 0.0) || !std::isfinite(radius) ||
        (start.x == end.x && start.y == end.y)) {
        return; // drawn as its chord
    }
    const C2DPoint centre = arc.GetCircleCentre();
    const double from = std::atan2(start.y - centre.y, start.x - centre.x);
    const double to = std::atan2(end.y - centre.y, end.x - centre.x);
    // The anticlockwise sweep from start to end, or the clockwise one: the
    // arc is the one on its side of the chord.
    double sweep = std::fmod(to - from + 2.0 * Pi, 2.0 * Pi);
    if (sweep <= 0.0) {
        sweep += 2.0 * Pi;
    }
    const double middle = from + sweep / 2.0;
    const C2DPoint halfway(centre.x + radius * std::cos(middle),
                           centre.y + radius * std::sin(middle));
    if (arc.chord.IsOnRight(halfway) != shape.arcOnRight) {
        sweep -= 2.0 * Pi;
    }
    // Chords of angle a stray r (1 - cos(a / 2)) from the arc.
    const double ratio = 1.0 - tolerance / radius;
    const double step = ratio > -1.0 ? 2.0 * std::acos(ratio) : 2.0 * Pi;
    constexpr double MaxPieces = 4096.0;
    const double pieces = std::clamp(std::ceil(std::fabs(sweep) / step), 1.0, MaxPieces);
    const int count = static_cast<int>(pieces);
    for (int i = 1; i < count; ++i) {
        const double angle = from + sweep * i / count;
        out.push_back(
            CPlanePoint{centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)});
    }
}

bool MakeGeographicRings(const C2DCoordinateCopy& copy, const C2DHoledPolyBaseSet* content,
                         CGeoRotation* rotation, CRingSet& out, unsigned threads) {
    try {
        std::vector<CSourceRing> sources;
        std::vector<const C2DPolyBase*> contentRings;
        if ((content != nullptr && !ContentRings(copy, *content, contentRings)) ||
            !MakeLayout(copy, out, sources)) {
            out.Clear();
            return false;
        }
        FillInParallel(out, threads, [&](std::size_t first, std::size_t end) {
            std::vector<CPlanePoint> ring;
            for (std::size_t i = first; i < end; ++i) {
                CPlanePoint* target = out.points.data() + out.ringStarts[i];
                const CSourceRing& source = sources[i];
                if (!source.hasArcs && content != nullptr) {
                    CopyEdgeStarts(*contentRings[source.copyRing], target);
                    continue;
                }
                ring.clear();
                AppendCopiedRing(copy, source.copyRing, ring);
                for (CPlanePoint& p : ring) {
                    if (rotation != nullptr) {
                        rotation->Transform(p.x, p.y);
                    }
                    *target++ = p;
                }
            }
        });
    } catch (const std::bad_alloc&) {
        out.Clear();
        return false;
    }
    return true;
}

bool MakeProjectedRings(const C2DCoordinateCopy& copy, const CRingSet& geographic,
                        const C2DHoledPolyBaseSet& projectedContent, CProjection& projection,
                        CRingSet& out, unsigned threads) {
    try {
        std::vector<CSourceRing> sources;
        std::vector<const C2DPolyBase*> contentRings;
        if (!ContentRings(copy, projectedContent, contentRings) ||
            !MakeLayout(copy, out, sources) || out.ringStarts != geographic.ringStarts ||
            out.polygonStarts != geographic.polygonStarts) {
            out.Clear();
            return false;
        }
        FillInParallel(out, threads, [&](std::size_t first, std::size_t end) {
            for (std::size_t i = first; i < end; ++i) {
                CPlanePoint* target = out.points.data() + out.ringStarts[i];
                const CSourceRing& source = sources[i];
                if (!source.hasArcs) {
                    CopyEdgeStarts(*contentRings[source.copyRing], target);
                    continue;
                }
                const CPlanePoint* from = geographic.GetRingPoints(i);
                for (uint32_t k = 0; k < geographic.GetRingSize(i); ++k) {
                    CPlanePoint p = from[k];
                    projection.Transform(p.x, p.y);
                    target[k] = p;
                }
            }
        });
    } catch (const std::bad_alloc&) {
        out.Clear();
        return false;
    }
    return true;
}

bool TransformWithRings(const C2DCoordinateCopy& copy, C2DHoledPolyBaseSet& content,
                        CTransformation& transformation, CGeoRotation* rotationOfCopy,
                        CRingSet* geographic, CRingSet* projected, unsigned threads) {
    const bool withRings = geographic != nullptr && projected != nullptr;
    try {
        CRingPlan plan;
        if (!PlanRings(copy, content, withRings ? geographic : nullptr, plan)) {
            return false;
        }
        if (withRings) {
            projected->ringStarts = geographic->ringStarts;
            projected->polygonStarts = geographic->polygonStarts;
            ReserveInHugePages(projected->points, geographic->points.size());
            projected->points.resize(geographic->points.size());
        }
        // Set by a thread that ran out of memory sampling an arc: the
        // content is transformed all the same, the ring sets are not usable.
        std::atomic<bool> ringsLost{false};
        ShareCopiedRings(copy, threads, [&](std::size_t first, std::size_t end) {
            std::vector<CPlanePoint> sampled;
            for (std::size_t r = first; r < end; ++r) {
                // The rings are the content's own, handed out one thread each.
                auto& ring = const_cast<C2DPolyBase&>(*plan.contentRings[r]);
                const std::size_t place = withRings ? plan.placeOf[r] : Nowhere;
                CPlanePoint* before = nullptr;
                CPlanePoint* after = nullptr;
                if (place != Nowhere) {
                    before = geographic->points.data() + geographic->ringStarts[place];
                    after = projected->points.data() + projected->ringStarts[place];
                }
                if (IsStraight(ring)) {
                    TransformStraightRing(ring, transformation, before, after);
                    continue;
                }
                ring.Transform(transformation);
                if (place == Nowhere) {
                    continue;
                }
                // Arcs: their sampled points, from the copy.
                if (!SampleCopiedRing(copy, r, sampled)) {
                    ringsLost = true;
                    continue;
                }
                for (CPlanePoint& p : sampled) {
                    if (rotationOfCopy != nullptr) {
                        rotationOfCopy->Transform(p.x, p.y);
                    }
                    *before++ = p;
                    transformation.Transform(p.x, p.y);
                    *after++ = p;
                }
            }
        });
        if (ringsLost && withRings) {
            geographic->Clear();
            projected->Clear();
        }
    } catch (const std::bad_alloc&) {
        if (withRings) {
            geographic->Clear();
            projected->Clear();
        }
        return false;
    }
    return true;
}

bool RestoreWithRings(const C2DCoordinateCopy& copy, C2DHoledPolyBaseSet& content,
                      CTransformation& transformation, CRingSet* moved, unsigned threads) {
    const bool withRings = moved != nullptr;
    try {
        CRingPlan plan;
        if (!PlanRings(copy, content, moved, plan)) {
            return false;
        }
        std::atomic<bool> ringsLost{false};
        ShareCopiedRings(copy, threads, [&](std::size_t first, std::size_t end) {
            std::vector<CPlanePoint> sampled;
            for (std::size_t r = first; r < end; ++r) {
                auto& ring = const_cast<C2DPolyBase&>(*plan.contentRings[r]);
                const std::size_t place = withRings ? plan.placeOf[r] : Nowhere;
                CPlanePoint* target =
                    place == Nowhere ? nullptr : moved->points.data() + moved->ringStarts[place];
                const bool arcs = place != Nowhere && plan.sampled[r] != 0;
                WriteMovedRing(copy, r, ring, transformation, arcs ? nullptr : target);
                if (!arcs) {
                    continue;
                }
                if (!SampleCopiedRing(copy, r, sampled)) {
                    ringsLost = true;
                    continue;
                }
                for (CPlanePoint p : sampled) {
                    transformation.Transform(p.x, p.y);
                    *target++ = p;
                }
            }
        });
        if (ringsLost && withRings) {
            moved->Clear();
        }
    } catch (const std::bad_alloc&) {
        if (withRings) {
            moved->Clear();
        }
        return false;
    }
    return true;
}

double FirstDisplayTolerance(CProjection* projection, const CMapCanvas& canvas, double fallback) {
    CRingSet outline;
    try {
        CDisplayGeometryBuilder(MakeDisplaySettings(projection, fallback)).BuildOutline(outline);
    } catch (const std::bad_alloc&) {
        return fallback;
    }
    CPlanePoint minimum{0.0, 0.0};
    CPlanePoint maximum{0.0, 0.0};
    if (!FiniteBounds(outline, minimum, maximum)) {
        return fallback;
    }
    const double pixelWidth = canvas.pixelRect.right - canvas.pixelRect.left;
    const double pixelHeight = canvas.pixelRect.bottom - canvas.pixelRect.top;
    const double pixelsPerUnit =
        std::min(pixelWidth / (maximum.x - minimum.x), pixelHeight / (maximum.y - minimum.y));
    if (!std::isfinite(pixelsPerUnit) || !(pixelsPerUnit > 0.0)) {
        return fallback;
    }
    return DisplayPixelTolerance / pixelsPerUnit / 4.0;
}
