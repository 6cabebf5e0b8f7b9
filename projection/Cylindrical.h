#pragma once

#include "projection/Projection.h"

// Cylindrical projections on the unit sphere. CCylindricalEquidistant lives in
// Projection.h.

class CMercator final : public CProjection {
public:
    CMercator();
    MARLO_PROJECTION_FORMULAS(CMercator, final)

    double centralMeridian = 0.0;
};

// This system's own Miller variant: the latitude enters as phi / 5 (not
// 2 phi / 5), and the inverse matches it.
class CMillerCylindrical final : public CProjection {
public:
    CMillerCylindrical();
    MARLO_PROJECTION_FORMULAS(CMillerCylindrical, final)

    double centralMeridian = 0.0;
};

class CCylindricalEqualArea final : public CProjection {
public:
    CCylindricalEqualArea();
    MARLO_PROJECTION_FORMULAS(CCylindricalEqualArea, final)

    double standardParallel = 0.0;
    double centralMeridian = 0.0;
};

// Transverse plate carree.
class CCassini final : public CProjection {
public:
    CCassini();
    MARLO_PROJECTION_FORMULAS(CCassini, final)

    double centralMeridian = 0.0;
};
