#pragma once

#include <QColor>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "projection/RingSet.h"

class QPainter;
// Defined with the rendering: the compact copy of a content's vertices, a
// holed polygon chosen for drawing, and the setting of single pixels.
struct CDrawingCopy;
struct CDrawnPolygon;
struct CDotWriter;

// Integer pixel bounds of an image (right and bottom exclusive).
struct CPixelRect {
    int32_t left = 0;
    int32_t top = 1;
    int32_t right = 1;
    int32_t bottom = 0;
};

struct CPixelPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const CPixelPoint&) const = default;
};

// The mapping between map coordinates and the pixels of an off-screen image,
// and the rendering of map content into that image. The viewer and the
// command-line renderer share it, so both produce the same pixels.
class CMapCanvas {
public:
    static constexpr int MapImageWidth = 1000;
    static constexpr int MapImageHeight = 750;
    static constexpr double MinDrawArea = 4.0;

    CMapCanvas();
    ~CMapCanvas();
    CMapCanvas(const CMapCanvas&) = delete;
    CMapCanvas& operator=(const CMapCanvas&) = delete;

    // (Re)creates the image at the given size, recalculates the mapping and
    // fills the image with the background colour.
    void CreateBuffer(int width, int height);
    void Recalculate();
    // Fits the requested area to the content's bounds (finite coordinates only).
    void FitToBounds(const C2DHoledPolyBaseSet& content);
    // Takes a compact copy of the content's vertices, which Render reads
    // instead of the edge objects: a large map renders several times faster,
    // for about 27 bytes per vertex. Rings with arcs or non-finite vertices
    // are not copied and are drawn from their edges. The copy shows the
    // content as it is now: after any change to the content, call this again
    // or DropDrawingCopy, or Render draws the old coordinates (it never reads
    // beyond what the content holds). Render uses the copy only for this same
    // content object while it holds as many holed polygons as the copy; the
    // pixels are those of rendering without a copy.
    void PrepareDrawingCopy(const C2DHoledPolyBaseSet& content);
    void DropDrawingCopy();
    // The memory the copy holds, in bytes; 0 without a copy.
    std::size_t GetDrawingCopyBytes() const;
    // Takes polygons of closed rings in map units (first point repeated
    // last; one polygon per holed polygon, rim first, holes after it) as
    // what RenderRings draws, exactly as Render draws a content of those
    // rings. The canvas takes over the set's points and leaves it empty.
    // Rings with a non-finite point are not drawn, nor is a polygon whose rim
    // is not. False (and no rings to draw) when memory runs out.
    bool PrepareRingDrawing(CRingSet&& polygons);
    void DropRingDrawing();
    bool HasRingDrawing() const { return ringCopy != nullptr; }
    // The memory the ring drawing holds, in bytes; 0 without one.
    std::size_t GetRingDrawingBytes() const;
    // Drawn beneath the map by both Render and RenderRings: areas (closed
    // rings, filled in backdropFillColour) and lines (open polylines), both
    // stroked in backdropLineColour. Without a backdrop the pixels are those
    // of the map alone.
    void SetBackdrop(CRingSet&& areas, CRingSet&& lines);
    void ClearBackdrop();
    bool HasBackdrop() const {
        return !backdropAreas.points.empty() || !backdropLines.points.empty();
    }
    C2DPoint PixelToMap(int32_t px, int32_t py) const;
    // Truncates towards zero; beyond the 32-bit range the pixel saturates, and
    // a NaN coordinate gives 0.
    CPixelPoint MapToPixel(double x, double y) const;
    // Clears the image and draws every holed polygon worth drawing, in set
    // order, filled with its holes open and outlined. Points without a finite
    // pixel position are skipped. Large maps are built and painted on two
    // threads; holed polygons whose pixels may meet are painted in set order,
    // so the pixels are those of painting them all in order.
    void Render(const C2DHoledPolyBaseSet& content);
    // Clears the image and draws the prepared rings (nothing without them)
    // the way Render draws a content.
    void RenderRings();
    // Whether the last Render read the drawing copy.
    bool RenderedWithCopy() const { return renderedWithCopy; }
    // At least MinDrawArea square pixels on screen and overlapping the visible
    // area (a shared edge is no overlap).
    bool IsWorthDrawing(const C2DPolyBase& rim) const;
    // The same for a rim with these bounds.
    bool IsWorthDrawing(const C2DRect& rimBounds) const;

    // Null until CreateBuffer.
    const QImage* GetImage() const { return image; }

    CPixelRect pixelRect;
    C2DRect requestedRect{0.0, 1.0, 1.0, 0.0};
    C2DRect visibleRect;
    C2DPoint offset;
    C2DPoint scale;
    // Threads Render uses for large maps: 2, or 1 to render on the calling
    // thread alone. Both give the same pixels.
    int renderThreads = 2;
    QColor backgroundColour{170, 170, 170};
    QColor lineColour{170, 170, 170};
    QColor fillColour{25, 25, 25};
    QColor backdropFillColour{190, 190, 190};
    QColor backdropLineColour{150, 150, 150};

private:
    // Clears the image and draws the backdrop; painter then holds the map's
    // pen and brush.
    void BeginRender(QPainter& painter);
    void DrawBackdrop(QPainter& painter);
    // Draws the chosen polygons, on two threads when the work is large.
    void DrawPolygons(QPainter& painter, uchar* pixels, const std::vector<CDrawnPolygon>& drawn,
                      std::size_t work, const CDrawingCopy* copy);
    // copy is the drawing copy that drawn refers to, or null; dots sets the
    // pixels of rings drawn as dots, or is null to draw every ring as a figure.
    void DrawHoledPolygon(QPainter& painter, const CDrawnPolygon& drawn, const CDrawingCopy* copy,
                          const CDotWriter* dots);
    void RenderInParallel(QPainter& painter, uchar* pixels, const std::vector<CDrawnPolygon>& drawn,
                          const CDrawingCopy* copy, const CDotWriter* dots);

    QImage* image = nullptr;
    std::unique_ptr<CDrawingCopy> drawingCopy;
    std::unique_ptr<CDrawingCopy> ringCopy;
    CRingSet backdropAreas;
    CRingSet backdropLines;
    bool renderedWithCopy = false;
};
