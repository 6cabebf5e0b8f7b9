// The factory, the values and limits of the individual projections, and the
// Newton loops against their plain form.
#include "ProjectionTestSupport.h"

#include "projection/Azimuthal.h"
#include "projection/Conic.h"
#include "projection/WorldProjections.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

using namespace projection_test;

TEST(ProjectionFactory, RecognisesExactlyTheTableNames) {
    for (int code = 0; code < ProjectionCount; ++code) {
        auto projection = Make(ProjectionNameTable[code]);
        ASSERT_NE(projection, nullptr) << ProjectionNameTable[code];
        EXPECT_EQ(projection->projectionType, code) << ProjectionNameTable[code];
    }
    EXPECT_EQ(Make("Mercator")->projectionType, 12);
    EXPECT_EQ(Make("Eckert VI")->projectionType, 6);
    EXPECT_EQ(Make("Eckert IV")->projectionType, 7);
    EXPECT_EQ(Make("Vertical")->projectionType, 23);
    EXPECT_EQ(Make("Vertical Perspective")->projectionType, 22);
    EXPECT_EQ(std::strcmp(ProjectionNameTable[6], "Eckert VI"), 0);

    for (const char* wrong : {"mercator", "", "Vertical ", " Mercator", "Eckert", "Bonne\t"}) {
        EXPECT_EQ(CreateProjection(wrong), nullptr) << '"' << wrong << '"';
    }
    EXPECT_EQ(CreateProjection(nullptr), nullptr);
    EXPECT_TRUE(dynamic_cast<CLambertAzimuthalEqualArea*>(Make("SlantRangeHeading").get()));
}

TEST(ProjectionValues, WorkedExamples) {
    double x = -180;
    double y = -90;
    Make("Cylindrical Equidistant")->Transform(x, y);
    EXPECT_EQ(x, -3.141592653589793);
    EXPECT_EQ(y, -1.5707963267948966);
    Make("Cylindrical Equidistant")->InverseTransform(x, y);
    EXPECT_DOUBLE_EQ(x, -180);
    EXPECT_DOUBLE_EQ(y, -90);

    struct Expected {
        const char* name;
        double lat, lon, x, y, tolerance;
    };
    const double R = EarthRadius;
    const Expected cases[] = {
        {"Mercator", 45, 0, 0, std::log(1 + std::sqrt(2.0)), 1e-15},
        {"Miller Cylindrical", 45, 0, 0, 1.25 * std::log(std::tan(M_PI / 4 + M_PI / 20)), 1e-15},
        {"Cylindrical Equal Area", 90, 0, 0, 1, 1e-15},
        {"Cassini", 0, 90, M_PI / 2, 0, 1e-15},
        {"Cassini", 45, 0, 0, M_PI / 4, 1e-15},
        {"Lambert Conformal Conic", 50, 0, 0, 0.78345, 1e-5},
        {"Bonne", 40, 0, 0, 0, 1e-15},
        {"Orthographic", 0, 90, 1, 0, 1e-15},
        {"Stereographic", 0, 90, 2 * R, 0, 1e-6},
        {"Lambert Azimuthal Equal Area", 0, 90, std::sqrt(2.0), 0, 1e-15},
        {"Lambert Azimuthal Equal Area", 0, 120, std::sqrt(3.0), 0, 1e-15},
        {"RangeHeading", 0, 90, R * M_PI / 2, 0, 1e-6},
        {"RangeHeading", 45, 0, 0, R * M_PI / 4, 1e-6},
        {"HorizontalRangeHeading", 0, 90, R, 0, 1e-6},
        {"SlantRangeHeading", 0, 90, std::sqrt(2.0) * R, 0, 1e-6},
        {"Mollweide", 45, 90, 1.13973, 0.83727, 1e-5},
        {"Eckert IV", 45, 90, 1.16347, 0.87106, 1e-5},
        {"Eckert VI", 45, 90, 1.07590, 0.86854, 1e-5},
        {"Van Der Grinten", 45, 90, 1.46813, 0.89207, 1e-5},
        {"Van Der Grinten", -30, -120, -2.04488, -0.57841, 1e-5},
        {"Sinusoidal", 60, 90, M_PI / 4, M_PI / 3, 1e-15},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.name);
        double px = e.lon;
        double py = e.lat;
        Make(e.name)->Transform(px, py);
        EXPECT_NEAR(px, e.x, e.tolerance);
        EXPECT_NEAR(py, e.y, e.tolerance);
    }
    // Every projection centred on (0, 0) puts the centre at the plane origin,
    // except Bonne (centred on its standard parallel) and Polyconic's y = -phi0.
    for (int code = 0; code < ProjectionCount; ++code) {
        if (code == BonneCode) {
            continue;
        }
        double cx = 0;
        double cy = 0;
        Make(ProjectionNameTable[code])->Transform(cx, cy);
        EXPECT_NEAR(cx, 0, 1e-15) << ProjectionNameTable[code];
        EXPECT_NEAR(cy, 0, 1e-15) << ProjectionNameTable[code];
    }
    // Polyconic recovers the longitude only while |dlambda sin phi| <= 90.
    double polyX = 170;
    double polyY = 70;
    auto poly = Make("Polyconic");
    poly->Transform(polyX, polyY);
    poly->InverseTransform(polyX, polyY);
    EXPECT_NEAR(polyY, 70, 1e-9);
    EXPECT_NEAR(polyX, 21.552, 1e-3);
}

