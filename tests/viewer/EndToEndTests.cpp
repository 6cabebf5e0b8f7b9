// A bundled world map through the whole viewer: load, project and project
// back with several projections, rotate and rotate back, and compare what the
// view shows with what it showed before.
#include "ViewerTestSupport.h"
#include "tests/viewer/PixelTestSupport.h"

#include "mapfiles/MapFiles.h"
#include "projection/Projection.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"

#include <QImage>
#include <cmath>
#include <gtest/gtest.h>

namespace {

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        document.AddView(&view);
        view.resize(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
        document.LoadMap(DataPath("world-110m-land.shp").c_str());
        ASSERT_TRUE(ui.messages.isEmpty());
        original = Shown();
        world = AllVertices(document.GetContent());
    }

    // What the view paints now, rendering the map again if it changed.
    QImage Shown() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    CRecordingUserInterface ui;
    CMarloDoc document;
    CMarloView view;
    QImage original;
    std::vector<double> world;
};

TEST_F(EndToEndTest, TheWorldMapFillsTheImage) {
    const int land = CountPixels(original, qRgb(25, 25, 25));
    const int sea = CountPixels(original, qRgb(170, 170, 170));
    const int outline = CountPixels(original, qRgb(200, 0, 0));
    EXPECT_GT(land, 60000);
    EXPECT_GT(sea, 250000);
    EXPECT_GT(outline, 10000);
    EXPECT_EQ(land + sea + outline, 1000 * 750);
}

TEST_F(EndToEndTest, ProjectingAndProjectingBackRestoresThePicture) {
    for (const char* name : {"Mollweide", "Sinusoidal", "Eckert IV", "Miller Cylindrical",
                             "Cylindrical Equal Area", "Mercator"}) {
        SCOPED_TRACE(name);
        document.Project(name);
        ASSERT_NE(document.GetProjection(), nullptr);
        const QImage projected = Shown();
        EXPECT_GT(DifferingPixels(projected, original), 20000);

        document.InverseProject();
        const std::vector<double> back = AllVertices(document.GetContent());
        ASSERT_EQ(back.size(), world.size());
        size_t far = 0;
        for (size_t i = 0; i < world.size(); ++i) {
            // Written so that NaN counts as far.
            far += std::fabs(back[i] - world[i]) <= 1e-7 ? 0 : 1;
        }
        EXPECT_EQ(far, 0u);
        // A round-trip error far below a pixel could move at most the odd
        // vertex across a pixel border (none does on this machine).
        EXPECT_LE(DifferingPixels(Shown(), original), 5);
    }
}

TEST_F(EndToEndTest, TheViewDrawsFromACopyThatFollowsTheContent) {
    EXPECT_GT(view.canvas.GetDrawingCopyBytes(), 0u);
    EXPECT_TRUE(view.canvas.RenderedWithCopy());
    // With the display geometry switched off, after each change the view
    // shows exactly what a canvas without a copy draws of the content as it
    // now is.
    view.SetClipOnSphere(false);
    for (int step = 0; step < 2; ++step) {
        if (step == 0) {
            document.Project("Mollweide");
        } else {
            document.InverseProject();
        }
        const QImage shown = Shown();
        EXPECT_TRUE(view.canvas.RenderedWithCopy());
        EXPECT_FALSE(view.canvas.HasRingDrawing());
        CMapCanvas reference;
        reference.renderThreads = 1;
        reference.lineColour = view.canvas.lineColour;
        reference.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
        reference.requestedRect = view.canvas.requestedRect;
        reference.Recalculate();
        reference.Render(document.GetContent());
        EXPECT_FALSE(reference.RenderedWithCopy());
        // The view's frame covers the image's outermost pixels.
        const QRect inside(1, 1, CMapCanvas::MapImageWidth - 2, CMapCanvas::MapImageHeight - 2);
        EXPECT_EQ(DifferingPixels(shown.copy(inside), reference.GetImage()->copy(inside)), 0)
            << step;
    }
}

// The world map without the polygons that touch the poles or the 180th
// meridian: a rotation brings a pole back with an arbitrary longitude and may
// bring -180 back as +180 (the same meridian), which moves whole edges across
// the picture; everything else must come back in place.
void LoadInteriorWorld(CMarloDoc& document) {
    C2DHoledPolyBaseSet world;
    ASSERT_TRUE(ReadShapefile(DataPath("world-110m-land.shp").c_str(), world, nullptr));
    C2DHoledPolyBaseSet interior;
    while (!world.IsEmpty()) {
        C2DBase* holed = world.ExtractLast();
        C2DRect bounds;
        holed->GetBounds(bounds);
        if (bounds.topLeft.x > -179.9 && bounds.bottomRight.x < 179.9 && bounds.topLeft.y < 89.9 &&
            bounds.bottomRight.y > -89.9) {
            interior.Add(holed);
        } else {
            delete holed;
        }
    }
    ASSERT_GT(interior.GetSize(), 100u);
    LoadContent(document, interior);
}

TEST_F(EndToEndTest, RotatingAndRotatingBackRestoresThePicture) {
    LoadInteriorWorld(document);
    const QImage interior = Shown();
    const CGeoPoint origin{40.0 * 0.017453292519943295, -100.0 * 0.017453292519943295};

    document.Rotate(origin);
    EXPECT_GT(DifferingPixels(Shown(), interior), 20000);
    document.RotateBack();
    EXPECT_LE(DifferingPixels(Shown(), interior), 5);

    // The sequence the About box teaches: rotate, project, project back,
    // rotate back.
    document.Rotate(origin);
    document.Project("Mollweide");
    EXPECT_GT(DifferingPixels(Shown(), interior), 20000);
    document.InverseProject();
    document.RotateBack();
    EXPECT_LE(DifferingPixels(Shown(), interior), 5);
}

} // namespace
