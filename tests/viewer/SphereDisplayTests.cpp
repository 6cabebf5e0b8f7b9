// What the view draws of a map of the earth: the display geometry while a
// rotation or projection is held, the content otherwise; the graticule and
// clip toggles from the View menu; the state pane; the zoom that builds
// finer curves; the command line's --rotate and --graticule.
#include "ViewerTestSupport.h"

#include "mapfiles/MapFiles.h"
#include "projection/DisplayGeometry.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "viewer/MainFrame.h"
#include "viewer/MarloApp.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"
#include "viewer/Resource.h"

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "tests/viewer/PixelTestSupport.h"
#include <memory>

namespace {

const CGeoPoint NorthAmerica{40.0 * DegreesToRadians, -100.0 * DegreesToRadians};
const QRgb Fill = qRgb(25, 25, 25);

class SphereDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        document.AddView(&view);
        view.resize(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
        document.LoadMap(DataPath("world-50m-countries.shp").c_str());
        ASSERT_TRUE(ui.messages.isEmpty());
    }

    // The map image the view shows now, rendering it again if it changed.
    QImage Shown() {
        view.grab();
        return view.canvas.GetImage()->copy();
    }

    // The map image of a plain canvas at the view's area drawing the display
    // geometry built from the file's own rings.
    QImage Reference(const char* projectionName, CGeoRotation* rotation, double tolerance) {
        C2DHoledPolyBaseSet file;
        EXPECT_TRUE(ReadMapFile(DataPath("world-50m-countries.shp").c_str(), file, nullptr));
        file.MakeClockwise();
        std::unique_ptr<CProjection> projection(
            projectionName != nullptr ? CreateProjection(projectionName) : nullptr);
        CRingSet built;
        CDisplayGeometryBuilder(MakeDisplaySettings(projection.get(), tolerance))
            .BuildPolygons(RingsOf(file, false, rotation), nullptr, built, 1);
        CMapCanvas reference;
        reference.renderThreads = 1;
        reference.lineColour = view.canvas.lineColour;
        reference.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
        reference.requestedRect = view.canvas.requestedRect;
        reference.Recalculate();
        EXPECT_TRUE(reference.PrepareRingDrawing(std::move(built)));
        reference.RenderRings();
        return reference.GetImage()->copy();
    }

    CRecordingUserInterface ui;
    CMarloDoc document;
    CMarloView view;
};

TEST_F(SphereDisplayTest, DrawsTheDisplayGeometryWhileARotationOrProjectionIsHeld) {
    const QImage plain = Shown();
    EXPECT_FALSE(view.display.DrawsDisplayGeometry());

    document.Project("Orthographic");
    ASSERT_TRUE(view.display.DrawsDisplayGeometry());
    EXPECT_TRUE(view.canvas.HasRingDrawing());
    // The content's drawing copy is not kept beside it.
    EXPECT_EQ(view.canvas.GetDrawingCopyBytes(), 0u);
    const double tolerance = view.display.GetTolerance();
    // Within half a pixel at the fitted zoom, and no finer than a quarter of
    // it on the sphere's whole outline (1000 x 750 pixels for the globe of
    // diameter 2).
    EXPECT_LE(tolerance, CMapDisplay::PixelTolerance / view.canvas.scale.x);
    EXPECT_DOUBLE_EQ(tolerance, CMapDisplay::PixelTolerance / (750.0 / 2.0) / 4.0);
    // The view's points from the content and the copy draw exactly what the
    // file's rings give.
    EXPECT_EQ(DifferingPixels(Shown(), Reference("Orthographic", nullptr, tolerance)), 0);
    // The default zoom fits the disc's visible land, not the folded content.
    EXPECT_LE(view.canvas.requestedRect.bottomRight.x, 1.0);
    EXPECT_GE(view.canvas.requestedRect.topLeft.x, -1.0);

    document.InverseProject();
    EXPECT_FALSE(view.display.DrawsDisplayGeometry());
    EXPECT_EQ(DifferingPixels(Shown(), plain), 0);

    // Rotated, then projected: both through the display geometry.
    document.Rotate(NorthAmerica);
    EXPECT_TRUE(view.display.DrawsDisplayGeometry());
    CGeoRotation rotation;
    rotation.SetOrigin(40.0, -100.0);
    EXPECT_EQ(DifferingPixels(Shown(), Reference(nullptr, &rotation, view.display.GetTolerance())),
              0);
    document.Project("Mollweide");
    EXPECT_EQ(
        DifferingPixels(Shown(), Reference("Mollweide", &rotation, view.display.GetTolerance())),
        0);
    document.InverseProject();
    document.RotateBack();
    // The picture as loaded, without a streak.
    EXPECT_FALSE(view.display.DrawsDisplayGeometry());
    EXPECT_EQ(DifferingPixels(Shown(), plain), 0);
}