// Where a formula divides by zero but the mathematical limit is finite, the
// limit comes out, and the inverse brings it back.
TEST(ProjectionLimits, FiniteLimitsInsteadOfNaN) {
    auto check = [](const char* name, double lat, double lon, double x, double y) {
        SCOPED_TRACE(std::string(name) + " at " + std::to_string(lat) + "," + std::to_string(lon));
        auto projection = Make(name);
        double px = lon;
        double py = lat;
        projection->Transform(px, py);
        EXPECT_NEAR(px, x, 1e-12);
        EXPECT_NEAR(py, y, 1e-12);
        projection->InverseTransform(px, py);
        EXPECT_NEAR(py, lat, 1e-9);
        if (std::fabs(lat) != 90) {
            EXPECT_NEAR(px, lon, 1e-9);
        }
    };
    // Van der Grinten: equator, central meridian, poles.
    check("Van Der Grinten", 0, 120, 120 * DegreesToRadians, 0);
    check("Van Der Grinten", 0, 0, 0, 0);
    check("Van Der Grinten", 90, 30, 0, M_PI);
    check("Van Der Grinten", -90, 30, 0, -M_PI);
    const double theta = std::asin(2 * (60 * DegreesToRadians) / M_PI);
    check("Van Der Grinten", 60, 0, 0, M_PI * std::tan(theta / 2));
    // Polyconic equator; Mollweide poles.
    check("Polyconic", 0, -150, -150 * DegreesToRadians, 0);
    check("Mollweide", 90, 45, 0, std::sqrt(2.0));
    check("Mollweide", -90, 45, 0, -std::sqrt(2.0));

    // Centre of the plane: the inverses return the centre of the projection.
    for (const char* name : {"Gnomonic", "Stereographic", "Orthographic",
                             "Lambert Azimuthal Equal Area", "SlantRangeHeading", "Vertical",
                             "Vertical Perspective", "RangeHeading", "HorizontalRangeHeading"}) {
        double x = 0;
        double y = 0;
        Make(name)->InverseTransform(x, y);
        EXPECT_EQ(x, 0) << name;
        EXPECT_EQ(y, 0) << name;
    }
}

TEST(ProjectionLimits, VanDerGrintenIsSmoothAcrossTheCentralMeridian) {
    // The textbook arrangement cancels catastrophically here: 1e-8 degrees off
    // the meridian it gave y = 124.
    auto vdg = Make("Van Der Grinten");
    double onX = 0;
    double onY = 50;
    vdg->Transform(onX, onY);
    double bandX = 1e-13; // closer than 1e-12 radians: on the meridian
    double bandY = 50;
    vdg->Transform(bandX, bandY);
    EXPECT_EQ(bandX, 0);
    EXPECT_EQ(bandY, onY);
    for (double offset : {1e-10, 1e-8, 1e-6, 1e-4}) {
        double x = offset;
        double y = 50;
        vdg->Transform(x, y);
        EXPECT_NEAR(y, onY, 1e-9) << offset;
        EXPECT_GT(x, 0) << offset;
        EXPECT_LT(x, 2 * offset * DegreesToRadians) << offset;
        vdg->InverseTransform(x, y);
        EXPECT_NEAR(x, offset, 1e-9) << offset;
        EXPECT_NEAR(y, 50, 1e-9) << offset;
    }
    // And across the equator.
    for (double lat : {1e-10, 1e-8, 1e-6}) {
        double x = 100;
        double y = lat;
        vdg->Transform(x, y);
        EXPECT_NEAR(x, 100 * DegreesToRadians, 1e-9);
        EXPECT_GT(y, 0);
        EXPECT_LT(y, 3 * lat * DegreesToRadians);
    }
}

