#include "viewer/MarloView.h"

#include "projection/GeoRotation.h"
#include "projection/LatLongText.h"
#include "projection/Projection.h"
#include "viewer/MainFrame.h"
#include "viewer/MarloDoc.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>
#include <cstdlib>

namespace {

const QColor ClientBackground(170, 170, 170);
const QColor ImageFrameColour(200, 0, 0);

// Integer client coordinates of an event position, as the pointer reports them.
CPixelPoint ClientPixel(const QPointF& position) {
    return CPixelPoint{static_cast<int32_t>(std::floor(position.x())),
                       static_cast<int32_t>(std::floor(position.y()))};
}

// A one-pixel frame drawn on the outermost pixels of the rectangle.
void FrameRect(QPainter& painter, const QRect& rect, const QColor& colour) {
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), colour);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), colour);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), colour);
}

} // namespace

CMarloView::CMarloView(QWidget* parent) : CView(parent) {
    canvas.lineColour = QColor(200, 0, 0);
    // The image does not depend on the screen, so it is made once, here, and
    // the pixel mapping is valid before the first paint.
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    setMouseTracking(true);
    // Every paint covers the whole client area; no background erase needed.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::WheelFocus);
}

CMarloView::~CMarloView() = default;

CMarloDoc* CMarloView::GetDocument() const {
    return static_cast<CMarloDoc*>(CView::GetDocument());
}

void CMarloView::OnUpdate(CView*, int hint) {
    if (hint == HintContentChanged) {
        // Every change of the content comes with this hint, so what is drawn
        // always shows the content as it is.
        display.Update(GetDocument(), canvas);
        FitToContent();
        if (auto* frame = dynamic_cast<CMainFrame*>(GetParentFrame())) {
            frame->UpdateStatePane();
        }
    }
}

void CMarloView::FitToContent() {
    C2DRect bounds;
    if (display.GetFitBounds(bounds)) {
        canvas.requestedRect = bounds;
        canvas.Recalculate();
    } else if (const CMarloDoc* document = GetDocument()) {
        canvas.FitToBounds(document->GetContent());
    }
    ZoomChanged();
    MapChanged();
}

void CMarloView::SetClipOnSphere(bool on) {
    if (display.clipOnSphere == on) {
        return;
    }
    display.clipOnSphere = on;
    display.Update(GetDocument(), canvas);
    ZoomChanged();
    MapChanged();
}

void CMarloView::SetGraticule(bool shown) {
    if (display.graticule == shown) {
        return;
    }
    display.SetGraticule(shown, GetDocument(), canvas);
    MapChanged();
}

void CMarloView::ZoomChanged() {
    display.FollowZoom(GetDocument(), canvas);
}

void CMarloView::MapChanged() {
    redrawNeeded = true;
    update();
}

CPixelPoint CMarloView::ComputeImageOffset(int clientWidth, int clientHeight) {
    const int w = CMapCanvas::MapImageWidth;
    const int h = CMapCanvas::MapImageHeight;
    return CPixelPoint{clientWidth > w ? (clientWidth - w) / 2 : 0,
                       clientHeight > h ? (clientHeight - h) / 2 : 0};
}

void CMarloView::OnDraw(QPainter& painter) {
    if (canvas.GetImage() == nullptr) {
        canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
    }
    if (redrawNeeded) {
        display.Render(GetDocument(), canvas);
        redrawNeeded = false;
    }
    // Qt hands us a back buffer for the whole widget: background, image and
    // frame reach the screen together.
    imageOffset = ComputeImageOffset(width(), height());
    painter.fillRect(rect(), ClientBackground);
    painter.drawImage(QPoint(imageOffset.x, imageOffset.y), *canvas.GetImage());
    FrameRect(
        painter,
        QRect(imageOffset.x, imageOffset.y, CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight),
        ImageFrameColour);
}

void CMarloView::resizeEvent(QResizeEvent* event) {
    // Keeps the cursor mapping right between a resize and the paint after it.
    imageOffset = ComputeImageOffset(width(), height());
    CView::resizeEvent(event);
}

