// The drawing copy, the pixels set directly for two-pixel rings and the
// painting on two threads must never change a pixel: every image is compared
// whole with the image painted figure by figure, in order, on one thread from
// the edge objects, for real and generated maps at many scales and offsets.
#include <gtest/gtest.h>

#include "tests/viewer/PixelTestSupport.h"

#include <QImage>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "viewer/canvas/MapCanvas.h"
#include "viewer/canvas/MapDrawing.h"

namespace {

// Renders content at the requested area on the reference canvas (no copy,
// one thread) and on three others: with the copy on two threads, with the
// copy on one thread, and without the copy on two threads; compares the
// images.
class CRenderComparison {
public:
    explicit CRenderComparison(const C2DHoledPolyBaseSet& content,
                               const QColor& lineColour = QColor(200, 0, 0))
        : content(content) {
        for (CMapCanvas* canvas : {&reference, &copied, &copiedOneThread, &plain}) {
            canvas->lineColour = lineColour;
            canvas->CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
        }
        reference.renderThreads = 1;
        copiedOneThread.renderThreads = 1;
        reference.FitToBounds(content);
        fitted = reference.requestedRect;
        copied.PrepareDrawingCopy(content);
        copiedOneThread.PrepareDrawingCopy(content);
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
                reference.requestedRect = area;
                reference.Recalculate();
                area.Translate(C2DOffset(pan / reference.scale.x, 0.6 * pan / reference.scale.y));
                Compare(area,
                        name + " zoom " + std::to_string(zoom) + " pan " + std::to_string(pan));
            }
        }
    }

    void Compare(const C2DRect& area, const std::string& view) {
        reference.requestedRect = area;
        reference.Recalculate();
        reference.Render(content);
        ASSERT_FALSE(reference.RenderedWithCopy());
        for (CMapCanvas* canvas : {&copied, &copiedOneThread, &plain}) {
            canvas->requestedRect = area;
            canvas->Recalculate();
            canvas->Render(content);
            ASSERT_EQ(canvas->RenderedWithCopy(), canvas != &plain) << view;
            ASSERT_EQ(canvas->scale.x, reference.scale.x);
            ASSERT_EQ(canvas->offset.y, reference.offset.y);
            EXPECT_EQ(DifferingPixels(*canvas->GetImage(), *reference.GetImage()), 0)
                << view
                << (canvas == &copied            ? " (copy, two threads)"
                    : canvas == &copiedOneThread ? " (copy, one thread)"
                                                 : " (no copy, two threads)");
        }
    }

    const C2DHoledPolyBaseSet& content;
    CMapCanvas reference;
    CMapCanvas copied;
    CMapCanvas copiedOneThread;
    CMapCanvas plain;
    C2DRect fitted;
};

void LoadMap(const char* name, C2DHoledPolyBaseSet& content) {
    const std::string path = std::string(MARLO_DATA_DIR) + "/" + name;
    ASSERT_TRUE(ReadShapefile(path.c_str(), content, nullptr)) << path;
    content.MakeClockwise();
}

