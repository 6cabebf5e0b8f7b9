#pragma once

#include "projection/Projection.h"

// Azimuthal projections seen from the centre (centreLatitude, centralMeridian),
// and the three projections that give a point as range and heading from the
// centre in metres. Heading is clockwise from north: x points east, y north.
// No forward formula tests visibility; far-side points go through the same
// formula as the others.

class CGnomonic final : public CProjection {
public:
    CGnomonic();
    MARLO_PROJECTION_FORMULAS(CGnomonic, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
};

// In metres on the sphere of radius EarthRadius.
class CStereographic final : public CProjection {
public:
    CStereographic();
    MARLO_PROJECTION_FORMULAS(CStereographic, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
};

class COrthographic final : public CProjection {
public:
    COrthographic();
    MARLO_PROJECTION_FORMULAS(COrthographic, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
};

// Not final: CSlantRangeHeading is the same projection scaled to metres.
class CLambertAzimuthalEqualArea : public CProjection {
public:
    CLambertAzimuthalEqualArea();
    MARLO_PROJECTION_FORMULAS(CLambertAzimuthalEqualArea, override)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;

protected:
    explicit CLambertAzimuthalEqualArea(int32_t type) : CProjection(type) {}
};

// Seen from perspectiveHeight sphere radii from the centre of the sphere.
class CVerticalPerspective final : public CProjection {
public:
    CVerticalPerspective();
    MARLO_PROJECTION_FORMULAS(CVerticalPerspective, final)

    double centreLatitude = 0.0;
    double centralMeridian = 0.0;
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
// equidistant).
class CRangeHeading final : public CProjection {
public:
    CRangeHeading();
    MARLO_PROJECTION_FORMULAS(CRangeHeading, final)

    CGeoPoint centre;
};

// Range measured in the plane perpendicular to the centre's vertical, in
// metres (orthographic scaled to the Earth).
class CHorizontalRangeHeading final : public CProjection {
public:
    CHorizontalRangeHeading();
    MARLO_PROJECTION_FORMULAS(CHorizontalRangeHeading, final)

    CGeoPoint centre;
};

// Straight-line chord through the sphere and heading, in metres: the Lambert
// azimuthal equal-area plane scaled by EarthRadius.
class CSlantRangeHeading final : public CLambertAzimuthalEqualArea {
public:
    CSlantRangeHeading();
    MARLO_PROJECTION_FORMULAS(CSlantRangeHeading, final)
};
