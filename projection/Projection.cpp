#include "projection/Projection.h"

#include "projection/Azimuthal.h"
#include "projection/Conic.h"
#include "projection/Cylindrical.h"
#include "projection/SphereMath.h"
#include "projection/WorldProjections.h"

#include <cmath>
#include <cstring>
#include <new>

using sphere_math::StoreDegrees;

const char ProjectionNameTable[ProjectionCount][ProjectionNameLength] = {
    "Albers Equal Area Conic",
    "Bonne",
    "Cassini",
    "Conic Equidistant",
    "Cylindrical Equal Area",
    "Cylindrical Equidistant",
    "Eckert VI",
    "Eckert IV",
    "Gnomonic",
    "HorizontalRangeHeading",
    "Lambert Azimuthal Equal Area",
    "Lambert Conformal Conic",
    "Mercator",
    "Miller Cylindrical",
    "Mollweide",
    "Orthographic",
    "Polyconic",
    "RangeHeading",
    "Sinusoidal",
    "SlantRangeHeading",
    "Stereographic",
    "Van Der Grinten",
    "Vertical Perspective",
    "Vertical",
};

namespace {

CProjection* NewProjection(int code) {
    switch (code) {
    case AlbersEqualAreaConicCode:
        return new (std::nothrow) CAlbersEqualAreaConic;
    case BonneCode:
        return new (std::nothrow) CBonneProjection;
    case CassiniCode:
        return new (std::nothrow) CCassini;
    case ConicEquidistantCode:
        return new (std::nothrow) CConicEquidistant;
    case CylindricalEqualAreaCode:
        return new (std::nothrow) CCylindricalEqualArea;
    case CylindricalEquidistantCode:
        return new (std::nothrow) CCylindricalEquidistant;
    case EckertVICode:
        return new (std::nothrow) CEckertVI;
    case EckertIVCode:
        return new (std::nothrow) CEckertIV;
    case GnomonicCode:
        return new (std::nothrow) CGnomonic;
    case HorizontalRangeHeadingCode:
        return new (std::nothrow) CHorizontalRangeHeading;
    case LambertAzimuthalEqualAreaCode:
        return new (std::nothrow) CLambertAzimuthalEqualArea;
    case LambertConformalConicCode:
        return new (std::nothrow) CLambertConformalConic;
    case MercatorCode:
        return new (std::nothrow) CMercator;
    case MillerCylindricalCode:
        return new (std::nothrow) CMillerCylindrical;
    case MollweideCode:
        return new (std::nothrow) CMollweide;
    case OrthographicCode:
        return new (std::nothrow) COrthographic;
    case PolyconicCode:
        return new (std::nothrow) CPolyconic;
    case RangeHeadingCode:
        return new (std::nothrow) CRangeHeading;
    case SinusoidalCode:
        return new (std::nothrow) CSinusoidal;
    case SlantRangeHeadingCode:
        return new (std::nothrow) CSlantRangeHeading;
    case StereographicCode:
        return new (std::nothrow) CStereographic;
    case VanDerGrintenCode:
        return new (std::nothrow) CVanDerGrinten;
    case VerticalPerspectiveCode:
        return new (std::nothrow) CVerticalPerspective;
    case VerticalCode:
        return new (std::nothrow) CVertical;
    default:
        return nullptr;
    }
}

} // namespace

CProjection* CreateProjection(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    // strcmp compares up to and including the terminating NUL, so the match is
    // exact: no prefixes, no trailing blanks, no case folding.
    for (int code = 0; code < ProjectionCount; ++code) {
        if (std::strcmp(name, ProjectionNameTable[code]) == 0) {
            return NewProjection(code);
        }
    }
    return nullptr;
}

void CProjection::ProjectPoint(const CGeoPoint& geo, double& x, double& y) {
    y = geo.lat;
    x = geo.lon;
    Project(y, x);
}

void CProjection::InverseProjectPoint(CGeoPoint& geo, const double& x, const double& y) {
    double yCopy = y;
    double xCopy = x;
    InverseProject(yCopy, xCopy);
    geo.lat = yCopy;
    geo.lon = xCopy;
}

CCylindricalEquidistant::CCylindricalEquidistant() : CProjection(CylindricalEquidistantCode) {}

void CCylindricalEquidistant::Project(double& lat, double& lon) {
    const double phi = lat * DegreesToRadians;
    const double lambda = lon * DegreesToRadians;
    lat = phi;
    lon = std::cos(standardParallel) * (lambda - centralMeridian);
}

void CCylindricalEquidistant::InverseProject(double& y, double& x) {
    const double lambda = x / std::cos(standardParallel) + centralMeridian;
    const double phi = y;
    StoreDegrees(phi, lambda, y, x);
}
