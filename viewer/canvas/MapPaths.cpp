#include "viewer/canvas/MapDrawing.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <span>

#include "geometry/Arcs.h"

namespace {

// Accumulates the one path of a holed polygon as the platform's path drawing
// would: a current position, figures started by moves, and edges emitted only
// when their two end pixels differ.
class CPathBuilder {
public:
    // With dots, rings that would draw as two neighbouring pixels are added
    // there as those pixels instead of to the path.
    CPathBuilder(const CPixelMapping& mapping, QPainterPath& path,
                 const CDrawingCopy* copy = nullptr, std::vector<CPixelPoint>* dots = nullptr)
        : mapping(mapping), path(path), copy(copy), dots(dots) {}

    // One ring as a figure: a move to the start of its edge 0, then its edges.
    // A ring without edges adds nothing.
    void AddFigure(const C2DPolyBase& ring) {
        if (ring.GetLineCount() == 0 || IsWithinOnePixel(ring)) {
            // Within one pixel every edge would be skipped and the figure be a
            // lone move, which draws nothing; its edges are not even read.
            return;
        }
        AddRingFigure(ring);
    }

    // A ring with edges as a figure.
    void AddRingFigure(const C2DPolyBase& ring) {
        StartFigure(ring.GetType() == GeometryType::Polygon
                        ? C2DPolygon::AsLine(ring.GetEdges()[0]).start
                        : ring.GetLine(0)->GetStart());
        AddRing(ring);
    }

    // Holes [first, end) of a holed polygon. Holes are many and mostly tiny;
    // reading one means dependent loads (the ring, its edge array, its first
    // edge) from pool slots. They are taken in batches: the rings of the next
    // batch are requested while this one is tested, and the edges of the rings
    // that need drawing are requested before the first of them is drawn.
    void AddHoles(const C2DHoledPolyBase& holedPolygon, unsigned first, unsigned end) {
        for (unsigned base = first; base < end; base += HoleBatch) {
            const unsigned batchEnd = std::min(base + HoleBatch, end);
            const unsigned nextEnd = std::min(batchEnd + HoleBatch, end);
            for (unsigned h = batchEnd; h < nextEnd; ++h) {
                const char* ring = reinterpret_cast<const char*>(holedPolygon.GetHole(h));
                __builtin_prefetch(ring);
                __builtin_prefetch(ring + 64);
                __builtin_prefetch(ring + 128);
            }
            const C2DPolyBase* drawn[HoleBatch];
            unsigned drawnCount = 0;
            for (unsigned h = base; h < batchEnd; ++h) {
                const C2DPolyBase* ring = holedPolygon.GetHole(h);
                if (ring->GetLineCount() != 0 && !IsWithinOnePixel(*ring)) {
                    __builtin_prefetch(ring->GetEdges().data());
                    drawn[drawnCount++] = ring;
                }
            }
            for (unsigned i = 0; i < drawnCount; ++i) {
                PrefetchFirstEdge(*drawn[i]);
            }
            for (unsigned i = 0; i < drawnCount; ++i) {
                AddRingFigure(*drawn[i]);
            }
        }
    }

    // How a copied ring is drawn at this mapping.
    enum class CopiedRingPlan {
        Skip,    // every point falls on one pixel
        InRange, // every point maps into the pixel range
        Small,   // every point falls within a block of 2 x 2 pixels
        Beyond,  // some point lies beyond the pixel range
    };

    // The holes of a batch that are drawn, with their plans.
    struct CHoleBatch {
        unsigned holes[HoleBatch];
        CopiedRingPlan plans[HoleBatch];
        unsigned count = 0;
    };

    void PlanHoleBatch(const CDrawingCopy::CRing* copiedHoles, unsigned base, unsigned end,
                       CHoleBatch& batch) const {
        batch.count = 0;
        const unsigned batchEnd = std::min(base + HoleBatch, end);
        for (unsigned h = base; h < batchEnd; ++h) {
            const CDrawingCopy::CRing& copied = copiedHoles[h];
            if (copied.pointCount == 0) {
                batch.plans[batch.count] = CopiedRingPlan::Beyond;
                batch.holes[batch.count++] = h;
                continue;
            }
            const CopiedRingPlan plan = PlanCopiedRing(copied.bounds);
            if (plan != CopiedRingPlan::Skip) {
                const char* points =
                    reinterpret_cast<const char*>(copy->PointData() + copied.firstPoint);
                __builtin_prefetch(points);
                __builtin_prefetch(points + 64);
                batch.plans[batch.count] = plan;
                batch.holes[batch.count++] = h;
            }
        }
    }

