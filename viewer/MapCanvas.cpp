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

// Accumulates the one path of a holed polygon as the platform's path drawing
// would: a current position, figures started by moves, and edges emitted only
// when their two end pixels differ.
class CPathBuilder {
public:
    CPathBuilder(const CPixelMapping& mapping, QPainterPath& path) : mapping(mapping), path(path) {}

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
void BuildRings(const CPixelMapping& mapping, const C2DHoledPolyBase& holedPolygon,
                unsigned firstRing, unsigned endRing, QPainterPath& path) {
    CPathBuilder builder(mapping, path);
    if (firstRing == 0) {
        builder.AddFigure(*holedPolygon.GetRim());
        firstRing = 1;
    }
    if (endRing > firstRing) {
        builder.AddHoles(holedPolygon, firstRing - 1, endRing - 1);
    }
    builder.CloseFigure();
}

// A share of the path building that the render threads take in turn.
struct CPathPiece {
    const C2DHoledPolyBase* holedPolygon = nullptr;
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

} // namespace

void CMapCanvas::Render(const C2DHoledPolyBaseSet& content) {
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

    std::vector<const C2DHoledPolyBase*> drawn;
    std::size_t work = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holedPolygon = content.GetAt(i);
        const C2DPolyBase* rim = holedPolygon->GetRim();
        // A holed polygon whose rim has no edges draws nothing, holes included.
        if (rim != nullptr && rim->GetLineCount() != 0 && IsWorthDrawing(*rim)) {
            drawn.push_back(holedPolygon);
            work += rim->GetLineCount() + 4 * std::size_t(holedPolygon->GetHoleCount());
        }
    }
    if (work < ParallelWork) {
        for (const C2DHoledPolyBase* holedPolygon : drawn) {
            DrawHoledPolygon(painter, *holedPolygon);
        }
    } else {
        RenderInParallel(painter, drawn);
    }
}

// The paths are built by this thread and one helper, piece by piece in map
// order, while this thread paints each holed polygon, in order, as soon as its
// pieces are ready. Painting stays on one thread and in set order, so the
// pixels are those of the one-thread rendering.
void CMapCanvas::RenderInParallel(QPainter& painter,
                                  const std::vector<const C2DHoledPolyBase*>& drawn) {
    std::vector<std::size_t> firstPiece;
    std::size_t pieceCount = 0;
    for (const C2DHoledPolyBase* holedPolygon : drawn) {
        firstPiece.push_back(pieceCount);
        const unsigned rings = 1 + holedPolygon->GetHoleCount();
        pieceCount += (rings + RingsPerPiece - 1) / RingsPerPiece;
    }
    firstPiece.push_back(pieceCount);
    std::vector<CPathPiece> pieces(pieceCount);
    for (std::size_t p = 0; p < drawn.size(); ++p) {
        const unsigned rings = 1 + drawn[p]->GetHoleCount();
        for (std::size_t k = firstPiece[p]; k < firstPiece[p + 1]; ++k) {
            CPathPiece& piece = pieces[k];
            piece.holedPolygon = drawn[p];
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
        BuildRings(mapping, *piece.holedPolygon, piece.firstRing, piece.endRing, piece.path);
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

void CMapCanvas::DrawHoledPolygon(QPainter& painter, const C2DHoledPolyBase& holedPolygon) {
    const C2DPolyBase* rim = holedPolygon.GetRim();
    if (rim == nullptr || rim->GetLineCount() == 0) {
        return;
    }
    const CPixelMapping mapping{offset.x, offset.y, scale.x, scale.y};
    QPainterPath path;
    // The alternate (even-odd) rule leaves the holes unfilled.
    path.setFillRule(Qt::OddEvenFill);
    BuildRings(mapping, holedPolygon, 0, 1 + holedPolygon.GetHoleCount(), path);
    painter.drawPath(path);
}