TEST_F(SphereDisplayTest, OtherMapsAndOtherOrdersDrawTheContent) {
    // A rotation applied after the projection rotates projected coordinates.
    document.Project("Mollweide");
    document.Rotate(NorthAmerica);
    EXPECT_FALSE(view.display.DrawsDisplayGeometry());
    EXPECT_TRUE(view.canvas.RenderedWithCopy() || view.canvas.GetDrawingCopyBytes() > 0);

    // A map that is not in the earth's degrees.
    C2DHoledPolyBaseSet plan;
    plan.Add(MakeRectangle(0.0, 0.0, 500.0, 300.0));
    LoadContent(document, plan);
    document.Project("Orthographic");
    EXPECT_FALSE(view.display.DrawsDisplayGeometry());
    EXPECT_FALSE(view.canvas.HasRingDrawing());
}

TEST_F(SphereDisplayTest, ZoomingInBuildsFinerCurvesOnlyPastTheTolerance) {
    document.Rotate(NorthAmerica);
    document.Project("Orthographic");
    const unsigned builds = view.display.GetBuildCount();
    const double tolerance = view.display.GetTolerance();
    const QPoint centre(500, 375);
    int steps = 0;
    // Each wheel step away from the user shows 0.7 times the area.
    while (view.display.GetBuildCount() == builds && steps < 40) {
        QWheelEvent wheel(centre, view.mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
        ++steps;
        // Half a pixel is within the tolerance until the rebuild.
        if (view.display.GetBuildCount() == builds) {
            EXPECT_LE(tolerance, CMapDisplay::PixelTolerance / view.canvas.scale.x);
        }
    }
    ASSERT_EQ(view.display.GetBuildCount(), builds + 1) << steps << " steps";
    EXPECT_GT(steps, 1);
    EXPECT_LT(view.display.GetTolerance(), tolerance);
    EXPECT_LE(view.display.GetTolerance(), CMapDisplay::PixelTolerance / view.canvas.scale.x / 4.0);
    // The next steps in need no build.
    QWheelEvent wheel(centre, view.mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    EXPECT_EQ(view.display.GetBuildCount(), builds + 1);
}

class SphereFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app.InitInstance(QStringList{QStringLiteral("Marlo")}));
        frame = app.GetMainFrame();
        document = app.GetDocument();
        view = app.GetView();
        document->LoadMap(DataPath("world-50m-countries.shp").c_str());
    }

    QImage Shown() {
        view->grab();
        return view->canvas.GetImage()->copy();
    }

    // Opens the View menu from the keyboard and picks an entry by its
    // mnemonic, as a person would.
    void PickFromViewMenu(Qt::Key mnemonic) {
        QMenu* menu = frame->menuBar()->actions()[1]->menu();
        frame->activateWindow();
        QTest::keyClick(frame->menuBar(), Qt::Key_V, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
        QTest::keyClick(menu, mnemonic);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 2000));
    }

    CRecordingUserInterface ui;
    CMarloApp app;
    CMainFrame* frame = nullptr;
    CMarloDoc* document = nullptr;
    CMarloView* view = nullptr;
};