TEST(ProjectionLimits, LambertAzimuthalInverseLongitudeIsTheTrueOne) {
    // 90 degrees from the centre the one-argument arctangent and the quadrant
    // test disagree after rounding and gave +-270.
    for (const char* name : {"Lambert Azimuthal Equal Area", "SlantRangeHeading"}) {
        auto laea = Make(name);
        for (double lon : {90.0, -90.0, 120.0, -120.0, 170.0, -170.0, 45.0}) {
            for (double lat : {0.0, 30.0, -60.0}) {
                double x = lon;
                double y = lat;
                laea->Transform(x, y);
                laea->InverseTransform(x, y);
                EXPECT_NEAR(x, lon, 1e-9) << name << " " << lat << "," << lon;
                EXPECT_NEAR(y, lat, 1e-9) << name << " " << lat << "," << lon;
            }
        }
    }
}

TEST(ProjectionLimits, VerticalPerspectiveInverseIsExact) {
    auto vp = Make("Vertical Perspective");
    // Right up to the horizon, cos c = 1 / P.
    const double horizon = std::acos(0.1) * RadiansToDegrees;
    for (double lon : {0.0, 10.0, -45.0, 80.0, horizon - 0.5}) {
        double x = lon;
        double y = 0;
        vp->Transform(x, y);
        vp->InverseTransform(x, y);
        EXPECT_NEAR(x, lon, 1e-9);
        EXPECT_NEAR(y, 0, 1e-9);
    }
    // Beyond the horizon circle there is nothing to return.
    double x = 0.95;
    double y = 0;
    vp->InverseTransform(x, y);
    EXPECT_TRUE(std::isnan(x) && std::isnan(y));
}

TEST(ProjectionLimits, NewtonIterationsConvergeNearThePoles) {
    // A loop that hits its bound leaves the point in radians; close to the
    // poles the loops take longer but must still finish.
    for (const char* name : {"Mollweide", "Eckert IV", "Eckert VI"}) {
        for (double lat : {89.999, -89.999, 89.9999999, 89.99}) {
            double x = 100;
            double y = lat;
            Make(name)->Transform(x, y);
            EXPECT_NE(y, lat * DegreesToRadians) << name << " " << lat;
            EXPECT_GT(std::fabs(y), 1.3) << name << " " << lat;
        }
    }
}

TEST(ProjectionLimits, MercatorIsSymmetricUpToThePoles) {
    auto mercator = Make("Mercator");
    for (double lat : {45.0, 89.99, 89.9999999, 90.0}) {
        double nx = 0;
        double ny = lat;
        double sx = 0;
        double sy = -lat;
        mercator->Transform(nx, ny);
        mercator->Transform(sx, sy);
        EXPECT_EQ(ny, -sy) << lat;
        EXPECT_TRUE(std::isfinite(sy)) << lat;
        mercator->InverseTransform(sx, sy);
        EXPECT_NEAR(sy, -lat, 1e-9) << lat;
    }
}

namespace {

// The Newton loop of Mollweide and the Eckerts as written in the textbooks:
// the sine and cosine of every iterate from sin and cos themselves. Same
// start offset, stopping rule and bound as the projections' loop.
double PlainAuxiliaryAngle(double theta,
                           const std::function<double(double, double, double)>& step) {
    double previous = theta + 1e-7;
    for (int count = 1; std::fabs(theta - previous) > 1e-8; ++count) {
        previous = theta;
        theta -= step(theta, std::sin(theta), std::cos(theta));
        if (count == 50) {
            return std::nan("");
        }
    }
    return theta;
}

struct PlainPoint {
    double x;
    double y;
};

PlainPoint PlainMollweide(double phi, double lambda) {
    const double K = M_PI * std::sin(phi);
    const double theta =
        PlainAuxiliaryAngle(2 * std::asin(2 * phi / M_PI),
                            [K](double t, double s, double c) { return (t + s - K) / (1 + c); });
    return {2 * std::sqrt(2.0) / M_PI * lambda * std::cos(theta / 2),
            std::sqrt(2.0) * std::sin(theta / 2)};
}

PlainPoint PlainEckertIV(double phi, double lambda) {
    const double K = (2 + M_PI / 2) * std::sin(phi);
    const double theta = PlainAuxiliaryAngle(phi / 2, [K](double t, double s, double c) {
        return (t + s * c + 2 * s - K) / (2 * c * (1 + c));
    });
    return {2 / std::sqrt(M_PI * (4 + M_PI)) * lambda * (1 + std::cos(theta)),
            2 * std::sqrt(M_PI / (4 + M_PI)) * std::sin(theta)};
}

PlainPoint PlainEckertVI(double phi, double lambda) {
    const double K = (1 + M_PI / 2) * std::sin(phi);
    const double theta = PlainAuxiliaryAngle(
        phi, [K](double t, double s, double c) { return (t + s - K) / (1 + c); });
    return {lambda * (1 + std::cos(theta)) / std::sqrt(2 + M_PI), 2 * theta / std::sqrt(2 + M_PI)};
}

} // namespace

