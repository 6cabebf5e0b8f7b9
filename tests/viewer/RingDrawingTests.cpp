// Drawing from a ring set (display geometry) gives exactly the pixels of
// drawing a content with the same rings, on one thread and on two; broken
// rings are left out as the content drawing leaves them out; the backdrop
// lies beneath the map and changes nothing when absent.
#include <gtest/gtest.h>

#include "tests/viewer/PixelTestSupport.h"

#include <QImage>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "viewer/canvas/MapCanvas.h"

namespace {

const QRgb Background = qRgb(170, 170, 170);
const QRgb Outline = qRgb(200, 0, 0);
const QRgb Fill = qRgb(25, 25, 25);

// On a grid of 2^-20 every difference and sum of two coordinates is exact, so
// each edge ends exactly where the next one starts, as ring set rings do.
double Snap(double value) {
    return std::ldexp(std::round(std::ldexp(value, 20)), -20);
}

void LoadSnappedMap(const char* name, C2DHoledPolyBaseSet& content) {
    C2DHoledPolyBaseSet read;
    const std::string path = std::string(MARLO_DATA_DIR) + "/" + name;
    ASSERT_TRUE(ReadShapefile(path.c_str(), read, nullptr)) << path;
    const auto snapRing = [](const C2DPolyBase& ring) {
        std::vector<double> xy;
        for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
            xy.push_back(Snap(ring.GetLine(k)->GetStart().x));
            xy.push_back(Snap(ring.GetLine(k)->GetStart().y));
        }
        auto* snapped = new C2DPolygon();
        snapped->Create(xy.data(), static_cast<unsigned>(xy.size() / 2));
        return snapped;
    };
    for (unsigned i = 0; i < read.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = read.GetAt(i);
        auto* copy = new C2DHoledPolygon();
        copy->SetRim(snapRing(*holed->GetRim()));
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            copy->AddHole(snapRing(*holed->GetHole(h)));
        }
        content.Add(copy);
    }
    content.MakeClockwise();
}

void PrepareImage(CMapCanvas& canvas) {
    canvas.lineColour = QColor(200, 0, 0);
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
}

TEST(RingDrawing, GivesThePixelsOfTheSameContent) {
    C2DHoledPolyBaseSet content;
    LoadSnappedMap("world-50m-countries.shp", content);
    ASSERT_GT(content.GetSize(), 200u);
    CMapCanvas reference;
    CMapCanvas rings;
    CMapCanvas ringsOneThread;
    for (CMapCanvas* canvas : {&reference, &rings, &ringsOneThread}) {
        PrepareImage(*canvas);
    }
    reference.renderThreads = 1;
    ringsOneThread.renderThreads = 1;
    CRingSet set = RingsOf(content, true);
    const std::size_t pointCount = set.GetPointCount();
    ASSERT_TRUE(rings.PrepareRingDrawing(std::move(set)));
    // The canvas took the points over.
    EXPECT_EQ(set.GetPointCount(), 0u);
    EXPECT_GE(rings.GetRingDrawingBytes(), pointCount * sizeof(CPlanePoint));
    ASSERT_TRUE(ringsOneThread.PrepareRingDrawing(RingsOf(content, true)));

    reference.FitToBounds(content);
    const C2DRect fitted = reference.requestedRect;
    for (int zoom = -1; zoom <= 8; zoom += 3) {
        for (const double pan : {0.0, 173.5, -41.25}) {
            C2DRect area = fitted;
            for (int step = 0; step < std::abs(zoom); ++step) {
                area.ScaleAboutCentre(zoom < 0 ? 1.3 : 0.7);
            }
            area.Translate(C2DOffset(pan * (area.bottomRight.x - area.topLeft.x) / 1000.0, 0.0));
            for (CMapCanvas* canvas : {&reference, &rings, &ringsOneThread}) {
                canvas->requestedRect = area;
                canvas->Recalculate();
            }
            reference.Render(content);
            rings.RenderRings();
            ringsOneThread.RenderRings();
            const std::string view = "zoom " + std::to_string(zoom) + " pan " + std::to_string(pan);
            EXPECT_EQ(DifferingPixels(*rings.GetImage(), *reference.GetImage()), 0) << view;
            EXPECT_EQ(DifferingPixels(*ringsOneThread.GetImage(), *reference.GetImage()), 0)
                << view;
        }
    }
    EXPECT_GT(CountPixels(*reference.GetImage(), Fill), 1000);
}

