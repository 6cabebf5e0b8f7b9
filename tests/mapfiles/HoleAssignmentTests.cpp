#include <algorithm>
#include <cmath>
#include <cstring>
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

std::vector<double> PointsOf(const Ring& ring) {
    std::vector<double> points;
    for (const auto& [x, y] : ring) {
        points.push_back(x);
        points.push_back(y);
    }
    return points;
}

// The same ring as plain numbers, its edges kept in store.
CFlatRing MakeFlatRing(CFlatRingStore& store, const Ring& ring) {
    const std::vector<double> points = PointsOf(ring);
    CFlatRing flat;
    EXPECT_TRUE(store.Add(points.data(), static_cast<unsigned>(ring.size()), false, flat));
    return flat;
}

// Where a scenario of rings is drawn: x' = offset + scale * x, likewise y.
struct CPlacement {
    double offset;
    double scale;

    Ring Place(const Ring& ring) const {
        Ring placed;
        for (const auto& [x, y] : ring) {
            placed.emplace_back(offset + scale * x, offset + scale * y);
        }
        return placed;
    }
};

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
// rim, with and without the edge index, with a fitting and a wrong extent;
// and so must the same search over the rings held as plain numbers. The
// scenarios are drawn near the origin, far from it (where the half steps of
// the vertices are finer than a float resolves), and spread past the largest
// float: the index keeps edge ranges as floats.
TEST(HoleAssignment, AgreesWithTheRimByRimSearch) {
    std::mt19937 random(20261206);
    std::uniform_real_distribution<double> position(0.0, 60.0);
    std::uniform_int_distribution<int> vertexCount(3, 140);
    std::uniform_int_distribution<int> coin(0, 3);
    const CPlacement placements[] = {{0.0, 1.0}, {1.0e7, 0.25}, {0.0, 1.0e37}};
    unsigned tested[3] = {};
    unsigned assignedEarlier[3] = {};
    for (int scenario = 0; scenario < 36; ++scenario) {
        const CPlacement& placement = placements[scenario % 3];
        std::vector<std::unique_ptr<C2DPolygon>> rims;
        std::vector<C2DRect> drawnBounds; // of the rims before placing
        const auto placedRect = [&](double left, double top, double right, double bottom) {
            const Ring corners = placement.Place({{left, top}, {right, bottom}});
            return C2DRect(corners[0].first, corners[0].second, corners[1].first,
                           corners[1].second);
        };
        const C2DRect extent = placedRect(0.0, 60.0, 60.0, 0.0);
        const C2DRect wrongExtent = placedRect(25.0, 30.0, 26.0, 29.0);
        CHoleAssigner indexed(extent, 100, 0);
        CHoleAssigner plain(extent, 100, 1u << 30);
        CHoleAssigner misplaced(wrongExtent, 100);
        CFlatHoleAssigner flatIndexed(extent, 100, 0);
        CFlatHoleAssigner flatPlain(extent, 100, 1u << 30);
        CFlatRingStore rimStore;
        rimStore.Reset(80 * 140);
        std::vector<CFlatRing> flatRims;
        flatRims.reserve(80);
        CFlatRingStore holeStore;
        for (int step = 0; step < 80; ++step) {
            if (rims.empty() || coin(random) == 0) {
                const double size = 3.0 + position(random) / 3.0;
                const Ring drawn = RandomStar(random, position(random), position(random), size,
                                              vertexCount(random));
                drawnBounds.push_back(
                    std::unique_ptr<C2DPolygon>(MakePolygon(drawn))->GetBoundingRect());
                const Ring rim = placement.Place(drawn);
                rims.emplace_back(MakePolygon(rim));
                for (CHoleAssigner* assigner : {&indexed, &plain, &misplaced}) {
                    assigner->AddRim(*rims.back());
                }
                flatRims.push_back(MakeFlatRing(rimStore, rim));
                flatIndexed.AddRim(flatRims.back());
                flatPlain.AddRim(flatRims.back());
                continue;
            }
            // Holes near rims: inside, across their edges, or outside.
            const C2DRect& near = drawnBounds[random() % rims.size()];
            const double cx =
                near.topLeft.x + (near.bottomRight.x - near.topLeft.x) * (position(random) / 60.0);
            const double cy = near.bottomRight.y +
                              (near.topLeft.y - near.bottomRight.y) * (position(random) / 60.0);
            const Ring holeRing = placement.Place(
                RandomStar(random, cx, cy, 0.5 + position(random) / 20.0, vertexCount(random)));
            std::unique_ptr<C2DPolygon> hole(MakePolygon(holeRing));
            holeStore.Reset(holeRing.size());
            const CFlatRing flatHole = MakeFlatRing(holeStore, holeRing);
            const auto fallback = static_cast<unsigned>(rims.size() - 1);
            const unsigned expected = BruteForceRim(rims, *hole, fallback);
            EXPECT_EQ(indexed.FindRim(*hole, fallback), expected);
            EXPECT_EQ(plain.FindRim(*hole, fallback), expected);
            EXPECT_EQ(misplaced.FindRim(*hole, fallback), expected);
            EXPECT_EQ(flatIndexed.FindRim(flatHole, fallback), expected);
            EXPECT_EQ(flatPlain.FindRim(flatHole, fallback), expected);
            // IsWithin itself, against any rim, and the probe ray's verdict
            // from a vertex of the hole.
            const std::size_t other = random() % rims.size();
            EXPECT_EQ(flatHole.IsWithin(flatRims[other]), hole->IsWithin(*rims[other]));
            EXPECT_EQ(flatHole.Crosses(flatRims[other]), hole->Crosses(*rims[other]));
            const C2DPoint probe(holeRing[0].first, holeRing[0].second);
            EXPECT_EQ(flatRims[fallback].Contains(probe), rims[fallback]->Contains(probe));
            EXPECT_EQ(flatRims[fallback].GetProbeBounds(probe).topLeft.y,
                      rims[fallback]->GetProbeBounds(probe).topLeft.y);
            ++tested[scenario % 3];
            assignedEarlier[scenario % 3] += expected < fallback;
        }
    }
    // The scenarios of each placement must exercise both outcomes.
    for (int p = 0; p < 3; ++p) {
        EXPECT_GT(tested[p], 400u) << p;
        EXPECT_GT(assignedEarlier[p], 40u) << p;
        EXPECT_LT(assignedEarlier[p], tested[p] - 40) << p;
    }
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
    // The same rims as plain numbers.
    const std::vector<Ring> rimRings = {Square(0, 0, 10, 10, true),
                                        {{-inf, 0}, {0, 50}, {inf, 0}},
                                        {{nan, 0}, {0, 5}, {5, 5}, {5, 0}},
                                        Square(20, 0, 30, 10, true)};
    CFlatRingStore rimStore;
    rimStore.Reset(16);
    std::vector<CFlatRing> flatRims;
    CFlatHoleAssigner flatAssigner(C2DRect(0, 10, 30, 0), 10, 0);
    for (const Ring& ring : rimRings) {
        flatRims.push_back(MakeFlatRing(rimStore, ring));
    }
    for (const CFlatRing& rim : flatRims) {
        flatAssigner.AddRim(rim);
    }
    CFlatRingStore holeStore;
    const std::vector<Ring> holes = {Square(1, 1, 2, 2, true),   Square(21, 1, 22, 2, true),
                                     {{1, 1}, {nan, 2}, {2, 1}}, {{1, 1}, {1, inf}, {2, 1}},
                                     {{nan, nan}, {1, 1}},       Square(-100, 1, 100, 2, true)};
    for (const Ring& ring : holes) {
        std::unique_ptr<C2DPolygon> hole(MakePolygon(ring));
        EXPECT_EQ(assigner.FindRim(*hole, 3), BruteForceRim(rims, *hole, 3));
        holeStore.Reset(ring.size());
        EXPECT_EQ(flatAssigner.FindRim(MakeFlatRing(holeStore, ring), 3),
                  BruteForceRim(rims, *hole, 3));
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

namespace {

// A ring's numbers as the converter copies them: per edge its start and
// direction, then the ring's bounds.
std::vector<double> NumbersOf(const C2DPolyBase& ring) {
    std::vector<double> numbers;
    for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
        const auto& line = static_cast<const C2DLine&>(*ring.GetLine(k));
        numbers.insert(numbers.end(),
                       {line.start.x, line.start.y, line.direction.dx, line.direction.dy});
    }
    const C2DRect& b = ring.GetBoundingRect();
    numbers.insert(numbers.end(), {b.topLeft.x, b.topLeft.y, b.bottomRight.x, b.bottomRight.y});
    return numbers;
}

std::vector<double> NumbersOf(const CFlatRing& ring) {
    std::vector<double> numbers;
    for (unsigned k = 0; k < ring.count; ++k) {
        const CFlatEdge& e = ring.edges[k];
        numbers.insert(numbers.end(), {e.x, e.y, e.dx, e.dy});
    }
    const C2DRect& b = ring.bounds;
    numbers.insert(numbers.end(), {b.topLeft.x, b.topLeft.y, b.bottomRight.x, b.bottomRight.y});
    return numbers;
}

// What a split hands over, in order: ("hole", rim, numbers) and ("rim", numbers).
struct CSplitLog final : CHoleTaker, CFlatRingTaker {
    std::vector<std::pair<int, std::vector<double>>> entries;
    void TakeHole(unsigned rim, std::unique_ptr<C2DPolygon> hole) override {
        entries.emplace_back(static_cast<int>(rim), NumbersOf(*hole));
    }
    void TakeFlatHole(unsigned rim, const CFlatRing& hole) override {
        entries.emplace_back(static_cast<int>(rim), NumbersOf(hole));
    }
    void TakeFlatRim(const CFlatRing& rim) override { entries.emplace_back(-1, NumbersOf(rim)); }
};

bool SameBits(const std::vector<std::pair<int, std::vector<double>>>& a,
              const std::vector<std::pair<int, std::vector<double>>>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].first != b[i].first || a[i].second.size() != b[i].second.size() ||
            std::memcmp(a[i].second.data(), b[i].second.data(),
                        a[i].second.size() * sizeof(double)) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

// Splitting a record into rings of plain numbers hands over the rims and
// holes that the edge objects give, to the bit and in the same order, with
// every hole given the same rim: records of random rings both ways round,
// closed as files close them, with off-grid coordinates whose differences
// round, and with one splitter and store kept from record to record; the
// same when the rings are made and the holes placed on several threads
// (the last records have rings enough for the threads to share them out);
// and the whole-map road, which splits large records on two threads, agrees.
TEST(HoleAssignment, FlatSplitMatchesTheObjectSplit) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> position(0.0, 60.0);
    std::uniform_int_distribution<int> vertexCount(3, 150);
    std::uniform_int_distribution<int> fewVertices(3, 9);
    std::uniform_int_distribution<int> coin(0, 2);
    CFlatRecordSplitter splitter;
    CFlatRingStore store;
    // Every record of two parts or more has its holes placed on threads.
    CFlatRecordSplitter threadedSplitter;
    threadedSplitter.SetParallelParts(2);
    CFlatRingStore threadedStore;
    unsigned holes = 0;
    unsigned helped = 0;
    unsigned manyRings = 0;
    for (int scenario = 0; scenario < 43; ++scenario) {
        ShapeRecord record;
        const bool many = scenario >= 40;
        const int rings =
            many ? 2000 + static_cast<int>(random() % 2000) : 1 + static_cast<int>(random() % 90);
        for (int r = 0; r < rings; ++r) {
            Ring ring =
                RandomStar(random, position(random), position(random),
                           many ? 0.3 + position(random) / 30.0 : 0.5 + position(random) / 6.0,
                           many ? fewVertices(random) : vertexCount(random));
            if (coin(random) != 0) {
                std::reverse(ring.begin(), ring.end()); // a hole
            }
            record.parts.push_back(static_cast<int32_t>(record.points.size() / 2));
            for (const auto& [x, y] : Closed(ring)) {
                // Off the grid now and then, so that start + direction need
                // not give the next start back.
                const double shift = scenario % 2 == 0 ? 0.1 : 0.0;
                record.points.push_back(x + shift * 3);
                record.points.push_back(y - shift * 7);
            }
        }
        record.numParts = static_cast<int32_t>(record.parts.size());
        record.numPoints = static_cast<int32_t>(record.points.size() / 2);

        CSplitLog objects;
        for (std::unique_ptr<C2DPolygon>& rim : SplitRecord(record, objects)) {
            objects.entries.emplace_back(-1, NumbersOf(*rim));
        }
        CSplitLog flat;
        ASSERT_TRUE(splitter.Split(record, store, flat));
        EXPECT_TRUE(SameBits(objects.entries, flat.entries)) << "record " << scenario;
        for (const unsigned threads : {2u, 3u}) {
            CSplitLog onThreads;
            ASSERT_TRUE(threadedSplitter.Split(record, threadedStore, onThreads, threads));
            EXPECT_TRUE(SameBits(objects.entries, onThreads.entries))
                << "record " << scenario << " on " << threads << " threads";
        }

        // The whole-map road, which for a record of many rings finds the
        // holes' rims on a helper thread, gives the same holed polygons.
        std::vector<std::pair<int, std::vector<double>>> rims;
        std::vector<std::vector<std::pair<int, std::vector<double>>>> holesOfRim;
        for (const auto& entry : objects.entries) {
            if (entry.first < 0) {
                rims.push_back(entry);
            }
        }
        holesOfRim.resize(rims.size());
        for (const auto& entry : objects.entries) {
            if (entry.first >= 0) {
                holesOfRim[static_cast<std::size_t>(entry.first)].push_back(entry);
            }
        }
        std::unique_ptr<C2DHoledPolygonSet> set(RecordToHoledPolygons(record));
        ASSERT_EQ(set->GetSize(), rims.size());
        for (unsigned r = 0; r < set->GetSize(); ++r) {
            const C2DHoledPolyBase& holed = *set->GetAt(r);
            std::vector<std::pair<int, std::vector<double>>> made{{-1, NumbersOf(*holed.GetRim())}};
            std::vector<std::pair<int, std::vector<double>>> expected{rims[r]};
            for (unsigned h = 0; h < holed.GetHoleCount(); ++h) {
                made.emplace_back(static_cast<int>(r), NumbersOf(*holed.GetHole(h)));
            }
            expected.insert(expected.end(), holesOfRim[r].begin(), holesOfRim[r].end());
            EXPECT_TRUE(SameBits(made, expected)) << "record " << scenario << ", rim " << r;
        }
        helped += record.numParts >= 64;
        manyRings += record.numParts > 2048;
        for (const auto& entry : objects.entries) {
            holes += entry.first >= 0;
        }
    }
    EXPECT_GT(holes, 500u);
    EXPECT_GT(helped, 5u);
    EXPECT_EQ(manyRings, 3u);
}

// Rings made at given places of a store (as several threads make them) are
// the rings made one after another, edge for edge; a ring that does not fit
// in the room left, or that would start past it, is not made.
TEST(FlatRingStore, RingsMadeInPlaceAreThoseMadeInOrder) {
    const std::vector<double> first = PointsOf(Square(0.1, 0.2, 3.3, 4.7, true));
    const std::vector<double> second = PointsOf({{1.0, 1.0}, {2.5, 1.0}, {2.0, 3.0}});
    const auto count = [](const std::vector<double>& points) {
        return static_cast<unsigned>(points.size() / 2);
    };
    const unsigned room = count(first) + count(second) + 2;

    CFlatRingStore inOrder;
    inOrder.Reset(room);
    CFlatRing a;
    CFlatRing b;
    ASSERT_TRUE(inOrder.Add(first.data(), count(first), false, a));
    ASSERT_TRUE(inOrder.Add(second.data(), count(second), true, b));
    CFlatRing tooLarge;
    EXPECT_FALSE(inOrder.Add(first.data(), count(first), false, tooLarge));
    CFlatRing fits; // the failed ring took no room
    EXPECT_TRUE(inOrder.Add(second.data(), 2, false, fits));
    EXPECT_EQ(fits.edges, inOrder.GetEdges() + count(first) + count(second));

    CFlatRingStore inPlace;
    inPlace.Reset(room);
    CFlatRing placedB;
    CFlatRing placedA;
    ASSERT_TRUE(inPlace.AddAt(count(first), second.data(), count(second), true, placedB));
    ASSERT_TRUE(inPlace.AddAt(0, first.data(), count(first), false, placedA));
    for (const auto& [made, placed] : {std::pair{&a, &placedA}, std::pair{&b, &placedB}}) {
        ASSERT_EQ(placed->count, made->count);
        EXPECT_EQ(std::memcmp(placed->edges, made->edges, made->count * sizeof(CFlatEdge)), 0);
        EXPECT_EQ(placed->bounds.topLeft.x, made->bounds.topLeft.x);
        EXPECT_EQ(placed->bounds.bottomRight.y, made->bounds.bottomRight.y);
    }
    EXPECT_EQ(placedB.edges, inPlace.GetEdges() + count(first));
    CFlatRing outside;
    EXPECT_FALSE(inPlace.AddAt(room - 1, second.data(), 2, false, outside));
    EXPECT_FALSE(inPlace.AddAt(room + 1, second.data(), 0, false, outside));
    EXPECT_TRUE(inPlace.AddAt(room, second.data(), 0, false, outside));
    EXPECT_EQ(outside.count, 0u);
}
