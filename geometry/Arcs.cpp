#include "geometry/Arcs.h"

#include <cmath>

#include "projection/Transformation.h"

namespace {

// Used as "no distance found yet" by the arc-to-arc distance.
constexpr double FarAway = 1.7e+308;

// Radius given to an arc whose chord grew longer than its diameter when its end
// points are rounded to the grid: just over half the chord, so it has a circle.
constexpr double RadiusRepairDivisor = 1.999999999999;

} // namespace

// ---------------------------------------------------------------------------
// Circle of the arc

bool C2DArc::HasCircle() const {
    return 2.0 * radius >= chord.GetLength();
}

C2DPoint C2DArc::GetCircleCentre() const {
    if (!HasCircle()) {
        return C2DPoint(0.0, 0.0);
    }
    const C2DPoint mid = chord.GetMidpoint();
    const C2DOffset half = mid - chord.start;
    // Rounding can make the half chord a hair longer than the radius of a
    // half-circle arc; the centre is then the midpoint, not a NaN.
    const double square = radius * radius - (half.dx * half.dx + half.dy * half.dy);
    const double h = square > 0.0 ? std::sqrt(square) : 0.0;
    const C2DOffset& d = chord.direction;
    C2DOffset p = centreOnRight ? C2DOffset(d.dy, -d.dx) : C2DOffset(-d.dy, d.dx);
    const double length = p.GetLength();
    if (length != 0.0) {
        p = C2DOffset(p.dx / length, p.dy / length);
    }
    return mid + p * h;
}

double C2DArc::GetChordAngle() const {
    if (!HasCircle()) {
        return 0.0;
    }
    return 2.0 * std::asin(0.5 * chord.GetLength() / radius);
}

double C2DArc::GetLength() const {
    const double theta = GetChordAngle();
    return IsMinor() ? theta * radius : (TwoPi - theta) * radius;
}

double C2DArc::GetSegmentAreaTerm() const {
    const double theta = GetChordAngle();
    const double r2 = radius * radius;
    const double minorArea = r2 * (theta - std::sin(theta)) / 2.0;
    const double majorArea = r2 * (Pi - (theta - std::sin(theta)) / 2.0);
    const double term = IsMinor() ? minorArea : majorArea;
    return arcOnRight ? term : -term;
}

// ---------------------------------------------------------------------------
// Geometry contract

void C2DArc::Translate(const C2DOffset& offset) {
    chord.Translate(offset);
}

void C2DArc::RotateClockwise(double angle, const C2DPoint& origin) {
    chord.RotateClockwise(angle, origin);
}

void C2DArc::ScaleAbout(double factor, const C2DPoint& origin) {
    chord.ScaleAbout(factor, origin);
    radius *= factor;
}

void C2DArc::ReflectInLine(const C2DLine& line) {
    chord.ReflectInLine(line);
    // A mirror image turns left into right.
    centreOnRight = !centreOnRight;
    arcOnRight = !arcOnRight;
}

void C2DArc::ReflectInPoint(const C2DPoint& point) {
    chord.ReflectInPoint(point);
}

void C2DArc::GetBounds(C2DRect& bounds) const {
    if (!HasCircle()) {
        return;
    }
    const C2DPoint centre = GetCircleCentre();
    const C2DPoint start = chord.start;
    const C2DPoint end = chord.GetEnd();
    const C2DPoint mid = chord.GetMidpoint();
    const bool minor = IsMinor();
    chord.GetBounds(bounds);

    // An end point pair on opposite sides of the vertical through the centre
    // means the arc passes exactly one of the top and bottom of the circle:
    // the one on the far side of the chord from the centre for a minor arc,
    // the near side for a major arc. A half circle has its centre on the
    // chord; there the arc's side of the chord decides.
    const double top = centre.y + radius;
    const double bottom = centre.y - radius;
    if ((start.x - centre.x) * (end.x - centre.x) < 0.0) {
        bool takesTop;
        if (centre.y < mid.y) {
            takesTop = minor;
        } else if (centre.y > mid.y) {
            takesTop = !minor;
        } else {
            takesTop = chord.IsOnRight(C2DPoint(centre.x, top)) == arcOnRight;
        }
        if (takesTop) {
            bounds.topLeft.y = top;
        } else {
            bounds.bottomRight.y = bottom;
        }
    } else if (!minor) {
        bounds.bottomRight.y = bottom;
        bounds.topLeft.y = top;
    }

    const double left = centre.x - radius;
    const double right = centre.x + radius;
    if ((start.y - centre.y) * (end.y - centre.y) < 0.0) {
        bool takesRight;
        if (centre.x < mid.x) {
            takesRight = minor;
        } else if (centre.x > mid.x) {
            takesRight = !minor;
        } else {
            takesRight = chord.IsOnRight(C2DPoint(right, centre.y)) == arcOnRight;
        }
        if (takesRight) {
            bounds.bottomRight.x = right;
        } else {
            bounds.topLeft.x = left;
        }
    } else if (!minor) {
        bounds.topLeft.x = left;
        bounds.bottomRight.x = right;
    }
}

