#include "viewer/canvas/MapDrawing.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Rings per piece: small enough that the two threads stay busy on a map
// whose holed polygons have hundreds of thousands of holes, large enough that
// a piece costs far more than taking it.
constexpr unsigned RingsPerPiece = 2048;
// A pixel box, both ends included; empty when right < left.
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
    void Include(const CFootprint& other) {
        if (other.IsEmpty()) {
            return;
        }
        if (IsEmpty()) {
            *this = other;
            return;
        }
        left = std::min(left, other.left);
        top = std::min(top, other.top);
        right = std::max(right, other.right);
        bottom = std::max(bottom, other.bottom);
    }
};

// How far the one-pixel pen may paint beyond a path's points (the path's
// coordinates are whole pixels), with room to spare.
constexpr int PenReach = 2;

int ClampToInt(double value) {
    return static_cast<int>(std::clamp(value, -1e9, 1e9));
}

// The pixels a piece may paint: the box of its path's control points (a path
// of one point included) and of its dots, widened by the pen's reach; empty
// when the piece has neither.
CFootprint FootprintOf(const QPainterPath& path, const std::vector<CPixelPoint>& dots) {
    CFootprint footprint;
    if (!path.isEmpty()) {
        const QRectF box = path.controlPointRect();
        footprint = CFootprint{ClampToInt(std::floor(box.left())) - PenReach,
                               ClampToInt(std::floor(box.top())) - PenReach,
                               ClampToInt(std::ceil(box.right())) + PenReach,
                               ClampToInt(std::ceil(box.bottom())) + PenReach};
    }
    for (const CPixelPoint& dot : dots) {
        footprint.Include(CFootprint{dot.x, dot.y, dot.x, dot.y});
    }
    return footprint;
}

// A share of the path building that the render threads take in turn.
struct CPathPiece {
    const CDrawnPolygon* drawn = nullptr;
    unsigned firstRing = 0;
    unsigned endRing = 0;
    QPainterPath path;
    // Pixels to set in the pen's colour after the path is painted.
    std::vector<CPixelPoint> dots;
    // The pixels the piece may paint, once built.
    CFootprint footprint;
    std::atomic<bool> built{false};
};

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
        polygon.footprint = CFootprint{};
        for (std::size_t k = polygon.firstPiece; k < polygon.endPiece; ++k) {
            polygon.footprint.Include(pieces[k].footprint);
        }
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
        piece.footprint = FootprintOf(piece.path, piece.dots);
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

} // namespace

// Two threads, this one and a helper, build the paths piece by piece in map
// order and paint the holed polygons, each thread through its own painter on
// the same pixels. Every holed polygon paints only pixels within its
// footprint (the box of its path's points, widened for the pen), and it
// overwrites them whatever was there. So two holed polygons whose footprints
// are apart may be painted at the same time and in either order, and the
// pixels are those of painting every holed polygon in set order on one
// thread, as long as those whose footprints meet are painted in set order.
void RenderOnTwoThreads(QPainter& painter, const QImage& image, uchar* pixels,
                        const CPixelMapping& mapping, const std::vector<CDrawnPolygon>& drawn,
                        const CDrawingCopy* copy, const CDotWriter* dots) {
    CParallelRender render(mapping, drawn, copy, dots);
    // The helper paints through its own image over the same pixels.
    QImage helperImage(pixels, image.width(), image.height(), image.bytesPerLine(), image.format());
    // The helper's painter is set up like this one from copies taken here,
    // before this thread starts painting.
    const QPainter::RenderHints hints = painter.renderHints();
    const QPen pen = painter.pen();
    const QBrush brush = painter.brush();
    std::thread helper;
    try {
        helper = std::thread([&] {
            QPainter helperPainter(&helperImage);
            helperPainter.setRenderHints(hints);
            helperPainter.setPen(pen);
            helperPainter.setBrush(brush);
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
