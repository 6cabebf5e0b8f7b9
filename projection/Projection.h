#pragma once

#include "projection/Transformation.h"

#include <cstdint>

// Latitude and longitude of a point on the sphere, radians unless an
// operation says otherwise.
struct CGeoPoint {
    double lat = 0.0;
    double lon = 0.0;
};

// Radius of the sphere of the projections that work in metres.
inline constexpr double EarthRadius = 6370999.0;

// The angle constants are stored as the decimal values below, not derived
// from each other, so that every build computes bit-identical maps.
inline constexpr double DegreesToRadians = 0.017453292519943295;
inline constexpr double RadiansToDegrees = 57.29577951308232;
inline constexpr double QuarterPi = 0.7853981633974483;

// A map projection. Project and InverseProject work in degrees at their
// boundary: Project takes (lat, lon) and leaves (y, x) in the same two
// references; InverseProject takes (y, x) and leaves (lat, lon). Transform and
// InverseTransform are the geometry library's (x, y) view of the same.
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
    // The point forms take and give degrees, like Project and InverseProject.
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
// name) and its default parameters. Returns null for any other name or when
// allocation fails. The caller owns the result.
CProjection* CreateProjection(const char* name);

// Plate carree with a standard parallel: x is the longitude scaled by the
// parallel's cosine, y the latitude.
class CCylindricalEquidistant final : public CProjection {
public:
    CCylindricalEquidistant();
    MARLO_PROJECTION_FORMULAS(CCylindricalEquidistant, final)

    double standardParallel = 0.0;
    double centralMeridian = 0.0;
};
