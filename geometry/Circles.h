#pragma once

#include "geometry/Lines.h"

// A full circle. Its distances are signed: negative inside the circle. Circles
// are only local values or members.
class C2DCircle : public C2DBase {
    MARLO_POOLED_CLASS(C2DCircle)

public:
    C2DPoint centre;
    // In coordinate units, not negative.
    double radius = 0.0;

    C2DCircle(const C2DPoint& centre, double radius)
        : C2DBase(GeometryType::Circle), centre(centre), radius(radius) {}
    C2DCircle(const C2DCircle&) = default;
    C2DCircle& operator=(const C2DCircle&) = default;

    // Strictly inside; a point on the circle is not contained.
    bool Contains(const C2DPoint& point) const;
    double DistanceTo(const C2DPoint& point, C2DPoint* closest) const;
    bool Crosses(const C2DLine& line, C2DPointSet* points) const;
    bool Crosses(const C2DCircle& other, C2DPointSet* points) const;
    double DistanceTo(const C2DLine& line, C2DPoint* pointOnCircle, C2DPoint* pointOnLine) const;

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
