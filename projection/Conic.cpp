#include "projection/Conic.h"

#include "projection/SphereMath.h"

#include <cmath>

using sphere_math::StoreDegrees;

namespace {

// Distance of the plane point (x, t) from the apex of the cone, signed like
// the cone constant n, as the inverse of a cone with its apex over the south
// pole (n < 0) needs it. n is taken by reference: GCC then compiles the
// inverses exactly as with this code written out in each of them.
inline double SignedApexDistance(double x, double t, const double& n) {
    double rho = std::sqrt(x * x + t * t);
    if (n < 0) {
        rho = -rho;
    }
    return rho;
}

// The angle of the plane point (x, t) about the apex, as the forward formulas
// measure it. For a cone with its apex over the south pole (n < 0) the
// forward point is rho (sin theta, cos theta) with a negative rho, so x and t
// are turned back before the two-argument arctangent.
inline double ApexAngle(double x, double t, const double& n) {
    return n < 0 ? std::atan2(-x, -t) : std::atan2(x, t);
}

// The Polyconic inverse's Newton iteration: the start value away from the
// central meridian is PolyconicStartFactor A |x|, and within
// PolyconicMeridianBand of it A itself. The start offset makes the loop run
// at least once; it stops when a step is at most PolyconicStepBound, or
// after PolyconicMaxSteps steps with the latitude it has reached.
constexpr double PolyconicStartFactor = 0.1;
constexpr double PolyconicMeridianBand = 0.01;
constexpr double PolyconicStartOffset = 1e-7;
constexpr double PolyconicStepBound = 1e-8;
constexpr int PolyconicMaxSteps = 500;

} // namespace

CAlbersEqualAreaConic::CAlbersEqualAreaConic()
    : CAlbersEqualAreaConic(DefaultStandardParallel1, DefaultStandardParallel2) {}

CAlbersEqualAreaConic::CAlbersEqualAreaConic(double standardParallel1, double standardParallel2,
                                             double originLatitude, double centralMeridian)
    : CProjection(AlbersEqualAreaConicCode), standardParallel1(standardParallel1),
      standardParallel2(standardParallel2), originLatitude(originLatitude),
      centralMeridian(centralMeridian) {
    sinStandardParallel1 = std::sin(standardParallel1);
    sinStandardParallel2 = std::sin(standardParallel2);
    cosStandardParallel1 = std::cos(standardParallel1);
    n = (sinStandardParallel1 + sinStandardParallel2) / 2;
    C = cosStandardParallel1 * cosStandardParallel1 + 2 * n * sinStandardParallel1;
    rho0 = std::sqrt(C - 2 * n * std::sin(originLatitude)) / n;
}

void CAlbersEqualAreaConic::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    const double theta = n * (lambda - centralMeridian);
    const double rho = std::sqrt(C - 2 * n * std::sin(phi)) / n;
    lon = rho * std::sin(theta);
    lat = rho0 - rho * std::cos(theta);
}

void CAlbersEqualAreaConic::InverseProject(double& y, double& x) {
    const double t = rho0 - y;
    const double theta = ApexAngle(x, t, n);
    const double rho = std::sqrt(x * x + t * t);
    const double phi = std::asin((C - rho * rho * n * n) / (2 * n));
    const double lambda = theta / n + centralMeridian;
    StoreDegrees(phi, lambda, y, x);
}

CLambertConformalConic::CLambertConformalConic()
    : CLambertConformalConic(DefaultStandardParallel1, DefaultStandardParallel2) {}

CLambertConformalConic::CLambertConformalConic(double standardParallel1, double standardParallel2,
                                               double originLatitude, double centralMeridian)
    : CProjection(LambertConformalConicCode), standardParallel1(standardParallel1),
      standardParallel2(standardParallel2), originLatitude(originLatitude),
      centralMeridian(centralMeridian) {
    n = std::log(std::cos(standardParallel1) * (1 / std::cos(standardParallel2))) /
        std::log(std::tan(QuarterPi + standardParallel2 / 2) *
                 (1 / std::tan(QuarterPi + standardParallel1 / 2)));
    F = std::cos(standardParallel1) * std::pow(std::tan(QuarterPi + standardParallel1 / 2), n) / n;
    rho0 = F * std::pow(1 / std::tan(QuarterPi + originLatitude / 2), n);
}

void CLambertConformalConic::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    const double rho = F * std::pow(1 / std::tan(QuarterPi + phi / 2), n);
    const double theta = n * (lambda - centralMeridian);
    lon = rho * std::sin(theta);
    lat = rho0 - rho * std::cos(theta);
}

void CLambertConformalConic::InverseProject(double& y, double& x) {
    const double t = rho0 - y;
    const double rho = SignedApexDistance(x, t, n);
    const double theta = std::atan(x / t);
    const double phi = 2 * std::atan(std::pow(F / rho, 1 / n)) - HalfPi;
    const double lambda = theta / n + centralMeridian;
    StoreDegrees(phi, lambda, y, x);
}

