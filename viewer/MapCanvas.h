#pragma once

#include <QColor>
#include <QImage>
#include <cstdint>
#include <vector>

#include "geometry/HoledPolygons.h"

class QPainter;

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
    C2DPoint PixelToMap(int32_t px, int32_t py) const;
    // Truncates towards zero; beyond the 32-bit range the pixel saturates, and
    // a NaN coordinate gives 0.
    CPixelPoint MapToPixel(double x, double y) const;
    // Clears the image and draws every holed polygon worth drawing, in set
    // order, filled with its holes open and outlined. Points without a finite
    // pixel position are skipped. The paths of large maps are built on two
    // threads; the painting stays on the calling thread, in order.
    void Render(const C2DHoledPolyBaseSet& content);
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
    void DrawHoledPolygon(QPainter& painter, const C2DHoledPolyBase& holedPolygon);
    void RenderInParallel(QPainter& painter, const std::vector<const C2DHoledPolyBase*>& drawn);

    QImage* image = nullptr;
};
