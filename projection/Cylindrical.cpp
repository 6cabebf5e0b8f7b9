#include "projection/Cylindrical.h"

#include "projection/SphereMath.h"

#include <cmath>

using sphere_math::StoreDegrees;

namespace {

// Euler's number and 5 pi / 4, for the inverse of Miller's variant.
constexpr double EulerNumber = 2.718281828459045;
constexpr double FiveQuarterPi = 3.9269908169872414;

} // namespace

CMercator::CMercator() : CProjection(MercatorCode) {}

void CMercator::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    // asinh(tan phi) is ln(tan phi + 1 / cos phi) without the cancellation of
    // the two large terms in the far south: the southern hemisphere comes out
    // as exactly the mirror of the northern one, down to the pole.
    lat = std::asinh(std::tan(phi));
    lon = lambda - centralMeridian;
}

void CMercator::InverseProject(double& y, double& x) {
    const double phi = std::atan(std::sinh(y));
    const double lambda = x + centralMeridian;
    StoreDegrees(phi, lambda, y, x);
}

CMillerCylindrical::CMillerCylindrical() : CProjection(MillerCylindricalCode) {}

void CMillerCylindrical::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    lat = 1.25 * std::log(std::tan(QuarterPi + 0.2 * phi));
    lon = lambda - centralMeridian;
}

void CMillerCylindrical::InverseProject(double& y, double& x) {
    const double phi = 5.0 * std::atan(std::pow(EulerNumber, 0.8 * y)) - FiveQuarterPi;
    const double lambda = x + centralMeridian;
    StoreDegrees(phi, lambda, y, x);
}

CCylindricalEqualArea::CCylindricalEqualArea() : CProjection(CylindricalEqualAreaCode) {}

void CCylindricalEqualArea::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    const double cosParallel = std::cos(standardParallel);
    lat = std::sin(phi) / cosParallel;
    lon = cosParallel * (lambda - centralMeridian);
}

void CCylindricalEqualArea::InverseProject(double& y, double& x) {
    const double cosParallel = std::cos(standardParallel);
    const double phi = std::asin(y * cosParallel);
    const double lambda = x / cosParallel + centralMeridian;
    StoreDegrees(phi, lambda, y, x);
}

CCassini::CCassini() : CProjection(CassiniCode) {}

void CCassini::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double L = lon * DegreesToRadians - centralMeridian;
    const double sinPhi = std::sin(phi);
    const double cosPhi = std::cos(phi);
    lon = std::asin(cosPhi * std::sin(L));
    // atan2(tan phi, cos L) with both arguments scaled by |cos phi| > 0, which
    // leaves the angle unchanged and saves the tangent.
    lat = std::atan2(cosPhi < 0 ? -sinPhi : sinPhi, std::fabs(cosPhi) * std::cos(L));
}

void CCassini::InverseProject(double& y, double& x) {
    const double D = y;
    const double phi = std::asin(std::sin(D) * std::cos(x));
    const double lambda = centralMeridian + std::atan2(std::tan(x), std::cos(D));
    StoreDegrees(phi, lambda, y, x);
}
