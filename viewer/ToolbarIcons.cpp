#include "viewer/ToolbarIcons.h"

#include "viewer/Resource.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <functional>

namespace {

using Drawing = std::function<void(QPainter&)>;

// Every picture is drawn on a 16 x 16 grid and scaled to the pixmap size, so
// the same drawing serves normal and high-density screens.
QPixmap DrawPicture(int size, const Drawing& drawing) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    drawing(painter);
    return pixmap;
}

QIcon IconFrom(const Drawing& drawing) {
    QIcon icon;
    for (int size : {16, 32}) {
        icon.addPixmap(DrawPicture(size, drawing));
    }
    return icon;
}

QPen Pen(const QColor& colour, double width = 1.0) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

const QColor Outline(40, 40, 40);
const QColor Sea(70, 130, 200);
const QColor Land(60, 150, 70);

// A filled arrowhead at tip, pointing along angle (degrees, 0 = east, y down).
void ArrowHead(QPainter& painter, QPointF tip, double angleDegrees, const QColor& colour) {
    const double a = angleDegrees * M_PI / 180.0;
    const QPointF back(std::cos(a), std::sin(a));
    const QPointF side(-back.y(), back.x());
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip - back * 4.0 + side * 2.6);
    head.lineTo(tip - back * 4.0 - side * 2.6);
    head.closeSubpath();
    painter.fillPath(head, colour);
}

void DrawOpen(QPainter& p) {
    p.setPen(Pen(QColor(120, 85, 20)));
    p.setBrush(QColor(230, 185, 70));
    p.drawPolygon(
        QPolygonF({{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {13.5, 5}, {13.5, 13.5}, {1.5, 13.5}}));
    p.setBrush(QColor(250, 215, 110));
    p.drawPolygon(QPolygonF({{1.5, 13.5}, {4, 7.5}, {15.5, 7.5}, {13.5, 13.5}}));
}

void DrawSave(QPainter& p) {
    p.setPen(Pen(QColor(20, 40, 90)));
    p.setBrush(QColor(60, 90, 170));
    p.drawPolygon(QPolygonF({{1.5, 1.5}, {12.5, 1.5}, {14.5, 3.5}, {14.5, 14.5}, {1.5, 14.5}}));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 2, 8, 5));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(4, 9.5, 8, 5));
    p.setBrush(QColor(60, 90, 170));
    p.drawRect(QRectF(9, 3, 2, 3));
}

void DrawDefaultZoom(QPainter& p) {
    // A magnifier over a frame's four corners: fit the whole map.
    p.setPen(Pen(Outline, 1.2));
    for (const QPointF& c :
         {QPointF(1.5, 1.5), QPointF(14.5, 1.5), QPointF(1.5, 14.5), QPointF(14.5, 14.5)}) {
        const double dx = c.x() < 8 ? 3 : -3;
        const double dy = c.y() < 8 ? 3 : -3;
        p.drawLine(c, c + QPointF(dx, 0));
        p.drawLine(c, c + QPointF(0, dy));
    }
    p.setPen(Pen(QColor(30, 30, 30), 1.4));
    p.setBrush(QColor(200, 225, 250));
    p.drawEllipse(QPointF(7, 7), 3.3, 3.3);
    p.setPen(Pen(QColor(30, 30, 30), 2.2));
    p.drawLine(QPointF(9.5, 9.5), QPointF(12.5, 12.5));
}

void DrawGlobe(QPainter& p, const QRectF& box) {
    p.setPen(Pen(QColor(20, 60, 120)));
    p.setBrush(Sea);
    p.drawEllipse(box);
    p.setBrush(Qt::NoBrush);
    p.setPen(Pen(QColor(220, 235, 255), 0.8));
    const QPointF c = box.center();
    p.drawLine(QPointF(box.left() + 0.5, c.y()), QPointF(box.right() - 0.5, c.y()));
    p.drawEllipse(c, box.width() * 0.22, box.height() / 2 - 0.5);
    p.drawLine(QPointF(c.x(), box.top() + 0.5), QPointF(c.x(), box.bottom() - 0.5));
}

