#include "projection/Azimuthal.h"

#include "projection/GeoRotation.h"
#include "projection/SphereMath.h"

#include <cmath>

using sphere_math::NormaliseLongitude;
using sphere_math::StoreDegrees;

namespace {

// Where a point lies as seen from the centre (phi1, lambda0): the cosine of
// its arc from the centre, and its east and north offsets on the unit sphere
// (the orthographic plane point).
struct AzimuthalView {
    double cosC;
    double east;
    double north;
};

inline AzimuthalView ViewFromCentre(double phi1, double lambda0, double phi, double lambda) {
    const double L = lambda - lambda0;
    const double sinPhi = std::sin(phi);
    const double cosPhi = std::cos(phi);
    const double cosL = std::cos(L);
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    return {sinPhi1 * sinPhi + cosPhi1 * cosPhi * cosL, cosPhi * std::sin(L),
            cosPhi1 * sinPhi - sinPhi1 * cosPhi * cosL};
}

// The inverse shared by the classical azimuthals: the plane point (x, y) at
// distance rho from the plane centre lies c radians of arc from the centre of
// the projection. The plane centre itself (rho = 0, where the general formula
// divides 0 by 0) is the centre of the projection.
inline void AzimuthalInverse(double phi1, double lambda0, double x, double y, double rho, double c,
                             double& phi, double& lambda) {
    if (rho == 0.0) {
        phi = phi1;
        lambda = lambda0;
        return;
    }
    const double sinC = std::sin(c);
    const double cosC = std::cos(c);
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    phi = std::asin(cosC * sinPhi1 + y * sinC * cosPhi1 / rho);
    lambda = lambda0 + std::atan2(x * sinC, rho * cosPhi1 * cosC - y * sinPhi1 * sinC);
}

// The inverse of the projections that give the point by its heading alpha
// (clockwise from north) from the centre and the sine and cosine of its arc
// c: the point at that arc along that great circle, longitude normalised.
inline void HeadingInverse(double phi1, double lambda0, double sinAlpha, double cosAlpha,
                           double sinC, double cosC, double& phi, double& lambda) {
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    phi = std::asin(sinPhi1 * cosC + cosPhi1 * sinC * cosAlpha);
    lambda = NormaliseLongitude(
        lambda0 + std::atan2(sinAlpha * sinC * cosPhi1, cosC - sinPhi1 * std::sin(phi)));
}

// The stereographic scale 2 EarthRadius / (1 + cos c) has 2 EarthRadius,
// in metres, as its numerator.
constexpr double EarthDiameter = 12741998.0;

} // namespace

// Gnomonic -----------------------------------------------------------------

CGnomonic::CGnomonic() : CProjection(GnomonicCode) {}

void CGnomonic::Project(double& lat, double& lon) {
    const AzimuthalView v = ViewFromCentre(centreLatitude, centralMeridian, lat * DegreesToRadians,
                                           lon * DegreesToRadians);
    lon = v.east / v.cosC;
    lat = v.north / v.cosC;
}

void CGnomonic::InverseProject(double& y, double& x) {
    const double rho = std::sqrt(x * x + y * y);
    double phi = 0.0;
    double lambda = 0.0;
    AzimuthalInverse(centreLatitude, centralMeridian, x, y, rho, std::atan(rho), phi, lambda);
    StoreDegrees(phi, lambda, y, x);
}

// Stereographic ------------------------------------------------------------

CStereographic::CStereographic() : CProjection(StereographicCode) {}

void CStereographic::Project(double& lat, double& lon) {
    const AzimuthalView v = ViewFromCentre(centreLatitude, centralMeridian, lat * DegreesToRadians,
                                           lon * DegreesToRadians);
    const double k = EarthDiameter / (1 + v.cosC);
    lon = k * v.east;
    lat = k * v.north;
}

