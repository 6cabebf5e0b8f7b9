#include "geometry/Polygons.h"

#include "geometry/Arcs.h"
#include "geometry/StraightEdges.h"
#include "projection/Transformation.h"

namespace {

inline C2DLineBase* EdgeOf(const C2DLineBaseSet& lines, unsigned index) {
    // The set holds only edges; the plain cast avoids a checked down-cast in
    // the loops that walk millions of edges.
    return static_cast<C2DLineBase*>(lines.C2DBaseSet::GetAt(index));
}

inline C2DRect& RectOf(const C2DRectSet& rects, unsigned index) {
    return *static_cast<C2DRect*>(rects.C2DBaseSet::GetAt(index));
}

// Refills the rectangle of one edge. Straight edges are read directly; an arc
// that has lost its circle (chord longer than the diameter) leaves GetBounds
// untouched, so its rectangle is first set to its chord's, which keeps the end
// points covered instead of a stale or all-zero rectangle.
inline void FillEdgeRect(const C2DLineBase& edge, C2DRect& rect) {
    if (edge.GetType() == GeometryType::Line) {
        const auto& line = static_cast<const C2DLine&>(edge);
        SetLineBounds(rect, line.start.x, line.start.y, line.direction.dx, line.direction.dy);
        return;
    }
    if (edge.GetType() == GeometryType::Arc) {
        const auto& arc = static_cast<const C2DArc&>(edge);
        SetLineBounds(rect, arc.chord.start.x, arc.chord.start.y, arc.chord.direction.dx,
                      arc.chord.direction.dy);
    } else {
        rect.Clear();
    }
    edge.GetBounds(rect);
}

inline C2DPoint StartOf(const C2DLineBase& edge) {
    if (edge.GetType() == GeometryType::Line) {
        return static_cast<const C2DLine&>(edge).start;
    }
    return edge.GetStart();
}

void CopyCoordinates(const C2DRect& from, C2DRect& to) {
    to.topLeft.x = from.topLeft.x;
    to.topLeft.y = from.topLeft.y;
    to.bottomRight.x = from.bottomRight.x;
    to.bottomRight.y = from.bottomRight.y;
}

} // namespace

// ---------------------------------------------------------------------------
// C2DPolyBase: construction and access

C2DPolyBase::C2DPolyBase(const C2DPolyBase& other) : C2DBase(GeometryType::PolyBase) {
    Set(other);
}

C2DPolyBase::C2DPolyBase(int32_t type, const C2DPolyBase& other) : C2DBase(type) {
    Set(other);
}

C2DLineBase* C2DPolyBase::GetLine(unsigned index) const {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return nullptr;
    }
    return EdgeOf(lines, index % count);
}

bool C2DPolyBase::HasArcs() const {
    for (unsigned i = 0; i < lines.GetSize(); ++i) {
        if (EdgeOf(lines, i)->GetType() == GeometryType::Arc) {
            return true;
        }
    }
    return false;
}

void C2DPolyBase::DeleteEdges() {
    lines.DeleteAll();
    lineRects.DeleteAll();
}

bool C2DPolyBase::HoldsItsKindOfEdges() const {
    return GetType() != GeometryType::Polygon || !HasArcs();
}

void C2DPolyBase::Set(const C2DPolyBase& other) {
    if (&other == this) {
        return; // copying onto itself would delete the source first
    }
    boundingRect.Clear();
    DeleteEdges();
    const unsigned count = other.lines.GetSize();
    lines.Reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        lines.AddCopy(*EdgeOf(other.lines, i));
    }
    CopyCoordinates(other.boundingRect, boundingRect);
    const unsigned rectCount = other.lineRects.GetSize();
    lineRects.Reserve(rectCount);
    for (unsigned i = 0; i < rectCount; ++i) {
        auto* rect = new C2DRect();
        CopyCoordinates(RectOf(other.lineRects, i), *rect);
        lineRects.Add(rect);
    }
    assert(HoldsItsKindOfEdges());
}

