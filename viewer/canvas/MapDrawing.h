#pragma once

// What the map canvas's rendering shares between its source files: the
// mapping in the form the inner loops use, the compact drawing copy of a
// content, the building of a holed polygon's path, and the rendering on two
// threads.

#include <QImage>
#include <QPainterPath>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "projection/RingSet.h"
#include "viewer/canvas/MapCanvas.h"

class QPainter;

// How many edges ahead the straight-edge loop asks for the next edge objects:
// rings of large maps hold their edges in pool slots that the loader may have
// left scattered.
constexpr unsigned PrefetchDistance = 16;
// Holes are tested and fetched this many at a time.
constexpr unsigned HoleBatch = 16;

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

    // A map coordinate in pixels, before truncation to a whole pixel. Every
    // pixel the canvas draws or tests comes from these two.
    inline double ScaledX(double x) const { return (x - offsetX) * scaleX; }
    inline double ScaledY(double y) const { return (y - offsetY) * scaleY; }

    // The pixel of a map point; false when it has no finite pixel position
    // (infinite or NaN coordinates, as projections give at their poles).
    inline bool Map(double x, double y, CPixelPoint& pixel) const {
        const double px = ScaledX(x);
        const double py = ScaledY(y);
        // px - px is 0 for finite values and NaN for infinities and NaN.
        if (!(px - px == 0.0 && py - py == 0.0)) {
            return false;
        }
        pixel.x = TruncateToPixel(px);
        pixel.y = TruncateToPixel(py);
        return true;
    }
};

// The drawing copy's arrays are ordinary memory, not advised to huge pages.
// Huge pages spare drawing some misses of the address translation cache, but
// a fresh 2 MiB page costs far more to fault in on a virtual machine whose
// host takes back the memory the guest frees: the copy of an 8-million-point
// map (about 190 MB) then took 2 seconds of the open, against 0.1 in
// ordinary pages, with frames drawn as fast.

// A compact copy of a content's vertices for drawing. A copied ring holds the
// start of its edge 0 and then the end of every edge, n + 1 points for n
// edges, in one array with every other copied ring. Where an edge does not
// start exactly where the previous one ends (a coordinate near zero may round
// differently in the two), its own start is inserted and recorded as a
// restart, so the copy holds the ring's edges exactly. Rings with arcs or
// with non-finite vertices are not copied.
//
// A copy may also be made around a ring set of closed rings (display
// geometry): it then takes over the set's points, refers to no content, and
// every ring is drawn from its points or not at all.
//
// Runs of RunLength edges have their boxes, so that drawing passes over a
// run whose points all fall on one pixel without reading them.
struct CDrawingCopy {
    static constexpr unsigned RunLength = 16;

    using CPoint = CPlanePoint;
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
        // The ring's restarts in increasing order: restarts[firstRestart] and
        // on, up to the 0 that ends the list (a restart is never point 0 or
        // 1). A ring without restarts has firstRestart 0, where the list of
        // the copy starts with a lone 0.
        uint32_t firstRestart;
        // Box k of the ring covers its points [k * RunLength, (k + 1) *
        // RunLength]; the ring has every whole run of them.
        uint32_t firstRun;

        bool HasRestarts() const { return firstRestart != 0; }
    };

    // A holed polygon: its rim's bounds as the rim gives them, and its rings,
    // the rim followed by the holes.
    struct CPolygon {
        C2DRect rimBounds;
        std::size_t firstRing;
        unsigned ringCount;
        unsigned rimEdgeCount;
    };

    // The content copied, or null for a copy of a ring set.
    const C2DHoledPolyBaseSet* content = nullptr;
    std::vector<CPolygon> polygons;
    std::vector<CRing> rings;
    // The copied points: those of a content, or the ring set's taken over.
    std::vector<CPoint> points;
    CPlanePoints ringSetPoints;
    // Positions within their rings of inserted edge starts: 0, then the list
    // of every ring with restarts, each ended by a 0.
    std::vector<uint32_t> restarts;
    std::vector<CBox> runs;

    const CPoint* PointData() const {
        return content != nullptr ? points.data() : ringSetPoints.data();
    }

    std::size_t GetBytes() const {
        return polygons.capacity() * sizeof(CPolygon) + rings.capacity() * sizeof(CRing) +
               points.capacity() * sizeof(CPoint) + ringSetPoints.capacity() * sizeof(CPoint) +
               restarts.capacity() * sizeof(uint32_t) + runs.capacity() * sizeof(CBox);
    }
};

// A holed polygon chosen for drawing, with its copied rings (rim, then the
// holes in order) or null when it is drawn from its edges. A polygon of a
// ring set's copy has no holed polygon.
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

// Builds the figures of rings [firstRing, endRing) of a holed polygon into
// path; ring 0 is the rim and ring k the hole k - 1. The path of a holed
// polygon may be built in pieces: every figure is complete in itself, so the
// pieces appended in order give exactly the path built in one go. With dots,
// copied rings that draw as two neighbouring pixels go there as those pixels.
void BuildRings(const CPixelMapping& mapping, const CDrawnPolygon& drawn, const CDrawingCopy* copy,
                unsigned firstRing, unsigned endRing, QPainterPath& path,
                std::vector<CPixelPoint>* dots);

// The copy of a content; null when the content is too large to count its
// points in 32 bits. Throws std::bad_alloc when memory runs out.
std::unique_ptr<CDrawingCopy> MakeDrawingCopy(const C2DHoledPolyBaseSet& content);

// The copy of a ring set of closed rings (first point repeated last), one
// polygon per holed polygon with the rim first; the copy takes the set's
// points and leaves it empty. Rings of fewer than two points or with a
// non-finite point are not drawn, nor is a polygon whose rim is not. Throws
// std::bad_alloc when memory runs out.
std::unique_ptr<CDrawingCopy> MakeRingSetCopy(CRingSet&& rings);

// Below this estimate of edges to read, a second thread costs more than it
// saves.
constexpr std::size_t ParallelWork = 100000;

// The estimate of edges to read for a holed polygon: the rim's, and a few
// for each hole, most of which are passed over at their bounds.
inline std::size_t DrawingWork(unsigned rimEdgeCount, unsigned holeCount) {
    return rimEdgeCount + 4 * std::size_t(holeCount);
}

// Builds and paints the holed polygons on this thread and a helper. painter
// paints on image, whose pixels the helper paints through its own painter.
void RenderOnTwoThreads(QPainter& painter, const QImage& image, uchar* pixels,
                        const CPixelMapping& mapping, const std::vector<CDrawnPolygon>& drawn,
                        const CDrawingCopy* copy, const CDotWriter* dots);
