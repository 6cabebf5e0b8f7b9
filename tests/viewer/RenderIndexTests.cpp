// The render index must never change a pixel: every image rendered with it
// is compared whole with the image of the edge-by-edge path, for real and
// generated maps at many scales and offsets.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "viewer/MapCanvas.h"

namespace {

// Pixels that differ between two images of equal size.
int DifferingPixels(const QImage& a, const QImage& b) {
    if (a == b) {
        return 0;
    }
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            count += a.pixel(x, y) == b.pixel(x, y) ? 0 : 1;
        }
    }
    return count;
}

// Renders content at the requested area on a canvas that holds the index
// (built once by FitToBounds) and on one that never had an index, and
// compares the images.
class CIndexComparison {
public:
    explicit CIndexComparison(const C2DHoledPolyBaseSet& content) : content(content) {
        indexed.lineColour = QColor(200, 0, 0);
        plain.lineColour = QColor(200, 0, 0);
        indexed.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
        plain.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
        indexed.FitToBounds(content);
        fitted = indexed.requestedRect;
    }

    // Fit, zoom steps in and out, pans by whole and fractional pixels.
    void CompareViews(const std::string& name) {
        for (int zoom = -2; zoom <= 9; ++zoom) {
            for (const double pan : {0.0, 100.0, -37.25, 0.5, 1e-7}) {
                C2DRect area = fitted;
                const double factor = zoom < 0 ? 1.3 : 0.7;
                for (int step = 0; step < std::abs(zoom); ++step) {
                    area.ScaleAboutCentre(factor);
                }
                indexed.requestedRect = area;
                indexed.Recalculate();
                area.Translate(C2DOffset(pan / indexed.scale.x, 0.6 * pan / indexed.scale.y));
                Compare(area,
                        name + " zoom " + std::to_string(zoom) + " pan " + std::to_string(pan));
            }
        }
    }

    void Compare(const C2DRect& area, const std::string& view) {
        indexed.requestedRect = area;
        indexed.Recalculate();
        indexed.Render(content);
        ASSERT_TRUE(indexed.RenderedWithIndex()) << view;
        plain.requestedRect = area;
        plain.Recalculate();
        plain.Render(content);
        ASSERT_FALSE(plain.RenderedWithIndex());
        ASSERT_EQ(indexed.scale.x, plain.scale.x);
        ASSERT_EQ(indexed.offset.y, plain.offset.y);
        EXPECT_EQ(DifferingPixels(*indexed.GetImage(), *plain.GetImage()), 0) << view;
    }

    const C2DHoledPolyBaseSet& content;
    CMapCanvas indexed;
    CMapCanvas plain;
    C2DRect fitted;
};

void LoadMap(const char* name, C2DHoledPolyBaseSet& content) {
    const std::string path = std::string(MARLO_DATA_DIR) + "/" + name;
    ASSERT_TRUE(ReadShapefile(path.c_str(), content, nullptr)) << path;
    content.MakeClockwise();
}

TEST(RenderIndex, RealMapsGiveTheSamePixels) {
    for (const char* name : {"world-110m-land.shp", "world-50m-countries.shp"}) {
        C2DHoledPolyBaseSet map;
        LoadMap(name, map);
        CIndexComparison comparison(map);
        comparison.CompareViews(name);
        // Points far outside the image: deep zoom at a coast.
        C2DRect area(9.0, 55.0, 9.5, 54.6);
        comparison.Compare(area, std::string(name) + " deep zoom");
    }
}

// A closed ring of count vertices around (cx, cy) at radii between
// (1 - jitter) r and (1 + jitter) r, anticlockwise, so MakeClockwise reverses it and recomputes
// every end as start + direction.
C2DPolygon* RandomRing(std::mt19937& rng, double cx, double cy, double r, unsigned count,
                       double jitter = 0.5) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> points;
    for (unsigned i = 0; i < count; ++i) {
        const double angle = 6.283185307179586 * i / count;
        const double radius = r * (1.0 + jitter * (2.0 * unit(rng) - 1.0));
        points.push_back(cx + radius * std::cos(angle));
        points.push_back(cy + radius * std::sin(angle));
    }
    auto* ring = new C2DPolygon();
    ring->Create(points.data(), count);
    return ring;
}