// ---------------------------------------------------------------------------
// Incremental construction

void C2DPolyBase::SetStartPoint(const C2DPoint& point) {
    boundingRect.Clear();
    DeleteEdges();
    lines.Add(new C2DLine(point, point));
}

void C2DPolyBase::AppendConstructionEdge(C2DLineBase* edge) {
    if (lines.GetSize() == 1) {
        const C2DLineBase* first = EdgeOf(lines, 0);
        if (first->GetType() == GeometryType::Line && first->GetEnd() == first->GetStart()) {
            lines.DeleteAt(0);
        }
    }
    // A C2DPolygon takes straight edges only.
    assert(GetType() != GeometryType::Polygon || edge->GetType() == GeometryType::Line);
    lines.Add(edge);
}

void C2DPolyBase::LineTo(const C2DPoint& point) {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return;
    }
    AppendConstructionEdge(new C2DLine(EdgeOf(lines, count - 1)->GetEnd(), point));
}

void C2DPolyBase::Close() {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return;
    }
    const C2DPoint end = EdgeOf(lines, count - 1)->GetEnd();
    const C2DPoint start = EdgeOf(lines, 0)->GetStart();
    if (!(end == start)) {
        lines.Add(new C2DLine(end, start));
    }
    MakeLineRects();
    MakeBoundingRect();
}

// ---------------------------------------------------------------------------
// Rectangles

void C2DPolyBase::MakeLineRects() {
    // The existing rectangle objects are refilled rather than deleted and made
    // again: the result is the same, and a ring rebuilt on its own does not
    // hand its pool back to the heap only to take a fresh block at once.
    const unsigned count = lines.GetSize();
    while (lineRects.GetSize() > count) {
        lineRects.DeleteAt(lineRects.GetSize() - 1);
    }
    lineRects.Reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        if (i == lineRects.GetSize()) {
            lineRects.Add(new C2DRect());
        }
        FillEdgeRect(*EdgeOf(lines, i), RectOf(lineRects, i));
    }
    // Close and CloseWithArc end here.
    assert(HoldsItsKindOfEdges());
}

void C2DPolyBase::MakeBoundingRect() {
    const unsigned count = lineRects.GetSize();
    if (count == 0) {
        boundingRect.Clear();
        return;
    }
    CopyCoordinates(RectOf(lineRects, 0), boundingRect);
    for (unsigned i = 1; i < count; ++i) {
        Include(boundingRect, RectOf(lineRects, i));
    }
}

// ---------------------------------------------------------------------------
// Area and direction

double C2DPolyBase::GetArea() const {
    const unsigned count = lines.GetSize();
    double sum = 0.0;
    for (unsigned i = 0; i < count; ++i) {
        const C2DLineBase& edge = *EdgeOf(lines, i);
        const C2DPoint from = edge.GetStart();
        const C2DPoint to = edge.GetEnd();
        sum += from.x * to.y - to.x * from.y;
    }
    double area = 0.5 * sum;
    for (unsigned i = 0; i < count; ++i) {
        const C2DLineBase& edge = *EdgeOf(lines, i);
        if (edge.GetType() == GeometryType::Arc) {
            area += static_cast<const C2DArc&>(edge).GetSegmentAreaTerm();
        }
    }
    return area;
}

void C2DPolyBase::ReverseDirection() {
    lines.ReverseOrder();
    for (unsigned i = 0; i < lines.GetSize(); ++i) {
        EdgeOf(lines, i)->ReverseDirection();
    }
    // A reversed line's end is recomputed as start + direction, which may
    // differ in the last bit: the rectangles are rebuilt, the shape's bounds
    // are kept.
    MakeLineRects();
}

