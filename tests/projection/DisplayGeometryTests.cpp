#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "projection/DisplayGeometry.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"

namespace {

constexpr double FourPi = 4.0 * 3.141592653589793;

// The bundled world map as the viewer holds it (every ring clockwise), one
// polygon per holed polygon, rim first; rotated to a centre when asked.
CRingSet LoadWorld(double centreLat = 0.0, double centreLon = 0.0) {
    C2DHoledPolyBaseSet content;
    const std::string path = std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp";
    EXPECT_TRUE(ReadMapFile(path.c_str(), content, nullptr));
    content.MakeClockwise();
    CRingSet rings;
    const auto addRing = [&](const C2DPolyBase& ring) {
        for (unsigned i = 0; i < ring.GetLineCount(); ++i) {
            const C2DPoint p = ring.GetLine(i)->GetStart();
            rings.points.push_back({p.x, p.y});
        }
        rings.EndRing();
    };
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = content.GetAt(i);
        addRing(*holed->GetRim());
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            addRing(*holed->GetHole(h));
        }
        rings.EndPolygon();
    }
    if (centreLat != 0.0 || centreLon != 0.0) {
        CGeoRotation rotation;
        rotation.SetOrigin(centreLat, centreLon);
        for (CPlanePoint& p : rings.points) {
            rotation.Rotate(p.y, p.x);
        }
    }
    return rings;
}

struct CBuilt {
    std::unique_ptr<CProjection> projection;
    CDisplaySettings settings;
    CRingSet out;
};

CBuilt Build(const char* name, const CRingSet& geographic, double tolerance = 0.0,
             const CRingSet* projected = nullptr) {
    CBuilt built;
    built.projection.reset(name == nullptr ? nullptr : CreateProjection(name));
    built.settings = MakeDisplaySettings(built.projection.get(), tolerance);
    CDisplayGeometryBuilder(built.settings).BuildPolygons(geographic, projected, built.out, 2);
    return built;
}

// Net area of a polygon of the output, on the unit sphere's scale.
double PolygonArea(const CBuilt& built, std::size_t polygon) {
    double sum = 0.0;
    for (uint32_t r = built.out.GetFirstRing(polygon); r < built.out.GetEndRing(polygon); ++r) {
        sum += RingDoubleArea(built.out.GetRingPoints(r), built.out.GetRingSize(r));
    }
    const double radius = built.settings.sphereRadius;
    return std::fabs(sum) / 2.0 / (radius * radius);
}

// One ring as an input polygon of its own.
CRingSet OneRing(const std::vector<CPlanePoint>& points) {
    CRingSet set;
    set.points.assign(points.begin(), points.end());
    set.EndRing();
    set.EndPolygon();
    return set;
}

// A parallel as a ring running east (or west) at the given latitude, a
// vertex every half degree (so that its great-circle edges hug the parallel).
CRingSet Parallel(double lat, bool east) {
    std::vector<CPlanePoint> points;
    for (int i = 0; i < 720; ++i) {
        const double lon = -180.0 + 0.5 * i;
        points.push_back({east ? lon : -lon, lat});
    }
    return OneRing(points);
}

double CapArea(double latDegrees) {
    return 2.0 * 3.141592653589793 * (1.0 - std::sin(latDegrees * DegreesToRadians));
}

void ExpectClosedFiniteRings(const CRingSet& out) {
    for (std::size_t r = 0; r < out.GetRingCount(); ++r) {
        const CPlanePoint* points = out.GetRingPoints(r);
        const uint32_t n = out.GetRingSize(r);
        ASSERT_GE(n, 4u);
        EXPECT_EQ(points[0].x, points[n - 1].x);
        EXPECT_EQ(points[0].y, points[n - 1].y);
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_TRUE(std::isfinite(points[i].x) && std::isfinite(points[i].y));
        }
    }
}

} // namespace

