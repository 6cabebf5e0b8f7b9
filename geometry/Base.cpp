#include "geometry/Base.h"

#include <cmath>

#include "geometry/Lines.h"

double RoundValueToGrid(double value) {
    const double steps = std::floor(std::fabs(value / GridSize) + 0.5);
    return value >= 0 ? steps * GridSize : -steps * GridSize;
}

// ---------------------------------------------------------------------------
// C2DOffset

double C2DOffset::Bearing() const {
    if (dy == 0) {
        // The zero offset falls here too and points "west".
        return dx > 0 ? HalfPi : 3 * HalfPi;
    }
    if (dx == 0) {
        return dy > 0 ? 0.0 : Pi;
    }
    const double angle = std::atan(dx / dy);
    if (dy < 0) {
        return angle + Pi;
    }
    if (dx < 0) {
        return angle + TwoPi;
    }
    return angle;
}

void C2DOffset::SetLength(double length) {
    const double current = GetLength();
    if (current != 0) {
        dx /= current;
        dy /= current;
    }
    dx *= length;
    dy *= length;
}

// ---------------------------------------------------------------------------
// C2DPoint

namespace {

// One coordinate of the tolerant point equality, relative to the reference.
bool CoordinateMatches(double reference, double other) {
    if (reference == 0) {
        return other == 0;
    }
    return std::fabs((other - reference) / reference) < PointTolerance;
}

} // namespace

bool C2DPoint::operator==(const C2DPoint& other) const {
    return CoordinateMatches(x, other.x) && CoordinateMatches(y, other.y);
}

void C2DPoint::Translate(const C2DOffset& offset) {
    x += offset.dx;
    y += offset.dy;
}

void C2DPoint::RotateClockwise(double angle, const C2DPoint& origin) {
    // A clockwise turn by angle is an anticlockwise turn by 2pi - angle.
    const double a = TwoPi - angle;
    const double cosA = std::cos(a);
    const double sinA = std::sin(a);
    const C2DOffset d = *this - origin;
    x = origin.x + d.dx * cosA - d.dy * sinA;
    y = origin.y + d.dx * sinA + d.dy * cosA;
}

void C2DPoint::ScaleAbout(double factor, const C2DPoint& origin) {
    x = (x - origin.x) * factor + origin.x;
    y = (y - origin.y) * factor + origin.y;
}

void C2DPoint::ReflectInLine(const C2DLine& line) {
    const C2DPoint& s = line.start;
    const C2DOffset& v = line.direction;
    const C2DOffset d = *this - s;
    const double length = v.GetLength();
    const double t = ((v.dy * d.dy + v.dx * d.dx) / length) / length;
    const C2DPoint foot = s + C2DOffset(v.dx * t, v.dy * t);
    ReflectInPoint(foot);
}

void C2DPoint::ReflectInPoint(const C2DPoint& point) {
    const C2DPoint centre = point; // the argument may be this point itself
    *this = centre + (centre - *this);
}

double C2DPoint::DistanceTo(const C2DPoint& point) const {
    const double dx = x - point.x;
    const double dy = y - point.y;
    return std::sqrt(dx * dx + dy * dy);
}

void C2DPoint::GetBounds(C2DRect& bounds) const {
    bounds.topLeft.x = x;
    bounds.topLeft.y = y;
    bounds.bottomRight.x = x;
    bounds.bottomRight.y = y;
}

void C2DPoint::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    const double t = (x * axis.dx + y * axis.dy) / axis.GetLength();
    range.min = t;
    range.max = t;
}

void C2DPoint::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    const C2DPoint& s = line.start;
    const C2DOffset& v = line.direction;
    const double t = ((x - s.x) * v.dx + (y - s.y) * v.dy) / v.GetLength();
    range.min = t;
    range.max = t;
}

void C2DPoint::RoundToGrid() {
    x = RoundValueToGrid(x);
    y = RoundValueToGrid(y);
}

// ---------------------------------------------------------------------------
// C2DRect

void C2DRect::Clear() {
    Set(0, 0, 0, 0);
}

void C2DRect::Set(double left, double top, double right, double bottom) {
    topLeft.x = left;
    topLeft.y = top;
    bottomRight.x = right;
    bottomRight.y = bottom;
}

