#include "viewer/MapCanvas.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "geometry/Arcs.h"

namespace {

// How many edges ahead the straight-edge loop asks for the next edge objects:
// rings of large maps hold their edges in pool slots that the loader may have
// left scattered.
constexpr unsigned PrefetchDistance = 16;
// Holes are tested and fetched this many at a time.
constexpr unsigned HoleBatch = 16;
// Hole pointers requested ahead of the hole being tested.
constexpr unsigned HoleArrayAhead = 256;
// Edges of each hole requested before it is drawn.
constexpr unsigned HoleEdgesAhead = 8;

// Read access to a ring's edge array, so that the loops over millions of edges
// make no call per edge. The edge set is a protected member of C2DPolyBase and
// its array a protected member of C2DBaseSet; a derived class may form
// pointers to them, and such a pointer reads any ring.
struct CRingAccess : C2DPolyBase {
    struct CSetAccess : C2DBaseSet {
        static const std::vector<C2DBase*>& Members(const C2DBaseSet& set) {
            return set.*(&CSetAccess::members);
        }
    };
    static C2DBase* const* Edges(const C2DPolyBase& ring) {
        return CSetAccess::Members(ring.*(&CRingAccess::lines)).data();
    }
};

// Read access to the array of a holed polygon's holes, for the same reason.
struct CHoleAccess : C2DHoledPolyBase {
    static C2DBase* const* Holes(const C2DHoledPolyBase& holedPolygon) {
        return CRingAccess::CSetAccess::Members(holedPolygon.*(&CHoleAccess::holes)).data();
    }
};

bool IsFinite(const C2DRect& r) {
    return std::isfinite(r.topLeft.x) && std::isfinite(r.topLeft.y) &&
           std::isfinite(r.bottomRight.x) && std::isfinite(r.bottomRight.y);
}

// Truncates towards zero. Values beyond the 32-bit range saturate (a converted
// double out of range would be undefined), and NaN gives 0.
inline int32_t TruncateToPixel(double value) {
    if (value > -2147483649.0 && value < 2147483648.0) {
        return static_cast<int32_t>(value);
    }
    if (value > 0.0) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value < 0.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return 0;
}

// True when a scaled coordinate converts to a pixel as it is; false when it
// saturates, and for infinities and NaN.
inline bool FitsPixel(double value) {
    return std::fabs(value) < 2147483647.0;
}

// The mapping of Render in a form the inner loops can keep in registers.
struct CPixelMapping {
    double offsetX;
    double offsetY;
    double scaleX;
    double scaleY;

    // The pixel of a map point; false when it has no finite pixel position
    // (infinite or NaN coordinates, as projections give at their poles).
    inline bool Map(double x, double y, CPixelPoint& pixel) const {
        const double px = (x - offsetX) * scaleX;
        const double py = (y - offsetY) * scaleY;
        // px - px is 0 for finite values and NaN for infinities and NaN.
        if (!(px - px == 0.0 && py - py == 0.0)) {
            return false;
        }
        pixel.x = TruncateToPixel(px);
        pixel.y = TruncateToPixel(py);
        return true;
    }
};

} // namespace

// Edges per run of the render index.
constexpr unsigned RunLength = 16;
// Positions per axis of the grid that run boxes are stored on.
constexpr unsigned IndexGridSize = 65536;

// The box of a run of edges over the start and end points of its edges, as
// grid positions: the grid values at left and low are at most the smallest
// coordinates, those at right and high at least the largest. A run that may
// never be skipped (it holds an arc, a point without finite coordinates or
// one off the grid) has left > right.
struct CRunBox {
    uint16_t left;
    uint16_t right;
    uint16_t low;
    uint16_t high;
};

// Run boxes of every ring of one content object, in content order: holed
// polygon p owns rings firstRing[p] .. firstRing[p + 1] - 1, its rim first and
// then its holes; ring r owns runs firstRun[r] .. firstRun[r + 1] - 1, run k of
// a ring covering its edges k * RunLength up to (k + 1) * RunLength.
struct CRenderIndex {
    const C2DHoledPolyBaseSet* content = nullptr;
    std::vector<double> gridX;
    std::vector<double> gridY;
    // The holed polygons indexed, to recognise content that was replaced.
    std::vector<const C2DHoledPolyBase*> polygons;
    std::vector<uint32_t> firstRing;
    std::vector<uint32_t> firstRun;
    std::vector<CRunBox> runs;

    std::size_t Bytes() const {
        return sizeof(*this) + gridX.capacity() * sizeof(double) +
               gridY.capacity() * sizeof(double) +
               polygons.capacity() * sizeof(const C2DHoledPolyBase*) +
               firstRing.capacity() * sizeof(uint32_t) + firstRun.capacity() * sizeof(uint32_t) +
               runs.capacity() * sizeof(CRunBox);
    }
};