namespace {

// Projection of an arc by rotating a copy so that the projection direction
// points along +y about the given origin, and reading the copy's bounds.
void ProjectRotated(const C2DArc& arc, double bearing, const C2DPoint& origin, double subtract,
                    CValueRange& range) {
    C2DArc copy(arc);
    copy.RotateClockwise(-bearing, origin);
    // The chord's bounds first: an arc without a circle leaves GetBounds
    // untouched, and its end points are then all that is known of it.
    C2DRect bounds;
    copy.chord.GetBounds(bounds);
    copy.GetBounds(bounds);
    const double a = bounds.topLeft.y - subtract;
    const double b = bounds.bottomRight.y - subtract;
    range.max = a > b ? a : b;
    range.min = a > b ? b : a;
}

} // namespace

void C2DArc::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    ProjectRotated(*this, axis.Bearing(), C2DPoint(0.0, 0.0), 0.0, range);
}

void C2DArc::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    ProjectRotated(*this, line.direction.Bearing(), line.start, line.start.y, range);
}

void C2DArc::RoundToGrid() {
    chord.RoundToGrid();
    const double length = chord.GetLength();
    if (2.0 * radius < length) {
        radius = length / RadiusRepairDivisor;
    }
}

void C2DArc::ReverseDirection() {
    chord.ReverseDirection();
    // The arc covers the same points travelled the other way.
    centreOnRight = !centreOnRight;
    arcOnRight = !arcOnRight;
}

void C2DArc::Transform(CTransformation& transformation) {
    chord.Transform(transformation);
}

void C2DArc::InverseTransform(CTransformation& transformation) {
    chord.InverseTransform(transformation);
}

// ---------------------------------------------------------------------------
// Distances

double C2DArc::DistanceTo(const C2DPoint& point, C2DPoint* closest) const {
    const C2DCircle circle(GetCircleCentre(), radius);
    C2DPoint onCircle;
    const double d = circle.DistanceTo(point, &onCircle);
    if (chord.IsOnRight(onCircle) == arcOnRight) {
        if (closest != nullptr) {
            closest->x = onCircle.x;
            closest->y = onCircle.y;
        }
        return std::fabs(d);
    }
    const C2DPoint start = chord.start;
    const C2DPoint end = chord.GetEnd();
    const double toStart = point.DistanceTo(start);
    const double toEnd = point.DistanceTo(end);
    const C2DPoint& nearest = toStart < toEnd ? start : end;
    if (closest != nullptr) {
        closest->x = nearest.x;
        closest->y = nearest.y;
    }
    return toStart < toEnd ? toStart : toEnd;
}

double C2DArc::DistanceTo(const C2DLineBase& other, C2DPoint* pointOnThis,
                          C2DPoint* pointOnOther) const {
    if (other.GetType() == GeometryType::Line) {
        return DistanceToLine(static_cast<const C2DLine&>(other), pointOnThis, pointOnOther);
    }
    if (other.GetType() == GeometryType::Arc) {
        return DistanceToArc(static_cast<const C2DArc&>(other), pointOnThis, pointOnOther);
    }
    return 0.0;
}

namespace {

void WritePoint(C2DPoint* target, const C2DPoint& value) {
    if (target != nullptr) {
        target->x = value.x;
        target->y = value.y;
    }
}

// The best pair found so far by a distance search.
struct CNearestPair {
    double distance = FarAway;
    C2DPoint onFirst;
    C2DPoint onSecond;

    void Offer(double d, const C2DPoint& first, const C2DPoint& second) {
        if (d < distance) {
            distance = d;
            onFirst = first;
            onSecond = second;
        }
    }
};

} // namespace

double C2DArc::DistanceToLine(const C2DLine& line, C2DPoint* pointOnArc,
                              C2DPoint* pointOnLine) const {
    const C2DCircle circle(GetCircleCentre(), radius);
    C2DPoint onCircle;
    C2DPoint onLine;
    const double d = circle.DistanceTo(line, &onCircle, &onLine);
    if (chord.IsOnRight(onCircle) == arcOnRight) {
        WritePoint(pointOnArc, onCircle);
        WritePoint(pointOnLine, onLine);
        return std::fabs(d);
    }
    CNearestPair best;
    const C2DPoint start = chord.start;
    const C2DPoint end = chord.GetEnd();
    C2DPoint foot;
    best.Offer(line.DistanceTo(start, &foot), start, foot);
    best.Offer(line.DistanceTo(end, &foot), end, foot);
    if (d < 0.0) {
        // The line reaches into the circle: one of its own ends may be nearest.
        const C2DPoint lineStart = line.start;
        const C2DPoint lineEnd = line.GetEnd();
        C2DPoint onArc;
        best.Offer(DistanceTo(lineStart, &onArc), onArc, lineStart);
        best.Offer(DistanceTo(lineEnd, &onArc), onArc, lineEnd);
    }
    WritePoint(pointOnArc, best.onFirst);
    WritePoint(pointOnLine, best.onSecond);
    return best.distance;
}