    // The copied points are the ring's exact vertices, so their bounds decide
    // without any margin whether they all fall on one pixel.
    CopiedRingPlan PlanCopiedRing(const CDrawingCopy::CBox& box) const {
        const CPixelExtent extent = ExtentOf(box.left, box.top, box.right, box.bottom);
        if (extent.onePixel) {
            return CopiedRingPlan::Skip;
        }
        if (!extent.inRange) {
            return CopiedRingPlan::Beyond;
        }
        const bool small = (extent.width >= -1 && extent.width <= 1) &&
                           (extent.height >= -1 && extent.height <= 1);
        return small ? CopiedRingPlan::Small : CopiedRingPlan::InRange;
    }

    // Where the corners of a map box fall: every point within the box maps
    // between their pixels, the mapping being monotonic in each coordinate.
    struct CPixelExtent {
        // Both corners map into the pixel range (then width and height are
        // their pixels' differences).
        bool inRange;
        // Both corners have a pixel, and it is the same one.
        bool onePixel;
        int32_t width;
        int32_t height;
    };

    CPixelExtent ExtentOf(double left, double top, double right, double bottom) const {
        const CPixelMapping& m = mapping;
        const double x1 = m.ScaledX(left);
        const double y1 = m.ScaledY(top);
        const double x2 = m.ScaledX(right);
        const double y2 = m.ScaledY(bottom);
        if (FitsPixel(x1) & FitsPixel(y1) & FitsPixel(x2) & FitsPixel(y2)) {
            const int32_t width = static_cast<int32_t>(x2) - static_cast<int32_t>(x1);
            const int32_t height = static_cast<int32_t>(y2) - static_cast<int32_t>(y1);
            return CPixelExtent{true, width == 0 && height == 0, width, height};
        }
        CPixelPoint p1;
        CPixelPoint p2;
        const bool onePixel = m.Map(left, top, p1) && m.Map(right, bottom, p2) && p1 == p2;
        return CPixelExtent{false, onePixel, 0, 0};
    }

    // A copied rim as a figure, or the rim itself when it was not copied
    // (nothing for a ring set's copy, which has no holed polygon).
    void AddCopiedRim(const CDrawingCopy::CRing& copied, const C2DHoledPolyBase* holedPolygon) {
        if (copied.pointCount == 0) {
            if (const C2DPolyBase* rim =
                    holedPolygon != nullptr ? holedPolygon->GetRim() : nullptr) {
                AddFigure(*rim);
            }
            return;
        }
        AddPlannedFigure(copied, PlanCopiedRing(copied.bounds));
    }

    void AddPlannedFigure(const CDrawingCopy::CRing& copied, CopiedRingPlan plan) {
        if (plan == CopiedRingPlan::Small && dots != nullptr && !copied.HasRestarts() &&
            AddAsDots(copied)) {
            return;
        }
        if (plan == CopiedRingPlan::InRange || plan == CopiedRingPlan::Small) {
            AddCopiedPoints(copied);
        } else if (plan == CopiedRingPlan::Beyond) {
            AddCopiedInGeneral(copied);
        }
    }

    // A ring whose points fall on exactly two pixels, which then neighbour
    // each other, adds a figure that runs back and forth between them: it
    // encloses nothing, so it adds nothing to the fill, and its outline is
    // exactly those two pixels. Such rings are most of the small holes drawn
    // at a large map's full extent; they are handed out as the two pixels to
    // set in the pen's colour instead of figures to fill and stroke. False,
    // with nothing added, for a ring on three or four pixels.
    bool AddAsDots(const CDrawingCopy::CRing& copied) {
        const CDrawingCopy::CPoint* points = copy->PointData() + copied.firstPoint;
        const CPixelPoint first = MapCopied(points[0]);
        CPixelPoint second = first;
        for (uint32_t i = 1; i < copied.pointCount; ++i) {
            const CPixelPoint next = MapCopied(points[i]);
            if (next == first || next == second) {
                continue;
            }
            if (!(second == first)) {
                return false; // a third pixel
            }
            second = next;
        }
        if (!(second == first)) {
            dots->push_back(first);
            dots->push_back(second);
        }
        return true;
    }

