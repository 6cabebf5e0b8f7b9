#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "geometry/Arcs.h"
#include "mapfiles/HoleAssignment.h"
#include "mapfiles/ShapefileRecords.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

// A star-shaped ring around a centre, clockwise, its vertices snapped to a
// coarse grid so that rings often touch, share vertices or run along each
// other's edges: the cases where a fast answer would most likely differ.
Ring RandomStar(std::mt19937& random, double cx, double cy, double size, int vertices) {
    std::uniform_real_distribution<double> radius(0.4 * size, size);
    Ring ring;
    for (int k = 0; k < vertices; ++k) {
        const double angle = -2.0 * 3.141592653589793 * k / vertices;
        const double r = radius(random);
        ring.emplace_back(std::round(2.0 * (cx + r * std::cos(angle))) / 2.0,
                          std::round(2.0 * (cy + r * std::sin(angle))) / 2.0);
    }
    return ring;
}

template <typename Rims>
unsigned BruteForceRim(const Rims& rims, const C2DPolyBase& hole, unsigned fallback) {
    for (unsigned r = 0; r < fallback; ++r) {
        if (hole.IsWithin(*rims[r])) {
            return r;
        }
    }
    return fallback;
}

} // namespace

// The indexed search must give exactly the answer of asking IsWithin rim by
// rim, with and without the edge index, with a fitting and a wrong extent.
TEST(HoleAssignment, AgreesWithTheRimByRimSearch) {
    std::mt19937 random(20261206);
    std::uniform_real_distribution<double> position(0.0, 60.0);
    std::uniform_int_distribution<int> vertexCount(3, 140);
    std::uniform_int_distribution<int> coin(0, 3);
    unsigned tested = 0;
    unsigned assignedEarlier = 0;
    for (int scenario = 0; scenario < 30; ++scenario) {
        std::vector<std::unique_ptr<C2DPolygon>> rims;
        const C2DRect extent(0.0, 60.0, 60.0, 0.0);
        const C2DRect wrongExtent(25.0, 30.0, 26.0, 29.0);
        CHoleAssigner indexed(extent, 100, 0);
        CHoleAssigner plain(extent, 100, 1u << 30);
        CHoleAssigner misplaced(wrongExtent, 100);
        for (int step = 0; step < 80; ++step) {
            if (rims.empty() || coin(random) == 0) {
                const double size = 3.0 + position(random) / 3.0;
                rims.emplace_back(MakePolygon(RandomStar(random, position(random), position(random),
                                                         size, vertexCount(random))));
                for (CHoleAssigner* assigner : {&indexed, &plain, &misplaced}) {
                    assigner->AddRim(*rims.back());
                }
                continue;
            }
            // Holes near rims: inside, across their edges, or outside.
            const C2DRect& near = rims[random() % rims.size()]->GetBoundingRect();
            const double cx =
                near.topLeft.x + (near.bottomRight.x - near.topLeft.x) * (position(random) / 60.0);
            const double cy = near.bottomRight.y +
                              (near.topLeft.y - near.bottomRight.y) * (position(random) / 60.0);
            std::unique_ptr<C2DPolygon> hole(MakePolygon(
                RandomStar(random, cx, cy, 0.5 + position(random) / 20.0, vertexCount(random))));
            const auto fallback = static_cast<unsigned>(rims.size() - 1);
            const unsigned expected = BruteForceRim(rims, *hole, fallback);
            EXPECT_EQ(indexed.FindRim(*hole, fallback), expected);
            EXPECT_EQ(plain.FindRim(*hole, fallback), expected);
            EXPECT_EQ(misplaced.FindRim(*hole, fallback), expected);
            ++tested;
            assignedEarlier += expected < fallback;
        }
    }
    // The scenarios must exercise both outcomes.
    EXPECT_GT(tested, 1000u);
    EXPECT_GT(assignedEarlier, 100u);
    EXPECT_LT(assignedEarlier, tested - 100);
}