double C2DArc::DistanceToArc(const C2DArc& other, C2DPoint* pointOnThis,
                             C2DPoint* pointOnOther) const {
    const C2DPoint centre = GetCircleCentre();
    const C2DPoint otherCentre = other.GetCircleCentre();
    const C2DCircle circle(centre, radius);
    const C2DCircle otherCircle(otherCentre, other.radius);

    C2DPointSet meetings;
    circle.Crosses(otherCircle, &meetings);
    for (unsigned i = 0; i < meetings.GetSize(); ++i) {
        const C2DPoint& q = *meetings.GetAt(i);
        if (chord.IsOnRight(q) == arcOnRight && other.chord.IsOnRight(q) == other.arcOnRight) {
            WritePoint(pointOnThis, q);
            WritePoint(pointOnOther, q);
            return 0.0;
        }
    }

    CNearestPair best;
    // A line through both centres, reaching past both circles on either side.
    C2DOffset along = otherCentre - centre;
    if (along.dx == 0.0 && along.dy == 0.0) {
        along = C2DOffset(1.0, 0.0);
    }
    const double reach = 2.0 * std::fmax(std::fabs(radius), std::fabs(other.radius)) + 1.0;
    along.SetLength(1.0);
    const C2DLine throughCentres(centre + along * (-reach), otherCentre + along * reach);
    C2DPointSet onThis;
    C2DPointSet onOther;
    CrossesLine(throughCentres, &onThis);
    other.CrossesLine(throughCentres, &onOther);
    for (unsigned i = 0; i < onThis.GetSize(); ++i) {
        for (unsigned j = 0; j < onOther.GetSize(); ++j) {
            const C2DPoint& p = *onThis.GetAt(i);
            const C2DPoint& q = *onOther.GetAt(j);
            best.Offer(p.DistanceTo(q), p, q);
        }
    }

    C2DPoint nearest;
    const C2DPoint otherStart = other.chord.start;
    const C2DPoint otherEnd = other.chord.GetEnd();
    best.Offer(DistanceTo(otherStart, &nearest), nearest, otherStart);
    best.Offer(DistanceTo(otherEnd, &nearest), nearest, otherEnd);
    const C2DPoint start = chord.start;
    const C2DPoint end = chord.GetEnd();
    best.Offer(other.DistanceTo(start, &nearest), start, nearest);
    best.Offer(other.DistanceTo(end, &nearest), end, nearest);

    if (best.distance < FarAway) {
        WritePoint(pointOnThis, best.onFirst);
        WritePoint(pointOnOther, best.onSecond);
    }
    return best.distance;
}

// ---------------------------------------------------------------------------
// Crossings

bool C2DArc::Crosses(const C2DLineBase& other, C2DPointSet* crossings) const {
    if (other.GetType() == GeometryType::Line) {
        return CrossesLine(static_cast<const C2DLine&>(other), crossings);
    }
    if (other.GetType() == GeometryType::Arc) {
        return CrossesArc(static_cast<const C2DArc&>(other), crossings);
    }
    return false;
}

bool C2DArc::CrossesLine(const C2DLine& line, C2DPointSet* crossings) const {
    const C2DCircle circle(GetCircleCentre(), radius);
    C2DPointSet points;
    if (!circle.Crosses(line, &points)) {
        return false;
    }
    const C2DPoint start = chord.start;
    const C2DPoint end = chord.GetEnd();
    for (unsigned i = points.GetSize(); i-- > 0;) {
        const C2DPoint& q = *points.GetAt(i);
        // On the circle but on the other side of the chord (not on the arc),
        // or one of the arc's own end points.
        if (chord.IsOnRight(q) != arcOnRight || q == start || q == end) {
            points.DeleteAt(i);
        }
    }
    if (points.IsEmpty()) {
        return false;
    }
    if (crossings != nullptr) {
        crossings->MoveAllFrom(points);
    }
    return true;
}

