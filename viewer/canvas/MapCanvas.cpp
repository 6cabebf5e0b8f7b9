#include "viewer/canvas/MapCanvas.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "viewer/canvas/MapDrawing.h"

namespace {

bool IsFinite(const C2DRect& r) {
    return std::isfinite(r.topLeft.x) && std::isfinite(r.topLeft.y) &&
           std::isfinite(r.bottomRight.x) && std::isfinite(r.bottomRight.y);
}

CPixelMapping PixelMappingOf(const CMapCanvas& canvas) {
    return CPixelMapping{canvas.offset.x, canvas.offset.y, canvas.scale.x, canvas.scale.y};
}

// Chooses a polygon of a drawing copy for drawing, from the copy alone
// (holedPolygon, which may be null, is not read): a rim without edges draws
// nothing, holes included.
void ChooseCopiedPolygon(const CMapCanvas& canvas, const CDrawingCopy& copy,
                         const CDrawingCopy::CPolygon& polygon,
                         const C2DHoledPolyBase* holedPolygon, std::vector<CDrawnPolygon>& drawn,
                         std::size_t& work) {
    if (polygon.rimEdgeCount != 0 && canvas.IsWorthDrawing(polygon.rimBounds)) {
        drawn.push_back(
            CDrawnPolygon{holedPolygon, copy.rings.data() + polygon.firstRing, polygon.ringCount});
        work += DrawingWork(polygon.rimEdgeCount, polygon.ringCount - 1);
    }
}

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
    const CPixelMapping mapping = PixelMappingOf(*this);
    return CPixelPoint{TruncateToPixel(mapping.ScaledX(x)), TruncateToPixel(mapping.ScaledY(y))};
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

bool CMapCanvas::PrepareRingDrawing(CRingSet&& polygons) {
    ringCopy.reset();
    try {
        ringCopy = MakeRingSetCopy(std::move(polygons));
    } catch (const std::bad_alloc&) {
        ringCopy.reset();
        polygons.Clear();
        return false;
    }
    return true;
}

void CMapCanvas::DropRingDrawing() {
    ringCopy.reset();
}

std::size_t CMapCanvas::GetRingDrawingBytes() const {
    return ringCopy == nullptr ? 0 : sizeof(CDrawingCopy) + ringCopy->GetBytes();
}

void CMapCanvas::SetBackdrop(CRingSet&& areas, CRingSet&& lines) {
    backdropAreas = std::move(areas);
    backdropLines = std::move(lines);
    areas.Clear();
    lines.Clear();
}

void CMapCanvas::ClearBackdrop() {
    backdropAreas = CRingSet();
    backdropLines = CRingSet();
}

void CMapCanvas::BeginRender(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(pixelRect.left, pixelRect.top, pixelRect.right - pixelRect.left,
                           pixelRect.bottom - pixelRect.top),
                     backgroundColour);
    DrawBackdrop(painter);
    QPen pen(lineColour);
    pen.setWidth(1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(QBrush(fillColour, Qt::SolidPattern));
}

void CMapCanvas::DrawBackdrop(QPainter& painter) {
    if (!HasBackdrop()) {
        return;
    }
    const CPixelMapping mapping = PixelMappingOf(*this);
    // Points are truncated to whole pixels like the map's; points without a
    // finite pixel end a figure.
    const auto addRings = [&](const CRingSet& set, bool closed, QPainterPath& path) {
        for (std::size_t r = 0; r < set.GetRingCount(); ++r) {
            const CPlanePoint* points = set.GetRingPoints(r);
            bool started = false;
            for (uint32_t i = 0; i < set.GetRingSize(r); ++i) {
                CPixelPoint pixel;
                if (!mapping.Map(points[i].x, points[i].y, pixel)) {
                    started = false;
                    continue;
                }
                if (started) {
                    path.lineTo(pixel.x, pixel.y);
                } else {
                    path.moveTo(pixel.x, pixel.y);
                    started = true;
                }
            }
            if (closed && started) {
                path.closeSubpath();
            }
        }
    };
    QPen pen(backdropLineColour);
    pen.setWidth(1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    QPainterPath areas;
    areas.setFillRule(Qt::OddEvenFill);
    addRings(backdropAreas, true, areas);
    painter.setBrush(QBrush(backdropFillColour, Qt::SolidPattern));
    painter.drawPath(areas);
    QPainterPath lines;
    addRings(backdropLines, false, lines);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(lines);
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
    BeginRender(painter);

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
            ChooseCopiedPolygon(*this, *copy, copy->polygons[i], content.GetAt(i), drawn, work);
            continue;
        }
        const C2DHoledPolyBase* holedPolygon = content.GetAt(i);
        const C2DPolyBase* rim = holedPolygon->GetRim();
        // A holed polygon whose rim has no edges draws nothing, holes included.
        if (rim != nullptr && rim->GetLineCount() != 0 && IsWorthDrawing(*rim)) {
            drawn.push_back(CDrawnPolygon{holedPolygon, nullptr, 1 + holedPolygon->GetHoleCount()});
            work += DrawingWork(rim->GetLineCount(), holedPolygon->GetHoleCount());
        }
    }
    DrawPolygons(painter, pixels, drawn, work, copy);
}

void CMapCanvas::RenderRings() {
    renderedWithCopy = false;
    if (image == nullptr) {
        return;
    }
    uchar* const pixels = image->bits();
    QPainter painter(image);
    BeginRender(painter);
    const CDrawingCopy* copy = ringCopy.get();
    if (copy == nullptr) {
        return;
    }
    std::vector<CDrawnPolygon> drawn;
    std::size_t work = 0;
    for (const CDrawingCopy::CPolygon& polygon : copy->polygons) {
        ChooseCopiedPolygon(*this, *copy, polygon, nullptr, drawn, work);
    }
    DrawPolygons(painter, pixels, drawn, work, copy);
}

void CMapCanvas::DrawPolygons(QPainter& painter, uchar* pixels,
                              const std::vector<CDrawnPolygon>& drawn, std::size_t work,
                              const CDrawingCopy* copy) {
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

void CMapCanvas::RenderInParallel(QPainter& painter, uchar* pixels,
                                  const std::vector<CDrawnPolygon>& drawn, const CDrawingCopy* copy,
                                  const CDotWriter* dots) {
    RenderOnTwoThreads(painter, *image, pixels, PixelMappingOf(*this), drawn, copy, dots);
}

void CMapCanvas::DrawHoledPolygon(QPainter& painter, const CDrawnPolygon& drawn,
                                  const CDrawingCopy* copy, const CDotWriter* dotWriter) {
    const CPixelMapping mapping = PixelMappingOf(*this);
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