void CMarloView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        leftButtonDown = true;
    }
    CView::mousePressEvent(event);
}

void CMarloView::mouseReleaseEvent(QMouseEvent* event) {
    // Qt delivers the release even outside the view (the press grabbed the
    // mouse), so a drag always ends with the button.
    if (event->button() == Qt::LeftButton) {
        leftButtonDown = false;
    }
    CView::mouseReleaseEvent(event);
}

void CMarloView::mouseMoveEvent(QMouseEvent* event) {
    const CPixelPoint client = ClientPixel(event->position());
    const int32_t px = client.x - imageOffset.x;
    const int32_t py = client.y - imageOffset.y;
    cursorMap = canvas.PixelToMap(px, py);
    if (leftButtonDown) {
        // Moving the requested area by the cursor's travel in map units keeps
        // the map point that was under the cursor under it.
        canvas.requestedRect.Translate(
            C2DOffset(lastMouseMap.x - cursorMap.x, lastMouseMap.y - cursorMap.y));
        canvas.Recalculate();
        MapChanged();
    } else if (CFrameWnd* frame = GetParentFrame()) {
        frame->SetMessageText(CursorReadout(px, py, cursorMap));
    }
    lastMouseMap = canvas.PixelToMap(px, py);
    CView::mouseMoveEvent(event);
}

void CMarloView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        // A sideways wheel does not zoom.
        CView::wheelEvent(event);
        return;
    }
    // A mouse wheel reports whole notches of 120; a touchpad reports many
    // small deltas, which add up to a notch before they zoom once.
    wheelAngle += delta;
    int steps = 0;
    while (wheelAngle >= WheelStep) {
        wheelAngle -= WheelStep;
        ++steps;
    }
    while (wheelAngle <= -WheelStep) {
        wheelAngle += WheelStep;
        --steps;
    }
    if (steps != 0) {
        const double factor = steps < 0 ? ZoomOutFactor : ZoomInFactor;
        for (int i = 0; i < std::abs(steps); ++i) {
            canvas.requestedRect.ScaleAboutCentre(factor);
        }
        canvas.Recalculate();
        ZoomChanged();
        MapChanged();
    }
    event->accept();
}

QString CMarloView::CursorReadout(int px, int py, const C2DPoint& cursor) const {
    double lat = cursor.y;
    double lon = cursor.x;
    // The map was rotated first and projected second, so the projection is
    // undone first.
    if (const CMarloDoc* document = GetDocument()) {
        if (CProjection* projection = document->GetProjection()) {
            projection->InverseProject(lat, lon);
        }
        if (CGeoRotation* rotation = document->GetRotation()) {
            rotation->InverseRotate(lat, lon);
        }
    }
    const QString latitude = QString::fromLatin1(FormatLatitude(lat));
    const QString longitude = QString::fromLatin1(FormatLongitude(lon));
    QString readout =
        QString::asprintf("Win: (%d,%d) Real: (%04f,%04f) ", px, py, cursor.x, cursor.y) +
        latitude + QStringLiteral(", ") + longitude;
    const QString name = FeatureNameAt(cursor);
    if (!name.isEmpty()) {
        readout += QStringLiteral(" \u2014 ") + name;
    }
    return readout;
}

QString CMarloView::FeatureNameAt(const C2DPoint& cursor) const {
    const CMarloDoc* document = GetDocument();
    if (document == nullptr || document->GetAttributes().NameField() < 0) {
        return QString();
    }
    // Back to the loaded coordinates, undoing what was applied last first: a
    // rotation held since before the projection is undone after it.
    double lat = cursor.y;
    double lon = cursor.x;
    CProjection* projection = document->GetProjection();
    CGeoRotation* rotation = document->GetRotation();
    if (rotation != nullptr && document->RotatedAfterProjection()) {
        rotation->InverseRotate(lat, lon);
        rotation = nullptr;
    }
    if (projection != nullptr) {
        projection->InverseProject(lat, lon);
    }
    if (rotation != nullptr) {
        rotation->InverseRotate(lat, lon);
    }
    return QString::fromStdString(document->FeatureNameAt(lon, lat));
}
