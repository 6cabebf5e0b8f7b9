#pragma once

#include "geometry/Circles.h"
#include "geometry/Polygons.h"

// A circular-arc edge: its chord from start to end, a radius and two side
// flags. The flags say on which side of the chord, travelling from start to
// end, the circle's centre and the arc itself lie; the arc is the minor one
// when they differ and the major one when they are equal. When the chord is
// longer than the diameter the arc has no circle: GetCircleCentre then gives
// (0, 0), GetBounds leaves its rectangle as it was, and the crossings are
// those of a circle of the radius about (0, 0).
class C2DArc : public C2DLineBase {
    MARLO_POOLED_CLASS(C2DArc)

public:
    // In coordinate units, positive.
    double radius = 0.0;
    bool centreOnRight = false;
    bool arcOnRight = false;
    C2DLine chord;

    C2DArc() : C2DLineBase(GeometryType::Arc) {}
    C2DArc(const C2DPoint& start, const C2DPoint& end, double radius, bool centreOnRight,
           bool arcOnRight)
        : C2DLineBase(GeometryType::Arc), radius(radius), centreOnRight(centreOnRight),
          arcOnRight(arcOnRight), chord(start, end) {}
    C2DArc(const C2DLine& chord, double radius, bool centreOnRight, bool arcOnRight)
        : C2DLineBase(GeometryType::Arc), radius(radius), centreOnRight(centreOnRight),
          arcOnRight(arcOnRight), chord(chord) {}
    C2DArc(const C2DArc&) = default;
    C2DArc& operator=(const C2DArc&) = default;

    bool HasCircle() const;
    bool IsMinor() const { return centreOnRight != arcOnRight; }
    C2DPoint GetCircleCentre() const;
    double GetChordAngle() const;
    // Signed contribution of the segment between chord and arc to a ring's area.
    double GetSegmentAreaTerm() const;

    using C2DLineBase::DistanceTo;
    void Translate(const C2DOffset& offset) override;
    void RotateClockwise(double angle, const C2DPoint& origin) override;
    void ScaleAbout(double factor, const C2DPoint& origin) override;
    void ReflectInLine(const C2DLine& line) override;
    void ReflectInPoint(const C2DPoint& point) override;
    void GetBounds(C2DRect& bounds) const override;
    void ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const override;
    void ProjectOnLine(const C2DLine& line, CValueRange& range) const override;
    void RoundToGrid() override;

    bool Crosses(const C2DLineBase& other, C2DPointSet* crossings) const override;
    double DistanceTo(const C2DLineBase& other, C2DPoint* pointOnThis,
                      C2DPoint* pointOnOther) const override;
    double DistanceTo(const C2DPoint& point, C2DPoint* closest) const override;
    C2DPoint GetStart() const override { return chord.start; }
    C2DPoint GetEnd() const override { return chord.GetEnd(); }
    double GetLength() const override;
    void ReverseDirection() override;
    void SplitAtPoints(const C2DPointSet& points, C2DLineBaseSet& pieces) const override;
    void Transform(CTransformation& transformation) override;
    void InverseTransform(CTransformation& transformation) override;

    // Arc-line crossing; an arc never reports its own end points.
    bool CrossesLine(const C2DLine& line, C2DPointSet* crossings) const;
    bool CrossesArc(const C2DArc& other, C2DPointSet* crossings) const;
    // Distance between this arc and a straight line; the arc's nearest point
    // goes to pointOnArc, the line's to pointOnLine.
    double DistanceToLine(const C2DLine& line, C2DPoint* pointOnArc, C2DPoint* pointOnLine) const;
    double DistanceToArc(const C2DArc& other, C2DPoint* pointOnThis, C2DPoint* pointOnOther) const;
};

// A polygon whose edges may be arcs, built edge by edge (the text map reader).
class C2DPolyArc : public C2DPolyBase {
    MARLO_POOLED_CLASS(C2DPolyArc)

public:
    C2DPolyArc() : C2DPolyBase(GeometryType::PolyArc) {}
    ~C2DPolyArc() override = default;
};

// The region between an arc and its chord.
class C2DSegment : public C2DBase {
    MARLO_POOLED_CLASS(C2DSegment)

public:
    C2DArc arc;

    explicit C2DSegment(const C2DArc& arc) : C2DBase(GeometryType::Segment), arc(arc) {}

    // Inside the segment region or on its boundary.
    bool Contains(const C2DPoint& point) const;

    void Translate(const C2DOffset& offset) override;
    void RotateClockwise(double angle, const C2DPoint& origin) override;
    void ScaleAbout(double factor, const C2DPoint& origin) override;
    void ReflectInLine(const C2DLine& line) override;
    void ReflectInPoint(const C2DPoint& point) override;
    double DistanceTo(const C2DPoint& point) const override;
    void GetBounds(C2DRect& bounds) const override;
    void ProjectOnAxis(const C2DOffset& axis, CValueRange& range) const override;
    void ProjectOnLine(const C2DLine& line, CValueRange& range) const override;
    void RoundToGrid() override;
};
