#pragma once

#include "projection/Projection.h"

// Cylindrical projections on the unit sphere. CCylindricalEquidistant lives in
// Projection.h. Units as in Projection.h: points in degrees, parameters in
// radians.
//
// Where the code departs from a plain transcription of the formulas, and why:
//  - Mercator's y is asinh(tan phi), which equals ln tan(pi/4 + phi/2) but
//    does not cancel two large terms in the far south, so the southern
//    hemisphere comes out as exactly the mirror of the northern one. At the
//    poles tan phi is about 1.6e16 and y is about +-37.3, not infinite.
//  - Cassini's atan2(tan phi, cos L) is evaluated with both arguments scaled
//    by |cos phi|, which leaves the angle unchanged and saves the tangent.
//  - Miller is this system's own variant (phi / 5 where the textbook has
//    2 phi / 5), with the inverse that matches it.

class CMercator final : public CProjection {
public:
    CMercator();
    MARLO_PROJECTION_FORMULAS(CMercator, final)

    // Radians, any value: the longitude that maps to x = 0.
    double centralMeridian = 0.0;
};

// y = 1.25 ln tan(pi/4 + phi/5); the inverse is phi = 5 atan(e^(0.8 y)) -
// 5 pi / 4.
class CMillerCylindrical final : public CProjection {
public:
    CMillerCylindrical();
    MARLO_PROJECTION_FORMULAS(CMillerCylindrical, final)

    // Radians, any value.
    double centralMeridian = 0.0;
};

// Lambert's cylindrical equal-area projection, stretched to be true to scale
// along the standard parallels.
class CCylindricalEqualArea final : public CProjection {
public:
    CCylindricalEqualArea();
    MARLO_PROJECTION_FORMULAS(CCylindricalEqualArea, final)

    // Radians, in (-pi/2, pi/2): both directions divide by its cosine.
    double standardParallel = 0.0;
    // Radians, any value.
    double centralMeridian = 0.0;
};

// Transverse plate carree: x is the great-circle arc from the central
// meridian, y the arc along the central meridian to the foot of that arc.
class CCassini final : public CProjection {
public:
    CCassini();
    MARLO_PROJECTION_FORMULAS(CCassini, final)

    // Radians, any value.
    double centralMeridian = 0.0;
};