// Cutting and joining must neither lose nor add area: under every equal-area
// projection, at every centre, each country keeps its area on the sphere,
// whether it crosses the seam, encloses a pole (Antarctica) or touches
// nothing.
TEST(DisplayGeometryTest, EqualAreaProjectionsKeepEveryCountrysAreaAtEveryCentre) {
    const CRingSet world = LoadWorld();
    const CBuilt reference = Build("Cylindrical Equal Area", world, 1e-6);
    ExpectClosedFiniteRings(reference.out);
    const double total = NetArea(reference.out);
    // Land is about 29 % of the sphere.
    EXPECT_NEAR(total / FourPi, 0.29, 0.02);
    const double centres[][2] = {{40, -100}, {-33, 151}, {89, 0}, {0, 180}, {-70, 20}};
    for (const auto& centre : centres) {
        const CRingSet rotated = LoadWorld(centre[0], centre[1]);
        for (const char* name : {"Cylindrical Equal Area", "Albers Equal Area Conic", "Bonne",
                                 "Mollweide", "Sinusoidal", "Lambert Azimuthal Equal Area"}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(centre[0]) + ", " +
                         std::to_string(centre[1]));
            const CBuilt built = Build(name, rotated, 1e-6);
            ExpectClosedFiniteRings(built.out);
            ASSERT_EQ(built.out.GetPolygonCount(), world.GetPolygonCount());
            // Resampling to 1e-6 leaves an error of about that much times
            // the perimeter; the azimuthal view stretches a country at the
            // antipode around its whole rim, where it converges more slowly.
            const bool azimuthal = std::string(name) == "Lambert Azimuthal Equal Area";
            const double relative = azimuthal ? 5e-4 : 1e-4;
            for (std::size_t p = 0; p < world.GetPolygonCount(); ++p) {
                const double expected = PolygonArea(reference, p);
                ASSERT_NEAR(PolygonArea(built, p), expected, relative * expected + 5e-8)
                    << "polygon " << p;
            }
        }
    }
}

// Rings away from every seam are drawn from the points the caller projected,
// unchanged and in order (holes reversed); resampling only adds points
// between them.
TEST(DisplayGeometryTest, UntouchedRingsKeepTheirProjectedPointsBitForBit) {
    const CRingSet world = LoadWorld();
    std::unique_ptr<CProjection> mollweide(CreateProjection("Mollweide"));
    CRingSet projected = world;
    for (CPlanePoint& p : projected.points) {
        double y = p.y;
        double x = p.x;
        mollweide->Project(y, x);
        p = {x, y};
    }
    const CBuilt built = Build("Mollweide", world, 0.0, &projected);
    std::size_t checkedRings = 0;
    for (std::size_t p = 0; p < world.GetPolygonCount(); ++p) {
        bool wraps = false;
        for (uint32_t r = world.GetFirstRing(p); r < world.GetEndRing(p); ++r) {
            const CPlanePoint* points = world.GetRingPoints(r);
            const uint32_t n = world.GetRingSize(r);
            for (uint32_t i = 0; i < n; ++i) {
                wraps |= std::fabs(points[(i + 1) % n].x - points[i].x) > 180.0;
            }
        }
        if (wraps) {
            continue;
        }
        ASSERT_EQ(built.out.GetEndRing(p) - built.out.GetFirstRing(p),
                  world.GetEndRing(p) - world.GetFirstRing(p));
        for (uint32_t k = 0; k < world.GetEndRing(p) - world.GetFirstRing(p); ++k) {
            const uint32_t in = world.GetFirstRing(p) + k;
            const uint32_t out = built.out.GetFirstRing(p) + k;
            const uint32_t n = world.GetRingSize(in);
            const CPlanePoint* expected = projected.GetRingPoints(in);
            const CPlanePoint* got = built.out.GetRingPoints(out);
            const uint32_t gotCount = built.out.GetRingSize(out);
            // Every input point appears, in order, bit for bit.
            uint32_t j = 0;
            for (uint32_t i = 0; i < n; ++i) {
                const CPlanePoint& e = expected[k == 0 ? i : (n - i) % n];
                while (j < gotCount && !(got[j].x == e.x && got[j].y == e.y)) {
                    ++j;
                }
                ASSERT_LT(j, gotCount) << "polygon " << p << " ring " << k << " point " << i;
            }
            ++checkedRings;
        }
    }
    EXPECT_GT(checkedRings, 1500u);
}

