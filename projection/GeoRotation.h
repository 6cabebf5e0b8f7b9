#pragma once

#include "projection/Projection.h"

// Great-circle range and bearing on the sphere of radius EarthRadius, and the
// sphere rotation built on them.
//
// Where the code departs from a plain transcription of the formulas, and why:
//  - The arc is taken with atan2 from the cosine of the arc and the
//    direction components, not as an arccosine: the arccosine turns rounding
//    beyond +-1 into NaN (about a third of the points on the antimeridian of
//    an origin came out NaN) and loses most of its digits near the start
//    point and its antipode.
//  - The rotation fuses RangeAndBearing and PointAtRangeAndBearing: with the
//    arc's cosine and the direction components in hand, the second step
//    needs no trigonometry of the range or the bearing. Points under a fixed
//    bearing convention take the two steps literally, so their results are
//    exactly the conventions'.

// Range in metres along the great circle from `from` to `to` (both in
// radians, latitudes in [-pi/2, pi/2]), in [0, pi EarthRadius], and the
// initial bearing in radians clockwise from north, in [0, 2 pi). Fixed
// bearings: 0 for the same point; on one meridian (equal longitudes) 0
// northwards and pi southwards; from the south pole or towards the north
// pole 0, from the north pole or towards the south pole pi.
void RangeAndBearing(const CGeoPoint& from, const CGeoPoint& to, double& range, double& bearing);

// The point reached from `from` (radians) by going `range` metres along the
// great circle that leaves it at `bearing` (radians clockwise from north).
// `to` comes back in radians, its longitude in [-pi, pi].
void PointAtRangeAndBearing(const CGeoPoint& from, double bearing, double range, CGeoPoint& to);

// Moves the sphere so that `origin` comes to latitude 0, longitude 0: every
// point keeps its range and bearing, measured from the origin before and from
// (0, 0) after.
class CGeoRotation final : public CTransformation {
public:
    CGeoRotation() = default;
    ~CGeoRotation() override = default;

    // x = longitude, y = latitude, in degrees.
    void Transform(double& x, double& y) final;
    void InverseTransform(double& x, double& y) final;
    // Radians in and out; longitudes come out in [-pi, pi].
    virtual void RotatePoint(CGeoPoint& p);
    // Degrees in and out.
    virtual void Rotate(double& lat, double& lon);
    virtual void InverseRotatePoint(CGeoPoint& p);
    virtual void InverseRotate(double& lat, double& lon);

    // The origin in degrees: latitude in [-90, 90], longitude any value.
    void SetOrigin(double latDegrees, double lonDegrees);

    // Radians.
    CGeoPoint origin;
};