void C2DRect::ScaleAboutCentre(double factor) {
    const C2DPoint centre = GetCentre();
    topLeft.x = (topLeft.x - centre.x) * factor + centre.x;
    topLeft.y = (topLeft.y - centre.y) * factor + centre.y;
    bottomRight.x = (bottomRight.x - centre.x) * factor + centre.x;
    bottomRight.y = (bottomRight.y - centre.y) * factor + centre.y;
}

void C2DRect::MultiplyBy(const C2DPoint& scale) {
    topLeft = topLeft * scale;
    bottomRight = bottomRight * scale;
}

void C2DRect::Translate(const C2DOffset& offset) {
    topLeft.Translate(offset);
    bottomRight.Translate(offset);
}

void C2DRect::RotateClockwise(double angle, const C2DPoint& origin) {
    // Only the centre moves: the rectangle stays axis-aligned and keeps its size.
    const double halfWidth = (bottomRight.x - topLeft.x) * 0.5;
    const double halfHeight = (topLeft.y - bottomRight.y) * 0.5;
    C2DPoint centre = GetCentre();
    centre.RotateClockwise(angle, origin);
    Set(centre.x - halfWidth, centre.y + halfHeight, centre.x + halfWidth, centre.y - halfHeight);
}

void C2DRect::ScaleAbout(double factor, const C2DPoint& origin) {
    const C2DPoint about = origin; // the origin may be one of the corners
    bottomRight.ScaleAbout(factor, about);
    topLeft.ScaleAbout(factor, about);
}

void C2DRect::ReflectInLine(const C2DLine& line) {
    // Size and orientation stay; the rectangle moves with its mirrored centre.
    const C2DPoint centre = GetCentre();
    C2DPoint mirrored = centre;
    mirrored.ReflectInLine(line);
    Translate(mirrored - centre);
}

void C2DRect::ReflectInPoint(const C2DPoint& point) {
    const C2DPoint about = point; // the point may be one of the corners
    topLeft.ReflectInPoint(about);
    bottomRight.ReflectInPoint(about);
    // A point reflection swaps the extremes; swapping back keeps the corner order.
    const C2DPoint swapped = topLeft;
    topLeft = bottomRight;
    bottomRight = swapped;
}

double C2DRect::DistanceTo(const C2DPoint& point) const {
    const C2DPoint& t = topLeft;
    const C2DPoint& b = bottomRight;
    if (point.x > b.x) {
        if (point.y > t.y) {
            return point.DistanceTo(C2DPoint(b.x, t.y));
        }
        if (point.y < b.y) {
            return point.DistanceTo(b);
        }
        return point.x - b.x;
    }
    if (point.x < t.x) {
        if (point.y > t.y) {
            return point.DistanceTo(t);
        }
        if (point.y < b.y) {
            return point.DistanceTo(C2DPoint(t.x, b.y));
        }
        return t.x - point.x;
    }
    if (point.y > t.y) {
        return point.y - t.y;
    }
    if (point.y < b.y) {
        return b.y - point.y;
    }
    return 0.0;
}

void C2DRect::GetBounds(C2DRect& bounds) const {
    bounds.topLeft = topLeft;
    bounds.bottomRight = bottomRight;
}

void C2DRect::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    topLeft.ProjectOnAxis(axis, range);
    const C2DPoint others[3] = {bottomRight, C2DPoint(bottomRight.x, topLeft.y),
                                C2DPoint(topLeft.x, bottomRight.y)};
    for (const C2DPoint& corner : others) {
        CValueRange single;
        corner.ProjectOnAxis(axis, single);
        range.Widen(single.max);
    }
}

void C2DRect::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    topLeft.ProjectOnLine(line, range);
    const C2DPoint others[3] = {bottomRight, C2DPoint(bottomRight.x, topLeft.y),
                                C2DPoint(topLeft.x, bottomRight.y)};
    for (const C2DPoint& corner : others) {
        CValueRange single;
        corner.ProjectOnLine(line, single);
        range.Widen(single.max);
    }
}

void C2DRect::RoundToGrid() {
    topLeft.RoundToGrid();
    bottomRight.RoundToGrid();
}