void C2DPolyBase::MakeClockwise() {
    // Clockwise rings have a negative area; a ring of zero area is reversed
    // as well.
    if (GetArea() >= 0.0) {
        ReverseDirection();
    }
}

// ---------------------------------------------------------------------------
// Point in polygon and crossings

namespace {

// Every edge number of a ring of count edges, in order.
inline auto AllEdges(unsigned count) {
    return CAllEdges(count);
}

// Whether the edge crosses the line, with straight pairs tested without the
// virtual dispatch.
inline bool EdgeCrosses(const C2DLineBase& edge, const C2DLineBase& line, bool lineIsStraight,
                        C2DPointSet* found) {
    if (lineIsStraight && edge.GetType() == GeometryType::Line) {
        return static_cast<const C2DLine&>(edge).CrossesLine(static_cast<const C2DLine&>(line),
                                                             found);
    }
    return edge.Crosses(line, found);
}

} // namespace

// The verdict of the probe ray from its crossings with the boundary.
bool ProbeSaysInside(const C2DPoint& point, bool crosses, C2DPointSet& crossings) {
    if (!crosses || crossings.IsEmpty()) {
        return false;
    }
    crossings.SortByDistance(point);
    // A probe that meets an edge at its own start point: the point lies on
    // the boundary, which counts as inside.
    if (*crossings.GetAt(0) == point) {
        return true;
    }
    return crossings.GetSize() % 2 == 1;
}

template <typename EdgeNumbers>
bool C2DPolyBase::CrossesAmong(const C2DLineBase& line, const EdgeNumbers& edges,
                               C2DPointSet& intersections) const {
    C2DRect lineBounds;
    line.GetBounds(lineBounds);
    if (!boundingRect.Overlaps(lineBounds)) {
        return false;
    }
    if (!IsComplete()) {
        return false;
    }
    const bool lineIsStraight = line.GetType() == GeometryType::Line;
    C2DPointSet found;
    bool result = false;
    for (const unsigned i : edges) {
        if (RectOf(lineRects, i).Overlaps(lineBounds) &&
            EdgeCrosses(*EdgeOf(lines, i), line, lineIsStraight, &found)) {
            result = true;
        }
    }
    intersections.MoveAllFrom(found);
    return result;
}

template <typename EdgeNumbers>
bool C2DPolyBase::CrossesAnyAmong(const C2DLineBase& line, const EdgeNumbers& edges) const {
    // Without edge rectangles (a ring under construction) no edge can be
    // selected by its rectangle, so nothing crosses.
    if (!IsComplete()) {
        return false;
    }
    C2DRect lineBounds;
    line.GetBounds(lineBounds);
    for (const unsigned i : edges) {
        if (RectOf(lineRects, i).Overlaps(lineBounds) && EdgeOf(lines, i)->Crosses(line, nullptr)) {
            return true;
        }
    }
    return false;
}

template <typename EdgeNumbers>
bool C2DPolyBase::ContainsAmong(const C2DPoint& point, const EdgeNumbers& edges) const {
    if (!LiesInRect(point, boundingRect)) {
        return false;
    }
    const C2DLine probe = ProbeRay(point, boundingRect);
    C2DPointSet crossings;
    const bool crosses = CrossesAmong(probe, edges, crossings);
    return ProbeSaysInside(point, crosses, crossings);
}

bool C2DPolyBase::Contains(const C2DPoint& point) const {
    return ContainsAmong(point, AllEdges(lines.GetSize()));
}

bool C2DPolyBase::Contains(const C2DPoint& point, std::span<const unsigned> edges) const {
    return ContainsAmong(point, edges);
}

C2DRect C2DPolyBase::GetProbeBounds(const C2DPoint& point) const {
    C2DRect bounds;
    ProbeRay(point, boundingRect).GetBounds(bounds);
    return bounds;
}

bool C2DPolyBase::Crosses(const C2DLineBase& line, C2DPointSet& intersections) const {
    return CrossesAmong(line, AllEdges(lines.GetSize()), intersections);
}

