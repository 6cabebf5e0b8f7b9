#pragma once

#include "projection/Projection.h"

// Pseudo-cylindrical and other whole-world projections on the unit sphere.
// Mollweide and the two Eckerts find an auxiliary angle by Newton iteration.

class CSinusoidal final : public CProjection {
public:
    CSinusoidal();
    MARLO_PROJECTION_FORMULAS(CSinusoidal, final)

    double centralMeridian = 0.0;
};

class CMollweide final : public CProjection {
public:
    CMollweide();
    MARLO_PROJECTION_FORMULAS(CMollweide, final)

    double centralMeridian = 0.0;
};

class CEckertIV final : public CProjection {
public:
    CEckertIV();
    MARLO_PROJECTION_FORMULAS(CEckertIV, final)

    double centralMeridian = 0.0;
};

class CEckertVI final : public CProjection {
public:
    CEckertVI();
    MARLO_PROJECTION_FORMULAS(CEckertVI, final)

    double centralMeridian = 0.0;
};

class CVanDerGrinten final : public CProjection {
public:
    CVanDerGrinten();
    MARLO_PROJECTION_FORMULAS(CVanDerGrinten, final)

    double centralMeridian = 0.0;
};
