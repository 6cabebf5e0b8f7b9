#include "projection/GeoRotation.h"

#include "projection/SphereMath.h"

#include <cmath>

using sphere_math::ClampUnit;
using sphere_math::NormaliseLongitude;

void RangeAndBearing(const CGeoPoint& from, const CGeoPoint& to, double& range, double& bearing) {
    const double phi1 = from.lat;
    const double lambda1 = from.lon;
    const double phi2 = to.lat;
    const double lambda2 = to.lon;
    if (phi2 == phi1 && lambda2 == lambda1) {
        range = 0.0;
        bearing = 0.0;
        return;
    }
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    const double sinPhi2 = std::sin(phi2);
    const double cosPhi2 = std::cos(phi2);
    const double deltaLambda = lambda2 - lambda1;
    const double cosDelta = std::cos(deltaLambda);
    // Cosine of the arc, and the east and north components of the direction of
    // `to` in the plane tangent at `from` (each scaled by the sine of the arc).
    // The arc and the bearing are taken from them with atan2 rather than as
    // arccosines: an arccosine turns rounding beyond +-1 into NaN and loses
    // most of its digits for points close to `from` or to its antipode.
    const double s = cosDelta * (cosPhi2 * cosPhi1) + sinPhi2 * sinPhi1;
    const double east = std::sin(deltaLambda) * cosPhi2;
    const double north = cosPhi1 * sinPhi2 - sinPhi1 * cosPhi2 * cosDelta;
    const double c = std::atan2(std::sqrt(east * east + north * north), s);
    range = EarthRadius * c;

    if (lambda2 == lambda1) {
        bearing = (phi2 < phi1) ? Pi : 0.0;
        return;
    }
    // From a pole every direction is south (or north); the convention is a
    // fixed bearing so that the meridians stay meridians.
    if (std::fabs(phi1) == HalfPi || std::fabs(phi2) == HalfPi) {
        if (phi1 == -HalfPi || phi2 == HalfPi) {
            bearing = 0.0;
            return;
        }
        if (phi1 == HalfPi || phi2 == -HalfPi) {
            bearing = Pi;
            return;
        }
    }
    double a = std::atan2(east, north);
    if (a < 0.0) {
        a += TwoPi;
    }
    bearing = (a == TwoPi) ? 0.0 : a;
}

void PointAtRangeAndBearing(const CGeoPoint& from, double bearing, double range, CGeoPoint& to) {
    const double phi1 = from.lat;
    const double lambda1 = from.lon;
    const double c = range / EarthRadius;
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    const double sinC = std::sin(c);
    const double cosC = std::cos(c);
    const double sinPhi = ClampUnit(sinPhi1 * cosC + cosPhi1 * sinC * std::cos(bearing));
    const double phi = std::asin(sinPhi);
    const double lambda =
        lambda1 + std::atan2(std::sin(bearing) * sinC * cosPhi1, cosC - sinPhi1 * sinPhi);
    to.lat = phi;
    to.lon = NormaliseLongitude(lambda);
}

void CGeoRotation::SetOrigin(double latDegrees, double lonDegrees) {
    origin.lat = latDegrees * DegreesToRadians;
    origin.lon = lonDegrees * DegreesToRadians;
}

void CGeoRotation::Transform(double& x, double& y) {
    CGeoRotation::Rotate(y, x);
}

void CGeoRotation::InverseTransform(double& x, double& y) {
    CGeoRotation::InverseRotate(y, x);
}

void CGeoRotation::RotatePoint(CGeoPoint& p) {
    double range = 0.0;
    double bearing = 0.0;
    RangeAndBearing(origin, p, range, bearing);
    PointAtRangeAndBearing(CGeoPoint{}, bearing, range, p);
}

void CGeoRotation::InverseRotatePoint(CGeoPoint& p) {
    double range = 0.0;
    double bearing = 0.0;
    RangeAndBearing(CGeoPoint{}, p, range, bearing);
    PointAtRangeAndBearing(origin, bearing, range, p);
}

void CGeoRotation::Rotate(double& lat, double& lon) {
    CGeoPoint p{lat * DegreesToRadians, lon * DegreesToRadians};
    RotatePoint(p);
    lat = p.lat * RadiansToDegrees;
    lon = p.lon * RadiansToDegrees;
}

void CGeoRotation::InverseRotate(double& lat, double& lon) {
    CGeoPoint p{lat * DegreesToRadians, lon * DegreesToRadians};
    InverseRotatePoint(p);
    lat = p.lat * RadiansToDegrees;
    lon = p.lon * RadiansToDegrees;
}