void DrawInverseProject(QPainter& p) {
    // Back to the globe.
    DrawGlobe(p, QRectF(1.5, 1.5, 11, 11));
    p.setPen(Pen(QColor(190, 60, 20), 1.6));
    p.drawLine(QPointF(15, 14), QPointF(9, 14));
    ArrowHead(p, QPointF(6.5, 14), 180, QColor(190, 60, 20));
}

void DrawProject(QPainter& p) {
    // The world as a flat, elliptical map with its graticule.
    const QRectF box(0.5, 3, 15, 10);
    p.setPen(Pen(QColor(20, 60, 120)));
    p.setBrush(Sea);
    p.drawEllipse(box);
    p.setPen(Qt::NoPen);
    p.setBrush(Land);
    p.drawEllipse(QRectF(3.5, 5, 4, 3.5));
    p.drawEllipse(QRectF(8.5, 7.5, 3.5, 4));
    p.setBrush(Qt::NoBrush);
    p.setPen(Pen(QColor(220, 235, 255), 0.7));
    p.drawLine(QPointF(1, 8), QPointF(15, 8));
    p.drawEllipse(box.center(), 3.5, 4.8);
    p.drawLine(QPointF(8, 3.2), QPointF(8, 12.8));
}

void DrawSetOrigin(QPainter& p) {
    p.setPen(Pen(QColor(200, 0, 0), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8, 8), 5, 5);
    p.drawLine(QPointF(8, 0.8), QPointF(8, 5));
    p.drawLine(QPointF(8, 11), QPointF(8, 15.2));
    p.drawLine(QPointF(0.8, 8), QPointF(5, 8));
    p.drawLine(QPointF(11, 8), QPointF(15.2, 8));
    p.setBrush(QColor(200, 0, 0));
    p.drawEllipse(QPointF(8, 8), 1.2, 1.2);
}

// A circular arrow around a small globe; clockwise or anticlockwise.
void DrawRotation(QPainter& p, bool clockwise) {
    DrawGlobe(p, QRectF(4.5, 4.5, 7, 7));
    const QColor colour = clockwise ? QColor(30, 140, 40) : QColor(200, 110, 0);
    p.setPen(Pen(colour, 1.6));
    p.setBrush(Qt::NoBrush);
    const QRectF ring(1.5, 1.5, 13, 13);
    // Qt angles run anticlockwise from 3 o'clock (y up), in 1/16 degree.
    const double start = clockwise ? 150.0 : 30.0;
    const double span = clockwise ? -250.0 : 250.0;
    p.drawArc(ring, static_cast<int>(start * 16), static_cast<int>(span * 16));
    const double end = (start + span) * M_PI / 180.0;
    const QPointF tip(8 + 6.5 * std::cos(end), 8 - 6.5 * std::sin(end));
    // Direction of travel at the end, in screen coordinates (y down).
    const double sign = clockwise ? -1.0 : 1.0;
    const double heading = std::atan2(-std::cos(end) * sign, -std::sin(end) * sign);
    ArrowHead(p, tip + QPointF(std::cos(heading), std::sin(heading)) * 1.5, heading * 180.0 / M_PI,
              colour);
}

} // namespace

QIcon MakeToolbarIcon(int commandId) {
    switch (commandId) {
    case ID_TOOLBAR_OPEN:
        return IconFrom(DrawOpen);
    case ID_TOOLBAR_SAVE:
        return IconFrom(DrawSave);
    case ID_DEFAULT_ZOOM:
        return IconFrom(DrawDefaultZoom);
    case ID_INVERSE_PROJECT:
        return IconFrom(DrawInverseProject);
    case ID_PROJECT:
        return IconFrom(DrawProject);
    case ID_SET_ORIGIN:
        return IconFrom(DrawSetOrigin);
    case ID_ROTATE_BACK:
        return IconFrom([](QPainter& p) { DrawRotation(p, false); });
    case ID_ROTATE:
        return IconFrom([](QPainter& p) { DrawRotation(p, true); });
    default:
        return QIcon();
    }
}

QIcon MakeApplicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addPixmap(DrawPicture(size, [](QPainter& p) {
            DrawGlobe(p, QRectF(1, 1, 14, 14));
            p.setPen(Qt::NoPen);
            p.setBrush(Land);
            p.drawEllipse(QRectF(4, 3.5, 4, 4));
            p.drawEllipse(QRectF(8.5, 8, 3.5, 4.5));
        }));
    }
    return icon;
}
