#pragma once

#include "projection/Projection.h"

// Azimuthal projections seen from the centre (centreLatitude, centralMeridian),
// and the three projections that give a point as range and heading from the
// centre in metres. Heading is clockwise from north: x points east, y north.
// No forward formula tests visibility; far-side points go through the same
// formula as the others. Units as in Projection.h: points in degrees, the
// centre in radians (centreLatitude in [-pi/2, pi/2], centralMeridian any
// value, or the CGeoPoint centre).
//
// Where the code departs from a plain transcription of the formulas, and why:
//  - The inverses take the longitude from the two-argument arctangent. The
//    one-argument form with a quadrant test on rho^2 >= 2 (Lambert equal
//    area) disagrees with it after rounding exactly 90 degrees from the
//    centre and gave +-270 degrees there.
//  - The centre of the plane (rho = 0, where the inverse divides 0 by 0)
//    goes back to the centre of the projection.
//  - RangeHeading and HorizontalRangeHeading do not compute the heading:
//    range times its sine and cosine is a multiple of the east and north
//    components of the great circle to the point, which saves an arctangent
//    and its sine and cosine. Points under one of RangeAndBearing's fixed
//    bearing conventions (and for RangeHeading the centre and its antipode,
//    where the direction is 0 / 0) go through RangeAndBearing itself.

// Points 90 degrees from the centre map to infinity; farther ones come out
// through the centre, mirrored.
class CGnomonic final : public CProjection {
public:
    CGnomonic();
    MARLO_PROJECTION_FORMULAS(CGnomonic, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
};

// In metres on the sphere of radius EarthRadius. The antipode of the centre
// maps to infinity.
class CStereographic final : public CProjection {
public:
    CStereographic();
    MARLO_PROJECTION_FORMULAS(CStereographic, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
};

// The far hemisphere lands on top of the near one.
class COrthographic final : public CProjection {
public:
    COrthographic();
    MARLO_PROJECTION_FORMULAS(COrthographic, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
};

// The antipode of the centre is 0 / 0. Not final: CSlantRangeHeading is the
// same projection scaled to metres.
class CLambertAzimuthalEqualArea : public CProjection {
public:
    CLambertAzimuthalEqualArea();
    MARLO_PROJECTION_FORMULAS(CLambertAzimuthalEqualArea, override)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;

protected:
    explicit CLambertAzimuthalEqualArea(int32_t type) : CProjection(type) {}
};

// The sphere as seen from a point above the centre. The inverse is exact on
// the visible cap (cos c >= 1 / perspectiveHeight); plane points beyond the
// horizon circle give NaN.
class CVerticalPerspective final : public CProjection {
public:
    CVerticalPerspective();
    MARLO_PROJECTION_FORMULAS(CVerticalPerspective, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
    // Distance of the viewpoint from the centre of the sphere, in sphere
    // radii, above 1.
    float perspectiveHeight = 10.0f;
};

// Orthographic forward with its own heading-based inverse, whose longitudes
// are normalised into [-180, 180].
class CVertical final : public CProjection {
public:
    CVertical();
    MARLO_PROJECTION_FORMULAS(CVertical, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
};

// Great-circle range and heading from the centre, in metres (azimuthal
// equidistant). The inverse normalises the longitude into [-180, 180].
class CRangeHeading final : public CProjection {
public:
    CRangeHeading();
    MARLO_PROJECTION_FORMULAS(CRangeHeading, final)

    // Radians.
    CGeoPoint centre;
};

// Range measured in the plane perpendicular to the centre's vertical, in
// metres (orthographic scaled to the Earth). The inverse normalises the
// longitude into [-180, 180].
class CHorizontalRangeHeading final : public CProjection {
public:
    CHorizontalRangeHeading();
    MARLO_PROJECTION_FORMULAS(CHorizontalRangeHeading, final)

    // Radians.
    CGeoPoint centre;
};

// Straight-line chord through the sphere and heading, in metres: the Lambert
// azimuthal equal-area plane scaled by EarthRadius.
class CSlantRangeHeading final : public CLambertAzimuthalEqualArea {
public:
    CSlantRangeHeading();
    MARLO_PROJECTION_FORMULAS(CSlantRangeHeading, final)
};