TEST_F(SphereFrameTest, MenuTogglesTheGraticuleAndTheClipping) {
    QAction* graticule = frame->FindCommand(ID_VIEW_GRATICULE);
    QAction* clip = frame->FindCommand(ID_VIEW_CLIP_ON_SPHERE);
    ASSERT_NE(graticule, nullptr);
    ASSERT_NE(clip, nullptr);
    EXPECT_FALSE(graticule->isChecked());
    EXPECT_TRUE(clip->isChecked());
    frame->projectionOrigin = NorthAmerica;
    frame->RunCommand(ID_ROTATE);
    frame->projectionList->setCurrentIndex(frame->projectionList->findText("Orthographic"));
    frame->RunCommand(ID_PROJECT);
    EXPECT_EQ(frame->GetStatePane()->text(),
              QStringLiteral("Orthographic, centred N40:00:00 W100:00:00"));
    const QImage clipped = Shown();
    const C2DRect zoom = view->canvas.requestedRect;

    PickFromViewMenu(Qt::Key_G);
    EXPECT_TRUE(graticule->isChecked());
    EXPECT_TRUE(view->GetGraticule());
    EXPECT_TRUE(view->canvas.HasBackdrop());
    const QImage withGraticule = Shown();
    // Sphere and lines beneath, the land unchanged on top.
    EXPECT_GT(CountPixels(withGraticule, view->canvas.backdropFillColour.rgb()), 100000);
    EXPECT_GT(CountPixels(withGraticule, view->canvas.backdropLineColour.rgb()), 2000);
    EXPECT_EQ(CountPixels(withGraticule, Fill), CountPixels(clipped, Fill));

    PickFromViewMenu(Qt::Key_C);
    EXPECT_FALSE(clip->isChecked());
    EXPECT_FALSE(view->GetClipOnSphere());
    EXPECT_FALSE(view->display.DrawsDisplayGeometry());
    // The zoom is kept, so the two pictures can be compared.
    EXPECT_EQ(view->canvas.requestedRect.topLeft.x, zoom.topLeft.x);
    EXPECT_EQ(view->canvas.requestedRect.bottomRight.y, zoom.bottomRight.y);
    // The folded content covers more than the clipped land.
    EXPECT_GT(CountPixels(Shown(), Fill), CountPixels(withGraticule, Fill) + 10000);

    PickFromViewMenu(Qt::Key_C);
    PickFromViewMenu(Qt::Key_G);
    EXPECT_TRUE(view->display.DrawsDisplayGeometry());
    EXPECT_FALSE(view->canvas.HasBackdrop());
    EXPECT_EQ(DifferingPixels(Shown(), clipped), 0);
}

TEST_F(SphereFrameTest, StatePaneSaysWhatTheDocumentHolds) {
    QLabel* pane = frame->GetStatePane();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->text(), QStringLiteral("No projection"));
    frame->projectionList->setCurrentIndex(frame->projectionList->findText("Orthographic"));
    frame->RunCommand(ID_PROJECT);
    EXPECT_EQ(pane->text(), QStringLiteral("Orthographic"));
    frame->projectionOrigin = CGeoPoint{-33.5 * DegreesToRadians, 151.25 * DegreesToRadians};
    frame->RunCommand(ID_ROTATE);
    EXPECT_EQ(pane->text(), QStringLiteral("Orthographic, then rotated to S33:30:00 E151:15:00"));
    frame->RunCommand(ID_INVERSE_PROJECT);
    EXPECT_EQ(pane->text(), QStringLiteral("No projection, centred S33:30:00 E151:15:00"));
    frame->RunCommand(ID_ROTATE_BACK);
    EXPECT_EQ(pane->text(), QStringLiteral("No projection"));
}

TEST(SphereAppTest, CommandLineRotatesBeforeProjectingAndShowsTheGraticule) {
    CRecordingUserInterface ui;
    CMarloApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{
        QStringLiteral("Marlo"), QString::fromStdString(DataPath("world-50m-countries.shp")),
        QStringLiteral("--rotate"), QStringLiteral("40,-100"), QStringLiteral("--projection"),
        QStringLiteral("Orthographic"), QStringLiteral("--graticule")}));
    CMarloDoc* document = app.GetDocument();
    ASSERT_NE(document->GetRotation(), nullptr);
    ASSERT_NE(document->GetProjection(), nullptr);
    EXPECT_FALSE(document->RotatedAfterProjection());
    EXPECT_DOUBLE_EQ(document->GetRotation()->origin.lat, 40.0 * DegreesToRadians);
    EXPECT_DOUBLE_EQ(document->GetRotation()->origin.lon, -100.0 * DegreesToRadians);
    EXPECT_DOUBLE_EQ(app.GetMainFrame()->projectionOrigin.lon, -100.0 * DegreesToRadians);
    EXPECT_TRUE(app.GetMainFrame()->FindCommand(ID_VIEW_GRATICULE)->isChecked());
    EXPECT_TRUE(app.GetView()->display.DrawsGraticule());
    EXPECT_TRUE(app.GetView()->display.DrawsDisplayGeometry());

    for (const char* bad : {"40", "91,0", "x,1", "40,-100,3", "nan,0"}) {
        CMarloApp refused;
        EXPECT_FALSE(refused.InitInstance(QStringList{
            QStringLiteral("Marlo"), QStringLiteral("--rotate"), QString::fromLatin1(bad)}))
            << bad;
        EXPECT_EQ(refused.ExitCode(), 2);
    }
}

} // namespace