TEST(DrawingCopy, RealMapsGiveTheSamePixels) {
    for (const char* name : {"world-110m-land.shp", "world-50m-countries.shp"}) {
        C2DHoledPolyBaseSet map;
        LoadMap(name, map);
        CRenderComparison comparison(map);
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

TEST(DrawingCopy, GeneratedMapsGiveTheSamePixels) {
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
        CRenderComparison comparison(content);
        comparison.CompareViews("map " + std::to_string(m.seed));
    }
}

TEST(DrawingCopy, ManyRingsGiveTheSamePixels) {
    // Enough rings that the index is built in two halves on two threads.
    C2DHoledPolyBaseSet content;
    MakeRandomMap(5, -180.0, -90.0, 360.0, content, 5000);
    CRenderComparison comparison(content);
    C2DRect area = comparison.fitted;
    comparison.Compare(area, "fit");
    for (int step = 0; step < 3; ++step) {
        area.ScaleAboutCentre(0.7);
    }
    comparison.Compare(area, "three steps in");
    area.Translate(C2DOffset(0.3, -0.2));
    comparison.Compare(area, "panned");
}

TEST(DrawingCopy, VerticesOnPixelBoundaries) {
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
    CRenderComparison comparison(content);
    for (const double shift : {0.0, 0.5, 1e-12, -1e-12, 0.25}) {
        comparison.Compare(C2DRect(shift, 750.0 + shift, 1000.0 + shift, shift),
                           "shift " + std::to_string(shift));
    }
}

TEST(DrawingCopy, IsUsedOnlyForTheContentItWasTakenFrom) {
    C2DHoledPolyBaseSet first;
    MakeRandomMap(7, 0.0, 0.0, 100.0, first);
    C2DHoledPolyBaseSet second;
    MakeRandomMap(8, 0.0, 0.0, 100.0, second);

    CMapCanvas canvas;
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    EXPECT_EQ(canvas.GetDrawingCopyBytes(), 0u);
    canvas.FitToBounds(first);
    canvas.PrepareDrawingCopy(first);
    EXPECT_GT(canvas.GetDrawingCopyBytes(), 0u);
    canvas.Render(first);
    EXPECT_TRUE(canvas.RenderedWithCopy());
    canvas.Render(second);
    EXPECT_FALSE(canvas.RenderedWithCopy());
    canvas.DropDrawingCopy();
    EXPECT_EQ(canvas.GetDrawingCopyBytes(), 0u);
    canvas.Render(first);
    EXPECT_FALSE(canvas.RenderedWithCopy());

    // Content that gained a holed polygon no longer matches the copy.
    canvas.PrepareDrawingCopy(first);
    first.Add(new C2DHoledPolygon(*first.GetAt(1)));
    canvas.Render(first);
    EXPECT_FALSE(canvas.RenderedWithCopy());
}

TEST(DrawingCopy, StaleCopyNeverReadsBeyondTheContent) {
    // A hole with a NaN vertex is not copied; the copy sends it to its edge
    // objects. When the content is replaced by as many holed polygons without
    // holes, the stale copy still names that hole, which must not be looked
    // up.
    C2DHoledPolyBaseSet content;
    MakeRandomMap(9, 0.0, 0.0, 100.0, content);
    const double nanHole[] = {40.0, 40.0, 41.0, std::nan(""), 41.0, 41.0};
    auto* hole = new C2DPolygon();
    hole->Create(nanHole, 3);
    content.GetAt(0)->AddHole(hole);
    CMapCanvas canvas;
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    canvas.FitToBounds(content);
    canvas.PrepareDrawingCopy(content);
    const unsigned count = content.GetSize();
    content.DeleteAll();
    std::mt19937 rng(9);
    for (unsigned i = 0; i < count; ++i) {
        auto* shape = new C2DHoledPolygon();
        shape->SetRim(RandomRing(rng, 50.0, 50.0, 40.0, 50, 0.1));
        content.Add(shape);
    }
    content.MakeClockwise();
    canvas.Render(content);
    EXPECT_TRUE(canvas.RenderedWithCopy());
}

TEST(DrawingCopy, EdgesThatDoNotMeetExactlyAndTranslucentOutlines) {
    // Coordinates that cross zero between vertices of very different size:
    // an edge's end (start + direction) then differs from the next edge's
    // start in the last bits, and drawing compares each edge's own ends.
    C2DHoledPolyBaseSet content;
    // Map units 1:1 to pixels below: the edge from x = 2^30 towards
    // 1 - 2^-53 ends at exactly 1.0 (its direction rounds), so the end falls
    // on pixel 1 while the next edge starts on pixel 0. The outline must run
    // from the end's pixel to the next edge's end, never through pixel 0.
    const double far = 1073741824.0;
    const double justBelowOne = 1.0 - 1.1102230246251565e-16;
    const double crossing[] = {far, 300.0, justBelowOne, 300.5, 5.0, 310.0, 3.0, 200.0};
    auto* crossingRing = new C2DPolygon();
    crossingRing->Create(crossing, 4);
    ASSERT_EQ(crossingRing->GetLine(0)->GetEnd().x, 1.0);
    ASSERT_EQ(crossingRing->GetLine(1)->GetStart().x, justBelowOne);
    auto* crossingShape = new C2DHoledPolygon();
    crossingShape->SetRim(crossingRing);
    std::vector<double> points;
    for (int i = 0; i < 400; ++i) {
        const double sign = i % 2 == 0 ? 1.0 : -1.0;
        const double tiny = (i % 3 + 1) * 1e-17;
        points.push_back(i % 4 < 2 ? 0.1 * (i % 7 + 1) : sign * tiny);
        points.push_back(i % 4 == 1 ? sign * tiny * 3.0 : 0.01 * i);
    }
    auto* ring = new C2DPolygon();
    ring->Create(points.data(), static_cast<unsigned>(points.size() / 2));
    auto* shape = new C2DHoledPolygon();
    shape->SetRim(ring);
    content.Add(shape);
    MakeRandomMap(12, -1.0, -1.0, 6.0, content);
    // Added as it is, not made clockwise, which would rebuild its edges.
    content.Add(crossingShape);
    for (const QColor& colour : {QColor(200, 0, 0), QColor(200, 0, 0, 128)}) {
        CRenderComparison comparison(content, colour);
        const std::string name = "alpha " + std::to_string(colour.alpha());
        if (colour.alpha() == 255) {
            comparison.CompareViews(name);
        } else {
            comparison.Compare(comparison.fitted, name);
        }
        // Pixel boundaries right at zero.
        comparison.Compare(C2DRect(-0.5, 0.375, 0.5, -0.375), "around zero");
        comparison.Compare(C2DRect(0.0, 750.0, 1000.0, 0.0), "units as pixels");
    }
}

// A ring whose every other edge runs from x = 3 to a vertex a rounding step
// from zero: such an edge ends at exactly 0 (its direction rounds to -3),
// not where the next edge starts, so the copy records a restart there.
C2DPolygon* ZigzagNearZero(double y0, unsigned teeth) {
    std::vector<double> points;
    for (unsigned i = 0; i < teeth; ++i) {
        points.insert(points.end(), {3.0, y0 + 2.0 * i, (i % 3 + 1) * 1e-20, y0 + 2.0 * i + 1.0});
    }
    auto* ring = new C2DPolygon();
    ring->Create(points.data(), static_cast<unsigned>(points.size() / 2));
    return ring;
}

// The edges of a copied ring, read as drawing reads them: point 0 starts edge
// 0 and every later point ends an edge, except that a restart point starts
// the next edge instead. The ring's list of restarts must end at its 0.
std::vector<std::pair<CPlanePoint, CPlanePoint>> CopiedEdges(const CDrawingCopy& copy,
                                                             const CDrawingCopy::CRing& ring) {
    std::vector<std::pair<CPlanePoint, CPlanePoint>> edges;
    const CPlanePoint* points = copy.PointData() + ring.firstPoint;
    std::size_t restart = ring.firstRestart;
    for (uint32_t i = 1; i < ring.pointCount; ++i) {
        if (restart < copy.restarts.size() && copy.restarts[restart] == i) {
            ++restart;
            continue;
        }
        edges.emplace_back(points[i - 1], points[i]);
    }
    EXPECT_LT(restart, copy.restarts.size());
    EXPECT_EQ(restart < copy.restarts.size() ? copy.restarts[restart] : 1u, 0u)
        << "restarts beyond the ring's points";
    return edges;
}

TEST(DrawingCopy, EveryCopiedRingHoldsExactlyItsOwnEdges) {
    // Rings with restarts beside rings without, one that is not copied (a NaN
    // vertex) between them, and restarts in the very last ring.
    const auto rectangle = [](double left, double top, double right, double bottom) {
        const double points[] = {left, top, right, top, right, bottom, left, bottom};
        auto* ring = new C2DPolygon();
        ring->Create(points, 4);
        return ring;
    };
    C2DHoledPolyBaseSet content;
    auto* first = new C2DHoledPolygon();
    first->SetRim(ZigzagNearZero(0.0, 40));
    first->AddHole(rectangle(0.5, 30.0, 2.5, 20.0));
    first->AddHole(ZigzagNearZero(41.0, 3));
    content.Add(first);
    auto* second = new C2DHoledPolygon();
    second->SetRim(rectangle(-10.0, 100.0, 10.0, -10.0));
    const double nanHole[] = {1.0, 1.0, 2.0, std::nan(""), 2.0, 1.0};
    auto* hole = new C2DPolygon();
    hole->Create(nanHole, 3);
    second->AddHole(hole);
    second->AddHole(ZigzagNearZero(60.0, 7));
    content.Add(second);

    const std::unique_ptr<CDrawingCopy> copy = MakeDrawingCopy(content);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->polygons.size(), 2u);
    unsigned ringsWithRestarts = 0;
    for (unsigned p = 0; p < content.GetSize(); ++p) {
        const C2DHoledPolyBase* holed = content.GetAt(p);
        const CDrawingCopy::CPolygon& polygon = copy->polygons[p];
        ASSERT_EQ(polygon.ringCount, 1 + holed->GetHoleCount());
        for (unsigned r = 0; r < polygon.ringCount; ++r) {
            const C2DPolyBase* ring = r == 0 ? holed->GetRim() : holed->GetHole(r - 1);
            const CDrawingCopy::CRing& copied = copy->rings[polygon.firstRing + r];
            const std::string where = std::to_string(p) + "/" + std::to_string(r);
            if (p == 1 && r == 1) {
                EXPECT_EQ(copied.pointCount, 0u) << "a NaN vertex is drawn from the edges";
                continue;
            }
            ringsWithRestarts += copied.HasRestarts() ? 1 : 0;
            const auto edges = CopiedEdges(*copy, copied);
            ASSERT_EQ(edges.size(), ring->GetLineCount()) << where;
            for (unsigned e = 0; e < ring->GetLineCount(); ++e) {
                const C2DPoint start = ring->GetLine(e)->GetStart();
                const C2DPoint end = ring->GetLine(e)->GetEnd();
                EXPECT_EQ(edges[e].first.x, start.x) << where << " edge " << e;
                EXPECT_EQ(edges[e].first.y, start.y) << where << " edge " << e;
                EXPECT_EQ(edges[e].second.x, end.x) << where << " edge " << e;
                EXPECT_EQ(edges[e].second.y, end.y) << where << " edge " << e;
            }
        }
    }
    EXPECT_EQ(ringsWithRestarts, 3u);
    // Drawn at any scale, and so deep that points lie beyond the pixel range,
    // the copy gives the pixels of the edges.
    CRenderComparison comparison(content);
    comparison.CompareViews("restarts");
    comparison.Compare(C2DRect(-1e-9, 42.0 + 1e-9, 1e-9, 42.0 - 1e-9), "beyond the pixel range");
}