// A ring that runs once around a pole encloses the cap on its right: the
// southern cap when it runs east at a southern latitude, the northern one
// when it runs west; run the other way it encloses everything else. Conics
// fill the right region too.
TEST(DisplayGeometryTest, RingsAroundAPoleEncloseTheCapOnTheirRight) {
    struct Case {
        double lat;
        bool east;
        double area;
    };
    const Case cases[] = {{-80.0, true, CapArea(80.0)},
                          {80.0, false, CapArea(80.0)},
                          {80.0, true, FourPi - CapArea(80.0)},
                          {-60.0, false, FourPi - CapArea(60.0)}};
    for (const Case& c : cases) {
        for (const char* name :
             {"Cylindrical Equal Area", "Albers Equal Area Conic", "Mollweide"}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(c.lat));
            const CBuilt built = Build(name, Parallel(c.lat, c.east), 1e-6);
            ExpectClosedFiniteRings(built.out);
            EXPECT_NEAR(PolygonArea(built, 0), c.area, 1e-4 * c.area);
        }
        // Recentred, the same cap is still the same cap.
        CRingSet rotated = Parallel(c.lat, c.east);
        CGeoRotation rotation;
        rotation.SetOrigin(35.0, 120.0);
        for (CPlanePoint& p : rotated.points) {
            rotation.Rotate(p.y, p.x);
        }
        const CBuilt built = Build("Mollweide", rotated, 1e-6);
        EXPECT_NEAR(PolygonArea(built, 0), c.area, 1e-4 * c.area);
    }
}

// Vertices exactly on the antimeridian keep the side their sign gives them;
// a ring that only touches it is not cut, and one that crosses it through
// such vertices keeps its area.
TEST(DisplayGeometryTest, VerticesOnTheAntimeridianKeepTheirSide) {
    const std::vector<CPlanePoint> east{{170, 10}, {180, 10}, {180, -10}, {170, -10}};
    const std::vector<CPlanePoint> west{{-180, 10}, {-170, 10}, {-170, -10}, {-180, -10}};
    const std::vector<CPlanePoint> across{{170, 10},   {180, 10},   {-170, 10},
                                          {-170, -10}, {-180, -10}, {170, -10}};
    const std::vector<CPlanePoint> alongSeam{{180, 20}, {180, 0}, {-180, -20}, {-170, 0}};
    // The same square away from the seam.
    const std::vector<CPlanePoint> centred{{-10, 10}, {0, 10}, {0, -10}, {-10, -10}};
    for (const char* name : {"Cylindrical Equal Area", "Mollweide"}) {
        SCOPED_TRACE(name);
        const double square = PolygonArea(Build(name, OneRing(centred), 1e-7), 0);
        const CBuilt eastBuilt = Build(name, OneRing(east), 1e-7);
        ASSERT_EQ(eastBuilt.out.GetRingCount(), 1u);
        EXPECT_NEAR(PolygonArea(eastBuilt, 0), square, 1e-5 * square);
        // Every point of the eastern square lies east of the centre.
        for (const CPlanePoint& p : eastBuilt.out.points) {
            EXPECT_GT(p.x, 0.0);
        }
        const CBuilt westBuilt = Build(name, OneRing(west), 1e-7);
        for (const CPlanePoint& p : westBuilt.out.points) {
            EXPECT_LT(p.x, 0.0);
        }
        const CBuilt acrossBuilt = Build(name, OneRing(across), 1e-7);
        ExpectClosedFiniteRings(acrossBuilt.out);
        EXPECT_EQ(acrossBuilt.out.GetRingCount(), 2u);
        EXPECT_NEAR(PolygonArea(acrossBuilt, 0), 2.0 * square, 1e-5 * square);
        const CBuilt seamBuilt = Build(name, OneRing(alongSeam), 1e-7);
        ExpectClosedFiniteRings(seamBuilt.out);
    }
}

