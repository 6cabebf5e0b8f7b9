#pragma once

#include "projection/Transformation.h"

#include <cstdint>

// The projections: their common contract, the factory by display name and
// the constants they share.
//
// Units, once for every projection class:
//  - Project, InverseProject, Transform, InverseTransform and the point forms
//    take and give the geographic side in DEGREES: latitude in [-90, 90],
//    longitude any finite value (the formulas are periodic in it). An
//    inverse gives the longitude its formula yields; only the heading-based
//    ones (Vertical, Vertical Perspective, RangeHeading,
//    HorizontalRangeHeading) normalise it into [-180, 180].
//  - The plane side is on the sphere of radius 1, except for Stereographic,
//    RangeHeading, HorizontalRangeHeading and SlantRangeHeading, which work
//    in metres on the sphere of radius EarthRadius.
//  - The parameters that the classes keep as public members
//    (centralMeridian, standardParallel, originLatitude, centreLatitude,
//    centre) are in RADIANS, unlike the points: a central meridian of 10
//    degrees is 10 * DegreesToRadians. Members derived from them (a cone's n,
//    rho0, ...) are computed at construction; changing a parameter later does
//    not update them.
// The formulas compute in radians and store whatever they yield: a point
// outside a projection's domain comes out infinite or NaN, never clipped.

// Latitude and longitude of a point on the sphere, in radians unless an
// operation says otherwise (CProjection's point forms take degrees): lat in
// [-pi/2, pi/2], lon any value, usually [-pi, pi].
struct CGeoPoint {
    double lat = 0.0;
    double lon = 0.0;
};

// Radius in metres of the sphere of the projections that work in metres.
inline constexpr double EarthRadius = 6370999.0;

// Conversion factors and pi / 4, stored as the decimals of the nearest
// doubles, not derived from each other, so that every build computes
// bit-identical maps.
inline constexpr double DegreesToRadians = 0.017453292519943295;
inline constexpr double RadiansToDegrees = 57.29577951308232;
inline constexpr double QuarterPi = 0.7853981633974483;

// A map projection. Project takes (lat, lon) in degrees and leaves the plane
// point (y, x) in the same two references; InverseProject takes (y, x) and
// leaves (lat, lon) in degrees. Transform and InverseTransform are the
// geometry library's (x, y) view of the same: x = longitude, y = latitude.
//
// Every concrete class overrides Transform and InverseTransform itself with a
// qualified, non-virtual call of its own Project / InverseProject (see
// MARLO_PROJECTION_FORMULAS), so a call through a CTransformation pointer
// costs exactly one virtual dispatch and the formula is inlined into it.
class CProjection : public CTransformation {
public:
    explicit CProjection(int32_t type) : projectionType(type) {}
    ~CProjection() override = default;

    void Transform(double& x, double& y) override { Project(y, x); }
    void InverseTransform(double& x, double& y) override { InverseProject(y, x); }
    // The point forms take and give the geographic point in degrees (not
    // CGeoPoint's usual radians), like Project and InverseProject.
    virtual void ProjectPoint(const CGeoPoint& geo, double& x, double& y);
    virtual void Project(double& lat, double& lon) = 0;
    virtual void InverseProjectPoint(CGeoPoint& geo, const double& x, const double& y);
    virtual void InverseProject(double& y, double& x) = 0;

    // Row of ProjectionNameTable; set at construction, never changed.
    int32_t projectionType;
};

// Declares a concrete projection's Project and InverseProject, and defines its
// Transform and InverseTransform as qualified calls of them. The qualified
// call is bound at compile time, so the formula can be inlined into the one
// virtual call a caller makes. Specifier is final, or override for a class
// that is derived from again.
#define MARLO_PROJECTION_FORMULAS(Class, Specifier)                                                \
    void Transform(double& x, double& y) Specifier {                                               \
        Class::Project(y, x);                                                                      \
    }                                                                                              \
    void InverseTransform(double& x, double& y) Specifier {                                        \
        Class::InverseProject(y, x);                                                               \
    }                                                                                              \
    void Project(double& lat, double& lon) Specifier;                                              \
    void InverseProject(double& y, double& x) Specifier;

inline constexpr int ProjectionCount = 24;
inline constexpr int ProjectionNameLength = 50;

// Display names of the projections; the row number is the type code.
extern const char ProjectionNameTable[ProjectionCount][ProjectionNameLength];

// Type codes, in table order.
enum ProjectionCode : int32_t {
    AlbersEqualAreaConicCode = 0,
    BonneCode = 1,
    CassiniCode = 2,
    ConicEquidistantCode = 3,
    CylindricalEqualAreaCode = 4,
    CylindricalEquidistantCode = 5,
    EckertVICode = 6,
    EckertIVCode = 7,
    GnomonicCode = 8,
    HorizontalRangeHeadingCode = 9,
    LambertAzimuthalEqualAreaCode = 10,
    LambertConformalConicCode = 11,
    MercatorCode = 12,
    MillerCylindricalCode = 13,
    MollweideCode = 14,
    OrthographicCode = 15,
    PolyconicCode = 16,
    RangeHeadingCode = 17,
    SinusoidalCode = 18,
    SlantRangeHeadingCode = 19,
    StereographicCode = 20,
    VanDerGrintenCode = 21,
    VerticalPerspectiveCode = 22,
    VerticalCode = 23,
};

// Builds the projection with exactly this display name (case-sensitive, whole
// name; null is allowed) and its default parameters. Returns null for any
// other name or when allocation fails. The caller owns the result.
CProjection* CreateProjection(const char* name);

// Plate carree with a standard parallel: x is the longitude scaled by the
// parallel's cosine, y the latitude (both in radians on the unit sphere).
class CCylindricalEquidistant final : public CProjection {
public:
    CCylindricalEquidistant();
    MARLO_PROJECTION_FORMULAS(CCylindricalEquidistant, final)

    // Radians, in (-pi/2, pi/2): the inverse divides by its cosine.
    double standardParallel = 0.0;
    // Radians, any value: the longitude that maps to x = 0.
    double centralMeridian = 0.0;
};