TEST(RingDrawing, LeavesOutBrokenRingsAndPolygons) {
    // Map units 1:1 on pixels; y up.
    CMapCanvas canvas;
    PrepareImage(canvas);
    canvas.requestedRect = C2DRect(0.0, 750.0, 1000.0, 0.0);
    canvas.Recalculate();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto square = [](CRingSet& set, double left, double bottom, double size) {
        // Clockwise with y up, closed.
        set.points.insert(set.points.end(), {{left, bottom},
                                             {left, bottom + size},
                                             {left + size, bottom + size},
                                             {left + size, bottom},
                                             {left, bottom}});
        set.EndRing();
    };
    CRingSet set;
    // A square with a hole whose ring has a NaN: the hole is left out, the
    // square filled whole.
    square(set, 100.5, 100.5, 100.0);
    square(set, 130.5, 130.5, 40.0);
    set.points[set.points.size() - 3].x = nan;
    set.EndPolygon();
    // A rim with an infinite point: nothing of the polygon, hole included.
    square(set, 400.5, 100.5, 100.0);
    set.points[set.points.size() - 2].y = std::numeric_limits<double>::infinity();
    square(set, 430.5, 130.5, 40.0);
    set.EndPolygon();
    // A polygon without rings and one with a one-point rim.
    set.EndPolygon();
    set.points.push_back({700.5, 300.5});
    set.EndRing();
    set.EndPolygon();
    // A square with an ordinary hole.
    square(set, 600.5, 500.5, 100.0);
    square(set, 630.5, 530.5, 40.0);
    set.EndPolygon();
    ASSERT_TRUE(canvas.PrepareRingDrawing(std::move(set)));
    canvas.RenderRings();
    const QImage& image = *canvas.GetImage();
    const auto at = [&](double x, double y) {
        const CPixelPoint p = canvas.MapToPixel(x, y);
        return image.pixel(p.x, p.y);
    };
    EXPECT_EQ(at(150.5, 150.5), Fill);
    EXPECT_EQ(at(450.5, 150.5), Background);
    EXPECT_EQ(at(410.5, 110.5), Background);
    EXPECT_EQ(at(650.5, 550.5), Background);
    EXPECT_EQ(at(610.5, 510.5), Fill);
    EXPECT_EQ(at(700.5, 300.5), Background);
    // Two filled squares of 100 x 100 pixels, one less its 40 x 40 hole.
    const int drawn = CountPixels(image, Fill) + CountPixels(image, Outline);
    EXPECT_EQ(drawn, 101 * 101 * 2 - 39 * 39);

    canvas.DropRingDrawing();
    EXPECT_FALSE(canvas.HasRingDrawing());
    canvas.RenderRings();
    EXPECT_EQ(CountPixels(*canvas.GetImage(), Background), 1000 * 750);
}

TEST(Backdrop, LiesBeneathTheMapAndChangesNothingWhenAbsent) {
    C2DHoledPolyBaseSet content;
    auto* holed = new C2DHoledPolygon();
    const double rim[] = {200.5, 200.5, 200.5, 400.5, 400.5, 400.5, 400.5, 200.5};
    auto* ring = new C2DPolygon();
    ring->Create(rim, 4);
    holed->SetRim(ring);
    content.Add(holed);

    CMapCanvas canvas;
    PrepareImage(canvas);
    canvas.requestedRect = C2DRect(0.0, 750.0, 1000.0, 0.0);
    canvas.Recalculate();
    canvas.Render(content);
    const QImage plain = *canvas.GetImage();

    // A disc-like square behind everything and a line across it.
    CRingSet areas;
    areas.points = {{100.5, 100.5}, {100.5, 600.5}, {600.5, 600.5}, {600.5, 100.5}, {100.5, 100.5}};
    areas.EndRing();
    areas.EndPolygon();
    CRingSet lines;
    lines.points = {{50.5, 300.5}, {900.5, 300.5}};
    lines.EndRing();
    lines.EndPolygon();
    canvas.backdropFillColour = QColor(190, 198, 206);
    canvas.backdropLineColour = QColor(140, 148, 158);
    canvas.SetBackdrop(std::move(areas), std::move(lines));
    EXPECT_TRUE(canvas.HasBackdrop());
    canvas.Render(content);
    const QImage& image = *canvas.GetImage();
    const auto at = [&](double x, double y) {
        const CPixelPoint p = canvas.MapToPixel(x, y);
        return image.pixel(p.x, p.y);
    };
    EXPECT_EQ(at(150.5, 500.5), qRgb(190, 198, 206));
    EXPECT_EQ(at(150.5, 300.5), qRgb(140, 148, 158));
    EXPECT_EQ(at(800.5, 300.5), qRgb(140, 148, 158));
    EXPECT_EQ(at(800.5, 500.5), Background);
    // The map covers the backdrop, its line included.
    EXPECT_EQ(at(300.5, 300.5), Fill);
    EXPECT_EQ(at(300.5, 350.5), Fill);

    canvas.ClearBackdrop();
    EXPECT_FALSE(canvas.HasBackdrop());
    canvas.Render(content);
    EXPECT_EQ(DifferingPixels(*canvas.GetImage(), plain), 0);
}

} // namespace
