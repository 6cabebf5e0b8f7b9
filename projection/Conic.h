#pragma once

#include "projection/Projection.h"

// Conic and cone-like projections on the unit sphere. The constants that
// depend only on the parameters are computed once, at construction.

class CAlbersEqualAreaConic final : public CProjection {
public:
    static constexpr double DefaultStandardParallel1 = 1.0471975511965976; // 60 degrees
    static constexpr double DefaultStandardParallel2 = 1.0471975511965976; // 60 degrees

    CAlbersEqualAreaConic();
    CAlbersEqualAreaConic(double standardParallel1, double standardParallel2,
                          double originLatitude = 0.0, double centralMeridian = 0.0);
    MARLO_PROJECTION_FORMULAS(CAlbersEqualAreaConic, final)

    double standardParallel1;
    double standardParallel2;
    double originLatitude;
    double centralMeridian;
    double sinStandardParallel1;
    double sinStandardParallel2;
    double cosStandardParallel1;
    double n;
    double C;
    double rho0;
};

class CLambertConformalConic final : public CProjection {
public:
    static constexpr double DefaultStandardParallel1 = 0.8726646259971648;   // 50 degrees
    static constexpr double DefaultStandardParallel2 = -0.17453292519943295; // -10 degrees

    CLambertConformalConic();
    CLambertConformalConic(double standardParallel1, double standardParallel2,
                           double originLatitude = 0.0, double centralMeridian = 0.0);
    MARLO_PROJECTION_FORMULAS(CLambertConformalConic, final)

    double standardParallel1;
    double standardParallel2;
    double originLatitude;
    double centralMeridian;
    double n;
    double F;

private:
    // Radius of the origin parallel, F / tan(pi/4 + phi0/2)^n. It depends only
    // on the parameters, so it is computed once instead of on every point.
    double rho0;
};

class CConicEquidistant final : public CProjection {
public:
    static constexpr double DefaultStandardParallel1 = 0.0;
    static constexpr double DefaultStandardParallel2 = 1.0471975511965976; // 60 degrees

    CConicEquidistant();
    CConicEquidistant(double standardParallel1, double standardParallel2,
                      double originLatitude = 0.0, double centralMeridian = 0.0);
    MARLO_PROJECTION_FORMULAS(CConicEquidistant, final)

    double standardParallel1;
    double standardParallel2;
    double originLatitude;
    double centralMeridian;
    double n;
    double G;
    double rho0;
};

// The inverse finds the latitude by Newton iteration.
class CPolyconic final : public CProjection {
public:
    CPolyconic();
    MARLO_PROJECTION_FORMULAS(CPolyconic, final)

    double originLatitude = 0.0;
    double centralMeridian = 0.0;
};

class CBonneProjection final : public CProjection {
public:
    CBonneProjection();
    MARLO_PROJECTION_FORMULAS(CBonneProjection, final)

    double standardParallel1;
    double centralMeridian;
    double cotStandardParallel1;
};
