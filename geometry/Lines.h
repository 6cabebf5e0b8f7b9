#pragma once

#include "geometry/Sets.h"

class CTransformation;

// A rectangle as four plain numbers, (left, top, right, bottom) as C2DRect
// keeps them, for loops over millions of edges and rings.
struct CEdgeBox {
    double left;
    double top;
    double right;
    double bottom;
};

// The bounds of the straight edge from (sx, sy) along (dx, dy): both corners
// at the start, then the end point taken in as C2DRect::ExpandToInclude takes
// it. Only one of "the end lies right" and "the end lies left" can hold, so
// the two sides are chosen independently, without branches: which way an
// edge runs is as good as random along a coastline.
inline CEdgeBox EdgeBoxOf(double sx, double sy, double dx, double dy) {
    const double ex = sx + dx;
    const double ey = sy + dy;
    return CEdgeBox{sx > ex ? ex : sx, sy < ey ? ey : sy, sx < ex ? ex : sx, sy > ey ? ey : sy};
}

// The edge contract: crossing points, distances, end points, length, reversal,
// splitting, and the hook through which a map transformation is applied to an
// edge's defining points.
class C2DLineBase : public C2DBase {
public:
    using C2DBase::DistanceTo;

    // Whether the two edges cross; each crossing point is appended to
    // crossings when it is not null.
    virtual bool Crosses(const C2DLineBase& other, C2DPointSet* crossings) const = 0;
    // Shortest distance between the edges, with the nearest points written to
    // the non-null arguments.
    virtual double DistanceTo(const C2DLineBase& other, C2DPoint* pointOnThis,
                              C2DPoint* pointOnOther) const = 0;
    virtual double DistanceTo(const C2DPoint& point, C2DPoint* closest) const = 0;
    virtual C2DPoint GetStart() const = 0;
    virtual C2DPoint GetEnd() const = 0;
    virtual double GetLength() const = 0;
    virtual void ReverseDirection() = 0;
    // Appends to pieces the edge cut at the points, in order along the edge;
    // the points are taken as lying on it, which is not checked.
    virtual void SplitAtPoints(const C2DPointSet& points, C2DLineBaseSet& pieces) const = 0;
    // Passes the start point and then the end point through the
    // transformation and rebuilds the edge from the two results.
    virtual void Transform(CTransformation& transformation) = 0;
    virtual void InverseTransform(CTransformation& transformation) = 0;

    double DistanceTo(const C2DPoint& point) const override { return DistanceTo(point, nullptr); }

protected:
    explicit C2DLineBase(int32_t type) : C2DBase(type) {}
    C2DLineBase(const C2DLineBase&) = default;
    C2DLineBase& operator=(const C2DLineBase&) = default;
};

// A straight edge: a start point and a direction to the end point. The end is
// always computed as start + direction, never stored.
class C2DLine final : public C2DLineBase {
    MARLO_POOLED_CLASS(C2DLine)

public:
    C2DPoint start;
    C2DOffset direction;

    C2DLine() : C2DLineBase(GeometryType::Line) {}
    C2DLine(const C2DPoint& from, const C2DPoint& to)
        : C2DLineBase(GeometryType::Line), start(from), direction(to - from) {}
    C2DLine(const C2DPoint& from, const C2DOffset& direction)
        : C2DLineBase(GeometryType::Line), start(from), direction(direction) {}
    C2DLine(const C2DLine&) = default;
    C2DLine& operator=(const C2DLine&) = default;

    C2DPoint GetMidpoint() const { return start + direction * 0.5; }
    // The point at fraction of the way from start to end: 0 is the start, 1
    // the end; values outside [0, 1] extend the line.
    C2DPoint GetPointAt(double fraction) const { return start + direction * fraction; }
    // True when the point lies strictly right of the directed line (y up).
    bool IsOnRight(const C2DPoint& point) const;

    using C2DLineBase::DistanceTo;
    void Translate(const C2DOffset& offset) override;
    void RotateClockwise(double angle, const C2DPoint& origin) override;
    void ScaleAbout(double factor, const C2DPoint& origin) override;
    void ReflectInLine(const C2DLine& line) override;
    void ReflectInPoint(const C2DPoint& point) override;
    void GetBounds(C2DRect& bounds) const override {
        const CEdgeBox box = EdgeBoxOf(start.x, start.y, direction.dx, direction.dy);
        bounds.topLeft.x = box.left;
        bounds.topLeft.y = box.top;
        bounds.bottomRight.x = box.right;
        bounds.bottomRight.y = box.bottom;
    }
    void ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const override;
    void ProjectOnLine(const C2DLine& line, CValueRange& range) const override;
    void RoundToGrid() override;

    bool Crosses(const C2DLineBase& other, C2DPointSet* crossings) const override;
    double DistanceTo(const C2DLineBase& other, C2DPoint* pointOnThis,
                      C2DPoint* pointOnOther) const override;
    double DistanceTo(const C2DPoint& point, C2DPoint* closest) const override;
    C2DPoint GetStart() const override { return start; }
    C2DPoint GetEnd() const override { return start + direction; }
    double GetLength() const override { return direction.GetLength(); }
    void ReverseDirection() override;
    void SplitAtPoints(const C2DPointSet& points, C2DLineBaseSet& pieces) const override;
    void Transform(CTransformation& transformation) override;
    void InverseTransform(CTransformation& transformation) override;

    // The straight-edge crossing: a crossing at either line's start counts,
    // one at either line's end does not; parallel lines never cross.
    bool CrossesLine(const C2DLine& other, C2DPointSet* crossings) const;
    // Shortest distance between two straight edges, with the nearest points.
    double DistanceToLine(const C2DLine& other, C2DPoint* pointOnThis,
                          C2DPoint* pointOnOther) const;
};