bool C2DPolyBase::Crosses(const C2DLineBase& line) const {
    return CrossesAnyAmong(line, AllEdges(lines.GetSize()));
}

bool C2DPolyBase::Crosses(const C2DLineBase& line, std::span<const unsigned> edges) const {
    return CrossesAnyAmong(line, edges);
}

bool C2DPolyBase::Crosses(const C2DPolyBase& other) const {
    if (!other.boundingRect.Overlaps(boundingRect)) {
        return false;
    }
    for (unsigned i = 0; i < other.lines.GetSize(); ++i) {
        if (Crosses(*EdgeOf(other.lines, i))) {
            return true;
        }
    }
    return false;
}

bool C2DPolyBase::IsWithin(const C2DPolyBase& other) const {
    if (lines.GetSize() == 0) {
        return false;
    }
    if (!boundingRect.LiesStrictlyInside(other.boundingRect)) {
        return false;
    }
    if (!other.Contains(EdgeOf(lines, 0)->GetStart())) {
        return false;
    }
    return !Crosses(other);
}

namespace {

// Applies move to every edge, in order.
template <typename Move> void MoveEdges(const C2DLineBaseSet& lines, Move move) {
    for (unsigned i = 0; i < lines.GetSize(); ++i) {
        move(*EdgeOf(lines, i));
    }
}

// Applies move to every edge and refits the edge's rectangle to where it went:
// a turned or scaled arc's box is not the turned or scaled old box.
template <typename Move>
void MoveEdgesAndRefit(const C2DLineBaseSet& lines, const C2DRectSet& lineRects, Move move) {
    for (unsigned i = 0; i < lines.GetSize(); ++i) {
        C2DLineBase& edge = *EdgeOf(lines, i);
        move(edge);
        FillEdgeRect(edge, RectOf(lineRects, i));
    }
}

// The ring's range along a direction: the first edge's range merged with
// every other edge's. An empty ring leaves range untouched.
template <typename ProjectEdge>
void ProjectEdges(const C2DLineBaseSet& lines, CValueRange& range, ProjectEdge project) {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return;
    }
    project(*EdgeOf(lines, 0), range);
    for (unsigned i = 1; i < count; ++i) {
        CValueRange local;
        project(*EdgeOf(lines, i), local);
        range.Merge(local);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// The geometry contract. Operations 1 to 5 do nothing on a ring under
// construction (edges without rectangles).

void C2DPolyBase::Translate(const C2DOffset& offset) {
    if (!IsComplete()) {
        return;
    }
    for (unsigned i = 0; i < lines.GetSize(); ++i) {
        EdgeOf(lines, i)->Translate(offset);
        RectOf(lineRects, i).Translate(offset);
    }
    boundingRect.Translate(offset);
}

void C2DPolyBase::RotateClockwise(double angle, const C2DPoint& origin) {
    if (!IsComplete()) {
        return;
    }
    MoveEdgesAndRefit(lines, lineRects,
                      [&](C2DLineBase& edge) { edge.RotateClockwise(angle, origin); });
    MakeBoundingRect();
}

void C2DPolyBase::ScaleAbout(double factor, const C2DPoint& origin) {
    if (!IsComplete()) {
        return;
    }
    MoveEdgesAndRefit(lines, lineRects,
                      [&](C2DLineBase& edge) { edge.ScaleAbout(factor, origin); });
    boundingRect.ScaleAbout(factor, origin);
}

void C2DPolyBase::ReflectInLine(const C2DLine& line) {
    if (!IsComplete()) {
        return;
    }
    MoveEdges(lines, [&](C2DLineBase& edge) { edge.ReflectInLine(line); });
    // A reflection reverses the direction of travel; reversing keeps the sign
    // of the area.
    ReverseDirection();
    boundingRect.ReflectInLine(line);
}

void C2DPolyBase::ReflectInPoint(const C2DPoint& point) {
    if (!IsComplete()) {
        return;
    }
    // A reflection in a point is a half turn: unlike a mirror image it keeps
    // the direction of travel, so the ring is not reversed (that would flip
    // the sign of its area); only the rectangles are rebuilt.
    MoveEdges(lines, [&](C2DLineBase& edge) { edge.ReflectInPoint(point); });
    MakeLineRects();
    boundingRect.ReflectInPoint(point);
}

double C2DPolyBase::DistanceTo(const C2DPoint& point) const {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return 0.0;
    }
    double best = EdgeOf(lines, 0)->DistanceTo(point, nullptr);
    for (unsigned i = 1; i < count; ++i) {
        const double d = EdgeOf(lines, i)->DistanceTo(point, nullptr);
        if (d < best) {
            best = d;
        }
    }
    return Contains(point) ? -best : best;
}

void C2DPolyBase::GetBounds(C2DRect& bounds) const {
    CopyCoordinates(boundingRect, bounds);
}

void C2DPolyBase::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    ProjectEdges(lines, range, [&](const C2DLineBase& edge, CValueRange& edgeRange) {
        edge.ProjectOnAxis(axis, edgeRange);
    });
}

