#include "geometry/Circles.h"

#include <cmath>

namespace {

void SetXY(C2DPoint* target, double x, double y) {
    if (target != nullptr) {
        target->x = x;
        target->y = y;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Contract: the centre moves as a point; only scaling changes the radius.

void C2DCircle::Translate(const C2DOffset& offset) {
    centre.Translate(offset);
}

void C2DCircle::RotateClockwise(double angle, const C2DPoint& origin) {
    centre.RotateClockwise(angle, origin);
}

void C2DCircle::ScaleAbout(double factor, const C2DPoint& origin) {
    centre.ScaleAbout(factor, origin);
    radius = radius * factor;
}

void C2DCircle::ReflectInLine(const C2DLine& line) {
    centre.ReflectInLine(line);
}

void C2DCircle::ReflectInPoint(const C2DPoint& point) {
    centre.ReflectInPoint(point);
}

double C2DCircle::DistanceTo(const C2DPoint& point) const {
    return centre.DistanceTo(point) - radius;
}

void C2DCircle::GetBounds(C2DRect& bounds) const {
    bounds.Set(centre.x - radius, centre.y + radius, centre.x + radius, centre.y - radius);
}

namespace {

// The diameter of the circle that runs parallel to the given direction, as a
// line; projecting it projects the circle.
C2DLine DiameterAlong(const C2DPoint& centre, double radius, const C2DOffset& along) {
    const double length = along.GetLength();
    const C2DOffset unit = length != 0 ? C2DOffset(along.dx / length, along.dy / length) : along;
    C2DLine diameter(centre, unit * (2 * radius));
    diameter.start.Translate(diameter.direction * -0.5);
    return diameter;
}

} // namespace

void C2DCircle::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    DiameterAlong(centre, radius, axis).ProjectOnAxis(axis, range);
}

void C2DCircle::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    DiameterAlong(centre, radius, line.direction).ProjectOnLine(line, range);
}

void C2DCircle::RoundToGrid() {
    centre.RoundToGrid();
    radius = RoundValueToGrid(radius);
}

// ---------------------------------------------------------------------------
// Circle operations

bool C2DCircle::Contains(const C2DPoint& point) const {
    return centre.DistanceTo(point) < radius;
}

double C2DCircle::DistanceTo(const C2DPoint& point, C2DPoint* closest) const {
    const double distance = centre.DistanceTo(point);
    if (closest != nullptr) {
        if (distance != 0) {
            C2DOffset towards = point - centre;
            towards.SetLength(radius);
            const C2DPoint nearest = centre + towards;
            SetXY(closest, nearest.x, nearest.y);
        } else {
            // Every point of the circumference is equally near the centre.
            SetXY(closest, centre.x + radius, centre.y);
        }
    }
    return distance - radius;
}

bool C2DCircle::Crosses(const C2DLine& line, C2DPointSet* points) const {
    const C2DPoint& s = line.start;
    const C2DPoint e = line.GetEnd();
    const C2DOffset along = e - s;
    const C2DPoint& c = centre;

    // The edge as s + t (e - s); the crossings solve a t^2 + b t + k = 0.
    const double a = along.dx * along.dx + along.dy * along.dy;
    const double b = 2 * (along.dx * (s.x - c.x) + along.dy * (s.y - c.y));
    const double k = c.x * c.x + c.y * c.y + s.x * s.x + s.y * s.y - 2 * (c.x * s.x + c.y * s.y) -
                     radius * radius;
    const double t0 = -b / (2 * a);

    C2DPoint nearest;
    if (t0 < 0) {
        nearest = s;
    } else if (t0 > 1) {
        nearest = e;
    } else {
        nearest = s + along * t0;
    }
    if (nearest.DistanceTo(c) > radius) {
        return false;
    }
    if (points == nullptr) {
        // The edge comes within the radius, even when it lies wholly inside.
        return true;
    }

    const double discriminant = b * b - 4 * a * k;
    if (discriminant < 0) {
        return false;
    }
    if (discriminant == 0) {
        points->AddCopy(s + along * t0);
        return true;
    }
    const double root = std::sqrt(discriminant);
    const double t2 = (-b - root) / (2 * a);
    const double t1 = (root - b) / (2 * a);
    bool found = false;
    for (const double t : {t2, t1}) {
        if (t >= 0 && t <= 1) {
            points->AddCopy(s + along * t);
            found = true;
        }
    }
    return found;
}

bool C2DCircle::Crosses(const C2DCircle& other, C2DPointSet* points) const {
    const double ax = centre.x;
    const double ay = centre.y;
    const double ar = radius;
    const double bx = other.centre.x;
    const double by = other.centre.y;
    const double br = other.radius;

    const double d = centre.DistanceTo(other.centre);
    if (d == 0) {
        return false; // concentric circles never cross
    }
    if (ar + br == d) {
        // Touching from outside: the one point on the line of centres.
        if (points != nullptr) {
            C2DOffset towards = other.centre - centre;
            towards.SetLength(ar);
            points->AddCopy(centre + towards);
        }
        return true;
    }
    if (ar + br < d) {
        return false;
    }
    if (std::fabs(ar - br) > d) {
        return false; // one circle inside the other without contact
    }
    if (points == nullptr) {
        return true;
    }

    // Near inner touching the product is zero in exact arithmetic but can come
    // out a hair below zero; it is clamped so that the touching point is found
    // instead of two points that are not a number.
    double product = (d + ar - br) * (d + ar + br) * (d - ar + br) * (br + ar - d);
    if (product < 0) {
        product = 0;
    }
    const double k = 0.25 * std::sqrt(product);
    const double d2 = d * d;
    const double mx = (ax + bx) / 2 - (ax - bx) * (ar * ar - br * br) / (2 * d2);
    const double my = (ay + by) / 2 - (ay - by) * (ar * ar - br * br) / (2 * d2);
    const double ox = 2 * (ay - by) * k / d2;
    const double oy = 2 * (ax - bx) * k / d2;
    points->AddCopy(C2DPoint(mx + ox, my - oy));
    points->AddCopy(C2DPoint(mx - ox, my + oy));
    return true;
}

double C2DCircle::DistanceTo(const C2DLine& line, C2DPoint* pointOnCircle,
                             C2DPoint* pointOnLine) const {
    const C2DPoint& s = line.start;
    const C2DPoint e = line.GetEnd();
    const double length = line.GetLength();

    CValueRange range;
    ProjectOnLine(line, range);
    if (range.max < 0) {
        // Wholly behind the start.
        SetXY(pointOnLine, s.x, s.y);
        return DistanceTo(s, pointOnCircle);
    }
    if (range.min > length) {
        // Wholly beyond the end.
        SetXY(pointOnLine, e.x, e.y);
        return DistanceTo(e, pointOnCircle);
    }
    {
        C2DPointSet crossings;
        if (Crosses(line, &crossings)) {
            const C2DPoint& first = *crossings.GetAt(0);
            SetXY(pointOnLine, first.x, first.y);
            SetXY(pointOnCircle, first.x, first.y);
            return 0.0;
        }
    }
    // The centre's foot on the line, clamped to the edge. An edge wholly inside
    // the circle gives a negative distance.
    const double foot = (range.min + range.max) / 2;
    C2DPoint nearest;
    if (foot <= 0) {
        nearest = s;
    } else if (foot >= length) {
        nearest = e;
    } else {
        nearest = s + line.direction * (foot / length);
    }
    SetXY(pointOnLine, nearest.x, nearest.y);
    return DistanceTo(nearest, pointOnCircle);
}
