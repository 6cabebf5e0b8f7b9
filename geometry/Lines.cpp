#include "geometry/Lines.h"

#include <cmath>

#include "geometry/Arcs.h"
#include "projection/Transformation.h"

namespace {

double Dot(const C2DOffset& a, const C2DOffset& b) {
    return a.dx * b.dx + a.dy * b.dy;
}

void SetXY(C2DPoint* target, const C2DPoint& source) {
    if (target != nullptr) {
        target->x = source.x;
        target->y = source.y;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Contract

void C2DLine::Translate(const C2DOffset& offset) {
    start.Translate(offset);
}

void C2DLine::RotateClockwise(double angle, const C2DPoint& origin) {
    start.RotateClockwise(angle, origin);
    const double a = TwoPi - angle;
    const double cosA = std::cos(a);
    const double sinA = std::sin(a);
    direction = C2DOffset(direction.dx * cosA - direction.dy * sinA,
                          direction.dx * sinA + direction.dy * cosA);
}

// Scaling, reflection and grid rounding move both end points as points and
// derive the direction again, so rounding acts on the ends, not the direction.
void C2DLine::ScaleAbout(double factor, const C2DPoint& origin) {
    C2DPoint end = C2DLine::GetEnd();
    start.ScaleAbout(factor, origin);
    end.ScaleAbout(factor, origin);
    direction = end - start;
}

void C2DLine::ReflectInLine(const C2DLine& line) {
    C2DPoint end = C2DLine::GetEnd();
    start.ReflectInLine(line);
    end.ReflectInLine(line);
    direction = end - start;
}

void C2DLine::ReflectInPoint(const C2DPoint& point) {
    C2DPoint end = C2DLine::GetEnd();
    start.ReflectInPoint(point);
    end.ReflectInPoint(point);
    direction = end - start;
}

void C2DLine::RoundToGrid() {
    C2DPoint end = C2DLine::GetEnd();
    start.RoundToGrid();
    end.RoundToGrid();
    direction = end - start;
}

void C2DLine::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    const double length = axis.GetLength();
    const C2DPoint end = C2DLine::GetEnd();
    const double t = (start.x * axis.dx + start.y * axis.dy) / length;
    range.min = t;
    range.max = t;
    range.Widen((end.x * axis.dx + end.y * axis.dy) / length);
}

void C2DLine::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    const double length = line.direction.GetLength();
    const C2DPoint end = C2DLine::GetEnd();
    const double t = Dot(start - line.start, line.direction) / length;
    range.min = t;
    range.max = t;
    range.Widen(Dot(end - line.start, line.direction) / length);
}

// ---------------------------------------------------------------------------
// Edge operations

bool C2DLine::IsOnRight(const C2DPoint& point) const {
    const C2DPoint& s = start;
    const C2DPoint e = C2DLine::GetEnd();
    const C2DPoint& p = point;
    const double area =
        0.5 * (e.y * s.x - e.x * s.y + e.x * p.y - e.y * p.x + p.x * s.y - s.x * p.y);
    return area < 0;
}

double C2DLine::DistanceTo(const C2DPoint& point, C2DPoint* closest) const {
    const C2DOffset d = point - start;
    const double length = C2DLine::GetLength();
    const double k = direction.dy * d.dy + direction.dx * d.dx;
    C2DPoint nearest;
    if (k < 0) {
        nearest = start;
    } else if (k / length >= length) {
        nearest = C2DLine::GetEnd();
    } else {
        nearest = start + direction * (k / length / length);
    }
    SetXY(closest, nearest);
    return point.DistanceTo(nearest);
}

bool C2DLine::Crosses(const C2DLineBase& other, C2DPointSet* crossings) const {
    switch (other.GetType()) {
    case GeometryType::Line:
        return CrossesLine(static_cast<const C2DLine&>(other), crossings);
    case GeometryType::Arc:
        return static_cast<const C2DArc&>(other).CrossesLine(*this, crossings);
    default:
        return false;
    }
}

bool C2DLine::CrossesLine(const C2DLine& other, C2DPointSet* crossings) const {
    const C2DPoint& p1 = start;
    const C2DPoint p2 = C2DLine::GetEnd();
    const C2DPoint& p3 = other.start;
    const C2DPoint p4 = other.C2DLine::GetEnd();

    const double denom = (p4.y - p3.y) * (p2.x - p1.x) - (p4.x - p3.x) * (p2.y - p1.y);
    if (denom == 0) {
        return false; // parallel or degenerate
    }
    const double ua = ((p4.x - p3.x) * (p1.y - p3.y) - (p4.y - p3.y) * (p1.x - p3.x)) / denom;
    const double ub = ((p2.x - p1.x) * (p1.y - p3.y) - (p2.y - p1.y) * (p1.x - p3.x)) / denom;
    // Half-open: a crossing at either start counts, one at either end does not,
    // so a ring's shared vertex is met by exactly one of its two edges.
    if (!(ua >= 0 && ua < 1 && ub >= 0 && ub < 1)) {
        return false;
    }
    if (crossings != nullptr) {
        crossings->AddCopy(p1 + (p2 - p1) * ua);
    }
    return true;
}

double C2DLine::DistanceTo(const C2DLineBase& other, C2DPoint* pointOnThis,
                           C2DPoint* pointOnOther) const {
    switch (other.GetType()) {
    case GeometryType::Line:
        return DistanceToLine(static_cast<const C2DLine&>(other), pointOnThis, pointOnOther);
    case GeometryType::Arc:
        // The arc reports its own nearest point first.
        return static_cast<const C2DArc&>(other).DistanceToLine(*this, pointOnOther, pointOnThis);
    default:
        return 0.0;
    }
}

double C2DLine::DistanceToLine(const C2DLine& other, C2DPoint* pointOnThis,
                               C2DPoint* pointOnOther) const {
    const C2DPoint& sa = start;
    const C2DPoint ea = C2DLine::GetEnd();
    const C2DOffset& va = direction;
    const double la = C2DLine::GetLength();
    const C2DPoint& sb = other.start;
    const C2DPoint eb = other.C2DLine::GetEnd();
    const C2DOffset& vb = other.direction;
    const double lb = other.C2DLine::GetLength();

    // The other line wholly behind this one's start or beyond its end.
    const double k1 = Dot(sb - sa, va);
    const double k2 = Dot(eb - sa, va);
    if (k1 <= 0 && k2 <= 0) {
        SetXY(pointOnThis, sa);
        return other.C2DLine::DistanceTo(sa, pointOnOther);
    }
    const double t1 = k1 / la;
    const double t2 = k2 / la;
    if (t1 >= la && t2 >= la) {
        SetXY(pointOnThis, ea);
        return other.C2DLine::DistanceTo(ea, pointOnOther);
    }
    // The same with the roles swapped.
    const double m1 = Dot(sa - sb, vb);
    const double m2 = Dot(ea - sb, vb);
    if (m1 <= 0 && m2 <= 0) {
        SetXY(pointOnOther, sb);
        return C2DLine::DistanceTo(sb, pointOnThis);
    }
    if (m1 / lb >= lb && m2 / lb >= lb) {
        SetXY(pointOnOther, eb);
        return C2DLine::DistanceTo(eb, pointOnThis);
    }

    {
        C2DPointSet crossing;
        if (CrossesLine(other, &crossing)) {
            SetXY(pointOnThis, *crossing.GetAt(0));
            SetXY(pointOnOther, *crossing.GetAt(0));
            return 0.0;
        }
    }

    // Each end point dropped perpendicularly onto the other line, where the
    // foot falls on it; the first one wins ties.
    const double u1 = m1 / lb;
    const double u2 = m2 / lb;
    bool found = false;
    double best = 0.0;
    C2DPoint bestOnThis;
    C2DPoint bestOnOther;
    auto consider = [&](double distance, const C2DPoint& onThis, const C2DPoint& onOther) {
        if (!found || distance < best) {
            found = true;
            best = distance;
            bestOnThis = onThis;
            bestOnOther = onOther;
        }
    };
    if (0 <= t1 && t1 <= la) {
        const C2DPoint foot = sa + va * (t1 / la);
        consider(sb.DistanceTo(foot), foot, sb);
    }
    if (0 <= t2 && t2 <= la) {
        const C2DPoint foot = sa + va * (t2 / la);
        consider(eb.DistanceTo(foot), foot, eb);
    }
    if (0 <= u1 && u1 <= lb) {
        const C2DPoint foot = sb + vb * (u1 / lb);
        consider(sa.DistanceTo(foot), sa, foot);
    }
    if (0 <= u2 && u2 <= lb) {
        const C2DPoint foot = sb + vb * (u2 / lb);
        consider(ea.DistanceTo(foot), ea, foot);
    }
    // When the nearest pair is two end points, no foot may fall on the other
    // line, or only a farther one does. The end points' distances to the other
    // line, clamped to its ends, come last and replace the choice only when
    // strictly nearer, so they never change an answer that was already right.
    C2DPoint foot;
    double distance = C2DLine::DistanceTo(sb, &foot);
    consider(distance, foot, sb);
    distance = C2DLine::DistanceTo(eb, &foot);
    consider(distance, foot, eb);
    distance = other.C2DLine::DistanceTo(sa, &foot);
    consider(distance, sa, foot);
    distance = other.C2DLine::DistanceTo(ea, &foot);
    consider(distance, ea, foot);

    SetXY(pointOnThis, bestOnThis);
    SetXY(pointOnOther, bestOnOther);
    return best;
}

void C2DLine::ReverseDirection() {
    start = C2DLine::GetEnd();
    direction = C2DOffset(-direction.dx, -direction.dy);
}

void C2DLine::SplitAtPoints(const C2DPointSet& points, C2DLineBaseSet& pieces) const {
    if (points.IsEmpty()) {
        pieces.AddCopy(*this);
        return;
    }
    C2DPointSet sorted;
    sorted.AddCopy(points);
    if (sorted.GetSize() >= 2) {
        sorted.SortByDistance(start);
    }
    const unsigned count = sorted.GetSize();
    pieces.Add(new C2DLine(start, *sorted.GetAt(0)));
    for (unsigned i = 0; i + 1 < count; ++i) {
        pieces.Add(new C2DLine(*sorted.GetAt(i), *sorted.GetAt(i + 1)));
    }
    pieces.Add(new C2DLine(*sorted.GetAt(count - 1), C2DLine::GetEnd()));
}

void C2DLine::Transform(CTransformation& transformation) {
    C2DPoint end = C2DLine::GetEnd();
    transformation.Transform(start.x, start.y);
    transformation.Transform(end.x, end.y);
    direction = end - start;
}

void C2DLine::InverseTransform(CTransformation& transformation) {
    C2DPoint end = C2DLine::GetEnd();
    transformation.InverseTransform(start.x, start.y);
    transformation.InverseTransform(end.x, end.y);
    direction = end - start;
}
