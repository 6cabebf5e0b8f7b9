#pragma once

#include "viewer/Framework.h"
#include "viewer/MapDisplay.h"
#include "viewer/canvas/MapCanvas.h"

class CMarloDoc;

// Shows the document's map in a fixed 1000 x 750 image, centred in the window
// with a red frame. The left button drags the map, the wheel zooms about the
// image centre, and the status bar reads out the point under the cursor as
// pixels, map units and true latitude/longitude.
class CMarloView : public CView {
    Q_OBJECT

public:
    static constexpr double ZoomOutFactor = 1.3;
    static constexpr double ZoomInFactor = 0.7;
    // Wheel angle (in eighths of a degree) of one zoom step: a mouse wheel's
    // notch.
    static constexpr int WheelStep = 120;

    explicit CMarloView(QWidget* parent = nullptr);
    ~CMarloView() override;

    CMarloDoc* GetDocument() const;

    void OnUpdate(CView* sender, int hint) override;
    void OnDraw(QPainter& painter) override;

    // Fits the image to the whole map and redraws it (the default zoom): the
    // display geometry while it is drawn, else the content.
    void FitToContent();
    // Draws a map of the earth as its display geometry while a rotation or
    // projection is held (on at start), or its content as it is (off), so
    // that the two can be compared. Keeps the zoom.
    void SetClipOnSphere(bool on);
    bool GetClipOnSphere() const { return display.clipOnSphere; }
    // Shows the graticule beneath the map (off at start).
    void SetGraticule(bool shown);
    bool GetGraticule() const { return display.graticule; }

    // Where the image's top-left pixel sits in a client area of that size.
    static CPixelPoint ComputeImageOffset(int clientWidth, int clientHeight);
    // The status-bar readout for image pixel (px, py) showing map point
    // cursor, with the document's projection and then its rotation undone,
    // followed by the name of the feature there when the map has names.
    QString CursorReadout(int px, int py, const C2DPoint& cursor) const;
    // The name of the document's feature under map point cursor, or empty.
    QString FeatureNameAt(const C2DPoint& cursor) const;

    bool redrawNeeded = true;
    C2DPoint cursorMap;
    CMapCanvas canvas;
    CPixelPoint imageOffset;
    CMapDisplay display;
    bool leftButtonDown = false;
    C2DPoint lastMouseMap;
    // Wheel angle received but not yet turned into a zoom step.
    int wheelAngle = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void MapChanged();
    // After a zoom: builds the display geometry again when the new scale
    // needs finer curves.
    void ZoomChanged();
};
