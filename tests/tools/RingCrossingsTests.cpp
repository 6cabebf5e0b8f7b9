// The banded even-odd test answers as the plain loop over every edge, point
// for point, on rings built to hit its corners: vertices on band borders,
// horizontal edges, edges longer than many bands, NaN and infinite values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tools/marlo-cli/RingCrossings.h"

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Closes the ring as the display geometry does: the last point repeats the
// first.
std::vector<CPlanePoint> Closed(std::vector<CPlanePoint> ring) {
    if (!ring.empty()) {
        ring.push_back(ring.front());
    }
    return ring;
}

// Points worth asking about: every vertex, the midpoints of the edges, the
// same nudged by an ulp in y, points beyond the ring's range, NaN and
// infinite ones, and random ones.
std::vector<CPlanePoint> Probes(const std::vector<CPlanePoint>& ring, std::mt19937& random) {
    std::vector<CPlanePoint> probes;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const CPlanePoint& a = ring[i];
        const CPlanePoint& b = ring[(i + 1) % ring.size()];
        probes.push_back(a);
        const CPlanePoint middle{(a.x + b.x) / 2, (a.y + b.y) / 2};
        probes.push_back(middle);
        probes.push_back({middle.x, std::nextafter(a.y, Inf)});
        probes.push_back({middle.x, std::nextafter(a.y, -Inf)});
        probes.push_back({a.x - 1.0, a.y});
    }
    std::uniform_real_distribution<double> coordinate(-12.0, 12.0);
    for (int k = 0; k < 200; ++k) {
        probes.push_back({coordinate(random), coordinate(random)});
    }
    for (const double special : {NaN, Inf, -Inf, 0.0, -0.0, 1e300, -1e300}) {
        probes.push_back({special, 0.5});
        probes.push_back({0.5, special});
        probes.push_back({special, special});
    }
    return probes;
}

// Returns how many probes were inside.
int ExpectSameAnswers(const std::vector<CPlanePoint>& ring, std::mt19937& random,
                      const char* what) {
    const auto count = static_cast<uint32_t>(ring.size());
    const CRingCrossings index(ring.data(), count);
    int insideCount = 0;
    for (const CPlanePoint& probe : Probes(ring, random)) {
        const bool expected = RingContains(ring.data(), count, probe);
        insideCount += expected ? 1 : 0;
        EXPECT_EQ(index.Contains(probe), expected)
            << what << ", " << count << " points, probe (" << probe.x << ", " << probe.y << ")";
    }
    return insideCount;
}

} // namespace

TEST(RingCrossings, AnswersAsTheLoopOverEveryEdge) {
    std::mt19937 random(7);
    // Random walks on a coarse grid: many vertices share a y, so points lie
    // on band borders and edges run level.
    int inside = 0;
    for (const int size : {0, 1, 2, 3, 4, 5, 9, 17, 64, 300, 2000}) {
        for (int round = 0; round < 4; ++round) {
            std::uniform_int_distribution<int> step(-2, 2);
            std::vector<CPlanePoint> ring;
            int x = 0;
            int y = 0;
            for (int i = 0; i < size; ++i) {
                x += step(random);
                y += step(random);
                ring.push_back({x * 0.5, y * 0.25});
            }
            inside += ExpectSameAnswers(Closed(ring), random, "grid walk");
        }
    }
    // A circle of many points with spikes to far away: the spikes span
    // many bands and are tested by every point.
    std::vector<CPlanePoint> spiky;
    for (int i = 0; i < 1000; ++i) {
        const double angle = i * 2 * M_PI / 1000;
        const double radius = i % 97 == 0 ? 10.0 : 1.0;
        spiky.push_back({radius * std::cos(angle), radius * std::sin(angle)});
    }
    inside += ExpectSameAnswers(Closed(spiky), random, "spiky circle");
    // Not a test of empty rings alone: many probes fell inside.
    EXPECT_GT(inside, 1000);
    // Every y the same: no height to band.
    ExpectSameAnswers(Closed({{0, 1}, {1, 1}, {2, 1}, {1, 1}}), random, "level ring");
}

TEST(RingCrossings, NaNAndInfiniteCoordinatesCountAsInTheLoop) {
    std::mt19937 random(11);
    const std::vector<std::vector<CPlanePoint>> rings = {
        {{0, 0}, {4, 0}, {4, NaN}, {4, 4}, {0, 4}},
        {{0, 0}, {NaN, 2}, {4, 4}, {0, 4}},
        {{0, 0}, {4, 0}, {4, Inf}, {0, 4}},
        {{0, -Inf}, {4, 0}, {4, 4}, {Inf, 4}, {0, 4}},
        {{NaN, NaN}, {1, 1}, {2, 0}, {3, 3}},
        {{0, Inf}, {1, -Inf}, {2, Inf}, {3, -Inf}},
        {{0, NaN}, {1, NaN}, {2, NaN}},
    };
    for (const auto& ring : rings) {
        ExpectSameAnswers(Closed(ring), random, "special values");
    }
}
