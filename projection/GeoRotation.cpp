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
    // The arc and the bearing are taken with atan2 from the cosine of the arc
    // and the direction components rather than as arccosines: an arccosine
    // turns rounding beyond +-1 into NaN (about a third of the points on the
    // antimeridian of an origin came out NaN) and loses most of its digits for
    // points close to `from` or to its antipode.
    const sphere_math::GreatCircleView v =
        sphere_math::ViewAlongGreatCircle(phi1, lambda1, phi2, lambda2);
    const double east = v.east;
    const double north = v.north;
    const double c = std::atan2(std::sqrt(east * east + north * north), v.cosArc);
    range = EarthRadius * c;

    if (lambda2 == lambda1) {
        bearing = (phi2 < phi1) ? Pi : 0.0;
        return;
    }
    // At a pole the direction is a convention: bearing 0 from the south pole
    // or towards the north pole, pi from the north pole or towards the south
    // pole.
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

// Both rotations are RangeAndBearing followed by PointAtRangeAndBearing. In
// general the two are fused: with cos c, sin c sin(bearing) and sin c
// cos(bearing) in hand, the second step needs no trigonometry of the range or
// the bearing, which halves the cost. Points under one of the fixed bearing
// conventions take the two steps literally.
void CGeoRotation::RotatePoint(CGeoPoint& p) {
    if (sphere_math::HasFixedBearing(origin.lat, origin.lon, p.lat, p.lon)) {
        double range = 0.0;
        double bearing = 0.0;
        RangeAndBearing(origin, p, range, bearing);
        PointAtRangeAndBearing(CGeoPoint{}, bearing, range, p);
        return;
    }
    // Seen from (0, 0): latitude asin(sin c cos bearing), longitude
    // atan2(sin c sin bearing, cos c).
    const sphere_math::GreatCircleView v =
        sphere_math::ViewAlongGreatCircle(origin.lat, origin.lon, p.lat, p.lon);
    p.lat = std::asin(ClampUnit(v.north));
    p.lon = std::atan2(v.east, v.cosArc);
}

void CGeoRotation::InverseRotatePoint(CGeoPoint& p) {
    if (sphere_math::HasFixedBearing(0.0, 0.0, p.lat, p.lon)) {
        double range = 0.0;
        double bearing = 0.0;
        RangeAndBearing(CGeoPoint{}, p, range, bearing);
        PointAtRangeAndBearing(origin, bearing, range, p);
        return;
    }
    // Seen from (0, 0) the point's arc and direction are its own coordinates.
    const double sinPhi = std::sin(p.lat);
    const double cosPhi = std::cos(p.lat);
    const double cosArc = std::cos(p.lon) * cosPhi;
    const double east = std::sin(p.lon) * cosPhi;
    const double north = sinPhi;
    const double sinPhi1 = std::sin(origin.lat);
    const double cosPhi1 = std::cos(origin.lat);
    const double sinResult = ClampUnit(sinPhi1 * cosArc + cosPhi1 * north);
    p.lat = std::asin(sinResult);
    p.lon =
        NormaliseLongitude(origin.lon + std::atan2(east * cosPhi1, cosArc - sinPhi1 * sinResult));
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