CConicEquidistant::CConicEquidistant()
    : CConicEquidistant(DefaultStandardParallel1, DefaultStandardParallel2) {}

CConicEquidistant::CConicEquidistant(double standardParallel1, double standardParallel2,
                                     double originLatitude, double centralMeridian)
    : CProjection(ConicEquidistantCode), standardParallel1(standardParallel1),
      standardParallel2(standardParallel2), originLatitude(originLatitude),
      centralMeridian(centralMeridian) {
    n = (std::cos(standardParallel1) - std::cos(standardParallel2)) /
        (standardParallel2 - standardParallel1);
    G = std::cos(standardParallel1) / n + standardParallel1;
    rho0 = G - originLatitude;
}

void CConicEquidistant::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    const double theta = n * (lambda - centralMeridian);
    const double rho = G - phi;
    lon = rho * std::sin(theta);
    lat = rho0 - rho * std::cos(theta);
}

void CConicEquidistant::InverseProject(double& y, double& x) {
    const double t = rho0 - y;
    const double rho = SignedApexDistance(x, t, n);
    const double theta = ApexAngle(x, t, n);
    const double phi = G - rho;
    const double lambda = theta / n + centralMeridian;
    StoreDegrees(phi, lambda, y, x);
}

CPolyconic::CPolyconic() : CProjection(PolyconicCode) {}

void CPolyconic::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double deltaLambda = lon * DegreesToRadians - centralMeridian;
    if (phi == 0.0) {
        // The equator is the straight limit of the cones: x is the longitude
        // difference and y the distance below the origin parallel.
        lon = deltaLambda;
        lat = -originLatitude;
        return;
    }
    const double E = deltaLambda * std::sin(phi);
    const double cotPhi = 1 / std::tan(phi);
    // 1 - cos E written as 2 sin^2(E / 2), which keeps its digits when E is
    // small, as it is for every point near the equator.
    const double halfSinE = std::sin(0.5 * E);
    lon = std::sin(E) * cotPhi;
    lat = 2 * halfSinE * halfSinE * cotPhi + (phi - originLatitude);
}

void CPolyconic::InverseProject(double& y, double& x) {
    const double A = originLatitude + y;
    double phi = 0.0;
    double lambda = 0.0;
    if (A == 0.0) {
        // The image of the equator, where the Newton step would divide by tan 0.
        lambda = x + centralMeridian;
    } else {
        const double B = x * x + A * A;
        // The start 0.1 A |x| suits points well away from the central meridian.
        // Close to it (|x| < 0.01) that start lies so near the false root
        // phi = 0 that the iteration ended there and the point lost its
        // latitude; there the iteration starts from A, the latitude the point
        // would have on the meridian itself.
        phi = (std::fabs(x) < PolyconicMeridianBand) ? A : PolyconicStartFactor * A * std::fabs(x);
        double prev = phi + PolyconicStartOffset;
        int count = 0;
        while (std::fabs(phi - prev) > PolyconicStepBound) {
            prev = phi;
            const double T = std::tan(phi);
            ++count;
            phi = phi - (A * (phi * T + 1) - phi - 0.5 * (phi * phi + B) * T) / ((phi - A) / T - 1);
            if (count == PolyconicMaxSteps) {
                break;
            }
        }
        lambda = std::asin(x * std::tan(phi)) / std::sin(phi) + centralMeridian;
    }
    StoreDegrees(phi, lambda, y, x);
}

CBonneProjection::CBonneProjection()
    : CProjection(BonneCode), standardParallel1(DefaultStandardParallel1),
      centralMeridian(0.0 * DegreesToRadians) {
    cotStandardParallel1 = 1 / std::tan(standardParallel1);
}

void CBonneProjection::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    const double rho = cotStandardParallel1 + standardParallel1 - phi;
    const double E = (lambda - centralMeridian) * std::cos(phi) / rho;
    lon = rho * std::sin(E);
    lat = cotStandardParallel1 - rho * std::cos(E);
}

void CBonneProjection::InverseProject(double& y, double& x) {
    const double t = cotStandardParallel1 - y;
    const double distance = std::sqrt(x * x + t * t);
    const double rho = (cotStandardParallel1 > y) ? distance : -distance;
    double phi = cotStandardParallel1 + standardParallel1 - rho;
    bool signTurned = false;
    if (phi > HalfPi) {
        phi = cotStandardParallel1 + standardParallel1 + rho;
        signTurned = true;
    }
    double lambda = rho * std::atan2(x, t) / std::cos(phi) + centralMeridian;
    if (signTurned) {
        lambda = -lambda;
    }
    StoreDegrees(phi, lambda, y, x);
}