// The Newton loops turn the previous iterate's sine and cosine through each
// step instead of calling sin and cos again. Their results must agree with
// the plain loop's over the whole globe: to 1e-12 on the unit sphere up to
// 88.5 degrees of latitude, and to 1e-7 beyond, where the iteration
// converges only linearly and the two loops stop at different iterates
// within their 1e-8 step bound.
TEST(ProjectionNewton, TurnedSineAndCosineAgreeWithAPlainLoop) {
    std::vector<double> latitudes;
    for (double lat = -90; lat <= 90; lat += 0.0011) {
        latitudes.push_back(lat);
    }
    for (double gap = 1e-9; gap < 1.5; gap *= 1.1) {
        latitudes.push_back(90 - gap);
        latitudes.push_back(gap - 90);
    }
    CMollweide mollweide;
    CEckertIV eckertIV;
    CEckertVI eckertVI;
    const std::pair<CProjection*, PlainPoint (*)(double, double)> pairs[] = {
        {&mollweide, PlainMollweide}, {&eckertIV, PlainEckertIV}, {&eckertVI, PlainEckertVI}};
    for (const auto& [projection, plain] : pairs) {
        SCOPED_TRACE(ProjectionNameTable[projection->projectionType]);
        for (const double lat : latitudes) {
            if (std::fabs(lat) >= 90) {
                continue; // Mollweide's poles take the limit, not the loop
            }
            const double lon = 180;
            double x = lon;
            double y = lat;
            projection->Transform(x, y);
            const PlainPoint expected = plain(lat * DegreesToRadians, lon * DegreesToRadians);
            const double tolerance = std::fabs(lat) <= 88.5 ? 1e-12 : 1e-7;
            ASSERT_NEAR(x, expected.x, tolerance) << lat;
            ASSERT_NEAR(y, expected.y, tolerance) << lat;
        }
    }
}

// TransformPoints runs two points' Newton loops side by side. Every point
// must still come out with the bits Transform gives it, whatever its
// partner does: a pole (finished before any step), a loop that hits its
// bound and leaves the point in radians, NaN, an odd point left over at the
// end; and the other fields of a record between the points stay untouched.
TEST(ProjectionNewton, PointsTransformedTogetherHaveTheBitsOfSinglePoints) {
    // -998.89 and -986.31 degrees drive Eckert IV and Eckert VI to their
    // step bound; -90 and 90 are Mollweide's limits.
    std::vector<double> latitudes = {90,    -90,   -998.89, -986.31,      89.9999999, -89.999,
                                     45,    0,     -0.0,    std::nan(""), 1e-300,     -37.5,
                                     89.99, 12.25, -60,     HUGE_VAL,     88.5,       -1e-9};
    for (double lat = -90; lat <= 90; lat += 7.3) {
        latitudes.push_back(lat);
    }
    constexpr std::size_t Fields = 4;
    for (const char* name : {"Mollweide", "Eckert IV", "Eckert VI", "Van Der Grinten"}) {
        SCOPED_TRACE(name);
        auto projection = Make(name);
        double plainX = 100;
        double plainY = -998.89;
        projection->Transform(plainX, plainY);
        if (std::strcmp(name, "Eckert IV") == 0) {
            ASSERT_EQ(plainY, -998.89 * DegreesToRadians) << "the bound is no longer reached";
        }
        for (const double centralMeridian : {0.0, 2.5}) {
            if (auto* mollweide = dynamic_cast<CMollweide*>(projection.get())) {
                mollweide->centralMeridian = centralMeridian;
            } else if (auto* eckertIV = dynamic_cast<CEckertIV*>(projection.get())) {
                eckertIV->centralMeridian = centralMeridian;
            } else if (auto* eckertVI = dynamic_cast<CEckertVI*>(projection.get())) {
                eckertVI->centralMeridian = centralMeridian;
            }
            // Every count up to all of them, so that each point meets several
            // partners and the odd one out changes. A record more than the
            // points stays as it is.
            for (std::size_t count = 0; count <= latitudes.size(); ++count) {
                std::vector<double> record((count + 1) * Fields, 7.0);
                for (std::size_t k = 0; k < count; ++k) {
                    record[k * Fields] = -179.0 + 23.0 * static_cast<double>(k);
                    record[k * Fields + 1] = latitudes[k];
                }
                std::vector<double> expected = record;
                for (std::size_t k = 0; k < count; ++k) {
                    projection->Transform(expected[k * Fields], expected[k * Fields + 1]);
                }
                projection->TransformPoints(record.data(), record.data() + 1, count, Fields);
                ASSERT_EQ(
                    std::memcmp(record.data(), expected.data(), record.size() * sizeof(double)), 0)
                    << count << " points, central meridian " << centralMeridian;
            }
        }
    }
}