void C2DPolyBase::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    ProjectEdges(lines, range, [&](const C2DLineBase& edge, CValueRange& edgeRange) {
        edge.ProjectOnLine(line, edgeRange);
    });
}

void C2DPolyBase::RoundToGrid() {
    lines.RoundToGrid();
    lineRects.RoundToGrid();
    boundingRect.RoundToGrid();
}

// ---------------------------------------------------------------------------
// Transformations. One pass over the edges transforms each edge and refills
// its rectangle, and the bounding rectangle is gathered on the way. Nothing is
// allocated and only this ring's own objects are written, so different rings
// may be transformed on different threads at the same time.

namespace {

template <bool Inverse>
void TransformEdges(C2DLineBaseSet& lines, C2DRectSet& lineRects, C2DRect& boundingRect,
                    CTransformation& transformation) {
    const unsigned count = lines.GetSize();
    const bool complete = lineRects.GetSize() == count;
    for (unsigned i = 0; i < count; ++i) {
        C2DLineBase& edge = *EdgeOf(lines, i);
        if (edge.GetType() == GeometryType::Line) {
            auto& line = static_cast<C2DLine&>(edge);
            if constexpr (Inverse) {
                line.C2DLine::InverseTransform(transformation);
            } else {
                line.C2DLine::Transform(transformation);
            }
            if (complete) {
                SetLineBounds(RectOf(lineRects, i), line.start.x, line.start.y, line.direction.dx,
                              line.direction.dy);
            }
        } else {
            if constexpr (Inverse) {
                edge.InverseTransform(transformation);
            } else {
                edge.Transform(transformation);
            }
            if (complete) {
                FillEdgeRect(edge, RectOf(lineRects, i));
            }
        }
        if (complete) {
            if (i == 0) {
                CopyCoordinates(RectOf(lineRects, 0), boundingRect);
            } else {
                Include(boundingRect, RectOf(lineRects, i));
            }
        }
    }
    // A ring under construction has no rectangles yet: its edges are moved,
    // and Close rebuilds the rectangles from them.
    if (complete && count == 0) {
        boundingRect.Clear();
    }
}

} // namespace

void C2DPolyBase::Transform(CTransformation& transformation) {
    TransformEdges<false>(lines, lineRects, boundingRect, transformation);
}

void C2DPolyBase::InverseTransform(CTransformation& transformation) {
    TransformEdges<true>(lines, lineRects, boundingRect, transformation);
}

// ---------------------------------------------------------------------------
// C2DPolygon

C2DPolygon::~C2DPolygon() {
    Clear();
}