// Holed polygons with long finely divided rims and many small holes, around
// (x0, y0) within size units, plus a ring with arcs and rings with an
// infinite and a NaN vertex.
void MakeRandomMap(unsigned seed, double x0, double y0, double size, C2DHoledPolyBaseSet& content,
                   int holesPerPolygon = 300) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int p = 0; p < 6; ++p) {
        const double cx = x0 + size * unit(rng);
        const double cy = y0 + size * unit(rng);
        const double r = size * (0.05 + 0.2 * unit(rng));
        auto* shape = new C2DHoledPolygon();
        shape->SetRim(
            RandomRing(rng, cx, cy, r, 500 + static_cast<unsigned>(3000 * unit(rng)), 0.02));
        for (int h = 0; h < holesPerPolygon; ++h) {
            const double hr = r * 0.02 * unit(rng) * unit(rng);
            shape->AddHole(RandomRing(rng, cx + 0.4 * r * (unit(rng) - 0.5),
                                      cy + 0.4 * r * (unit(rng) - 0.5), hr,
                                      3 + static_cast<unsigned>(60 * unit(rng))));
        }
        content.Add(shape);
    }
    // Fine straight edges with arcs between them.
    auto* arcRing = new C2DPolyArc();
    const double ax = x0 + 0.3 * size;
    const double ay = y0 + 0.3 * size;
    const double step = size * 1e-4;
    arcRing->SetStartPoint(C2DPoint(ax, ay));
    for (int i = 1; i <= 200; ++i) {
        arcRing->LineTo(C2DPoint(ax + step * i, ay + step * (i % 3)));
    }
    arcRing->ArcTo(C2DPoint(ax + step * 200, ay - size * 0.1), true, false, size * 0.06);
    for (int i = 199; i >= 0; --i) {
        arcRing->LineTo(C2DPoint(ax + step * i, ay - size * 0.1 + step * (i % 2)));
    }
    arcRing->ArcTo(C2DPoint(ax + step * 3, ay - size * 0.1 + step * 0.5), false, false,
                   size * 1e-4);
    arcRing->Close();
    auto* arcShape = new C2DHoledPolyArc();
    arcShape->SetRim(arcRing);
    content.Add(arcShape);
    // Vertices without a finite position amid fine edges.
    for (const double bad : {std::numeric_limits<double>::infinity(), std::nan("")}) {
        std::vector<double> points;
        for (int i = 0; i < 100; ++i) {
            points.push_back(x0 + 0.6 * size + step * i);
            points.push_back(i == 50 ? bad : y0 + 0.6 * size + step * (i % 4));
        }
        points.insert(points.end(), {x0 + 0.7 * size, y0 + 0.5 * size});
        auto* ring = new C2DPolygon();
        ring->Create(points.data(), static_cast<unsigned>(points.size() / 2));
        auto* shape = new C2DHoledPolygon();
        shape->SetRim(ring);
        content.Add(shape);
    }
    content.MakeClockwise();
}

TEST(RenderIndex, GeneratedMapsGiveTheSamePixels) {
    // Far from the origin the coordinates' rounding steps are coarse.
    const struct {
        unsigned seed;
        double x0;
        double y0;
        double size;
    } maps[] = {{1, 0.0, 0.0, 1000.0}, {2, -180.0, -90.0, 360.0}, {3, 4.5e6, -2.7e6, 0.25}};
    for (const auto& m : maps) {
        C2DHoledPolyBaseSet content;
        MakeRandomMap(m.seed, m.x0, m.y0, m.size, content);
        CIndexComparison comparison(content);
        comparison.CompareViews("map " + std::to_string(m.seed));
    }
}

TEST(RenderIndex, ManyRingsGiveTheSamePixels) {
    // Enough rings that the index is built in two halves on two threads.
    C2DHoledPolyBaseSet content;
    MakeRandomMap(5, -180.0, -90.0, 360.0, content, 5000);
    CIndexComparison comparison(content);
    C2DRect area = comparison.fitted;
    comparison.Compare(area, "fit");
    for (int step = 0; step < 3; ++step) {
        area.ScaleAboutCentre(0.7);
    }
    comparison.Compare(area, "three steps in");
    area.Translate(C2DOffset(0.3, -0.2));
    comparison.Compare(area, "panned");
}