bool C2DArc::CrossesArc(const C2DArc& other, C2DPointSet* crossings) const {
    const C2DCircle circle(GetCircleCentre(), radius);
    const C2DCircle otherCircle(other.GetCircleCentre(), other.radius);
    C2DPointSet points;
    if (!circle.Crosses(otherCircle, &points)) {
        return false;
    }
    const C2DPoint ends[4] = {chord.start, chord.GetEnd(), other.chord.start, other.chord.GetEnd()};
    for (unsigned i = points.GetSize(); i-- > 0;) {
        const C2DPoint& q = *points.GetAt(i);
        bool keep =
            chord.IsOnRight(q) == arcOnRight && other.chord.IsOnRight(q) == other.arcOnRight;
        for (const C2DPoint& e : ends) {
            if (q == e) {
                keep = false;
            }
        }
        if (!keep) {
            points.DeleteAt(i);
        }
    }
    if (points.IsEmpty()) {
        return false;
    }
    if (crossings != nullptr) {
        crossings->MoveAllFrom(points);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Splitting

void C2DArc::SplitAtPoints(const C2DPointSet& points, C2DLineBaseSet& pieces) const {
    if (points.IsEmpty()) {
        pieces.AddCopy(*this);
        return;
    }
    C2DPointSet ordered;
    ordered.AddCopy(points);
    const C2DPoint start = chord.start;
    const C2DPoint end = chord.GetEnd();
    if (ordered.GetSize() >= 2) {
        // Seen from the chord's midpoint the arc sweeps monotonically from the
        // start: clockwise when it lies left of the chord, anticlockwise when
        // it lies on the right.
        const C2DLine fromMid(chord.GetMidpoint(), start);
        if (arcOnRight) {
            ordered.SortAnticlockwiseFrom(fromMid);
        } else {
            ordered.SortClockwiseFrom(fromMid);
        }
    }
    const C2DPoint centre = GetCircleCentre();
    C2DPoint from = start;
    for (unsigned i = 0; i <= ordered.GetSize(); ++i) {
        const C2DPoint to = (i == ordered.GetSize()) ? end : *ordered.GetAt(i);
        const C2DLine pieceChord(from, to);
        pieces.Add(new C2DArc(pieceChord, radius, pieceChord.IsOnRight(centre), arcOnRight));
        from = to;
    }
}

// ---------------------------------------------------------------------------
// Arc building of C2DPolyBase

void C2DPolyBase::ArcTo(const C2DPoint& point, bool centreOnRight, bool arcOnRight, double radius) {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return;
    }
    const C2DPoint from = lines.GetAt(count - 1)->GetEnd();
    AppendConstructionEdge(new C2DArc(from, point, radius, centreOnRight, arcOnRight));
}

void C2DPolyBase::CloseWithArc(bool centreOnRight, bool arcOnRight, double radius) {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return;
    }
    const C2DPoint end = lines.GetAt(count - 1)->GetEnd();
    const C2DPoint start = lines.GetAt(0)->GetStart();
    if (!(end == start)) {
        lines.Add(new C2DArc(end, start, radius, centreOnRight, arcOnRight));
    }
    MakeLineRects();
    MakeBoundingRect();
}

// ---------------------------------------------------------------------------
// C2DSegment: the contract of its arc, with the region's own distance and
// projections.

bool C2DSegment::Contains(const C2DPoint& point) const {
    if (arc.GetCircleCentre().DistanceTo(point) > arc.radius) {
        return false;
    }
    return arc.chord.IsOnRight(point) ? arc.arcOnRight : !arc.arcOnRight;
}

void C2DSegment::Translate(const C2DOffset& offset) {
    arc.Translate(offset);
}

void C2DSegment::RotateClockwise(double angle, const C2DPoint& origin) {
    arc.RotateClockwise(angle, origin);
}

void C2DSegment::ScaleAbout(double factor, const C2DPoint& origin) {
    arc.ScaleAbout(factor, origin);
}

void C2DSegment::ReflectInLine(const C2DLine& line) {
    arc.ReflectInLine(line);
}

void C2DSegment::ReflectInPoint(const C2DPoint& point) {
    arc.ReflectInPoint(point);
}

double C2DSegment::DistanceTo(const C2DPoint& point) const {
    if (Contains(point)) {
        return 0.0;
    }
    const double toChord = arc.chord.DistanceTo(point, nullptr);
    const double toArc = arc.DistanceTo(point, nullptr);
    return toChord < toArc ? toChord : toArc;
}

void C2DSegment::GetBounds(C2DRect& bounds) const {
    arc.GetBounds(bounds);
}

void C2DSegment::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    arc.ProjectOnAxis(axis, range);
    CValueRange chordRange;
    arc.chord.ProjectOnAxis(axis, chordRange);
    range.Merge(chordRange);
}

void C2DSegment::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    arc.ProjectOnLine(line, range);
    CValueRange chordRange;
    arc.chord.ProjectOnLine(line, chordRange);
    range.Merge(chordRange);
}

void C2DSegment::RoundToGrid() {
    arc.RoundToGrid();
}