// The small circle of the azimuthal views: what lies beyond is hidden, a
// vertex exactly on the circle is kept, and a polygon that holds the whole
// visible hemisphere (a ring run anticlockwise, leaving only a small region
// outside) shows as the whole disc less that region.
TEST(DisplayGeometryTest, TheClipCircleHidesTheFarSideAndKeepsWhatHoldsIt) {
    const std::vector<CPlanePoint> onCircle{{80, 10}, {90, 0}, {80, -10}, {70, 0}};
    // (A coarse tolerance, so that nothing is resampled.)
    const CBuilt kept = Build("Orthographic", OneRing(onCircle), 1.0);
    ASSERT_EQ(kept.out.GetRingCount(), 1u);
    EXPECT_EQ(kept.out.GetRingSize(0), 5u);
    EXPECT_EQ(kept.out.points[1].x, 1.0);
    const std::vector<CPlanePoint> farSide{{170, 10}, {-170, 10}, {-170, -10}, {170, -10}};
    EXPECT_EQ(Build("Orthographic", OneRing(farSide)).out.GetRingCount(), 0u);
    // Across the circle: the visible half of a square centred on it.
    const std::vector<CPlanePoint> across{{80, 10}, {100, 10}, {100, -10}, {80, -10}};
    const CBuilt half = Build("Orthographic", OneRing(across), 1e-7);
    ASSERT_EQ(half.out.GetRingCount(), 1u);
    for (const CPlanePoint& p : half.out.points) {
        EXPECT_LE(std::hypot(p.x, p.y), 1.0 + 1e-12);
    }
    // The whole sphere but a small far-side square: the full disc.
    std::vector<CPlanePoint> reversed(farSide.rbegin(), farSide.rend());
    const CBuilt disc = Build("Orthographic", OneRing(reversed), 1e-7);
    EXPECT_NEAR(PolygonArea(disc, 0), 3.141592653589793, 1e-6);
    // The whole sphere but a small near-side square: the disc with a hole.
    const std::vector<CPlanePoint> near{{-10, -10}, {-10, 10}, {10, 10}, {10, -10}};
    std::vector<CPlanePoint> nearReversed(near.rbegin(), near.rend());
    const CBuilt holed = Build("Orthographic", OneRing(nearReversed), 1e-7);
    EXPECT_EQ(holed.out.GetRingCount(), 2u);
    const CBuilt square = Build("Orthographic", OneRing(near), 1e-7);
    EXPECT_NEAR(PolygonArea(holed, 0), 3.141592653589793 - PolygonArea(square, 0), 1e-6);
}

// Rings with a vertex that is not finite are left out; rings without area
// give nothing that draws, and nothing that is not finite.
TEST(DisplayGeometryTest, DegenerateRingsAreLeftOutOrHarmless) {
    const double nan = std::nan("");
    CRingSet set = OneRing({{10, 10}, {20, nan}, {20, 0}});
    set.points.push_back({1, 1});
    set.points.push_back({1, 1});
    set.points.push_back({1, 1});
    set.EndRing();
    set.EndPolygon();
    // Collinear along the equator, across the antimeridian.
    for (const CPlanePoint& p : std::vector<CPlanePoint>{{170, 0}, {-170, 0}, {-160, 0}}) {
        set.points.push_back(p);
    }
    set.EndRing();
    set.EndPolygon();
    set.points.push_back({200, 0}); // out of range
    set.points.push_back({0, 0});
    set.points.push_back({0, 1});
    set.EndRing();
    set.EndPolygon();
    for (const char* name : {"Mollweide", "Orthographic", "Mercator", "Cassini"}) {
        SCOPED_TRACE(name);
        const CBuilt built = Build(name, set);
        ASSERT_EQ(built.out.GetPolygonCount(), 4u);
        EXPECT_EQ(built.out.GetEndRing(0) - built.out.GetFirstRing(0), 0u);
        for (const CPlanePoint& p : built.out.points) {
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
        }
        EXPECT_NEAR(NetArea(built.out), 0.0, 1e-12);
    }
}