// The render index for one frame: the pixel column of every x grid position
// and the pixel row of every y grid position. The mapping from a coordinate to
// its pixel never decreases (or, for a negative scale, never increases) as the
// coordinate grows: subtraction, multiplication, truncation and saturation
// all keep the order. So when both ends of a run box's x range fall on one
// column and both ends of its y range on one row, every point of the run falls
// on that pixel, every edge of it has equal end pixels, and the edge-by-edge
// path would skip them all.
struct CRenderIndexFrame {
    const CRenderIndex* index = nullptr;
    std::vector<int32_t> pixelX;
    std::vector<int32_t> pixelY;

    bool IsSkippable(const CRunBox& box) const {
        return box.left <= box.right && pixelX[box.left] == pixelX[box.right] &&
               pixelY[box.low] == pixelY[box.high];
    }
    // True when every run of the ring is skippable; a ring without edges has
    // no runs.
    bool IsRingSkippable(uint32_t ring) const {
        const CRunBox* runs = index->runs.data();
        for (uint32_t k = index->firstRun[ring]; k < index->firstRun[ring + 1]; ++k) {
            if (!IsSkippable(runs[k])) {
                return false;
            }
        }
        return true;
    }
};

struct CDrawnPolygon {
    unsigned index;
    const C2DHoledPolyBase* holedPolygon;
};