    // Edge by edge, with the rules for points that saturate.
    void AddCopiedInGeneral(const CDrawingCopy::CRing& copied) {
        const CDrawingCopy::CPoint* points = copy->PointData() + copied.firstPoint;
        // The 0 that ends the list of restarts matches no point i.
        const uint32_t* restart = copy->restarts.data() + copied.firstRestart;
        StartFigure(C2DPoint(points[0].x, points[0].y));
        for (uint32_t i = 1; i < copied.pointCount; ++i) {
            if (*restart == i) {
                ++restart; // point i is the start of the edge that ends at i + 1
                continue;
            }
            AddSegmentInGeneral(C2DPoint(points[i - 1].x, points[i - 1].y),
                                C2DPoint(points[i].x, points[i].y));
        }
    }

    // Holes [first, end) of a holed polygon from their copies; copiedHoles[h]
    // is the copy of hole h. Most holes of a large map are skipped at their
    // bounds; the points of those drawn lie scattered through the copy, so
    // the holes are taken in batches and the points of a batch's drawn holes
    // are requested before the first of them is drawn.
    void AddCopiedHoles(const C2DHoledPolyBase* holedPolygon,
                        const CDrawingCopy::CRing* copiedHoles, unsigned first, unsigned end) {
        CHoleBatch batches[2];
        unsigned current = 0;
        PlanHoleBatch(copiedHoles, first, end, batches[current]);
        for (unsigned base = first; base < end; base += HoleBatch) {
            // The next batch is planned, and its points requested, before this
            // one is drawn.
            PlanHoleBatch(copiedHoles, base + HoleBatch, end, batches[1 - current]);
            const CHoleBatch& batch = batches[current];
            for (unsigned k = 0; k < batch.count; ++k) {
                const unsigned h = batch.holes[k];
                const CDrawingCopy::CRing& copied = copiedHoles[h];
                if (copied.pointCount != 0) {
                    AddPlannedFigure(copied, batch.plans[k]);
                } else if (holedPolygon != nullptr && h < holedPolygon->GetHoleCount()) {
                    // Drawn from its edges (and never beyond the holes the
                    // holed polygon has now).
                    AddFigure(*holedPolygon->GetHole(h));
                }
            }
            current = 1 - current;
        }
    }

    // Starts a new figure at a ring's first vertex. A vertex without a finite
    // pixel position defers the start to the first finite point that follows.
    void StartFigure(const C2DPoint& start) {
        CloseFigure();
        CPixelPoint p;
        hasCurrent = mapping.Map(start.x, start.y, p);
        if (hasCurrent) {
            path.moveTo(p.x, p.y);
        }
        pointLost = !hasCurrent;
        figureOpen = true;
    }

    void AddRing(const C2DPolyBase& ring) { AddEdges(ring, 0, ring.GetLineCount()); }

    // Edges [first, end) of a ring, in order.
    void AddEdges(const C2DPolyBase& ring, unsigned first, unsigned end) {
        const std::span<const C2DBase* const> edges = ring.GetEdges();
        if (ring.GetType() == GeometryType::Polygon) {
            // A polygon holds straight edges only.
            for (unsigned i = first; i < std::min(end, first + PrefetchDistance); ++i) {
                PrefetchLine(edges[i]);
            }
            for (unsigned i = first; i < end; ++i) {
                if (i + PrefetchDistance < end) {
                    PrefetchLine(edges[i + PrefetchDistance]);
                }
                AddLine(C2DPolygon::AsLine(edges[i]));
            }
            return;
        }
        for (unsigned i = first; i < end; ++i) {
            const C2DBase* edge = edges[i];
            if (edge->GetType() == GeometryType::Line) {
                AddLine(*static_cast<const C2DLine*>(edge));
            } else if (edge->GetType() == GeometryType::Arc) {
                AddArc(*static_cast<const C2DArc*>(edge));
            }
        }
    }

