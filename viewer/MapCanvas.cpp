#include "viewer/MapCanvas.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "geometry/Arcs.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

// How many edges ahead the straight-edge loop asks for the next edge objects:
// rings of large maps hold their edges in pool slots that the loader may have
// left scattered.
constexpr unsigned PrefetchDistance = 16;
// Holes are tested and fetched this many at a time.
constexpr unsigned HoleBatch = 16;

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

namespace {

// Allocates large arrays on 2 MiB boundaries and asks the kernel to back them
// with huge pages where it can. Drawing reads the copy's rings and points
// sparsely across hundreds of megabytes; with 4 KiB pages nearly every read
// of a drawn ring's points would also miss the address translation cache.
template <typename T> struct CHugePageAllocator {
    using value_type = T;

    static constexpr std::size_t HugePage = std::size_t(2) << 20;

    CHugePageAllocator() = default;
    template <typename U> CHugePageAllocator(const CHugePageAllocator<U>&) {}

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < HugePage) {
            return std::allocator<T>().allocate(count);
        }
        const std::size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
        void* memory = std::aligned_alloc(HugePage, rounded);
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
#ifdef MADV_HUGEPAGE
        madvise(memory, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(memory);
    }

    void deallocate(T* memory, std::size_t count) {
        if (count * sizeof(T) < HugePage) {
            std::allocator<T>().deallocate(memory, count);
        } else {
            std::free(memory);
        }
    }

    template <typename U> bool operator==(const CHugePageAllocator<U>&) const {
        return true;
    }
};

template <typename T> using CHugeVector = std::vector<T, CHugePageAllocator<T>>;

} // namespace

// A compact copy of a content's vertices for drawing. A copied ring holds the
// start of its edge 0 and then the end of every edge, n + 1 points for n
// edges, in one array with every other copied ring. Where an edge does not
// start exactly where the previous one ends (a coordinate near zero may round
// differently in the two), its own start is inserted and recorded as a
// restart, so the copy holds the ring's edges exactly. Rings with arcs or
// with non-finite vertices are not copied.
//
// Runs of RunLength edges have their boxes, so that drawing passes over a
// run whose points all fall on one pixel without reading them.
struct CDrawingCopy {
    static constexpr unsigned RunLength = 16;

    struct CPoint {
        double x;
        double y;
    };
    struct CBox {
        double left;
        double bottom;
        double right;
        double top;
    };
    struct CRing {
        // Bounds of the copied points.
        CBox bounds;
        uint32_t firstPoint;
        // 0 when the ring is not copied and is drawn from its edges.
        uint32_t pointCount;
        // The ring's restarts are restarts[firstRestart] up to the next
        // ring's firstRestart (a last ring closes the list).
        uint32_t firstRestart;
        // Box k of the ring covers its points [k * RunLength, (k + 1) *
        // RunLength]; the ring has every whole run of them.
        uint32_t firstRun;
    };

    // A holed polygon: its rim's bounds as the rim gives them, and its rings,
    // the rim followed by the holes.
    struct CPolygon {
        C2DRect rimBounds;
        std::size_t firstRing;
        unsigned ringCount;
        unsigned rimEdgeCount;
        // Edges to read when it is drawn, as an estimate of the work.
        std::size_t work;
    };

    const C2DHoledPolyBaseSet* content = nullptr;
    CHugeVector<CPolygon> polygons;
    CHugeVector<CRing> rings;
    CHugeVector<CPoint> points;
    // Positions within their rings of inserted edge starts.
    std::vector<uint32_t> restarts;
    CHugeVector<CBox> runs;

    std::size_t GetBytes() const {
        return polygons.capacity() * sizeof(CPolygon) + rings.capacity() * sizeof(CRing) +
               points.capacity() * sizeof(CPoint) + restarts.capacity() * sizeof(uint32_t) +
               runs.capacity() * sizeof(CBox);
    }
};

// A holed polygon chosen for drawing, with its copied rings (rim, then the
// holes in order) or null when it is drawn from its edges.
struct CDrawnPolygon {
    const C2DHoledPolyBase* holedPolygon = nullptr;
    const CDrawingCopy::CRing* copiedRings = nullptr;
    // Rim and holes.
    unsigned ringCount = 0;
};