void C2DPolygon::DeleteSubAreas() {
    delete subArea1;
    subArea1 = nullptr;
    delete subArea2;
    subArea2 = nullptr;
}

void C2DPolygon::Clear() {
    DeleteSubAreas();
    boundingRect.Clear();
    DeleteEdges();
}

bool C2DPolygon::Create(const double* points, unsigned count) {
    DeleteSubAreas();
    DeleteEdges();
    lines.Reserve(count);
    lineRects.Reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        const unsigned next = (i + 1 == count) ? 0 : i + 1;
        const double x = points[2 * i];
        const double y = points[2 * i + 1];
        const double dx = points[2 * next] - x;
        const double dy = points[2 * next + 1] - y;
        auto* line = new C2DLine(C2DPoint(x, y), C2DOffset(dx, dy));
        auto* rect = new C2DRect();
        SetLineBounds(*rect, x, y, dx, dy);
        lines.Add(line);
        lineRects.Add(rect);
        if (i == 0) {
            CopyCoordinates(*rect, boundingRect);
        } else {
            Include(boundingRect, *rect);
        }
    }
    if (count == 0) {
        boundingRect.Clear();
    }
    return true;
}

void C2DPolygon::Translate(const C2DOffset& offset) {
    if (HasSubAreas()) {
        subArea1->Translate(offset);
        subArea2->Translate(offset);
    }
    C2DPolyBase::Translate(offset);
}

void C2DPolygon::RotateClockwise(double angle, const C2DPoint& origin) {
    if (HasSubAreas()) {
        subArea1->RotateClockwise(angle, origin);
        subArea2->RotateClockwise(angle, origin);
    }
    C2DPolyBase::RotateClockwise(angle, origin);
}

void C2DPolygon::ReflectInLine(const C2DLine& line) {
    if (HasSubAreas()) {
        subArea1->ReflectInLine(line);
        subArea2->ReflectInLine(line);
    }
    C2DPolyBase::ReflectInLine(line);
}

void C2DPolygon::ReflectInPoint(const C2DPoint& point) {
    if (HasSubAreas()) {
        subArea1->ReflectInPoint(point);
        subArea2->ReflectInPoint(point);
    }
    C2DPolyBase::ReflectInPoint(point);
}

void C2DPolygon::ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return;
    }
    const double length = axis.GetLength();
    for (unsigned i = 0; i < count; ++i) {
        const C2DPoint v = StartOf(*EdgeOf(lines, i));
        const double t = (v.x * axis.dx + v.y * axis.dy) / length;
        if (i == 0) {
            range.min = t;
            range.max = t;
        } else {
            if (t < range.min) {
                range.min = t;
            }
            if (t > range.max) {
                range.max = t;
            }
        }
    }
}

void C2DPolygon::ProjectOnLine(const C2DLine& line, CValueRange& range) const {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return;
    }
    const C2DPoint& s = line.start;
    const C2DOffset& d = line.direction;
    const double length = d.GetLength();
    for (unsigned i = 0; i < count; ++i) {
        const C2DPoint v = StartOf(*EdgeOf(lines, i));
        const double t = ((v.x - s.x) * d.dx + (v.y - s.y) * d.dy) / length;
        if (i == 0) {
            range.min = t;
            range.max = t;
        } else {
            if (t < range.min) {
                range.min = t;
            }
            if (t > range.max) {
                range.max = t;
            }
        }
    }
}

double C2DPolygon::GetArea() const {
    const unsigned count = lines.GetSize();
    if (count == 0) {
        return 0.0;
    }
    const C2DPoint first = StartOf(*EdgeOf(lines, 0));
    C2DPoint previous = first;
    double sum = 0.0;
    for (unsigned i = 1; i <= count; ++i) {
        const C2DPoint current = (i == count) ? first : StartOf(*EdgeOf(lines, i));
        sum += previous.x * current.y - current.x * previous.y;
        previous = current;
    }
    return 0.5 * sum;
}