// Whole-world maps draw without streaks: after recentring, no edge of a
// pseudo-cylindrical map jumps across the map, and every point lies within
// the projection's outline.
TEST(DisplayGeometryTest, RecentredWorldMapsHaveNoStreaks) {
    const CRingSet world = LoadWorld(40.0, -100.0);
    for (const char* name : {"Mollweide", "Sinusoidal", "Eckert IV", "Eckert VI",
                             "Cylindrical Equidistant", "Van Der Grinten"}) {
        SCOPED_TRACE(name);
        const CBuilt built = Build(name, world);
        ExpectClosedFiniteRings(built.out);
        double longest = 0.0;
        for (std::size_t r = 0; r < built.out.GetRingCount(); ++r) {
            const CPlanePoint* points = built.out.GetRingPoints(r);
            for (uint32_t i = 0; i + 1 < built.out.GetRingSize(r); ++i) {
                const double dx = points[i + 1].x - points[i].x;
                const double dy = points[i + 1].y - points[i].y;
                // Pole lines of the equidistant cylinder are straight and
                // long: leave out horizontal edges on its top and bottom.
                if (std::fabs(dy) == 0.0 && std::fabs(std::fabs(points[i].y) - 1.5707963) < 1e-6) {
                    continue;
                }
                longest = std::max(longest, std::hypot(dx, dy));
            }
        }
        EXPECT_LT(longest, 1.6);
    }
}

// The outline of the drawable sphere: the whole sphere for world maps (4 pi
// under an equal-area projection), a disc for the hemisphere views, the
// square for Mercator.
TEST(DisplayGeometryTest, OutlinesEncloseWhatTheProjectionShows) {
    const struct {
        const char* name;
        double area;
    } cases[] = {{"Mollweide", FourPi},
                 {"Cylindrical Equal Area", FourPi},
                 {"Orthographic", 3.141592653589793},
                 {"Mercator", 4.0 * 3.141592653589793 * 3.141592653589793},
                 {nullptr, 360.0 * 180.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name == nullptr ? "degrees" : c.name);
        std::unique_ptr<CProjection> projection(c.name == nullptr ? nullptr
                                                                  : CreateProjection(c.name));
        const CDisplaySettings settings = MakeDisplaySettings(projection.get(), 1e-6);
        CRingSet outline;
        CDisplayGeometryBuilder(settings).BuildOutline(outline);
        ASSERT_EQ(outline.GetRingCount(), 1u);
        // Clockwise.
        EXPECT_LT(RingDoubleArea(outline.GetRingPoints(0), outline.GetRingSize(0)), 0.0);
        const double scale =
            c.name == nullptr ? 1.0 : settings.sphereRadius * settings.sphereRadius;
        EXPECT_NEAR(NetArea(outline) / scale, c.area, 1e-5 * c.area);
    }
}

// Graticule lines are cut like everything else: in the globe view every
// visible piece lies on the disc, and Mercator keeps them in its square.
TEST(DisplayGeometryTest, GraticuleLinesAreCutAndClipped) {
    CGeoRotation rotation;
    rotation.SetOrigin(40.0, -100.0);
    CRingSet lines;
    MakeGraticule(10.0, &rotation, lines);
    EXPECT_EQ(lines.GetPolygonCount(), 36u + 17u);
    std::unique_ptr<CProjection> orthographic(CreateProjection("Orthographic"));
    CRingSet globe;
    CDisplayGeometryBuilder(MakeDisplaySettings(orthographic.get())).BuildLines(lines, globe);
    EXPECT_GT(globe.GetRingCount(), 30u);
    for (const CPlanePoint& p : globe.points) {
        EXPECT_LE(std::hypot(p.x, p.y), 1.0 + 1e-9);
    }
    std::unique_ptr<CProjection> mercator(CreateProjection("Mercator"));
    CRingSet square;
    CDisplayGeometryBuilder(MakeDisplaySettings(mercator.get())).BuildLines(lines, square);
    for (const CPlanePoint& p : square.points) {
        EXPECT_LE(std::fabs(p.x), 3.141592653589793 + 1e-9);
        EXPECT_LE(std::fabs(p.y), 3.141592653589793 + 1e-9);
    }
}