TEST(DrawingCopy, TwoPixelRingsAtTheImageBorder) {
    // Map units 1:1 to pixels. Rings of half a pixel straddle pixel lines
    // all along the image's border and beyond it, inside a rim larger than
    // the image, with enough of them that two threads paint.
    C2DHoledPolyBaseSet content;
    auto* shape = new C2DHoledPolygon();
    const double rim[] = {-20.0, 770.0, 1020.0, 770.0, 1020.0, -20.0, -20.0, -20.0};
    auto* rimRing = new C2DPolygon();
    rimRing->Create(rim, 4);
    shape->SetRim(rimRing);
    const auto addHole = [&](double x, double y, double w, double h) {
        const double hole[] = {x, y, x + w, y, x + w, y - h, x, y - h};
        auto* ring = new C2DPolygon();
        ring->Create(hole, 4);
        shape->AddHole(ring);
    };
    for (int i = -3; i < 1003; ++i) {
        for (const double edge : {-1.25, -0.25, 0.75, 749.75, 750.75}) {
            addHole(i + 0.75, edge + 0.3, 0.5, 0.2); // across a vertical line
            addHole(i + 0.25, edge + 0.4, 0.4, 0.5); // across a horizontal line
            addHole(i + 0.8, edge + 0.35, 0.4, 0.5); // across both
        }
    }
    for (int j = -3; j < 753; ++j) {
        for (const double edge : {-1.25, -0.25, 999.75, 1000.75}) {
            addHole(edge + 0.1, j + 0.7, 0.3, 0.5);
            addHole(edge - 0.2, j + 0.3, 0.5, 0.1);
        }
    }
    content.Add(shape);
    content.MakeClockwise();
    CRenderComparison comparison(content);
    for (const double shift : {0.0, 0.5, 0.25, -0.125}) {
        comparison.Compare(C2DRect(shift, 750.0 + shift, 1000.0 + shift, shift),
                           "shift " + std::to_string(shift));
    }
}

} // namespace