    void CloseFigure() {
        // Open figures are closed when the path is stroked and filled, so the
        // outline includes the edge back to each figure's start.
        if (figureOpen) {
            path.closeSubpath();
            figureOpen = false;
        }
    }

private:
    // Requests the coordinates of an edge of a polygon, which may straddle
    // two cache lines.
    static void PrefetchLine(const C2DBase* edge) {
        const C2DLine& line = C2DPolygon::AsLine(edge);
        __builtin_prefetch(&line.start);
        __builtin_prefetch(&line.direction.dy);
    }

    // Requests the start of a ring's first edge (of an arc, its object).
    static void PrefetchFirstEdge(const C2DPolyBase& ring) {
        const C2DBase* edge = ring.GetEdges()[0];
        __builtin_prefetch(ring.GetType() == GeometryType::Polygon
                               ? static_cast<const void*>(&C2DPolygon::AsLine(edge).start)
                               : static_cast<const void*>(edge));
    }

    // True when every vertex of a straight-edged ring falls on one pixel, as
    // decided from its bounding rectangle: the mapping is monotonic in each
    // coordinate, so the corners' pixels bound every vertex's pixel. An end
    // recomputed as start + direction after a reversal may lie a rounding
    // step outside the stored bounds; the rectangle is widened by more than
    // that before the test.
    bool IsWithinOnePixel(const C2DPolyBase& ring) const {
        if (ring.GetType() != GeometryType::Polygon) {
            return false;
        }
        const C2DRect& r = ring.GetBoundingRect();
        const double largest =
            std::max(std::max(std::fabs(r.topLeft.x), std::fabs(r.topLeft.y)),
                     std::max(std::fabs(r.bottomRight.x), std::fabs(r.bottomRight.y)));
        const double margin = largest * (8.0 * std::numeric_limits<double>::epsilon());
        return ExtentOf(r.topLeft.x - margin, r.topLeft.y + margin, r.bottomRight.x + margin,
                        r.bottomRight.y - margin)
            .onePixel;
    }

    inline void AddLine(const C2DLine& line) {
        // The common case, decided without branches per coordinate: every
        // coordinate finite and within the pixel range, the previous point
        // kept. The end is start + direction, exactly as C2DLine::GetEnd gives
        // it.
        const CPixelMapping& m = mapping;
        const double ax = m.ScaledX(line.start.x);
        const double ay = m.ScaledY(line.start.y);
        const double bx = m.ScaledX(line.start.x + line.direction.dx);
        const double by = m.ScaledY(line.start.y + line.direction.dy);
        if (!pointLost && (FitsPixel(ax) & FitsPixel(ay) & FitsPixel(bx) & FitsPixel(by))) {
            const CPixelPoint a{static_cast<int32_t>(ax), static_cast<int32_t>(ay)};
            const CPixelPoint b{static_cast<int32_t>(bx), static_cast<int32_t>(by)};
            if (!(a == b)) {
                LineTo(b);
            }
            return;
        }
        AddLineInGeneral(line);
    }

    void AddLineInGeneral(const C2DLine& line) {
        AddSegmentInGeneral(line.start, C2DPoint(line.start.x + line.direction.dx,
                                                 line.start.y + line.direction.dy));
    }

    // A straight edge from start to end, any coordinates allowed.
    void AddSegmentInGeneral(const C2DPoint& start, const C2DPoint& end) {
        CEdgePixels pixels;
        if (MapEdge(start, end, pixels)) {
            LineTo(pixels.end);
        }
    }

    // The pixels of an edge's ends, any coordinates allowed.
    struct CEdgePixels {
        CPixelPoint start;
        CPixelPoint end;
        bool startFinite = false;
    };

    // Maps an edge's ends and keeps the figure's account of points without a
    // pixel: a finite start after such points rejoins the outline there, and
    // an end without a pixel is lost. False when the edge adds nothing: its
    // end has no pixel, or both ends fall on one pixel.
    bool MapEdge(const C2DPoint& start, const C2DPoint& end, CEdgePixels& pixels) {
        pixels.startFinite = mapping.Map(start.x, start.y, pixels.start);
        if (pointLost && pixels.startFinite) {
            Rejoin(pixels.start);
        }
        if (!mapping.Map(end.x, end.y, pixels.end)) {
            pointLost = true;
            return false;
        }
        return !(pixels.startFinite && pixels.start == pixels.end);
    }

