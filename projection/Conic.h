#pragma once

#include "projection/Projection.h"

// Conic and cone-like projections on the unit sphere. Units as in
// Projection.h: points in degrees, parameters in radians. The members that
// depend only on the parameters are computed once, at construction, and are
// not updated when a parameter is changed later.
//
// For the three true conics, n is the cone constant (the fraction of a full
// turn that the map's meridians fan through); it is negative for a cone
// whose apex lies over the south pole. The plane point of a conic lies at
// distance rho from the apex, which sits at (0, rho0).
//
// Where the code departs from a plain transcription of the formulas, and why:
//  - Lambert Conformal Conic keeps rho0, the radius of the origin parallel,
//    instead of computing it for every point: it depends only on the
//    parameters.
//  - The inverses of the cones with n < 0 take rho as negative and turn the
//    plane point through half a turn about the apex before measuring its
//    angle, as the forward formulas make it: the plain atan2(x, rho0 - y)
//    holds only for n > 0 (Lambert's one-argument arctangent of x / (rho0 -
//    y) does not see the turn).
//  - Polyconic's forward treats the equator as the straight limit of its
//    cones, where the formula divides 0 by 0, and writes 1 - cos E as
//    2 sin^2(E / 2), which keeps its digits for small E. Its inverse treats
//    the image of the equator on its own, where the Newton step would divide
//    by tan 0, and starts the iteration from the latitude on the central
//    meridian for points near it, where the textbook start lies so close to
//    the false root 0 that the iteration ended there.

class CAlbersEqualAreaConic final : public CProjection {
public:
    static constexpr double DefaultStandardParallel1 = 1.0471975511965976; // 60 degrees
    static constexpr double DefaultStandardParallel2 = 1.0471975511965976; // 60 degrees

    // The standard parallels in radians, in [-pi/2, pi/2], not opposite each
    // other (n = (sin p1 + sin p2) / 2 must not be 0). The origin latitude,
    // in radians, maps to y = 0 on the central meridian (radians, any value).
    CAlbersEqualAreaConic();
    CAlbersEqualAreaConic(double standardParallel1, double standardParallel2,
                          double originLatitude = 0.0, double centralMeridian = 0.0);
    MARLO_PROJECTION_FORMULAS(CAlbersEqualAreaConic, final)

    double standardParallel1;
    double standardParallel2;
    double originLatitude;
    double centralMeridian;
    // Derived: the sines and cosine of the parallels, n, C = cos^2 p1 +
    // 2 n sin p1, and rho0.
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

    // The standard parallels in radians, in (-pi/2, pi/2), distinct and not
    // opposite each other (n would be 0 or 0 / 0). The pole on the far side
    // of the apex maps to infinity. Origin latitude and central meridian as
    // for Albers.
    CLambertConformalConic();
    CLambertConformalConic(double standardParallel1, double standardParallel2,
                           double originLatitude = 0.0, double centralMeridian = 0.0);
    MARLO_PROJECTION_FORMULAS(CLambertConformalConic, final)

    double standardParallel1;
    double standardParallel2;
    double originLatitude;
    double centralMeridian;
    // Derived: n and F = cos p1 tan(pi/4 + p1/2)^n / n.
    double n;
    double F;

private:
    // Radius of the origin parallel, F / tan(pi/4 + phi0/2)^n.
    double rho0;
};

class CConicEquidistant final : public CProjection {
public:
    static constexpr double DefaultStandardParallel1 = 0.0;
    static constexpr double DefaultStandardParallel2 = 1.0471975511965976; // 60 degrees

    // The standard parallels in radians, in [-pi/2, pi/2] and distinct (n =
    // (cos p1 - cos p2) / (p2 - p1) must not be 0 / 0), not at the same
    // distance from the equator on both sides (n would be 0). Origin latitude
    // and central meridian as for Albers.
    CConicEquidistant();
    CConicEquidistant(double standardParallel1, double standardParallel2,
                      double originLatitude = 0.0, double centralMeridian = 0.0);
    MARLO_PROJECTION_FORMULAS(CConicEquidistant, final)

    double standardParallel1;
    double standardParallel2;
    double originLatitude;
    double centralMeridian;
    // Derived: n, G = cos p1 / n + p1, and rho0 = G - originLatitude.
    double n;
    double G;
    double rho0;
};

// The inverse finds the latitude by Newton iteration; it recovers the
// longitude only while |(lambda - centralMeridian) sin phi| <= 90 degrees.
class CPolyconic final : public CProjection {
public:
    CPolyconic();
    MARLO_PROJECTION_FORMULAS(CPolyconic, final)

    // Radians: the parallel that maps to y = 0, in [-pi/2, pi/2].
    double originLatitude = 0.0;
    // Radians, any value.
    double centralMeridian = 0.0;
};

// Bonne: concentric parallels true to scale, centred on the standard parallel.
class CBonneProjection final : public CProjection {
public:
    static constexpr double DefaultStandardParallel1 = 0.6981317007977318; // 40 degrees

    CBonneProjection();
    MARLO_PROJECTION_FORMULAS(CBonneProjection, final)

    // Radians, in [-pi/2, pi/2] but not 0: its cotangent is the radius of
    // the standard parallel, which maps to y = 0 on the central meridian.
    double standardParallel1;
    // Radians, any value.
    double centralMeridian;
    // Derived: 1 / tan(standardParallel1).
    double cotStandardParallel1;
};