void CStereographic::InverseProject(double& y, double& x) {
    const double rho = std::sqrt(x * x + y * y);
    double phi = 0.0;
    double lambda = 0.0;
    AzimuthalInverse(centreLatitude, centralMeridian, x, y, rho, 2 * std::atan2(rho, EarthDiameter),
                     phi, lambda);
    StoreDegrees(phi, lambda, y, x);
}

// Orthographic -------------------------------------------------------------

COrthographic::COrthographic() : CProjection(OrthographicCode) {}

void COrthographic::Project(double& lat, double& lon) {
    const AzimuthalView v = ViewFromCentre(centreLatitude, centralMeridian, lat * DegreesToRadians,
                                           lon * DegreesToRadians);
    lon = v.east;
    lat = v.north;
}

void COrthographic::InverseProject(double& y, double& x) {
    const double rho = std::sqrt(x * x + y * y);
    double phi = 0.0;
    double lambda = 0.0;
    AzimuthalInverse(centreLatitude, centralMeridian, x, y, rho, std::asin(rho), phi, lambda);
    StoreDegrees(phi, lambda, y, x);
}

// Lambert azimuthal equal area ---------------------------------------------

CLambertAzimuthalEqualArea::CLambertAzimuthalEqualArea()
    : CProjection(LambertAzimuthalEqualAreaCode) {}

void CLambertAzimuthalEqualArea::Project(double& lat, double& lon) {
    const AzimuthalView v = ViewFromCentre(centreLatitude, centralMeridian, lat * DegreesToRadians,
                                           lon * DegreesToRadians);
    const double k = std::sqrt(2 / (1 + v.cosC));
    lon = k * v.east;
    lat = k * v.north;
}

void CLambertAzimuthalEqualArea::InverseProject(double& y, double& x) {
    const double rho = std::sqrt(x * x + y * y);
    // The longitude comes from the two-argument arctangent, which puts points
    // 90 degrees or more from the centre in the right half-plane by itself; a
    // one-argument arctangent with a quadrant test on rho^2 >= 2 disagrees
    // with it after rounding exactly at 90 degrees and gives +-270.
    double phi = 0.0;
    double lambda = 0.0;
    AzimuthalInverse(centreLatitude, centralMeridian, x, y, rho, 2 * std::asin(rho / 2), phi,
                     lambda);
    StoreDegrees(phi, lambda, y, x);
}

// Vertical perspective -----------------------------------------------------

CVerticalPerspective::CVerticalPerspective() : CProjection(VerticalPerspectiveCode) {}

void CVerticalPerspective::Project(double& lat, double& lon) {
    const AzimuthalView v = ViewFromCentre(centreLatitude, centralMeridian, lat * DegreesToRadians,
                                           lon * DegreesToRadians);
    const double P = perspectiveHeight;
    const double k = (P - 1) / (P - v.cosC);
    lon = k * v.east;
    lat = k * v.north;
}

// Exact inverse: rho = (P - 1) sin c / (P - cos c) solved for the arc c on the
// visible side (cos c >= 1 / P). Beyond the horizon circle, rho^2 >
// (P - 1) / (P + 1), there is no point on the sphere and the result is NaN.
void CVerticalPerspective::InverseProject(double& y, double& x) {
    const double P = perspectiveHeight;
    const double rho = std::sqrt(x * x + y * y);
    double phi = centreLatitude;
    double lambda = centralMeridian;
    if (rho != 0.0) {
        const double sinC =
            (P - std::sqrt(1 - rho * rho * (P + 1) / (P - 1))) / ((P - 1) / rho + rho / (P - 1));
        const double cosC = std::sqrt(1 - sinC * sinC);
        HeadingInverse(centreLatitude, centralMeridian, x / rho, y / rho, sinC, cosC, phi, lambda);
    }
    StoreDegrees(phi, lambda, y, x);
}

// Vertical -----------------------------------------------------------------

CVertical::CVertical() : CProjection(VerticalCode) {}

void CVertical::Project(double& lat, double& lon) {
    const AzimuthalView v = ViewFromCentre(centreLatitude, centralMeridian, lat * DegreesToRadians,
                                           lon * DegreesToRadians);
    lon = v.east;
    lat = v.north;
}