    // After points without a pixel position the outline continues at the next
    // finite start point. (An edge that starts at infinity has no finite end
    // either: its end is computed as start + direction.) With finite content
    // this never happens, and the path is exactly the edge-by-edge one.
    void Rejoin(const CPixelPoint& a) {
        LineTo(a);
        pointLost = false;
    }

    // A figure through copied points that all map into the pixel range: each
    // point is mapped once, and an edge is added when its end falls on
    // another pixel than its start.
    void AddCopiedPoints(const CDrawingCopy::CRing& copied) {
        CloseFigure();
        const CDrawingCopy::CPoint* points = copy->PointData() + copied.firstPoint;
        const CDrawingCopy::CBox* runs = copy->runs.data() + copied.firstRun;
        current = MapCopied(points[0]);
        path.moveTo(current.x, current.y);
        hasCurrent = true;
        pointLost = false;
        figureOpen = true;
        uint32_t from = 0;
        for (const uint32_t* r = copy->restarts.data() + copied.firstRestart; *r != 0; ++r) {
            const uint32_t restart = *r;
            AdvanceCopied(points, runs, from, restart - 1);
            // The restart point is the start of the next edge: its pixel is
            // what that edge's end is compared with.
            current = MapCopied(points[restart]);
            from = restart;
        }
        AdvanceCopied(points, runs, from, copied.pointCount - 1);
    }

    // Adds the edges through points (from, to], the current pixel being that
    // of point from. A whole run whose box falls on one pixel, which must be
    // the current one, adds nothing and is passed over.
    void AdvanceCopied(const CDrawingCopy::CPoint* points, const CDrawingCopy::CBox* runs,
                       uint32_t from, uint32_t to) {
        constexpr uint32_t RunLength = CDrawingCopy::RunLength;
        const CPixelMapping& m = mapping;
        uint32_t i = from;
        while (i < to) {
            if (i % RunLength == 0 && to - i >= RunLength) {
                const CDrawingCopy::CBox& box = runs[i / RunLength];
                const int32_t left = static_cast<int32_t>(m.ScaledX(box.left));
                const int32_t right = static_cast<int32_t>(m.ScaledX(box.right));
                const int32_t top = static_cast<int32_t>(m.ScaledY(box.top));
                const int32_t bottom = static_cast<int32_t>(m.ScaledY(box.bottom));
                if (left == right && top == bottom) {
                    i += RunLength;
                    continue;
                }
                const uint32_t runEnd = i + RunLength;
                for (++i; i <= runEnd; ++i) {
                    AddCopiedPoint(points[i]);
                }
                i = runEnd;
                continue;
            }
            AddCopiedPoint(points[++i]);
        }
    }

    inline CPixelPoint MapCopied(const CDrawingCopy::CPoint& point) const {
        return CPixelPoint{static_cast<int32_t>(mapping.ScaledX(point.x)),
                           static_cast<int32_t>(mapping.ScaledY(point.y))};
    }

    inline void AddCopiedPoint(const CDrawingCopy::CPoint& point) {
        const CPixelPoint next = MapCopied(point);
        if (!(next == current)) {
            path.lineTo(next.x, next.y);
            current = next;
        }
    }

    inline void LineTo(const CPixelPoint& b) {
        if (hasCurrent) {
            path.lineTo(b.x, b.y);
        } else {
            path.moveTo(b.x, b.y);
            hasCurrent = true;
        }
    }

