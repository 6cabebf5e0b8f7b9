#pragma once

#include <QColor>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/HoledPolygons.h"

class QPainter;
// Defined with the rendering: the render index of a content, its pixel
// tables for one frame, and a holed polygon chosen for drawing.
struct CRenderIndex;
struct CRenderIndexFrame;
struct CDrawnPolygon;

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
    // Fits the requested area to the content's bounds (finite coordinates only)
    // and builds the render index of the content (see Render).
    void FitToBounds(const C2DHoledPolyBaseSet& content);
    // Forgets the render index. The index describes the content as it was at
    // the last FitToBounds: code that changes content (coordinates, rings,
    // edges, holed polygons) and then renders it without calling FitToBounds
    // first must call this, or Render may draw the content as it was. The
    // viewer changes content only through its document, whose update hint
    // refits the view, and the command-line renderer fits right before it
    // renders.
    void InvalidateRenderIndex();
    // The memory the render index holds, in bytes; 0 without an index.
    std::size_t GetRenderIndexBytes() const;
    C2DPoint PixelToMap(int32_t px, int32_t py) const;
    // Truncates towards zero; beyond the 32-bit range the pixel saturates, and
    // a NaN coordinate gives 0.
    CPixelPoint MapToPixel(double x, double y) const;
    // Clears the image and draws every holed polygon worth drawing, in set
    // order, filled with its holes open and outlined. Points without a finite
    // pixel position are skipped. The paths of large maps are built on two
    // threads; the painting stays on the calling thread, in order.
    //
    // With a render index built by FitToBounds for this same content object,
    // runs of consecutive edges whose end points all fall on one pixel are
    // skipped without reading their edges; the pixels are the same as without
    // the index. The index is not used when the content object differs or its
    // holed polygons and rings visibly no longer match it.
    void Render(const C2DHoledPolyBaseSet& content);
    // Whether the last Render used the render index.
    bool RenderedWithIndex() const { return renderedWithIndex; }
    // At least MinDrawArea square pixels on screen and overlapping the visible
    // area (a shared edge is no overlap).
    bool IsWorthDrawing(const C2DPolyBase& rim) const;

    // Null until CreateBuffer.
    const QImage* GetImage() const { return image; }

    CPixelRect pixelRect;
    C2DRect requestedRect{0.0, 1.0, 1.0, 0.0};
    C2DRect visibleRect;
    C2DPoint offset;
    C2DPoint scale;
    QColor backgroundColour{170, 170, 170};
    QColor lineColour{170, 170, 170};
    QColor fillColour{25, 25, 25};

private:
    void DrawHoledPolygon(QPainter& painter, const CDrawnPolygon& drawn,
                          const CRenderIndexFrame* indexFrame);
    void RenderInParallel(QPainter& painter, const std::vector<CDrawnPolygon>& drawn,
                          const CRenderIndexFrame* indexFrame);

    QImage* image = nullptr;
    std::unique_ptr<CRenderIndex> renderIndex;
    bool renderedWithIndex = false;
};
