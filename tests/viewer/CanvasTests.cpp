#include <gtest/gtest.h>

#include "tests/viewer/PixelTestSupport.h"

#include <QImage>

#include <cmath>
#include <limits>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "projection/Transformation.h"
#include "viewer/canvas/MapCanvas.h"

namespace {

const QRgb Background = qRgb(170, 170, 170);
const QRgb Outline = qRgb(200, 0, 0);
const QRgb Fill = qRgb(25, 25, 25);

// A clockwise rectangle ring (y up).
C2DPolygon* RectRing(double left, double top, double right, double bottom) {
    const double points[] = {left, top, right, top, right, bottom, left, bottom};
    auto* ring = new C2DPolygon();
    ring->Create(points, 4);
    return ring;
}

C2DHoledPolygon* RectShape(double left, double top, double right, double bottom) {
    auto* shape = new C2DHoledPolygon();
    shape->SetRim(RectRing(left, top, right, bottom));
    return shape;
}

// A 1000 x 750 canvas showing map units 1:1: map (x, y) falls on pixel
// (x, 750 - y), with the viewer's red outline.
void SetUpUnitCanvas(CMapCanvas& canvas) {
    canvas.lineColour = QColor(200, 0, 0);
    canvas.CreateBuffer(1000, 750);
    canvas.requestedRect = C2DRect(0.0, 750.0, 1000.0, 0.0);
    canvas.Recalculate();
    ASSERT_EQ(canvas.scale.x, 1.0);
    ASSERT_EQ(canvas.scale.y, -1.0);
}

QRgb PixelAtMap(const CMapCanvas& canvas, double x, double y) {
    const CPixelPoint p = canvas.MapToPixel(x, y);
    return canvas.GetImage()->pixel(p.x, p.y);
}

TEST(CanvasMapping, FitsWideAndTallContentWithEqualScales) {
    CMapCanvas canvas;
    canvas.CreateBuffer(1000, 750);
    C2DHoledPolyBaseSet wide;
    wide.Add(RectShape(-5.0, 20.0, 15.0, 10.0)); // 20 wide, 10 high
    canvas.FitToBounds(wide);
    EXPECT_EQ(canvas.scale.x, 50.0);
    EXPECT_EQ(canvas.scale.y, -50.0);
    EXPECT_EQ(canvas.MapToPixel(5.0, 15.0), (CPixelPoint{500, 375}));
    EXPECT_EQ(canvas.visibleRect.topLeft.x, -5.0);
    EXPECT_EQ(canvas.visibleRect.bottomRight.x, 15.0);
    EXPECT_DOUBLE_EQ(canvas.visibleRect.topLeft.y, 22.5);
    EXPECT_DOUBLE_EQ(canvas.visibleRect.bottomRight.y, 7.5);
    // The corners of the visible area are the corners of the image.
    EXPECT_EQ(canvas.PixelToMap(0, 0).x, -5.0);
    EXPECT_DOUBLE_EQ(canvas.PixelToMap(0, 0).y, 22.5);

    C2DHoledPolyBaseSet tall;
    tall.Add(RectShape(0.0, 20.0, 10.0, 0.0));
    canvas.FitToBounds(tall);
    EXPECT_EQ(canvas.scale.x, 37.5);
    EXPECT_EQ(canvas.scale.y, -37.5);
    EXPECT_EQ(canvas.visibleRect.topLeft.y, 20.0);
    EXPECT_NEAR(canvas.visibleRect.bottomRight.x - canvas.visibleRect.topLeft.x, 1000.0 / 37.5,
                1e-5);
    EXPECT_EQ(canvas.MapToPixel(5.0, 10.0), (CPixelPoint{500, 375}));
}

TEST(CanvasMapping, CentresOnTheMiddlePixelOfAnOddSizedImage) {
    // 1001 x 751 pixels: the centre of the requested area falls on pixel
    // (500, 375), the halves of the odd sizes rounded down, and that pixel
    // maps back to exactly the centre. 250.25 units across give 4 pixels per
    // unit.
    CMapCanvas canvas;
    canvas.lineColour = QColor(200, 0, 0);
    canvas.CreateBuffer(1001, 751);
    C2DHoledPolyBaseSet content;
    content.Add(RectShape(-125.125, 50.0, 125.125, -50.0));
    content.Add(RectShape(-25.0, 25.0, 25.0, -25.0));
    canvas.FitToBounds(content);
    ASSERT_EQ(canvas.scale.x, 4.0);
    ASSERT_EQ(canvas.scale.y, -4.0);
    EXPECT_EQ(canvas.offset.x, -125.0);
    EXPECT_EQ(canvas.offset.y, 93.75);
    EXPECT_EQ(canvas.MapToPixel(0.0, 0.0), (CPixelPoint{500, 375}));
    EXPECT_EQ(canvas.PixelToMap(500, 375).x, 0.0);
    EXPECT_EQ(canvas.PixelToMap(500, 375).y, 0.0);

    // The inner square's outline lies 100 pixels either side of the centre
    // pixel.
    canvas.Render(content);
    const QImage& image = *canvas.GetImage();
    EXPECT_EQ(image.pixel(500, 375), Fill);
    for (const QPoint onOutline : {QPoint(400, 375), QPoint(600, 375), QPoint(500, 275),
                                   QPoint(500, 475), QPoint(400, 275), QPoint(600, 475)}) {
        EXPECT_EQ(image.pixel(onOutline), Outline) << onOutline.x() << "," << onOutline.y();
    }
    for (const QPoint beside :
         {QPoint(399, 375), QPoint(401, 375), QPoint(599, 375), QPoint(601, 375), QPoint(500, 274),
          QPoint(500, 276), QPoint(500, 474), QPoint(500, 476)}) {
        EXPECT_EQ(image.pixel(beside), Fill) << beside.x() << "," << beside.y();
    }
    // The outer rectangle spans the image's width exactly, its sides at
    // pixels -0.5 and 1000.5 truncated towards zero: columns 0 and 1000. Its
    // top and bottom lie on rows 175 and 575.
    EXPECT_EQ(image.pixel(0, 375), Outline);
    EXPECT_EQ(image.pixel(1, 375), Fill);
    EXPECT_EQ(image.pixel(1000, 375), Outline);
    EXPECT_EQ(image.pixel(999, 375), Fill);
    EXPECT_EQ(image.pixel(700, 175), Outline);
    EXPECT_EQ(image.pixel(700, 575), Outline);
    EXPECT_EQ(image.pixel(700, 174), Background);
    EXPECT_EQ(image.pixel(700, 576), Background);
}

TEST(CanvasMapping, TruncatesTowardsZeroAndSaturates) {
    CMapCanvas canvas;
    SetUpUnitCanvas(canvas);
    // Map x -0.5 is pixel -0.5, truncated to 0 rather than floored to -1.
    EXPECT_EQ(canvas.MapToPixel(-0.5, 750.5), (CPixelPoint{0, 0}));
    EXPECT_EQ(canvas.MapToPixel(-1.5, 751.5), (CPixelPoint{-1, -1}));
    EXPECT_EQ(canvas.MapToPixel(10.99, 739.01), (CPixelPoint{10, 10}));
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(canvas.MapToPixel(1e300, -inf), (CPixelPoint{std::numeric_limits<int32_t>::max(),
                                                           std::numeric_limits<int32_t>::max()}));
    EXPECT_EQ(canvas.MapToPixel(-1e12, std::nan("")),
              (CPixelPoint{std::numeric_limits<int32_t>::min(), 0}));
}

TEST(CanvasMapping, WheelStepsAndPanMoveTheRequestedArea) {
    CMapCanvas canvas;
    canvas.CreateBuffer(1000, 750);
    C2DHoledPolyBaseSet content;
    content.Add(RectShape(0.0, 10.0, 20.0, 0.0));
    canvas.FitToBounds(content);

    // One step towards the user (1.3), one away (0.7), as the wheel handler does.
    canvas.requestedRect.ScaleAboutCentre(1.3);
    canvas.Recalculate();
    canvas.requestedRect.ScaleAboutCentre(0.7);
    canvas.Recalculate();
    EXPECT_NEAR(canvas.requestedRect.bottomRight.x - canvas.requestedRect.topLeft.x, 20 * 0.91,
                1e-12);
    EXPECT_NEAR(canvas.requestedRect.topLeft.y - canvas.requestedRect.bottomRight.y, 10 * 0.91,
                1e-12);
    EXPECT_DOUBLE_EQ(canvas.requestedRect.GetCentre().x, 10.0);
    EXPECT_FLOAT_EQ(static_cast<float>(canvas.scale.x), 1000.0f / 18.2f);

    // A drag of 100 pixels to the right: the map point under the cursor stays
    // under it and the requested area moves left by 100 / scale.x.
    const C2DRect before = canvas.requestedRect;
    const C2DPoint grabbed = canvas.PixelToMap(400, 300);
    const C2DPoint now = canvas.PixelToMap(500, 300);
    canvas.requestedRect.Translate(C2DOffset(grabbed.x - now.x, grabbed.y - now.y));
    canvas.Recalculate();
    EXPECT_NEAR(canvas.requestedRect.topLeft.x, before.topLeft.x - 100.0 / canvas.scale.x, 1e-12);
    EXPECT_EQ(canvas.requestedRect.topLeft.y, before.topLeft.y);
    EXPECT_NEAR(canvas.PixelToMap(500, 300).x, grabbed.x, 1e-12);
    EXPECT_NEAR(canvas.PixelToMap(500, 300).y, grabbed.y, 1e-12);
}

TEST(CanvasRender, CullsPolygonsUnderFourSquarePixelsOrOutsideTheView) {
    CMapCanvas canvas;
    SetUpUnitCanvas(canvas);
    std::unique_ptr<C2DPolygon> small(RectRing(100.0, 101.9, 101.9, 100.0));
    std::unique_ptr<C2DPolygon> enough(RectRing(100.0, 102.0, 102.0, 100.0));
    std::unique_ptr<C2DPolygon> outside(RectRing(2000.0, 102.0, 2010.0, 100.0));
    std::unique_ptr<C2DPolygon> touching(RectRing(1000.0, 110.0, 1010.0, 100.0));
    EXPECT_FALSE(canvas.IsWorthDrawing(*small));
    EXPECT_TRUE(canvas.IsWorthDrawing(*enough));
    EXPECT_FALSE(canvas.IsWorthDrawing(*outside));
    EXPECT_FALSE(canvas.IsWorthDrawing(*touching)); // a shared edge is no overlap

    C2DHoledPolyBaseSet content;
    content.Add(RectShape(100.0, 101.9, 101.9, 100.0));
    content.Add(RectShape(200.0, 102.0, 202.0, 100.0));
    canvas.Render(content);
    EXPECT_EQ(PixelAtMap(canvas, 100.0, 101.0), Background);
    EXPECT_EQ(PixelAtMap(canvas, 200.0, 100.0), Outline);
    EXPECT_EQ(PixelAtMap(canvas, 201.0, 101.0), Fill);
}

TEST(CanvasRender, EmptyContentGivesInfiniteScaleAndOnlyBackground) {
    CMapCanvas canvas;
    canvas.lineColour = QColor(200, 0, 0);
    canvas.CreateBuffer(1000, 750);
    C2DHoledPolyBaseSet empty;
    canvas.FitToBounds(empty);
    EXPECT_TRUE(std::isinf(canvas.scale.x) && canvas.scale.x > 0);
    EXPECT_TRUE(std::isinf(canvas.scale.y) && canvas.scale.y < 0);
    EXPECT_EQ(canvas.offset.x, 0.0);
    EXPECT_EQ(canvas.offset.y, 0.0);
    EXPECT_EQ(canvas.PixelToMap(123, 45).x, 0.0);
    EXPECT_EQ(canvas.PixelToMap(123, 45).y, 0.0);
    canvas.Render(empty);
    EXPECT_EQ(CountPixels(*canvas.GetImage(), Background), 1000 * 750);

    // A single point of content has zero extents as well: nothing is drawn.
    C2DHoledPolyBaseSet point;
    point.Add(RectShape(3.0, 4.0, 3.0, 4.0));
    canvas.FitToBounds(point);
    canvas.Render(point);
    EXPECT_EQ(CountPixels(*canvas.GetImage(), Background), 1000 * 750);

    // Rendering before the image exists does nothing.
    CMapCanvas unbuffered;
    unbuffered.Render(point);
    EXPECT_EQ(unbuffered.GetImage(), nullptr);
}

TEST(CanvasRender, FillsTheAreaAndLeavesHolesOpen) {
    CMapCanvas canvas;
    SetUpUnitCanvas(canvas);
    C2DHoledPolyBaseSet content;
    C2DHoledPolygon* shape = RectShape(100.0, 300.0, 300.0, 100.0);
    shape->AddHole(RectRing(150.0, 250.0, 250.0, 150.0));
    content.Add(shape);
    canvas.Render(content);
    const QImage& image = *canvas.GetImage();
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    // Rim from pixel (100, 450) to (300, 650), hole from (150, 500) to (250, 600).
    EXPECT_EQ(image.pixel(120, 550), Fill);
    EXPECT_EQ(image.pixel(200, 550), Background); // in the hole
    EXPECT_EQ(image.pixel(100, 550), Outline);
    EXPECT_EQ(image.pixel(200, 450), Outline);
    EXPECT_EQ(image.pixel(300, 550), Outline);
    EXPECT_EQ(image.pixel(200, 650), Outline);
    EXPECT_EQ(image.pixel(150, 550), Outline); // the hole's border
    EXPECT_EQ(image.pixel(99, 550), Background);
    EXPECT_EQ(image.pixel(500, 100), Background);
    // Exactly the rim's and the hole's outlines, and the area between them.
    EXPECT_EQ(CountPixels(image, Outline), 4 * 200 + 4 * 100);
    EXPECT_EQ(CountPixels(image, Fill), 199 * 199 - 101 * 101);

    // A later polygon paints over an earlier one.
    content.Add(RectShape(200.0, 200.0, 400.0, 120.0));
    canvas.Render(content);
    EXPECT_EQ(image.pixel(240, 560), Fill);
    EXPECT_EQ(image.pixel(350, 600), Fill);
    EXPECT_EQ(image.pixel(200, 560), Outline);
}

TEST(CanvasRender, DrawsArcsOnTheirSide) {
    CMapCanvas canvas;
    SetUpUnitCanvas(canvas);
    // Half discs on the chord (300, 300) - (500, 300), radius 100.
    const auto halfDisc = [](bool arcOnRight, double y) {
        auto* ring = new C2DPolyArc();
        ring->SetStartPoint(C2DPoint(300.0, y));
        ring->ArcTo(C2DPoint(500.0, y), !arcOnRight, arcOnRight, 100.0);
        ring->Close();
        auto* shape = new C2DHoledPolyArc();
        shape->SetRim(ring);
        return shape;
    };
    C2DHoledPolyBaseSet content;
    content.Add(halfDisc(true, 300.0));  // arc right of +x: below the chord
    content.Add(halfDisc(false, 600.0)); // arc left of +x: above the chord
    canvas.Render(content);
    EXPECT_EQ(PixelAtMap(canvas, 400.0, 250.0), Fill);
    EXPECT_EQ(PixelAtMap(canvas, 400.0, 350.0), Background);
    EXPECT_EQ(PixelAtMap(canvas, 310.0, 240.0), Background); // outside the circle
    EXPECT_EQ(PixelAtMap(canvas, 400.0, 200.0), Outline);    // bottom of the circle
    EXPECT_EQ(PixelAtMap(canvas, 400.0, 199.0), Background);
    EXPECT_EQ(PixelAtMap(canvas, 400.0, 650.0), Fill);
    EXPECT_EQ(PixelAtMap(canvas, 400.0, 550.0), Background);
    EXPECT_EQ(PixelAtMap(canvas, 400.0, 699.5), Outline);

    // A major arc (equal flags) on the right of a chord of 100 with radius
    // 100: it bulges far below the chord, past the circle's centre.
    C2DHoledPolyBaseSet major;
    auto* ring = new C2DPolyArc();
    ring->SetStartPoint(C2DPoint(650.0, 400.0));
    ring->ArcTo(C2DPoint(750.0, 400.0), true, true, 100.0);
    ring->Close();
    auto* shape = new C2DHoledPolyArc();
    shape->SetRim(ring);
    major.Add(shape);
    canvas.Render(major);
    const double centreY = 400.0 - std::sqrt(100.0 * 100.0 - 50.0 * 50.0);
    EXPECT_EQ(PixelAtMap(canvas, 700.0, centreY), Fill);
    EXPECT_EQ(PixelAtMap(canvas, 700.0, centreY - 95.0), Fill);
    EXPECT_EQ(PixelAtMap(canvas, 700.0, 410.0), Background);
}

TEST(CanvasRender, SkipsSubPixelEdgesButKeepsTheOutlineConnected) {
    CMapCanvas canvas;
    SetUpUnitCanvas(canvas);
    // The top side of a square walked in 0.05-unit steps (20 per pixel), a
    // staircase on the right side and a straight rest.
    std::vector<double> points;
    for (int i = 0; i <= 4000; ++i) {
        points.push_back(100.0 + 0.05 * i);
        points.push_back(400.0);
    }
    for (int i = 1; i <= 400; ++i) {
        points.push_back(300.0 - 0.25 * (i % 2));
        points.push_back(400.0 - 0.5 * i);
    }
    points.push_back(100.0);
    points.push_back(200.0);
    auto* rim = new C2DPolygon();
    rim->Create(points.data(), static_cast<unsigned>(points.size() / 2));
    auto* shape = new C2DHoledPolygon();
    shape->SetRim(rim);
    C2DHoledPolyBaseSet content;
    content.Add(shape);
    canvas.Render(content);
    const QImage& image = *canvas.GetImage();
    for (int x = 100; x <= 300; ++x) {
        ASSERT_EQ(image.pixel(x, 350), Outline) << x;
        ASSERT_EQ(image.pixel(x, 550), Outline) << x;
    }
    for (int y = 350; y <= 550; ++y) {
        ASSERT_EQ(image.pixel(100, y), Outline) << y;
        ASSERT_EQ(image.pixel(299, y) == Outline || image.pixel(300, y) == Outline, true) << y;
    }
    EXPECT_EQ(image.pixel(200, 450), Fill);
    EXPECT_EQ(image.pixel(301, 450), Background);
}

TEST(CanvasRender, ManyHolesGiveExactlyTheExpectedPixels) {
    // Enough holes that the paths are built on two threads in pieces: 3 x 3
    // pixel squares every 5 pixels, plus holes smaller than a pixel, which
    // draw nothing and leave the area filled.
    CMapCanvas canvas;
    SetUpUnitCanvas(canvas);
    C2DHoledPolyBaseSet content;
    C2DHoledPolygon* shape = RectShape(2.0, 748.0, 998.0, 2.0);
    const auto isHoleCorner = [](int x, int y) {
        return x >= 10 && x < 990 && y >= 10 && y < 745 && x % 5 == 0 && y % 5 == 0;
    };
    for (int y = 10; y < 745; y += 5) {
        for (int x = 10; x < 990; x += 5) {
            // Pixel square [x, x + 3] x [y, y + 3] in map units.
            shape->AddHole(RectRing(x, 750.0 - y, x + 3.0, 750.0 - y - 3.0));
            shape->AddHole(RectRing(x + 3.3, 750.0 - y - 1.2, x + 3.7, 750.0 - y - 1.8));
        }
    }
    ASSERT_GT(shape->GetHoleCount(), 50000u);
    content.Add(shape);
    // A later polygon paints over the holes in its area.
    content.Add(RectShape(500.0, 400.0, 600.0, 300.0));
    canvas.Render(content);

    const QImage& image = *canvas.GetImage();
    int mismatches = 0;
    for (int py = 0; py < 750; ++py) {
        for (int px = 0; px < 1000; ++px) {
            QRgb expected = Fill;
            if (px < 2 || px > 998 || py < 2 || py > 748) {
                expected = Background;
            } else if (px == 2 || px == 998 || py == 2 || py == 748) {
                expected = Outline;
            } else {
                // The hole square whose corner is at or up to 3 pixels before.
                for (int cy = py - 3; cy <= py; ++cy) {
                    for (int cx = px - 3; cx <= px; ++cx) {
                        if (isHoleCorner(cx, cy)) {
                            const bool border =
                                px == cx || px == cx + 3 || py == cy || py == cy + 3;
                            expected = border ? Outline : Background;
                        }
                    }
                }
            }
            if (px >= 500 && px <= 600 && py >= 350 && py <= 450) {
                const bool border = px == 500 || px == 600 || py == 350 || py == 450;
                expected = border ? Outline : Fill;
            }
            mismatches += image.pixel(px, py) == expected ? 0 : 1;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// The textbook Mercator formula ln tan(pi/4 + phi/2) on degrees: the south
// pole goes to exactly -infinity.
class CInfiniteMercator : public CTransformation {
public:
    void Transform(double& x, double& y) override {
        const double quarterPi = 0.7853981633974483;
        const double toRadians = 0.017453292519943295;
        x = x * toRadians;
        y = std::log(std::tan(quarterPi + y * toRadians / 2.0));
    }
    void InverseTransform(double&, double&) override {}
};

TEST(CanvasRender, ContentWithInfiniteOrNanPointsStillFillsTheImage) {
    // A whole-world ring, densified along its sides, clockwise.
    std::vector<double> points;
    for (int lat = -90; lat <= 80; lat += 10) {
        points.insert(points.end(), {-180.0, static_cast<double>(lat)});
    }
    for (int lat = 80; lat >= -90; lat -= 10) {
        points.insert(points.end(), {180.0, static_cast<double>(lat)});
    }
    auto* rim = new C2DPolygon();
    rim->Create(points.data(), static_cast<unsigned>(points.size() / 2));
    auto* shape = new C2DHoledPolygon();
    shape->SetRim(rim);
    C2DHoledPolyBaseSet content;
    content.Add(shape);
    CInfiniteMercator mercator;
    content.Transform(mercator);
    ASSERT_EQ(rim->GetLine(0)->GetStart().y, -std::numeric_limits<double>::infinity());
    ASSERT_EQ(rim->GetLine(35)->GetStart().y, -std::numeric_limits<double>::infinity());

    CMapCanvas canvas;
    canvas.lineColour = QColor(200, 0, 0);
    canvas.CreateBuffer(1000, 750);
    canvas.FitToBounds(content);
    // Fitted to the finite vertices: +-pi wide, +-ln tan(85 deg) high.
    const double top = std::log(std::tan(0.7853981633974483 + 80.0 * 0.017453292519943295 / 2));
    EXPECT_DOUBLE_EQ(canvas.requestedRect.topLeft.x, -3.141592653589793);
    EXPECT_DOUBLE_EQ(canvas.requestedRect.topLeft.y, top);
    EXPECT_DOUBLE_EQ(canvas.requestedRect.bottomRight.y, -top);
    canvas.Render(content);
    const QImage& image = *canvas.GetImage();
    EXPECT_EQ(image.pixel(500, 375), Fill);
    EXPECT_EQ(image.pixel(500, 20), Fill);
    EXPECT_EQ(image.pixel(500, 730), Fill);
    // The map is taller than the image is relatively: it fills the height
    // and leaves background only at the sides.
    EXPECT_GT(CountPixels(image, Fill), 900 * 740);

    // A NaN vertex (a projection outside its domain) is skipped the same way.
    auto* withNan = new C2DPolygon();
    const double nanPoints[] = {-2.0, 2.0, 0.0, std::nan(""), 2.0, 2.0, 2.0, -2.0, -2.0, -2.0};
    withNan->Create(nanPoints, 5);
    auto* nanShape = new C2DHoledPolygon();
    nanShape->SetRim(withNan);
    C2DHoledPolyBaseSet nanContent;
    nanContent.Add(nanShape);
    canvas.FitToBounds(nanContent);
    EXPECT_EQ(canvas.requestedRect.topLeft.x, -2.0);
    EXPECT_EQ(canvas.requestedRect.topLeft.y, 2.0);
    canvas.Render(nanContent);
    EXPECT_EQ(image.pixel(500, 375), Fill);
}

TEST(CanvasRender, FarAwayVerticesStillDrawTheVisiblePart) {
    CMapCanvas canvas;
    SetUpUnitCanvas(canvas);
    // A triangle with one corner some 1e12 pixels away to the right: the
    // visible part is a band between y = 300 and a slowly rising top.
    C2DHoledPolyBaseSet content;
    auto* rim = new C2DPolygon();
    const double points[] = {0.0, 300.0, 0.0, 400.0, 1e12, 350.0};
    rim->Create(points, 3);
    auto* shape = new C2DHoledPolygon();
    shape->SetRim(rim);
    content.Add(shape);
    canvas.Render(content);
    const QImage& image = *canvas.GetImage();
    EXPECT_EQ(image.pixel(500, 400), Fill);
    EXPECT_EQ(image.pixel(999, 400), Fill);
    EXPECT_EQ(image.pixel(500, 300), Background);
    EXPECT_EQ(image.pixel(500, 500), Background);
}

} // namespace