    void AddArc(const C2DArc& arc) {
        CEdgePixels pixels;
        if (!MapEdge(arc.GetStart(), arc.GetEnd(), pixels)) {
            return;
        }
        const CPixelPoint& a = pixels.start;
        const CPixelPoint& b = pixels.end;
        const bool startFinite = pixels.startFinite;
        // An arc whose chord is longer than its diameter has no circle (its
        // centre would be reported as the origin); it is drawn as its chord.
        if (!hasCurrent || !startFinite || !arc.HasCircle()) {
            LineTo(b);
            return;
        }
        // Bounding box of the circle: the corners (centre - offset) +- r are
        // scaled and truncated like every other pixel.
        const C2DPoint centre = arc.GetCircleCentre();
        const double r = arc.radius;
        const double cx = centre.x - mapping.offsetX;
        const double cy = centre.y - mapping.offsetY;
        const CPixelMapping noOffset{0.0, 0.0, mapping.scaleX, mapping.scaleY};
        CPixelPoint p1;
        CPixelPoint p2;
        if (!noOffset.Map(cx - r, cy + r, p1) || !noOffset.Map(cx + r, cy - r, p2)) {
            LineTo(b);
            return;
        }
        // The box is normalised: with the y scale negative, p1 is the upper
        // corner on screen.
        const double left = std::min(p1.x, p2.x);
        const double right = std::max(p1.x, p2.x);
        const double top = std::min(p1.y, p2.y);
        const double bottom = std::max(p1.y, p2.y);
        if (right <= left || bottom <= top) {
            LineTo(b); // the circle is thinner than a pixel
            return;
        }
        const bool clockwise = arc.arcOnRight != (mapping.scaleX * mapping.scaleY < 0.0);
        ArcTo(QRectF(left, top, right - left, bottom - top), a, b, clockwise);
    }

    // The platform's arc-to: the arc runs on the ellipse of the box from where
    // the ray from the box's centre through a meets the ellipse to where the
    // ray through b meets it, clockwise or counter-clockwise as seen on
    // screen; a line joins the current position to the arc's start, and the
    // arc's end becomes the current position. Equal rays give a whole
    // ellipse.
    //
    // QPainterPath::arcTo takes angles in degrees, counter-clockwise on screen
    // (y down) from 3 o'clock, and they are parametric angles of the ellipse,
    // not polar ones. The ray through a point (dx, dy) from the centre (dy
    // measured upwards) meets the ellipse of half axes A, B at the parametric
    // angle atan2(A * dy, B * dx).
    void ArcTo(const QRectF& box, const CPixelPoint& a, const CPixelPoint& b, bool clockwise) {
        const QPointF centre = box.center();
        const double halfWidth = box.width() / 2.0;
        const double halfHeight = box.height() / 2.0;
        const auto parametricAngle = [&](const CPixelPoint& p) {
            const double dx = p.x - centre.x();
            const double dy = centre.y() - p.y;
            return std::atan2(halfWidth * dy, halfHeight * dx) * (180.0 / 3.141592653589793);
        };
        const double startAngle = parametricAngle(a);
        double sweep = parametricAngle(b) - startAngle;
        if (clockwise) {
            if (sweep >= 0.0) {
                sweep -= 360.0;
            }
        } else if (sweep <= 0.0) {
            sweep += 360.0;
        }
        path.arcTo(box, startAngle, sweep);
    }

    const CPixelMapping& mapping;
    QPainterPath& path;
    // The drawing copy that copied rings come from.
    const CDrawingCopy* copy;
    std::vector<CPixelPoint>* dots;
    bool hasCurrent = false;
    bool figureOpen = false;
    // A point of the current figure was skipped for having no finite pixel.
    bool pointLost = false;
    // While a copied ring is added: the pixel that the next edge's end is
    // compared with.
    CPixelPoint current;
};

} // namespace

void BuildRings(const CPixelMapping& mapping, const CDrawnPolygon& drawn, const CDrawingCopy* copy,
                unsigned firstRing, unsigned endRing, QPainterPath& path,
                std::vector<CPixelPoint>* dots) {
    const C2DHoledPolyBase* holedPolygon = drawn.holedPolygon;
    CPathBuilder builder(mapping, path, copy, dots);
    if (firstRing == 0) {
        if (drawn.copiedRings != nullptr) {
            builder.AddCopiedRim(drawn.copiedRings[0], holedPolygon);
        } else {
            builder.AddFigure(*holedPolygon->GetRim());
        }
        firstRing = 1;
    }
    if (endRing > firstRing) {
        if (drawn.copiedRings != nullptr) {
            builder.AddCopiedHoles(holedPolygon, drawn.copiedRings + 1, firstRing - 1, endRing - 1);
        } else {
            builder.AddHoles(*holedPolygon, firstRing - 1, endRing - 1);
        }
    }
    builder.CloseFigure();
}
