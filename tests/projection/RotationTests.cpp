#include "ProjDefinitions.h"
#include "ProjOracle.h"

#include "projection/Azimuthal.h"
#include "projection/GeoRotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {

double LongitudeDifference(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return std::fmin(d, 360.0 - d);
}

} // namespace

TEST(GeoRotation, MovesTheOriginToZeroAlongItsMeridian) {
    CGeoRotation rotation;
    rotation.SetOrigin(10, 20);
    double x = 20;
    double y = 10;
    rotation.Transform(x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    x = 20;
    y = 30; // due north, 20 degrees of arc
    rotation.Transform(x, y);
    EXPECT_NEAR(y, 20, 1e-12);
    EXPECT_NEAR(x, 0, 1e-12);

    double range = 0;
    double bearing = 0;
    RangeAndBearing(rotation.origin, CGeoPoint{-5 * DegreesToRadians, 20 * DegreesToRadians}, range,
                    bearing);
    EXPECT_EQ(bearing, Pi);
    EXPECT_NEAR(range, EarthRadius * 15 * DegreesToRadians, 1e-6);
}

TEST(GeoRotation, RoundTripsAndAgreesWithProjObliqueTransformation) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(-89.0, 89.0);
    std::uniform_real_distribution<double> lon(-180.0, 180.0);
    ASSERT_TRUE(proj_oracle::IsAvailable()) << "PROJ's proj program is not installed";
    for (auto [originLat, originLon] :
         {std::pair{10.0, 20.0}, {45.0, -100.0}, {63.5, 151.25}, {0.0, 0.0}, {-33.0, 18.5}}) {
        SCOPED_TRACE(std::to_string(originLat) + "," + std::to_string(originLon));
        CGeoRotation rotation;
        rotation.SetOrigin(originLat, originLon);
        proj_oracle::PointList in;
        proj_oracle::PointList rotated;
        for (int i = 0; i < 400; ++i) {
            const double pLat = lat(random);
            const double pLon = lon(random);
            double x = pLon;
            double y = pLat;
            rotation.Transform(x, y);
            ASSERT_TRUE(std::isfinite(x) && std::isfinite(y));
            EXPECT_LE(std::fabs(x), 180);
            in.emplace_back(pLon, pLat);
            rotated.emplace_back(x, y);
            rotation.InverseTransform(x, y);
            EXPECT_NEAR(y, pLat, 1e-9);
            EXPECT_LE(LongitudeDifference(x, pLon), 1e-9);
        }
        // For a southern origin the oblique transformation's pole latitude,
        // 90 - origin latitude, would lie beyond 90 degrees.
        if (originLat < 0) {
            continue;
        }
        proj_oracle::PointList expected;
        ASSERT_TRUE(proj_oracle::Run(proj_definitions::RotationDefinition(originLat, originLon),
                                     false, in, expected));
        for (size_t i = 0; i < in.size(); ++i) {
            // ob_tran with longlat answers in radians.
            EXPECT_NEAR(rotated[i].second, expected[i].second * RadiansToDegrees, 1e-9);
            EXPECT_LE(LongitudeDifference(rotated[i].first, expected[i].first * RadiansToDegrees),
                      1e-9);
        }
    }
}

TEST(GeoRotation, PointsOnTheOriginsAntimeridianStayFinite) {
    // Rounding takes the arccosine arguments of the textbook formulas beyond
    // +-1 for many of these points, which made a fifth of them NaN.
    CGeoRotation rotation;
    rotation.SetOrigin(37.7, -122.4);
    int checked = 0;
    for (double lat = -89.5; lat <= 89.5; lat += 0.25) {
        double x = 57.6;
        double y = lat;
        rotation.Transform(x, y);
        ASSERT_TRUE(std::isfinite(x) && std::isfinite(y)) << lat;
        rotation.InverseTransform(x, y);
        EXPECT_NEAR(y, lat, 1e-9);
        ++checked;
    }
    // A point a hair away from the origin keeps its offset instead of
    // snapping onto the origin.
    double x = -122.4 + 1e-9;
    double y = 37.7;
    rotation.Transform(x, y);
    EXPECT_GT(x, 0);
    rotation.InverseTransform(x, y);
    EXPECT_NEAR(x, -122.4 + 1e-9, 1e-12);
    EXPECT_GT(checked, 0);
}

TEST(GeoRotation, PoleOriginLaysTheMapOntoOneMeridian) {
    CGeoRotation rotation;
    rotation.SetOrigin(90, 0);
    for (double lon : {-120.0, 0.0, 75.0}) {
        double x = lon;
        double y = 40;
        rotation.Transform(x, y);
        EXPECT_NEAR(x, 0, 1e-12);
        EXPECT_NEAR(y, -50, 1e-9);
    }
    // A huge origin longitude does not hang the longitude normalisation.
    CGeoRotation wild;
    wild.SetOrigin(10, 1e300);
    double x = 5;
    double y = 5;
    wild.InverseTransform(x, y);
    SUCCEED();
}

// Points at a pole, seen from an origin off the poles, and the poles of the
// rotated sphere, seen from (0, 0), take the fixed bearing of the pole (0
// towards the north pole, pi towards the south pole) through RangeAndBearing
// and PointAtRangeAndBearing literally, so their longitudes are exactly that
// rule's: the general formula would turn rounding noise into a direction.
TEST(GeoRotation, PolesTakeTheFixedBearingExactly) {
    for (auto [originLat, originLon] : {std::pair{37.7, -122.4}, {-33.0, 18.5}, {10.0, 20.0}}) {
        CGeoRotation rotation;
        rotation.SetOrigin(originLat, originLon);
        CRangeHeading rangeHeading;
        rangeHeading.centre = rotation.origin;
        for (double poleLat : {90.0, -90.0}) {
            for (double lon : {-150.0, 0.0, 45.0, 180.0}) {
                SCOPED_TRACE(std::to_string(originLat) + " " + std::to_string(poleLat) + " " +
                             std::to_string(lon));
                const CGeoPoint pole{poleLat * DegreesToRadians, lon * DegreesToRadians};
                double range = 0;
                double bearing = 0;
                RangeAndBearing(rotation.origin, pole, range, bearing);
                EXPECT_EQ(bearing, poleLat > 0 ? 0.0 : Pi);
                CGeoPoint expected;
                PointAtRangeAndBearing(CGeoPoint{}, bearing, range, expected);
                CGeoPoint rotated = pole;
                rotation.RotatePoint(rotated);
                EXPECT_EQ(rotated.lat, expected.lat);
                EXPECT_EQ(rotated.lon, expected.lon);

                double x = lon;
                double y = poleLat;
                rangeHeading.Transform(x, y);
                EXPECT_EQ(x, range * std::sin(bearing));
                EXPECT_EQ(y, range * std::cos(bearing));

                // Back from the pole of the rotated sphere.
                RangeAndBearing(CGeoPoint{}, pole, range, bearing);
                PointAtRangeAndBearing(rotation.origin, bearing, range, expected);
                CGeoPoint back = pole;
                rotation.InverseRotatePoint(back);
                EXPECT_EQ(back.lat, expected.lat);
                EXPECT_EQ(back.lon, expected.lon);
            }
        }
    }
}
