#pragma once

#include "viewer/Framework.h"
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

    explicit CMarloView(QWidget* parent = nullptr);
    ~CMarloView() override;

    CMarloDoc* GetDocument() const;

    void OnUpdate(CView* sender, int hint) override;
    void OnDraw(QPainter& painter) override;

    // Fits the image to the whole content and redraws it (the default zoom).
    void FitToContent();

    // Where the image's top-left pixel sits in a client area of that size.
    static CPixelPoint ComputeImageOffset(int clientWidth, int clientHeight);
    // The status-bar readout for image pixel (px, py) showing map point
    // cursor, with the document's projection and then its rotation undone.
    QString CursorReadout(int px, int py, const C2DPoint& cursor) const;

    bool redrawNeeded = true;
    C2DPoint cursorMap;
    CMapCanvas canvas;
    CPixelPoint imageOffset;
    bool leftButtonDown = false;
    C2DPoint lastMouseMap;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void MapChanged();
};