namespace {

unsigned RunCount(unsigned edgeCount) {
    return edgeCount / RunLength + (edgeCount % RunLength != 0 ? 1 : 0);
}

// Accumulates the one path of a holed polygon as the platform's path drawing
// would: a current position, figures started by moves, and edges emitted only
// when their two end pixels differ.
class CPathBuilder {
public:
    CPathBuilder(const CPixelMapping& mapping, QPainterPath& path,
                 const CRenderIndexFrame* frame = nullptr)
        : mapping(mapping), path(path), frame(frame) {}

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
                        ? static_cast<const C2DLine*>(CRingAccess::Edges(ring)[0])->start
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
                    __builtin_prefetch(CRingAccess::Edges(*ring));
                    drawn[drawnCount++] = ring;
                }
            }
            for (unsigned i = 0; i < drawnCount; ++i) {
                __builtin_prefetch(
                    &static_cast<const C2DLine*>(CRingAccess::Edges(*drawn[i])[0])->start);
            }
            for (unsigned i = 0; i < drawnCount; ++i) {
                AddRingFigure(*drawn[i]);
            }
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
        C2DBase* const* edges = CRingAccess::Edges(ring);
        if (ring.GetType() == GeometryType::Polygon) {
            // A polygon holds straight edges only.
            for (unsigned i = first; i < std::min(end, first + PrefetchDistance); ++i) {
                PrefetchLine(edges[i]);
            }
            for (unsigned i = first; i < end; ++i) {
                if (i + PrefetchDistance < end) {
                    PrefetchLine(edges[i + PrefetchDistance]);
                }
                AddLine(*static_cast<const C2DLine*>(edges[i]));
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

    // Ring number ringId of the render index as a figure, its skippable runs
    // left unread. A run is skipped only while the previous point kept its
    // pixel: after a lost point, the next finite start point joins the
    // outline, so the edge-by-edge path would emit a line there. A ring whose
    // edge count does not match its runs is drawn without the index.
    void AddIndexedFigure(const C2DPolyBase& ring, uint32_t ringId) {
        const CRenderIndex& index = *frame->index;
        const uint32_t firstRun = index.firstRun[ringId];
        const uint32_t runCount = index.firstRun[ringId + 1] - firstRun;
        const unsigned count = ring.GetLineCount();
        if (runCount != RunCount(count)) {
            AddFigure(ring);
            return;
        }
        if (count == 0) {
            return;
        }
        StartFigure(ring.GetType() == GeometryType::Polygon
                        ? static_cast<const C2DLine*>(CRingAccess::Edges(ring)[0])->start
                        : ring.GetLine(0)->GetStart());
        const CRunBox* runs = index.runs.data() + firstRun;
        for (uint32_t k = 0; k < runCount; ++k) {
            if (!pointLost && frame->IsSkippable(runs[k])) {
                continue;
            }
            const unsigned first = k * RunLength;
            AddEdges(ring, first, std::min(first + RunLength, count));
        }
    }

    // Holes [first, end) of a holed polygon whose hole 0 is ring number
    // firstHoleId of the render index. Holes whose runs are all skippable
    // would add a figure without a single edge, which draws nothing; they
    // are not even read. The others go through a pipeline of requests, each
    // stage HoleStage holes behind the previous one: the ring object, then
    // its edge array, then its first edges, and then the hole is drawn.
    void AddIndexedHoles(const C2DHoledPolyBase& holedPolygon, uint32_t firstHoleId, unsigned first,
                         unsigned end) {
        CHoleQueue queue{holedPolygon, {}, {}};
        unsigned queued = 0;
        // The holes drawn are sparse in the hole array: its lines are
        // requested well before they are needed.
        C2DBase* const* holes = CHoleAccess::Holes(holedPolygon);
        for (unsigned h = first; h < end; ++h) {
            if (h % 8 == 0 && h + HoleArrayAhead < end) {
                __builtin_prefetch(holes + h + HoleArrayAhead);
            }
            if (frame->IsRingSkippable(firstHoleId + h)) {
                continue;
            }
            queue.holes[queued % HoleQueueSize] = h;
            AdvanceHoles(queue, firstHoleId, queued, queued + 1);
            ++queued;
        }
        for (unsigned t = queued; t < queued + 3 * HoleStage; ++t) {
            AdvanceHoles(queue, firstHoleId, t, queued);
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
    static constexpr unsigned HoleStage = 16;
    static constexpr unsigned HoleQueueSize = 4 * HoleStage;

    struct CHoleQueue {
        const C2DHoledPolyBase& holedPolygon;
        unsigned holes[HoleQueueSize];
        const C2DPolyBase* rings[HoleQueueSize];
    };

    // Step t of the hole pipeline, with holes [0, queued) entered so far.
    void AdvanceHoles(CHoleQueue& queue, uint32_t firstHoleId, unsigned t, unsigned queued) {
        if (t < queued) {
            const unsigned slot = t % HoleQueueSize;
            queue.rings[slot] = queue.holedPolygon.GetHole(queue.holes[slot]);
            const char* ring = reinterpret_cast<const char*>(queue.rings[slot]);
            __builtin_prefetch(ring);
            __builtin_prefetch(ring + 64);
            __builtin_prefetch(ring + 128);
        }
        if (t >= HoleStage && t - HoleStage < queued) {
            const C2DPolyBase* ring = queue.rings[(t - HoleStage) % HoleQueueSize];
            if (ring->GetLineCount() != 0) {
                __builtin_prefetch(CRingAccess::Edges(*ring));
            }
        }
        if (t >= 2 * HoleStage && t - 2 * HoleStage < queued) {
            const C2DPolyBase* ring = queue.rings[(t - 2 * HoleStage) % HoleQueueSize];
            const unsigned count = std::min(ring->GetLineCount(), HoleEdgesAhead);
            C2DBase* const* edges = count != 0 ? CRingAccess::Edges(*ring) : nullptr;
            for (unsigned e = 0; e < count; ++e) {
                PrefetchLine(edges[e]);
            }
        }
        if (t >= 3 * HoleStage && t - 3 * HoleStage < queued) {
            const unsigned slot = (t - 3 * HoleStage) % HoleQueueSize;
            AddIndexedFigure(*queue.rings[slot], firstHoleId + queue.holes[slot]);
        }
    }

    // Requests the coordinates of a straight edge, which may straddle two
    // cache lines.
    static void PrefetchLine(const C2DBase* edge) {
        const C2DLine* line = static_cast<const C2DLine*>(edge);
        __builtin_prefetch(&line->start);
        __builtin_prefetch(&line->direction.dy);
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
        const double left = r.topLeft.x - margin;
        const double top = r.topLeft.y + margin;
        const double right = r.bottomRight.x + margin;
        const double bottom = r.bottomRight.y - margin;
        const CPixelMapping& m = mapping;
        const double x1 = (left - m.offsetX) * m.scaleX;
        const double y1 = (top - m.offsetY) * m.scaleY;
        const double x2 = (right - m.offsetX) * m.scaleX;
        const double y2 = (bottom - m.offsetY) * m.scaleY;
        if (FitsPixel(x1) & FitsPixel(y1) & FitsPixel(x2) & FitsPixel(y2)) {
            return static_cast<int32_t>(x1) == static_cast<int32_t>(x2) &&
                   static_cast<int32_t>(y1) == static_cast<int32_t>(y2);
        }
        CPixelPoint p1;
        CPixelPoint p2;
        return m.Map(left, top, p1) && m.Map(right, bottom, p2) && p1 == p2;
    }

    inline void AddLine(const C2DLine& line) {
        // The common case, decided without branches per coordinate: every
        // coordinate finite and within the pixel range, the previous point
        // kept. The end is start + direction, exactly as C2DLine::GetEnd gives
        // it.
        const CPixelMapping& m = mapping;
        const double ax = (line.start.x - m.offsetX) * m.scaleX;
        const double ay = (line.start.y - m.offsetY) * m.scaleY;
        const double bx = (line.start.x + line.direction.dx - m.offsetX) * m.scaleX;
        const double by = (line.start.y + line.direction.dy - m.offsetY) * m.scaleY;
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
        CPixelPoint a;
        CPixelPoint b;
        const bool startFinite = mapping.Map(line.start.x, line.start.y, a);
        if (pointLost && startFinite) {
            Rejoin(a);
        }
        if (!mapping.Map(line.start.x + line.direction.dx, line.start.y + line.direction.dy, b)) {
            pointLost = true;
            return;
        }
        if (startFinite && a == b) {
            return; // both ends on one pixel
        }
        LineTo(b);
    }

    // After points without a pixel position the outline continues at the next
    // finite start point. (An edge that starts at infinity has no finite end
    // either: its end is computed as start + direction.) With finite content
    // this never happens, and the path is exactly the edge-by-edge one.
    void Rejoin(const CPixelPoint& a) {
        LineTo(a);
        pointLost = false;
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
        const C2DPoint start = arc.GetStart();
        const C2DPoint end = arc.GetEnd();
        CPixelPoint a;
        CPixelPoint b;
        const bool startFinite = mapping.Map(start.x, start.y, a);
        if (pointLost && startFinite) {
            Rejoin(a);
        }
        if (!mapping.Map(end.x, end.y, b)) {
            pointLost = true;
            return;
        }
        if (startFinite && a == b) {
            return;
        }
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
    const CRenderIndexFrame* frame;
    bool hasCurrent = false;
    bool figureOpen = false;
    // A point of the current figure was skipped for having no finite pixel.
    bool pointLost = false;
};

} // namespace

CMapCanvas::CMapCanvas() = default;

CMapCanvas::~CMapCanvas() {
    delete image;
}

void CMapCanvas::CreateBuffer(int width, int height) {
    delete image;
    image = new QImage(width, height, QImage::Format_RGB32);
    pixelRect.left = 0;
    pixelRect.top = 0;
    pixelRect.right = width;
    pixelRect.bottom = height;
    Recalculate();
    image->fill(backgroundColour);
}

void CMapCanvas::Recalculate() {
    visibleRect = requestedRect;
    const C2DPoint visibleCentre = visibleRect.GetCentre();

    // The aspect ratios are compared in single precision, so the choice of
    // the fitted axis is stable for areas whose aspect equals the image's.
    const float pixelWidth = static_cast<float>(pixelRect.right - pixelRect.left);
    const float pixelHeight = static_cast<float>(pixelRect.bottom - pixelRect.top);
    const float screenAspect = pixelWidth / pixelHeight;
    const float mapWidth =
        static_cast<float>(requestedRect.bottomRight.x - requestedRect.topLeft.x);
    const float mapHeight =
        static_cast<float>(requestedRect.topLeft.y - requestedRect.bottomRight.y);
    const float mapAspect = mapWidth / mapHeight;

    if (screenAspect <= mapAspect) {
        // The map is relatively wider: fit the width, widen the visible height.
        const float s = pixelWidth / mapWidth;
        scale = C2DPoint(s, s);
        const double ratio = mapAspect / screenAspect;
        visibleRect.topLeft.y = visibleCentre.y + (visibleRect.topLeft.y - visibleCentre.y) * ratio;
        visibleRect.bottomRight.y =
            visibleCentre.y + (visibleRect.bottomRight.y - visibleCentre.y) * ratio;
    } else {
        // The image is relatively wider (or an aspect is not a number): fit the
        // height, widen the visible width.
        const float s = pixelHeight / mapHeight;
        scale = C2DPoint(s, s);
        const double ratio = screenAspect / mapAspect;
        visibleRect.topLeft.x = visibleCentre.x + (visibleRect.topLeft.x - visibleCentre.x) * ratio;
        visibleRect.bottomRight.x =
            visibleCentre.x + (visibleRect.bottomRight.x - visibleCentre.x) * ratio;
    }
    scale.y = -scale.y;

    // The centre of the requested area lands on the centre pixel; the halving
    // is an integer division.
    const C2DPoint requestedCentre = requestedRect.GetCentre();
    offset.x = requestedCentre.x - ((pixelRect.left + pixelRect.right) / 2) / scale.x;
    offset.y = requestedCentre.y - ((pixelRect.top + pixelRect.bottom) / 2) / scale.y;
}

namespace {

// Bounds of the finite vertices of the content; all zero when it has none.
// A projection may send vertices to infinity (Mercator at the poles); fitting
// those would leave nothing visible.
C2DRect FiniteBounds(const C2DHoledPolyBaseSet& content) {
    C2DRect bounds(0.0, 0.0, 0.0, 0.0);
    bool any = false;
    const auto include = [&](const C2DPoint& p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            return;
        }
        if (any) {
            bounds.ExpandToInclude(p);
        } else {
            bounds.Set(p.x, p.y, p.x, p.y);
            any = true;
        }
    };
    const auto includeRing = [&](const C2DPolyBase* ring) {
        if (ring == nullptr) {
            return;
        }
        for (unsigned i = 0; i < ring->GetLineCount(); ++i) {
            const C2DLineBase* edge = ring->GetLine(i);
            C2DRect edgeBounds(edge->GetStart(), edge->GetStart());
            edgeBounds.ExpandToInclude(edge->GetEnd());
            // An arc's bulge counts when its whole box is finite.
            edge->GetBounds(edgeBounds);
            if (IsFinite(edgeBounds)) {
                include(edgeBounds.topLeft);
                include(edgeBounds.bottomRight);
            } else {
                include(edge->GetStart());
                include(edge->GetEnd());
            }
        }
    };
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holedPolygon = content.GetAt(i);
        includeRing(holedPolygon->GetRim());
        for (unsigned h = 0; h < holedPolygon->GetHoleCount(); ++h) {
            includeRing(holedPolygon->GetHole(h));
        }
    }
    return bounds;
}

} // namespace

namespace {

// IndexGridSize ascending values from low to high, both widened a little: an
// edge's end is computed as start + direction and may lie a rounding step
// outside the stored bounds.
std::vector<double> MakeGrid(double low, double high) {
    const double margin = (high - low + std::max(std::fabs(low), std::fabs(high))) * 1e-12;
    low -= margin;
    high += margin;
    std::vector<double> grid(IndexGridSize);
    for (unsigned q = 0; q < IndexGridSize; ++q) {
        grid[q] = low + (high - low) * (static_cast<double>(q) / (IndexGridSize - 1));
    }
    grid.back() = high;
    for (unsigned q = 1; q < IndexGridSize; ++q) {
        grid[q] = std::max(grid[q], grid[q - 1]);
    }
    return grid;
}

// A grid position whose value is at most value (which lies on the grid).
uint16_t GridBelow(const std::vector<double>& grid, double value) {
    const double low = grid.front();
    const double high = grid.back();
    const double estimate = high > low ? (value - low) / (high - low) * (IndexGridSize - 1) : 0.0;
    unsigned q = static_cast<unsigned>(std::clamp(estimate, 0.0, double(IndexGridSize - 1)));
    while (q > 0 && grid[q] > value) {
        --q;
    }
    return static_cast<uint16_t>(q);
}

// A grid position whose value is at least value (which lies on the grid).
uint16_t GridAbove(const std::vector<double>& grid, double value) {
    const double low = grid.front();
    const double high = grid.back();
    const double estimate = high > low ? (value - low) / (high - low) * (IndexGridSize - 1) : 0.0;
    unsigned q =
        static_cast<unsigned>(std::ceil(std::clamp(estimate, 0.0, double(IndexGridSize - 1))));
    while (q + 1 < IndexGridSize && grid[q] < value) {
        ++q;
    }
    return static_cast<uint16_t>(q);
}

constexpr CRunBox NeverSkipped{1, 0, 1, 0};

// Below this many rings per thread the index is built on one thread.
constexpr std::size_t RingsPerIndexThread = 10000;

// The box of edges [first, end) of a ring over the points the path computes
// for them: each straight edge's start and its end as start + direction.
CRunBox MakeRunBox(const CRenderIndex& index, C2DBase* const* edges, unsigned first, unsigned end) {
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    for (unsigned i = first; i < end; ++i) {
        if (i + PrefetchDistance < end) {
            __builtin_prefetch(reinterpret_cast<const char*>(edges[i + PrefetchDistance]) + 16);
        }
        if (edges[i]->GetType() != GeometryType::Line) {
            return NeverSkipped; // arcs are always drawn edge by edge
        }
        const C2DLine& line = *static_cast<const C2DLine*>(edges[i]);
        const double xs[2] = {line.start.x, line.start.x + line.direction.dx};
        const double ys[2] = {line.start.y, line.start.y + line.direction.dy};
        for (int k = 0; k < 2; ++k) {
            if (!std::isfinite(xs[k]) || !std::isfinite(ys[k])) {
                return NeverSkipped;
            }
            minX = std::min(minX, xs[k]);
            maxX = std::max(maxX, xs[k]);
            minY = std::min(minY, ys[k]);
            maxY = std::max(maxY, ys[k]);
        }
    }
    const std::vector<double>& gx = index.gridX;
    const std::vector<double>& gy = index.gridY;
    if (!(minX >= gx.front() && maxX <= gx.back() && minY >= gy.front() && maxY <= gy.back())) {
        return NeverSkipped;
    }
    return CRunBox{GridBelow(gx, minX), GridAbove(gx, maxX), GridBelow(gy, minY),
                   GridAbove(gy, maxY)};
}

// The runs of rings [firstRing, endRing) in index numbering: firstRun gets
// one entry per ring, counted from the part's first run.
struct CIndexPart {
    std::vector<uint32_t> firstRun;
    std::vector<CRunBox> runs;
};

void BuildIndexPart(const CRenderIndex& index, const C2DHoledPolyBaseSet& content,
                    uint32_t firstRing, uint32_t endRing, CIndexPart& part) {
    const auto polygon =
        std::upper_bound(index.firstRing.begin(), index.firstRing.end(), firstRing) -
        index.firstRing.begin() - 1;
    unsigned p = static_cast<unsigned>(polygon);
    part.firstRun.reserve(endRing - firstRing);
    for (uint32_t ringId = firstRing; ringId < endRing; ++ringId) {
        while (ringId >= index.firstRing[p + 1]) {
            ++p;
        }
        const C2DHoledPolyBase* holedPolygon = content.GetAt(p);
        const uint32_t r = ringId - index.firstRing[p];
        const C2DPolyBase* ring = r == 0 ? holedPolygon->GetRim() : holedPolygon->GetHole(r - 1);
        part.firstRun.push_back(static_cast<uint32_t>(part.runs.size()));
        const unsigned count = ring != nullptr ? ring->GetLineCount() : 0;
        C2DBase* const* edges = count != 0 ? CRingAccess::Edges(*ring) : nullptr;
        for (unsigned first = 0; first < count; first += RunLength) {
            part.runs.push_back(
                MakeRunBox(index, edges, first, std::min(first + RunLength, count)));
        }
    }
}

// One pass over the content, in two halves on two threads: the runs of every
// ring, on a grid over bounds (the finite bounds of the content). Null when
// the content is too large to number its rings and runs in 32 bits.
std::unique_ptr<CRenderIndex> BuildRenderIndex(const C2DHoledPolyBaseSet& content,
                                               const C2DRect& bounds) {
    auto index = std::make_unique<CRenderIndex>();
    index->content = &content;
    index->gridX = MakeGrid(bounds.topLeft.x, bounds.bottomRight.x);
    index->gridY = MakeGrid(bounds.bottomRight.y, bounds.topLeft.y);
    const unsigned polygonCount = content.GetSize();
    index->polygons.reserve(polygonCount);
    index->firstRing.reserve(std::size_t(polygonCount) + 1);
    constexpr std::size_t Limit = std::numeric_limits<uint32_t>::max();
    std::size_t ringCount = 0;
    for (unsigned p = 0; p < polygonCount; ++p) {
        const C2DHoledPolyBase* holedPolygon = content.GetAt(p);
        index->polygons.push_back(holedPolygon);
        index->firstRing.push_back(static_cast<uint32_t>(ringCount));
        ringCount += 1 + std::size_t(holedPolygon->GetHoleCount());
        if (ringCount >= Limit) {
            return nullptr;
        }
    }
    index->firstRing.push_back(static_cast<uint32_t>(ringCount));

    const uint32_t middle = static_cast<uint32_t>(ringCount / 2);
    CIndexPart parts[2];
    const auto buildSecondHalf = [&] {
        BuildIndexPart(*index, content, middle, static_cast<uint32_t>(ringCount), parts[1]);
    };
    std::thread helper;
    if (ringCount >= 2 * RingsPerIndexThread) {
        try {
            helper = std::thread(buildSecondHalf);
        } catch (const std::system_error&) {
        }
    }
    BuildIndexPart(*index, content, 0, middle, parts[0]);
    if (helper.joinable()) {
        helper.join();
    } else {
        buildSecondHalf();
    }

    const std::size_t runCount = parts[0].runs.size() + parts[1].runs.size();
    if (runCount >= Limit) {
        return nullptr;
    }
    index->firstRun = std::move(parts[0].firstRun);
    index->firstRun.reserve(ringCount + 1);
    const uint32_t runOffset = static_cast<uint32_t>(parts[0].runs.size());
    for (const uint32_t first : parts[1].firstRun) {
        index->firstRun.push_back(runOffset + first);
    }
    index->firstRun.push_back(static_cast<uint32_t>(runCount));
    index->runs = std::move(parts[0].runs);
    index->runs.reserve(runCount);
    index->runs.insert(index->runs.end(), parts[1].runs.begin(), parts[1].runs.end());
    return index;
}

// The pixel tables of the index for the canvas's mapping; false when a grid
// value has no finite pixel position (an infinite scale, as empty content
// gives), and the frame is then rendered without the index.
bool MakeIndexFrame(const CRenderIndex& index, const CPixelMapping& mapping,
                    CRenderIndexFrame& frame) {
    const auto makeTable = [](const std::vector<double>& grid, double offset, double scale,
                              std::vector<int32_t>& table) {
        table.resize(grid.size());
        for (std::size_t q = 0; q < grid.size(); ++q) {
            // Computed exactly as the path computes a point's pixel.
            const double pixel = (grid[q] - offset) * scale;
            if (!(pixel - pixel == 0.0)) {
                return false;
            }
            table[q] = TruncateToPixel(pixel);
        }
        return true;
    };
    frame.index = &index;
    return makeTable(index.gridX, mapping.offsetX, mapping.scaleX, frame.pixelX) &&
           makeTable(index.gridY, mapping.offsetY, mapping.scaleY, frame.pixelY);
}

} // namespace

void CMapCanvas::FitToBounds(const C2DHoledPolyBaseSet& content) {
    C2DRect bounds(0.0, 0.0, 0.0, 0.0);
    content.GetBounds(bounds);
    if (!IsFinite(bounds)) {
        bounds = FiniteBounds(content);
    }
    requestedRect = bounds;
    Recalculate();
    renderIndex.reset();
    renderIndex = BuildRenderIndex(content, bounds);
}

void CMapCanvas::InvalidateRenderIndex() {
    renderIndex.reset();
}

std::size_t CMapCanvas::GetRenderIndexBytes() const {
    return renderIndex != nullptr ? renderIndex->Bytes() : 0;
}

C2DPoint CMapCanvas::PixelToMap(int32_t px, int32_t py) const {
    return C2DPoint(px / scale.x + offset.x, py / scale.y + offset.y);
}

CPixelPoint CMapCanvas::MapToPixel(double x, double y) const {
    return CPixelPoint{TruncateToPixel((x - offset.x) * scale.x),
                       TruncateToPixel((y - offset.y) * scale.y)};
}

bool CMapCanvas::IsWorthDrawing(const C2DPolyBase& rim) const {
    C2DRect bounds;
    rim.GetBounds(bounds);
    C2DRect onScreen = bounds;
    onScreen.MultiplyBy(scale);
    const double area = std::fabs((onScreen.bottomRight.x - onScreen.topLeft.x) *
                                  (onScreen.topLeft.y - onScreen.bottomRight.y));
    if (area < MinDrawArea) {
        return false;
    }
    return bounds.Overlaps(visibleRect);
}

namespace {

// Builds the figures of rings [firstRing, endRing) of a holed polygon into
// path; ring 0 is the rim and ring k the hole k - 1. The path of a holed
// polygon may be built in pieces: every figure is complete in itself, so the
// pieces appended in order give exactly the path built in one go. With a
// frame of the render index, drawn.index numbers the holed polygon in it.
void BuildRings(const CPixelMapping& mapping, const CRenderIndexFrame* frame,
                const CDrawnPolygon& drawn, unsigned firstRing, unsigned endRing,
                QPainterPath& path) {
    const C2DHoledPolyBase& holedPolygon = *drawn.holedPolygon;
    CPathBuilder builder(mapping, path, frame);
    const uint32_t rimId = frame != nullptr ? frame->index->firstRing[drawn.index] : 0;
    if (firstRing == 0) {
        if (frame == nullptr) {
            builder.AddFigure(*holedPolygon.GetRim());
        } else if (!frame->IsRingSkippable(rimId)) {
            builder.AddIndexedFigure(*holedPolygon.GetRim(), rimId);
        }
        firstRing = 1;
    }
    if (endRing > firstRing) {
        if (frame == nullptr) {
            builder.AddHoles(holedPolygon, firstRing - 1, endRing - 1);
        } else {
            builder.AddIndexedHoles(holedPolygon, rimId + 1, firstRing - 1, endRing - 1);
        }
    }
    builder.CloseFigure();
}

// A share of the path building that the render threads take in turn.
struct CPathPiece {
    const CDrawnPolygon* drawn = nullptr;
    unsigned firstRing = 0;
    unsigned endRing = 0;
    QPainterPath path;
    std::atomic<bool> built{false};
};

// Rings per piece: small enough that the two threads stay busy on a map
// whose holed polygons have hundreds of thousands of holes, large enough that
// a piece costs far more than taking it.
constexpr unsigned RingsPerPiece = 2048;
// Below this estimate of edges to read, a second thread costs more than it
// saves.
constexpr std::size_t ParallelWork = 100000;

// True when the render index may stand for the content: built for this
// object, with the same holed polygons, and every polygon to draw with as many
// rings as then. A ring whose edge count changed is found when it is read.
bool IndexMatches(const CRenderIndex& index, const C2DHoledPolyBaseSet& content,
                  const std::vector<CDrawnPolygon>& drawn) {
    if (index.content != &content || index.polygons.size() != content.GetSize()) {
        return false;
    }
    for (const CDrawnPolygon& d : drawn) {
        if (index.polygons[d.index] != d.holedPolygon ||
            index.firstRing[d.index + 1] - index.firstRing[d.index] !=
                1 + std::size_t(d.holedPolygon->GetHoleCount())) {
            return false;
        }
    }
    return true;
}

} // namespace

void CMapCanvas::Render(const C2DHoledPolyBaseSet& content) {
    renderedWithIndex = false;
    if (image == nullptr) {
        return;
    }
    QPainter painter(image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(pixelRect.left, pixelRect.top, pixelRect.right - pixelRect.left,
                           pixelRect.bottom - pixelRect.top),
                     backgroundColour);
    QPen pen(lineColour);
    pen.setWidth(1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(QBrush(fillColour, Qt::SolidPattern));

    std::vector<CDrawnPolygon> drawn;
    std::size_t work = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holedPolygon = content.GetAt(i);
        const C2DPolyBase* rim = holedPolygon->GetRim();
        // A holed polygon whose rim has no edges draws nothing, holes included.
        if (rim != nullptr && rim->GetLineCount() != 0 && IsWorthDrawing(*rim)) {
            drawn.push_back(CDrawnPolygon{i, holedPolygon});
            work += rim->GetLineCount() + 4 * std::size_t(holedPolygon->GetHoleCount());
        }
    }
    CRenderIndexFrame frame;
    if (renderIndex != nullptr && IndexMatches(*renderIndex, content, drawn) &&
        MakeIndexFrame(*renderIndex, CPixelMapping{offset.x, offset.y, scale.x, scale.y}, frame)) {
        renderedWithIndex = true;
    }
    const CRenderIndexFrame* indexFrame = renderedWithIndex ? &frame : nullptr;
    if (work < ParallelWork) {
        for (const CDrawnPolygon& d : drawn) {
            DrawHoledPolygon(painter, d, indexFrame);
        }
    } else {
        RenderInParallel(painter, drawn, indexFrame);
    }
}

// The paths are built by this thread and one helper, piece by piece in map
// order, while this thread paints each holed polygon, in order, as soon as its
// pieces are ready. Painting stays on one thread and in set order, so the
// pixels are those of the one-thread rendering.
void CMapCanvas::RenderInParallel(QPainter& painter, const std::vector<CDrawnPolygon>& drawn,
                                  const CRenderIndexFrame* indexFrame) {
    std::vector<std::size_t> firstPiece;
    std::size_t pieceCount = 0;
    for (const CDrawnPolygon& d : drawn) {
        firstPiece.push_back(pieceCount);
        const unsigned rings = 1 + d.holedPolygon->GetHoleCount();
        pieceCount += (rings + RingsPerPiece - 1) / RingsPerPiece;
    }
    firstPiece.push_back(pieceCount);
    std::vector<CPathPiece> pieces(pieceCount);
    for (std::size_t p = 0; p < drawn.size(); ++p) {
        const unsigned rings = 1 + drawn[p].holedPolygon->GetHoleCount();
        for (std::size_t k = firstPiece[p]; k < firstPiece[p + 1]; ++k) {
            CPathPiece& piece = pieces[k];
            piece.drawn = &drawn[p];
            piece.firstRing = static_cast<unsigned>(k - firstPiece[p]) * RingsPerPiece;
            piece.endRing = std::min(piece.firstRing + RingsPerPiece, rings);
        }
    }

    const CPixelMapping mapping{offset.x, offset.y, scale.x, scale.y};
    std::atomic<std::size_t> nextPiece{0};
    // Builds the next piece nobody has taken; false when none is left.
    const auto buildNext = [&]() {
        const std::size_t k = nextPiece.fetch_add(1);
        if (k >= pieceCount) {
            return false;
        }
        CPathPiece& piece = pieces[k];
        BuildRings(mapping, indexFrame, *piece.drawn, piece.firstRing, piece.endRing, piece.path);
        piece.built.store(true, std::memory_order_release);
        piece.built.notify_one();
        return true;
    };
    // Without a helper (the thread could not be started) this thread builds
    // every piece itself in the loop below.
    std::thread helper;
    try {
        helper = std::thread([&] {
            while (buildNext()) {
            }
        });
    } catch (const std::system_error&) {
    }
    for (std::size_t p = 0; p < drawn.size(); ++p) {
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        for (std::size_t k = firstPiece[p]; k < firstPiece[p + 1]; ++k) {
            CPathPiece& piece = pieces[k];
            while (!piece.built.load(std::memory_order_acquire)) {
                if (!buildNext()) {
                    piece.built.wait(false, std::memory_order_acquire);
                }
            }
            path.addPath(piece.path);
            piece.path = QPainterPath();
        }
        painter.drawPath(path);
    }
    if (helper.joinable()) {
        helper.join();
    }
}

void CMapCanvas::DrawHoledPolygon(QPainter& painter, const CDrawnPolygon& drawn,
                                  const CRenderIndexFrame* indexFrame) {
    const C2DPolyBase* rim = drawn.holedPolygon->GetRim();
    if (rim == nullptr || rim->GetLineCount() == 0) {
        return;
    }
    const CPixelMapping mapping{offset.x, offset.y, scale.x, scale.y};
    QPainterPath path;
    // The alternate (even-odd) rule leaves the holes unfilled.
    path.setFillRule(Qt::OddEvenFill);
    BuildRings(mapping, indexFrame, drawn, 0, 1 + drawn.holedPolygon->GetHoleCount(), path);
    painter.drawPath(path);
}