// A lake in a large rim listed after islands goes to the large rim.
TEST(HoleAssignment, RecordWithLargeRimAndIslands) {
    ShapeRecord record;
    std::vector<Ring> rings;
    Ring coast;
    for (int k = 0; k < 200; ++k) {
        const double angle = -2.0 * 3.141592653589793 * k / 200;
        coast.emplace_back(50.0 * std::cos(angle), 50.0 * std::sin(angle));
    }
    rings.push_back(coast);
    for (int island = 0; island < 20; ++island) {
        rings.push_back(Square(60.0 + 3 * island, 0, 61.0 + 3 * island, 1, true));
    }
    rings.push_back(Square(-1, -1, 1, 1, false));         // lake in the coast
    rings.push_back(Square(60.2, 0.2, 60.4, 0.4, false)); // lake in island 0
    rings.push_back(Square(45, 45, 55, 55, false));       // across the coast
    for (const Ring& ring : rings) {
        record.parts.push_back(static_cast<int32_t>(record.points.size() / 2));
        for (const auto& [x, y] : ring) {
            record.points.push_back(x);
            record.points.push_back(y);
        }
    }
    record.numParts = static_cast<int32_t>(record.parts.size());
    record.numPoints = static_cast<int32_t>(record.points.size() / 2);
    std::unique_ptr<C2DHoledPolygonSet> set(RecordToHoledPolygons(record));
    ASSERT_EQ(set->GetSize(), 21u);
    EXPECT_EQ(set->GetAt(0)->GetHoleCount(), 1u);
    EXPECT_EQ(set->GetAt(1)->GetHoleCount(), 1u);
    EXPECT_EQ(set->GetAt(20)->GetHoleCount(), 1u); // the crossing one: most recent rim
    EXPECT_DOUBLE_EQ(set->GetAt(20)->GetHole(0)->GetBoundingRect().topLeft.x, 45.0);
}

// Rings with infinite or NaN coordinates (a damaged file) get the same answer
// as the rim-by-rim search, and never an index read outside the grid.
TEST(HoleAssignment, NonFiniteCoordinates) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<std::unique_ptr<C2DPolygon>> rims;
    rims.emplace_back(MakePolygon(Square(0, 0, 10, 10, true)));
    rims.emplace_back(MakePolygon({{-inf, 0}, {0, 50}, {inf, 0}}));
    rims.emplace_back(MakePolygon({{nan, 0}, {0, 5}, {5, 5}, {5, 0}}));
    rims.emplace_back(MakePolygon(Square(20, 0, 30, 10, true)));
    CHoleAssigner assigner(C2DRect(0, 10, 30, 0), 10, 0);
    for (const auto& rim : rims) {
        assigner.AddRim(*rim);
    }
    const std::vector<Ring> holes = {Square(1, 1, 2, 2, true),   Square(21, 1, 22, 2, true),
                                     {{1, 1}, {nan, 2}, {2, 1}}, {{1, 1}, {1, inf}, {2, 1}},
                                     {{nan, nan}, {1, 1}},       Square(-100, 1, 100, 2, true)};
    for (const Ring& ring : holes) {
        std::unique_ptr<C2DPolygon> hole(MakePolygon(ring));
        EXPECT_EQ(assigner.FindRim(*hole, 3), BruteForceRim(rims, *hole, 3));
    }
}

// An arc whose chord is longer than its diameter has no circle: GetBounds
// leaves the rectangle it is given as it was, so IsWithin (through Crosses)
// selects the hole edges to test by an all-zero rectangle, and the arc's
// crossings are those of a circle of its radius about the origin. The index
// must select by that same rectangle, not by the previous edge's.
TEST(HoleAssignment, RimArcWithoutACircleIsTestedAsIsWithinTestsIt) {
    std::vector<std::unique_ptr<C2DPolyBase>> rims;
    auto arcRim = std::make_unique<C2DPolyArc>();
    arcRim->SetStartPoint(C2DPoint(-10, -10));
    arcRim->LineTo(C2DPoint(-10, 10));
    arcRim->LineTo(C2DPoint(10, 10));
    arcRim->LineTo(C2DPoint(10, -10));
    arcRim->CloseWithArc(false, true, 1.0); // a chord of 20 with a radius of 1
    ASSERT_FALSE(static_cast<const C2DArc*>(arcRim->GetLine(3))->HasCircle());
    rims.push_back(std::move(arcRim));
    rims.emplace_back(MakePolygon(Square(-20, -20, 20, 20, true)));
    // The hole's long edge runs through the unit circle about the origin.
    std::unique_ptr<C2DPolygon> hole(MakePolygon({{-2, -1.5}, {-2, 1}, {2, 1}}));
    const unsigned expected = BruteForceRim(rims, *hole, 1);
    ASSERT_EQ(expected, 1u);
    for (const unsigned indexedEdges : {0u, 4u, 1u << 30}) {
        CHoleAssigner assigner(C2DRect(-20, 20, 20, -20), 2, indexedEdges);
        assigner.AddRim(*rims[0]);
        assigner.AddRim(*rims[1]);
        EXPECT_EQ(assigner.FindRim(*hole, 1), expected) << indexedEdges;
    }
}