TEST(RenderIndex, VerticesOnPixelBoundaries) {
    // Map units 1:1 to pixels: vertices fall exactly on pixel corners and a
    // rounding step either side of them.
    C2DHoledPolyBaseSet content;
    std::vector<double> points;
    for (int i = 0; i <= 400; ++i) {
        const double nudge = (i % 3 - 1) * 1e-13;
        points.push_back(100.0 + i * 0.25 + nudge);
        points.push_back(300.0 + (i % 5) * 0.25 - nudge);
    }
    points.insert(points.end(), {200.0, 100.0, 100.0, 100.0});
    auto* rim = new C2DPolygon();
    rim->Create(points.data(), static_cast<unsigned>(points.size() / 2));
    auto* shape = new C2DHoledPolygon();
    shape->SetRim(rim);
    for (int i = 0; i < 40; ++i) {
        const double x = 110.0 + 2 * i;
        const double hole[] = {x, 200.0, x + 1.0, 200.0, x + 1.0, 199.0, x, 199.0};
        auto* ring = new C2DPolygon();
        ring->Create(hole, 4);
        shape->AddHole(ring);
    }
    content.Add(shape);
    CIndexComparison comparison(content);
    for (const double shift : {0.0, 0.5, 1e-12, -1e-12, 0.25}) {
        comparison.Compare(C2DRect(shift, 750.0 + shift, 1000.0 + shift, shift),
                           "shift " + std::to_string(shift));
    }
}

TEST(RenderIndex, IsUsedOnlyForTheContentItWasBuiltFor) {
    C2DHoledPolyBaseSet first;
    MakeRandomMap(7, 0.0, 0.0, 100.0, first);
    C2DHoledPolyBaseSet second;
    MakeRandomMap(8, 0.0, 0.0, 100.0, second);

    CMapCanvas canvas;
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    EXPECT_EQ(canvas.GetRenderIndexBytes(), 0u);
    canvas.FitToBounds(first);
    EXPECT_GT(canvas.GetRenderIndexBytes(), 0u);
    canvas.Render(first);
    EXPECT_TRUE(canvas.RenderedWithIndex());
    canvas.Render(second);
    EXPECT_FALSE(canvas.RenderedWithIndex());
    canvas.InvalidateRenderIndex();
    EXPECT_EQ(canvas.GetRenderIndexBytes(), 0u);
    canvas.Render(first);
    EXPECT_FALSE(canvas.RenderedWithIndex());

    // A holed polygon that gained a hole, or content that gained a polygon,
    // no longer matches the index.
    canvas.FitToBounds(first);
    std::mt19937 rng(3);
    first.GetAt(0)->AddHole(RandomRing(rng, 50.0, 50.0, 1.0, 5));
    canvas.Render(first);
    EXPECT_FALSE(canvas.RenderedWithIndex());
    canvas.FitToBounds(first);
    first.Add(new C2DHoledPolygon(*first.GetAt(1)));
    canvas.Render(first);
    EXPECT_FALSE(canvas.RenderedWithIndex());

    // Empty content has an infinite scale: no index is used, only background.
    C2DHoledPolyBaseSet empty;
    canvas.FitToBounds(empty);
    canvas.Render(empty);
    EXPECT_FALSE(canvas.RenderedWithIndex());
}

TEST(RenderIndex, RingWhoseEdgeCountChangedIsDrawnWithoutIt) {
    C2DHoledPolyBaseSet content;
    MakeRandomMap(11, 0.0, 0.0, 1000.0, content);
    CIndexComparison comparison(content);
    // A small hole becomes a ring of many more edges, far bigger than the
    // hole was; the index still matches every other ring.
    C2DPolyBase* hole = content.GetAt(0)->GetHole(0);
    const C2DPoint centre = content.GetAt(0)->GetRim()->GetBoundingRect().GetCentre();
    hole->SetStartPoint(C2DPoint(centre.x - 20.0, centre.y - 20.0));
    for (int i = 1; i < 80; ++i) {
        hole->LineTo(C2DPoint(centre.x - 20.0 + 0.5 * i, centre.y - 20.0 + (i % 2)));
    }
    hole->LineTo(C2DPoint(centre.x, centre.y + 20.0));
    hole->Close();
    comparison.Compare(comparison.fitted, "changed hole");
}

} // namespace
