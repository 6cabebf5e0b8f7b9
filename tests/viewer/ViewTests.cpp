// The map view: refitting on the document's hint, panning, wheel zoom, the
// composed window picture and the cursor readout.
#include "ViewerTestSupport.h"

#include "projection/Projection.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

// A 250 x 100 rectangle centred on (0, 0) with a 50 x 50 hole: it fits the
// 1000 x 750 image at exactly 4 pixels per map unit.
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        C2DHoledPolyBaseSet content;
        content.Add(MakeRectangleWithHole(-125, -50, 125, 50, -25, -25, 25, 25));
        document.AddView(&view);
        LoadContent(document, content);
        ASSERT_TRUE(ui.messages.isEmpty());
        view.resize(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    }

    void Move(QPoint client, Qt::MouseButtons buttons = Qt::NoButton) {
        QMouseEvent event(QEvent::MouseMove, QPointF(client), view.mapToGlobal(QPointF(client)),
                          Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
    void Button(QEvent::Type type, QPoint client) {
        QMouseEvent event(type, QPointF(client), view.mapToGlobal(QPointF(client)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
    void Wheel(int delta) {
        const QPointF at(500, 375);
        QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &event);
    }

    CRecordingUserInterface ui;
    CMarloDoc document;
    CMarloView view;
};

TEST_F(ViewTest, HintRefitsTheImageToTheContent) {
    EXPECT_EQ(view.canvas.lineColour, QColor(200, 0, 0));
    EXPECT_EQ(view.canvas.scale.x, 4.0);
    EXPECT_EQ(view.canvas.scale.y, -4.0);
    EXPECT_EQ(view.canvas.MapToPixel(0, 0), (CPixelPoint{500, 375}));
    EXPECT_TRUE(view.redrawNeeded);

    // Other hints are ignored.
    view.canvas.requestedRect.Set(0, 1, 1, 0);
    view.redrawNeeded = false;
    document.UpdateAllViews(nullptr, 0);
    document.UpdateAllViews(nullptr, 4);
    EXPECT_FALSE(view.redrawNeeded);
    EXPECT_EQ(view.canvas.requestedRect.bottomRight.x, 1.0);
    // The default zoom is the same as the content hint.
    view.FitToContent();
    EXPECT_EQ(view.canvas.requestedRect.topLeft.x, -125.0);
    EXPECT_EQ(view.canvas.requestedRect.topLeft.y, 50.0);
    EXPECT_TRUE(view.redrawNeeded);
}

TEST_F(ViewTest, DraggingKeepsThePointUnderTheCursor) {
    Move(QPoint(500, 375));
    Button(QEvent::MouseButtonPress, QPoint(500, 375));
    EXPECT_TRUE(view.leftButtonDown);
    view.redrawNeeded = false;
    Move(QPoint(600, 375), Qt::LeftButton);
    // 100 pixels to the right move the requested area 100 / 4 units left.
    EXPECT_DOUBLE_EQ(view.canvas.requestedRect.topLeft.x, -150.0);
    EXPECT_DOUBLE_EQ(view.canvas.requestedRect.bottomRight.x, 100.0);
    EXPECT_DOUBLE_EQ(view.canvas.requestedRect.topLeft.y, 50.0);
    EXPECT_TRUE(view.redrawNeeded);
    const C2DPoint under = view.canvas.PixelToMap(600, 375);
    EXPECT_DOUBLE_EQ(under.x, 0.0);
    EXPECT_DOUBLE_EQ(under.y, 0.0);

    Move(QPoint(600, 275), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(view.canvas.requestedRect.topLeft.y, 25.0);

    Button(QEvent::MouseButtonRelease, QPoint(600, 275));
    EXPECT_FALSE(view.leftButtonDown);
    Move(QPoint(700, 275));
    EXPECT_DOUBLE_EQ(view.canvas.requestedRect.topLeft.x, -150.0);
}

TEST_F(ViewTest, WheelZoomsOutTowardsTheUserAndInAway) {
    Wheel(-120);
    EXPECT_DOUBLE_EQ(view.canvas.requestedRect.bottomRight.x - view.canvas.requestedRect.topLeft.x,
                     250.0 * 1.3);
    Wheel(120);
    const C2DRect& r = view.canvas.requestedRect;
    EXPECT_NEAR(r.bottomRight.x - r.topLeft.x, 250.0 * 0.91, 1e-9);
    EXPECT_NEAR(r.topLeft.y - r.bottomRight.y, 100.0 * 0.91, 1e-9);
    EXPECT_NEAR(r.GetCentre().x, 0.0, 1e-12);
    EXPECT_NEAR(r.GetCentre().y, 0.0, 1e-12);
    EXPECT_NEAR(view.canvas.scale.x, 4.0 / 0.91, 1e-5);
    // A sideways wheel does nothing.
    Wheel(0);
    EXPECT_NEAR(r.bottomRight.x - r.topLeft.x, 250.0 * 0.91, 1e-9);
}

// A touchpad sends many small deltas: they add up, and each full notch of
// 120 zooms once, whichever way the deltas come.
TEST_F(ViewTest, WheelZoomsOncePerNotchOfAddedUpAngle) {
    const auto width = [&] {
        return view.canvas.requestedRect.bottomRight.x - view.canvas.requestedRect.topLeft.x;
    };
    const unsigned builds = view.display.GetBuildCount();
    view.redrawNeeded = false;
    Wheel(40);
    Wheel(40);
    EXPECT_EQ(width(), 250.0);
    EXPECT_FALSE(view.redrawNeeded);
    Wheel(40);
    EXPECT_DOUBLE_EQ(width(), 250.0 * 0.7);
    EXPECT_TRUE(view.redrawNeeded);
    // Back and forth within a notch: nothing.
    Wheel(100);
    Wheel(-100);
    Wheel(-15);
    Wheel(15);
    EXPECT_DOUBLE_EQ(width(), 250.0 * 0.7);
    // Two notches at once zoom twice; a swipe of 1 unit deltas zooms once
    // per 120 of them.
    Wheel(-240);
    EXPECT_NEAR(width(), 250.0 * 0.7 * 1.3 * 1.3, 1e-9);
    for (int i = 0; i < 119; ++i) {
        Wheel(-1);
    }
    EXPECT_NEAR(width(), 250.0 * 0.7 * 1.3 * 1.3, 1e-9);
    Wheel(-1);
    EXPECT_NEAR(width(), 250.0 * 0.7 * 1.3 * 1.3 * 1.3, 1e-9);
    EXPECT_NEAR(view.canvas.requestedRect.GetCentre().x, 0.0, 1e-12);
    EXPECT_EQ(view.wheelAngle, 0);
    EXPECT_GE(view.display.GetBuildCount(), builds);
}

TEST_F(ViewTest, PaintCentresTheFramedImageInTheClientArea) {
    EXPECT_EQ(CMarloView::ComputeImageOffset(1200, 900), (CPixelPoint{100, 75}));
    EXPECT_EQ(CMarloView::ComputeImageOffset(1201, 751), (CPixelPoint{100, 0}));
    EXPECT_EQ(CMarloView::ComputeImageOffset(800, 600), (CPixelPoint{0, 0}));

    view.resize(1200, 900);
    const QImage picture = view.grab().toImage();
    ASSERT_EQ(picture.size(), QSize(1200, 900));
    EXPECT_EQ(view.imageOffset, (CPixelPoint{100, 75}));
    EXPECT_FALSE(view.redrawNeeded);
    const QRgb grey = qRgb(170, 170, 170);
    const QRgb red = qRgb(200, 0, 0);
    const QRgb fill = qRgb(25, 25, 25);
    EXPECT_EQ(picture.pixel(0, 0), grey);
    EXPECT_EQ(picture.pixel(99, 74), grey);
    EXPECT_EQ(picture.pixel(1100, 825), grey);
    for (QPoint corner : {QPoint(100, 75), QPoint(1099, 75), QPoint(100, 824), QPoint(1099, 824),
                          QPoint(600, 75), QPoint(100, 450)}) {
        EXPECT_EQ(picture.pixel(corner), red) << corner.x() << "," << corner.y();
    }
    // Inside the rim: filled; inside the hole: background; above the map:
    // background of the image.
    EXPECT_EQ(picture.pixel(100 + 100, 75 + 375), fill);
    EXPECT_EQ(picture.pixel(100 + 500, 75 + 375), grey);
    EXPECT_EQ(picture.pixel(100 + 500, 75 + 100), grey);
    // The picture is the canvas image, copied unchanged inside the frame.
    const QImage image = view.canvas.GetImage()->convertToFormat(QImage::Format_RGB32);
    for (int y = 1; y < 749; y += 7) {
        for (int x = 1; x < 999; x += 7) {
            ASSERT_EQ(picture.pixel(100 + x, 75 + y), image.pixel(x, y)) << x << "," << y;
        }
    }
    // A cursor on the image's top-left pixel reads window pixel (0, 0).
    Move(QPoint(100, 75));
    EXPECT_DOUBLE_EQ(view.cursorMap.x, -125.0);
    EXPECT_DOUBLE_EQ(view.cursorMap.y, 93.75);

    // A client area one pixel larger each way: the odd margins of 201 and 151
    // pixels are halved rounding down, the extra pixel going right and below.
    view.resize(1201, 901);
    const QImage odd = view.grab().toImage();
    ASSERT_EQ(odd.size(), QSize(1201, 901));
    EXPECT_EQ(view.imageOffset, (CPixelPoint{100, 75}));
    for (QPoint corner : {QPoint(100, 75), QPoint(1099, 75), QPoint(100, 824), QPoint(1099, 824)}) {
        EXPECT_EQ(odd.pixel(corner), red) << corner.x() << "," << corner.y();
    }
    for (QPoint outside : {QPoint(99, 75), QPoint(100, 74), QPoint(1100, 824), QPoint(1099, 825)}) {
        EXPECT_EQ(odd.pixel(outside), grey) << outside.x() << "," << outside.y();
    }
    Move(QPoint(100, 75));
    EXPECT_DOUBLE_EQ(view.cursorMap.x, -125.0);
    EXPECT_DOUBLE_EQ(view.cursorMap.y, 93.75);
}

TEST(ViewReadoutTest, UndoesTheProjectionBeforeTheRotation) {
    CRecordingUserInterface ui;
    CMarloDoc document;
    CMarloView view;
    document.AddView(&view);
    EXPECT_EQ(view.CursorReadout(100, 75, C2DPoint(-100, 75)),
              QStringLiteral("Win: (100,75) Real: (-100.000000,75.000000) N75:00:00, W100:00:00"));
    // Latitude 30, longitude 20 rotated about origin (10, 20) lies at
    // (20, 0); "Cylindrical Equidistant" then puts it at x = 0, y = 20
    // degrees in radians.
    document.Rotate(CGeoPoint{10 * DegreesToRadians, 20 * DegreesToRadians});
    document.Project("Cylindrical Equidistant");
    EXPECT_EQ(view.CursorReadout(1, 2, C2DPoint(0, 20 * DegreesToRadians)),
              QStringLiteral("Win: (1,2) Real: (0.000000,0.349066) N30:00:00, E020:00:00"));
    // Off the globe the text fields stay empty.
    document.InverseProject();
    document.RotateBack();
    EXPECT_EQ(view.CursorReadout(0, 0, C2DPoint(200, 135)),
              QStringLiteral("Win: (0,0) Real: (200.000000,135.000000) , "));
}

} // namespace