// Sets single pixels of the image in the pen's colour, as the painter would
// stroke them; pixels outside the image are left alone, as the painter clips
// them. Only for an opaque pen on 32-bit pixels, which the painter writes
// as they are.
struct CDotWriter {
    uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int width = 0;
    int height = 0;
    QRgb colour = 0;

    void Set(const std::vector<CPixelPoint>& dots) const {
        for (const CPixelPoint& dot : dots) {
            if (dot.x >= 0 && dot.x < width && dot.y >= 0 && dot.y < height) {
                reinterpret_cast<QRgb*>(bits + dot.y * bytesPerLine)[dot.x] = colour;
            }
        }
    }
};

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
                    reinterpret_cast<const char*>(copy->points.data() + copied.firstPoint);
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
        const CPixelMapping& m = mapping;
        const double x1 = (box.left - m.offsetX) * m.scaleX;
        const double y1 = (box.top - m.offsetY) * m.scaleY;
        const double x2 = (box.right - m.offsetX) * m.scaleX;
        const double y2 = (box.bottom - m.offsetY) * m.scaleY;
        if (FitsPixel(x1) & FitsPixel(y1) & FitsPixel(x2) & FitsPixel(y2)) {
            const int32_t width = static_cast<int32_t>(x2) - static_cast<int32_t>(x1);
            const int32_t height = static_cast<int32_t>(y2) - static_cast<int32_t>(y1);
            if (width == 0 && height == 0) {
                return CopiedRingPlan::Skip;
            }
            const bool small = (width == 0 || width == 1 || width == -1) &&
                               (height == 0 || height == 1 || height == -1);
            return small ? CopiedRingPlan::Small : CopiedRingPlan::InRange;
        }
        CPixelPoint p1;
        CPixelPoint p2;
        if (m.Map(box.left, box.top, p1) && m.Map(box.right, box.bottom, p2) && p1 == p2) {
            return CopiedRingPlan::Skip;
        }
        return CopiedRingPlan::Beyond;
    }

    // A copied rim as a figure, or the rim itself when it was not copied.
    void AddCopiedRim(const CDrawingCopy::CRing& copied, const C2DHoledPolyBase& holedPolygon) {
        if (copied.pointCount == 0) {
            if (const C2DPolyBase* rim = holedPolygon.GetRim()) {
                AddFigure(*rim);
            }
            return;
        }
        AddPlannedFigure(copied, PlanCopiedRing(copied.bounds));
    }

    void AddPlannedFigure(const CDrawingCopy::CRing& copied, CopiedRingPlan plan) {
        const uint32_t restartsEnd = (&copied)[1].firstRestart;
        if (plan == CopiedRingPlan::Small && dots != nullptr &&
            copied.firstRestart == restartsEnd && AddAsDots(copied)) {
            return;
        }
        if (plan == CopiedRingPlan::InRange || plan == CopiedRingPlan::Small) {
            AddCopiedPoints(copied, restartsEnd);
        } else if (plan == CopiedRingPlan::Beyond) {
            AddCopiedInGeneral(copied, (&copied)[1].firstRestart);
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
        const CDrawingCopy::CPoint* points = copy->points.data() + copied.firstPoint;
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
    void AddCopiedInGeneral(const CDrawingCopy::CRing& copied, uint32_t restartsEnd) {
        const CDrawingCopy::CPoint* points = copy->points.data() + copied.firstPoint;
        const uint32_t* restart = copy->restarts.data() + copied.firstRestart;
        const uint32_t* restartEnd = copy->restarts.data() + restartsEnd;
        StartFigure(C2DPoint(points[0].x, points[0].y));
        for (uint32_t i = 1; i < copied.pointCount; ++i) {
            if (restart != restartEnd && *restart == i) {
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
    void AddCopiedHoles(const C2DHoledPolyBase& holedPolygon,
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
                } else if (h < holedPolygon.GetHoleCount()) {
                    // Drawn from its edges (and never beyond the holes the
                    // holed polygon has now).
                    AddFigure(*holedPolygon.GetHole(h));
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

    void CloseFigure() {
        // Open figures are closed when the path is stroked and filled, so the
        // outline includes the edge back to each figure's start.
        if (figureOpen) {
            path.closeSubpath();
            figureOpen = false;
        }
    }

private:
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
        AddSegmentInGeneral(line.start, C2DPoint(line.start.x + line.direction.dx,
                                                 line.start.y + line.direction.dy));
    }

    // A straight edge from start to end, any coordinates allowed.
    void AddSegmentInGeneral(const C2DPoint& start, const C2DPoint& end) {
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

    // A figure through copied points that all map into the pixel range: each
    // point is mapped once, and an edge is added when its end falls on
    // another pixel than its start. restartsEnd is where the ring's restarts
    // end in the copy's list.
    void AddCopiedPoints(const CDrawingCopy::CRing& copied, uint32_t restartsEnd) {
        CloseFigure();
        const CDrawingCopy::CPoint* points = copy->points.data() + copied.firstPoint;
        const CDrawingCopy::CBox* runs = copy->runs.data() + copied.firstRun;
        current = MapCopied(points[0]);
        path.moveTo(current.x, current.y);
        hasCurrent = true;
        pointLost = false;
        figureOpen = true;
        uint32_t from = 0;
        for (uint32_t r = copied.firstRestart; r < restartsEnd; ++r) {
            const uint32_t restart = copy->restarts[r];
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
                const int32_t left = static_cast<int32_t>((box.left - m.offsetX) * m.scaleX);
                const int32_t right = static_cast<int32_t>((box.right - m.offsetX) * m.scaleX);
                const int32_t top = static_cast<int32_t>((box.top - m.offsetY) * m.scaleY);
                const int32_t bottom = static_cast<int32_t>((box.bottom - m.offsetY) * m.scaleY);
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
        return CPixelPoint{static_cast<int32_t>((point.x - mapping.offsetX) * mapping.scaleX),
                           static_cast<int32_t>((point.y - mapping.offsetY) * mapping.scaleY)};
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

void CMapCanvas::FitToBounds(const C2DHoledPolyBaseSet& content) {
    C2DRect bounds(0.0, 0.0, 0.0, 0.0);
    content.GetBounds(bounds);
    if (!IsFinite(bounds)) {
        bounds = FiniteBounds(content);
    }
    requestedRect = bounds;
    Recalculate();
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
    return IsWorthDrawing(bounds);
}

bool CMapCanvas::IsWorthDrawing(const C2DRect& bounds) const {
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
// pieces appended in order give exactly the path built in one go.
void BuildRings(const CPixelMapping& mapping, const CDrawnPolygon& drawn, const CDrawingCopy* copy,
                unsigned firstRing, unsigned endRing, QPainterPath& path,
                std::vector<CPixelPoint>* dots) {
    const C2DHoledPolyBase& holedPolygon = *drawn.holedPolygon;
    CPathBuilder builder(mapping, path, copy, dots);
    if (firstRing == 0) {
        if (drawn.copiedRings != nullptr) {
            builder.AddCopiedRim(drawn.copiedRings[0], holedPolygon);
        } else {
            builder.AddFigure(*holedPolygon.GetRim());
        }
        firstRing = 1;
    }
    if (endRing > firstRing) {
        if (drawn.copiedRings != nullptr) {
            builder.AddCopiedHoles(holedPolygon, drawn.copiedRings + 1, firstRing - 1, endRing - 1);
        } else {
            builder.AddHoles(holedPolygon, firstRing - 1, endRing - 1);
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
    // Pixels to set in the pen's colour after the path is painted.
    std::vector<CPixelPoint> dots;
    // The box of the path's control points and the dots, once built.
    QRectF controlPoints;
    std::atomic<bool> built{false};
};

// Rings per piece: small enough that the two threads stay busy on a map
// whose holed polygons have hundreds of thousands of holes, large enough that
// a piece costs far more than taking it.
constexpr unsigned RingsPerPiece = 2048;
// Below this estimate of edges to read, a second thread costs more than it
// saves.
constexpr std::size_t ParallelWork = 100000;

// The box of a path's control points and of its dots.
QRectF ControlPointsOf(const QPainterPath& path, const std::vector<CPixelPoint>& dots) {
    QRectF box = path.isEmpty() ? QRectF() : path.controlPointRect();
    if (dots.empty()) {
        return box;
    }
    int left = dots[0].x;
    int right = dots[0].x;
    int top = dots[0].y;
    int bottom = dots[0].y;
    for (const CPixelPoint& dot : dots) {
        left = std::min(left, dot.x);
        right = std::max(right, dot.x);
        top = std::min(top, dot.y);
        bottom = std::max(bottom, dot.y);
    }
    return box | QRectF(QPointF(left, top), QPointF(right + 1.0, bottom + 1.0));
}

// A pixel box, both ends included.
struct CFootprint {
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;

    bool IsEmpty() const { return right < left || bottom < top; }
    bool Meets(const CFootprint& other) const {
        return !IsEmpty() && !other.IsEmpty() && left <= other.right && other.left <= right &&
               top <= other.bottom && other.top <= bottom;
    }
};

// The pixels a path may paint: its points' box (the path's coordinates are
// whole pixels), widened by more than the one-pixel pen can reach beyond it.
CFootprint FootprintOf(const QRectF& controlPoints) {
    if (controlPoints.isNull()) {
        return CFootprint{};
    }
    constexpr int PenReach = 2;
    const auto clampToInt = [](double value) {
        return static_cast<int>(std::clamp(value, -1e9, 1e9));
    };
    return CFootprint{clampToInt(std::floor(controlPoints.left())) - PenReach,
                      clampToInt(std::floor(controlPoints.top())) - PenReach,
                      clampToInt(std::ceil(controlPoints.right())) + PenReach,
                      clampToInt(std::ceil(controlPoints.bottom())) + PenReach};
}

// The shared state of a render on two threads: the pieces to build and the
// holed polygons to paint. Work() is run by both threads; each paints with
// its own painter.
class CParallelRender {
public:
    // Without a dot writer, every ring is drawn as a figure of the path.
    CParallelRender(const CPixelMapping& mapping, const std::vector<CDrawnPolygon>& drawn,
                    const CDrawingCopy* copy, const CDotWriter* dotWriter)
        : mapping(mapping), copy(copy), dotWriter(dotWriter), polygons(drawn.size()) {
        std::size_t pieceCount = 0;
        for (std::size_t p = 0; p < drawn.size(); ++p) {
            polygons[p].firstPiece = pieceCount;
            pieceCount += (drawn[p].ringCount + RingsPerPiece - 1) / RingsPerPiece;
            polygons[p].endPiece = pieceCount;
        }
        pieces = std::vector<CPathPiece>(pieceCount);
        for (std::size_t p = 0; p < drawn.size(); ++p) {
            for (std::size_t k = polygons[p].firstPiece; k < polygons[p].endPiece; ++k) {
                CPathPiece& piece = pieces[k];
                piece.drawn = &drawn[p];
                piece.firstRing = static_cast<unsigned>(k - polygons[p].firstPiece) * RingsPerPiece;
                piece.endRing = std::min(piece.firstRing + RingsPerPiece, drawn[p].ringCount);
            }
        }
    }

    // Paints what may be painted, else builds the next piece, else waits for
    // the other thread; returns when every holed polygon is painted.
    void Work(QPainter& painter) {
        for (;;) {
            std::size_t p = 0;
            std::unique_lock<std::mutex> lock(mutex);
            const std::size_t seen = events;
            if (TakePaintable(p)) {
                lock.unlock();
                Paint(painter, p);
                lock.lock();
                polygons[p].state = CPolygonState::Done;
                while (firstUnpainted < polygons.size() &&
                       polygons[firstUnpainted].state == CPolygonState::Done) {
                    ++firstUnpainted;
                }
                ++events;
                changed.notify_all();
                continue;
            }
            if (firstUnpainted == polygons.size()) {
                return;
            }
            lock.unlock();
            if (BuildNext()) {
                continue;
            }
            lock.lock();
            changed.wait(lock, [&] { return events != seen; });
        }
    }

private:
    enum class CPolygonState { Waiting, Painting, Done };

    struct CPolygon {
        std::size_t firstPiece = 0;
        std::size_t endPiece = 0;
        CPolygonState state = CPolygonState::Waiting;
        bool footprintKnown = false;
        CFootprint footprint;
    };

    // How far past the first unpainted holed polygon a thread looks for one
    // it may paint.
    static constexpr std::size_t LookAhead = 64;

    // Under the lock: a holed polygon whose pieces are built and whose
    // footprint meets no earlier unpainted one, marked as being painted.
    bool TakePaintable(std::size_t& taken) {
        const std::size_t end = std::min(polygons.size(), firstUnpainted + LookAhead);
        for (std::size_t p = firstUnpainted; p < end; ++p) {
            CPolygon& polygon = polygons[p];
            if (polygon.state != CPolygonState::Waiting) {
                continue;
            }
            if (!IsBuilt(polygon)) {
                // Its footprint is not known yet, so nothing after it may go.
                return false;
            }
            if (!MeetsEarlierUnpainted(p)) {
                polygon.state = CPolygonState::Painting;
                taken = p;
                return true;
            }
        }
        return false;
    }

    bool IsBuilt(CPolygon& polygon) {
        if (polygon.footprintKnown) {
            return true;
        }
        for (std::size_t k = polygon.firstPiece; k < polygon.endPiece; ++k) {
            if (!pieces[k].built.load(std::memory_order_acquire)) {
                return false;
            }
        }
        QRectF controlPoints;
        for (std::size_t k = polygon.firstPiece; k < polygon.endPiece; ++k) {
            controlPoints |= pieces[k].controlPoints;
        }
        polygon.footprint = FootprintOf(controlPoints);
        polygon.footprintKnown = true;
        return true;
    }

    bool MeetsEarlierUnpainted(std::size_t p) const {
        for (std::size_t q = firstUnpainted; q < p; ++q) {
            if (polygons[q].state != CPolygonState::Done &&
                polygons[q].footprint.Meets(polygons[p].footprint)) {
                return true;
            }
        }
        return false;
    }

    void Paint(QPainter& painter, std::size_t p) {
        const CPolygon& polygon = polygons[p];
        if (polygon.endPiece - polygon.firstPiece == 1) {
            painter.drawPath(pieces[polygon.firstPiece].path);
        } else {
            QPainterPath path;
            // The alternate (even-odd) rule leaves the holes unfilled.
            path.setFillRule(Qt::OddEvenFill);
            for (std::size_t k = polygon.firstPiece; k < polygon.endPiece; ++k) {
                path.addPath(pieces[k].path);
            }
            painter.drawPath(path);
        }
        for (std::size_t k = polygon.firstPiece; k < polygon.endPiece; ++k) {
            if (dotWriter != nullptr) {
                dotWriter->Set(pieces[k].dots);
            }
            pieces[k].path = QPainterPath();
            pieces[k].dots = std::vector<CPixelPoint>();
        }
    }

    // Builds the next piece nobody has taken; false when none is left.
    bool BuildNext() {
        const std::size_t k = nextPiece.fetch_add(1);
        if (k >= pieces.size()) {
            return false;
        }
        CPathPiece& piece = pieces[k];
        piece.path.setFillRule(Qt::OddEvenFill);
        BuildRings(mapping, *piece.drawn, copy, piece.firstRing, piece.endRing, piece.path,
                   dotWriter == nullptr ? nullptr : &piece.dots);
        piece.controlPoints = ControlPointsOf(piece.path, piece.dots);
        piece.built.store(true, std::memory_order_release);
        const std::lock_guard<std::mutex> lock(mutex);
        ++events;
        changed.notify_all();
        return true;
    }

    const CPixelMapping mapping;
    const CDrawingCopy* copy;
    const CDotWriter* dotWriter;
    std::vector<CPathPiece> pieces;
    std::atomic<std::size_t> nextPiece{0};

    std::mutex mutex;
    std::condition_variable changed;
    // Counts pieces built and holed polygons painted, so that a waiting
    // thread wakes for any of them.
    std::size_t events = 0;
    std::vector<CPolygon> polygons;
    std::size_t firstUnpainted = 0;
};

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

// Appends the copied points of a ring's straight edges; false (with points
// and restarts as they were) when a vertex is not finite.
bool CopyEdges(const C2DPolyBase& ring, CDrawingCopy& copy) {
    const std::size_t firstPoint = copy.points.size();
    const std::size_t firstRestart = copy.restarts.size();
    C2DBase* const* edges = CRingAccess::Edges(ring);
    const unsigned edgeCount = ring.GetLineCount();
    for (unsigned i = 0; i < edgeCount; ++i) {
        if (i + PrefetchDistance < edgeCount) {
            __builtin_prefetch(&static_cast<const C2DLine*>(edges[i + PrefetchDistance])->start);
        }
        const C2DLine& line = *static_cast<const C2DLine*>(edges[i]);
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
    return true;
}

// Appends the copy of one ring, or a record that sends its drawing to the
// ring's edges.
void CopyRing(const C2DPolyBase* ring, CDrawingCopy& copy) {
    CDrawingCopy::CRing copied{{0.0, 0.0, 0.0, 0.0},
                               static_cast<uint32_t>(copy.points.size()),
                               0,
                               static_cast<uint32_t>(copy.restarts.size()),
                               static_cast<uint32_t>(copy.runs.size())};
    if (ring != nullptr && ring->GetLineCount() != 0 && ring->GetType() == GeometryType::Polygon &&
        CopyEdges(*ring, copy)) {
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

namespace {

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
    copy->rings.reserve(ringCount + 1);
    // Restarts add a point each; they are rare.
    copy->points.reserve(edgeCount + edgeCount / 256 + 64);
    copy->runs.reserve(edgeCount / CDrawingCopy::RunLength);
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holedPolygon = content.GetAt(i);
        const C2DPolyBase* rim = holedPolygon->GetRim();
        CDrawingCopy::CPolygon polygon{C2DRect(), copy->rings.size(),
                                       1 + holedPolygon->GetHoleCount(),
                                       rim == nullptr ? 0 : rim->GetLineCount(), 0};
        if (rim != nullptr) {
            rim->GetBounds(polygon.rimBounds);
        }
        polygon.work = polygon.rimEdgeCount + 4 * std::size_t(holedPolygon->GetHoleCount());
        copy->polygons.push_back(polygon);
        CopyRing(rim, *copy);
        for (unsigned h = 0; h < holedPolygon->GetHoleCount(); ++h) {
            CopyRing(holedPolygon->GetHole(h), *copy);
        }
    }
    // The ring after the last closes its list of restarts.
    CopyRing(nullptr, *copy);
    return copy;
}

} // namespace

void CMapCanvas::PrepareDrawingCopy(const C2DHoledPolyBaseSet& content) {
    drawingCopy.reset();
    try {
        drawingCopy = MakeDrawingCopy(content);
    } catch (const std::bad_alloc&) {
        // Without memory for a copy the content is drawn from its edges.
        drawingCopy.reset();
    }
}

void CMapCanvas::DropDrawingCopy() {
    drawingCopy.reset();
}

std::size_t CMapCanvas::GetDrawingCopyBytes() const {
    return drawingCopy == nullptr ? 0 : sizeof(CDrawingCopy) + drawingCopy->GetBytes();
}

void CMapCanvas::Render(const C2DHoledPolyBaseSet& content) {
    renderedWithCopy = false;
    if (image == nullptr) {
        return;
    }
    // The pixels that every painter and the dots write. Taken before the
    // painter starts: should the image share its pixels, this is where it
    // gets its own, which the painter then keeps using.
    uchar* const pixels = image->bits();
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

    // The copy serves this content only while its holed polygons are the
    // ones it was taken from.
    const CDrawingCopy* copy = drawingCopy.get();
    if (copy != nullptr &&
        (copy->content != &content || copy->polygons.size() != content.GetSize())) {
        copy = nullptr;
    }
    renderedWithCopy = copy != nullptr;
    std::vector<CDrawnPolygon> drawn;
    std::size_t work = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        if (copy != nullptr) {
            // Decided from the copy alone, without reading the content's rims.
            const CDrawingCopy::CPolygon& polygon = copy->polygons[i];
            if (polygon.rimEdgeCount != 0 && IsWorthDrawing(polygon.rimBounds)) {
                drawn.push_back(CDrawnPolygon{
                    content.GetAt(i), copy->rings.data() + polygon.firstRing, polygon.ringCount});
                work += polygon.work;
            }
            continue;
        }
        const C2DHoledPolyBase* holedPolygon = content.GetAt(i);
        const C2DPolyBase* rim = holedPolygon->GetRim();
        // A holed polygon whose rim has no edges draws nothing, holes included.
        if (rim != nullptr && rim->GetLineCount() != 0 && IsWorthDrawing(*rim)) {
            drawn.push_back(CDrawnPolygon{holedPolygon, nullptr, 1 + holedPolygon->GetHoleCount()});
            work += rim->GetLineCount() + 4 * std::size_t(holedPolygon->GetHoleCount());
        }
    }
    // Rings that draw as two pixels are set directly, where the pen's pixels
    // are known: an opaque pen on the image's own 32-bit pixels.
    CDotWriter dotWriter{pixels, image->bytesPerLine(), image->width(), image->height(),
                         lineColour.rgb()};
    const CDotWriter* dots =
        lineColour.alpha() == 255 && image->format() == QImage::Format_RGB32 ? &dotWriter : nullptr;
    if (work < ParallelWork || renderThreads < 2) {
        for (const CDrawnPolygon& polygon : drawn) {
            DrawHoledPolygon(painter, polygon, copy, dots);
        }
    } else {
        RenderInParallel(painter, pixels, drawn, copy, dots);
    }
}

// Two threads, this one and a helper, build the paths piece by piece in map
// order and paint the holed polygons, each thread through its own painter on
// the same pixels. Every holed polygon paints only pixels within its
// footprint (the box of its path's points, widened for the pen), and it
// overwrites them whatever was there. So two holed polygons whose footprints
// are apart may be painted at the same time and in either order, and the
// pixels are those of painting every holed polygon in set order on one
// thread, as long as those whose footprints meet are painted in set order.
void CMapCanvas::RenderInParallel(QPainter& painter, uchar* pixels,
                                  const std::vector<CDrawnPolygon>& drawn, const CDrawingCopy* copy,
                                  const CDotWriter* dotWriter) {
    CParallelRender render(CPixelMapping{offset.x, offset.y, scale.x, scale.y}, drawn, copy,
                           dotWriter);
    // The helper paints through its own image over the same pixels.
    QImage helperImage(pixels, image->width(), image->height(), image->bytesPerLine(),
                       image->format());
    std::thread helper;
    try {
        helper = std::thread([&] {
            QPainter helperPainter(&helperImage);
            helperPainter.setRenderHints(painter.renderHints());
            helperPainter.setPen(painter.pen());
            helperPainter.setBrush(painter.brush());
            render.Work(helperPainter);
        });
    } catch (const std::system_error&) {
        // Without a helper this thread does all the work alone.
    }
    render.Work(painter);
    if (helper.joinable()) {
        helper.join();
    }
}

void CMapCanvas::DrawHoledPolygon(QPainter& painter, const CDrawnPolygon& drawn,
                                  const CDrawingCopy* copy, const CDotWriter* dotWriter) {
    const CPixelMapping mapping{offset.x, offset.y, scale.x, scale.y};
    QPainterPath path;
    // The alternate (even-odd) rule leaves the holes unfilled.
    path.setFillRule(Qt::OddEvenFill);
    std::vector<CPixelPoint> dots;
    BuildRings(mapping, drawn, copy, 0, drawn.ringCount, path,
               dotWriter == nullptr ? nullptr : &dots);
    painter.drawPath(path);
    if (dotWriter != nullptr) {
        dotWriter->Set(dots);
    }
}