void CVertical::InverseProject(double& y, double& x) {
    const double alpha = std::atan2(x, y);
    const double rho = std::sqrt(x * x + y * y);
    const double cosC = std::cos(std::asin(rho));
    double phi = 0.0;
    double lambda = 0.0;
    HeadingInverse(centreLatitude, centralMeridian, std::sin(alpha), std::cos(alpha), rho, cosC,
                   phi, lambda);
    StoreDegrees(phi, lambda, y, x);
}

// Range and heading --------------------------------------------------------

CRangeHeading::CRangeHeading() : CProjection(RangeHeadingCode) {}

// The heading enters only through its sine and cosine, which are the
// direction components divided by sin c; the general case therefore needs no
// atan2 for the heading. Points under a fixed bearing convention, the centre
// and its antipode go through RangeAndBearing itself.
void CRangeHeading::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    const sphere_math::GreatCircleView v =
        sphere_math::ViewAlongGreatCircle(centre.lat, centre.lon, phi, lambda);
    const double sinArc = std::sqrt(v.east * v.east + v.north * v.north);
    if (sinArc == 0.0 || sphere_math::HasFixedBearing(centre.lat, centre.lon, phi, lambda)) {
        double range = 0.0;
        double heading = 0.0;
        RangeAndBearing(centre, CGeoPoint{phi, lambda}, range, heading);
        lat = range * std::cos(heading);
        lon = range * std::sin(heading);
        return;
    }
    const double rangeOverSinArc = EarthRadius * std::atan2(sinArc, v.cosArc) / sinArc;
    lat = rangeOverSinArc * v.north;
    lon = rangeOverSinArc * v.east;
}

void CRangeHeading::InverseProject(double& y, double& x) {
    const double range = std::sqrt(x * x + y * y);
    const double heading = std::atan2(x, y);
    CGeoPoint p;
    PointAtRangeAndBearing(centre, heading, range, p);
    StoreDegrees(p.lat, p.lon, y, x);
}

CHorizontalRangeHeading::CHorizontalRangeHeading() : CProjection(HorizontalRangeHeadingCode) {}

// h = EarthRadius sin(range / EarthRadius) is EarthRadius sin c, so the
// plane point is the direction components scaled by EarthRadius.
void CHorizontalRangeHeading::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    if (sphere_math::HasFixedBearing(centre.lat, centre.lon, phi, lambda)) {
        double range = 0.0;
        double heading = 0.0;
        RangeAndBearing(centre, CGeoPoint{phi, lambda}, range, heading);
        const double h = EarthRadius * std::sin(range / EarthRadius);
        lat = h * std::cos(heading);
        lon = h * std::sin(heading);
        return;
    }
    const sphere_math::GreatCircleView v =
        sphere_math::ViewAlongGreatCircle(centre.lat, centre.lon, phi, lambda);
    lat = EarthRadius * v.north;
    lon = EarthRadius * v.east;
}

void CHorizontalRangeHeading::InverseProject(double& y, double& x) {
    const double h = std::sqrt(x * x + y * y);
    const double range = EarthRadius * std::asin(h / EarthRadius);
    const double heading = std::atan2(x, y);
    CGeoPoint p;
    PointAtRangeAndBearing(centre, heading, range, p);
    StoreDegrees(p.lat, p.lon, y, x);
}

CSlantRangeHeading::CSlantRangeHeading() : CLambertAzimuthalEqualArea(SlantRangeHeadingCode) {}

void CSlantRangeHeading::Project(double& lat, double& lon) {
    CLambertAzimuthalEqualArea::Project(lat, lon);
    lat *= EarthRadius;
    lon *= EarthRadius;
}

void CSlantRangeHeading::InverseProject(double& y, double& x) {
    y /= EarthRadius;
    x /= EarthRadius;
    CLambertAzimuthalEqualArea::InverseProject(y, x);
}
