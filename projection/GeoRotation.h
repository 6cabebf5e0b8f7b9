#pragma once

#include "projection/Projection.h"

// Range in metres along the great circle from `from` to `to`, and the initial
// bearing in radians clockwise from north, in [0, 2 pi).
void RangeAndBearing(const CGeoPoint& from, const CGeoPoint& to, double& range, double& bearing);

// The point reached from `from` by going `range` metres along the great circle
// that leaves it at `bearing`. The longitude comes back in [-pi, pi].
void PointAtRangeAndBearing(const CGeoPoint& from, double bearing, double range, CGeoPoint& to);

// Moves the sphere so that `origin` comes to latitude 0, longitude 0: every
// point keeps its range and bearing, measured from the origin before and from
// (0, 0) after.
class CGeoRotation final : public CTransformation {
public:
    CGeoRotation() = default;
    ~CGeoRotation() override = default;

    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    virtual void RotatePoint(CGeoPoint& p);
    virtual void Rotate(double& lat, double& lon);
    virtual void InverseRotatePoint(CGeoPoint& p);
    virtual void InverseRotate(double& lat, double& lon);

    void SetOrigin(double latDegrees, double lonDegrees);

    CGeoPoint origin;
};
