// Randomised checks against independent computations, with fixed seeds.
#include <algorithm>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "ShapeTestSupport.h"

namespace {

// A random star-shaped (hence simple) ring about (cx, cy). With a grid step
// the coordinates are exact multiples of it, so sums of them are exact.
std::vector<double> RandomStarRing(std::mt19937& random, unsigned count, double step = 0.0) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> angles(count);
    for (double& a : angles) {
        a = unit(random) * TwoPi;
    }
    std::sort(angles.begin(), angles.end());
    if (unit(random) < 0.5) {
        std::reverse(angles.begin(), angles.end());
    }
    const double cx = (unit(random) - 0.5) * 200;
    const double cy = (unit(random) - 0.5) * 100;
    std::vector<double> xy;
    for (double a : angles) {
        const double r = 1 + 9 * unit(random);
        double x = cx + r * std::cos(a);
        double y = cy + r * std::sin(a);
        if (step > 0) {
            x = std::round(x / step) * step;
            y = std::round(y / step) * step;
        }
        xy.push_back(x);
        xy.push_back(y);
    }
    return xy;
}

double Shoelace(const std::vector<double>& xy) {
    const size_t n = xy.size() / 2;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const size_t j = (i + 1) % n;
        sum += xy[2 * i] * xy[2 * j + 1] - xy[2 * j] * xy[2 * i + 1];
    }
    return sum / 2;
}

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
    const double vx = bx - ax, vy = by - ay;
    const double len2 = vx * vx + vy * vy;
    double t = len2 > 0 ? ((px - ax) * vx + (py - ay) * vy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (ax + t * vx), py - (ay + t * vy));
}

// Winding number of the ring around the point (non-zero: inside).
int WindingNumber(const std::vector<double>& xy, double px, double py) {
    const size_t n = xy.size() / 2;
    int winding = 0;
    for (size_t i = 0; i < n; ++i) {
        const size_t j = (i + 1) % n;
        const double ax = xy[2 * i], ay = xy[2 * i + 1], bx = xy[2 * j], by = xy[2 * j + 1];
        const double side = (bx - ax) * (py - ay) - (px - ax) * (by - ay);
        if (ay <= py && by > py && side > 0) {
            ++winding;
        } else if (ay > py && by <= py && side < 0) {
            --winding;
        }
    }
    return winding;
}

TEST(PropertyTests, AreaMatchesTheShoelaceSum) {
    const CPoolKeeper keeper;
    std::mt19937 random(20261206);
    for (int round = 0; round < 3000; ++round) {
        const auto xy = RandomStarRing(random, 3 + round % 40);
        auto polygon = MakePolygon(xy);
        const double expected = Shoelace(xy);
        EXPECT_NEAR(polygon->GetArea(), expected, 1e-9 * (1 + std::fabs(expected)));
        EXPECT_NEAR(C2DPolyBase(*polygon).GetArea(), expected, 1e-9 * (1 + std::fabs(expected)));
    }
}

TEST(PropertyTests, ContainsAgreesWithTheWindingNumber) {
    const CPoolKeeper keeper;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int tested = 0;
    for (int round = 0; round < 300; ++round) {
        const auto xy = RandomStarRing(random, 3 + round % 30);
        auto polygon = MakePolygon(xy);
        const C2DRect& b = polygon->GetBoundingRect();
        const double w = b.bottomRight.x - b.topLeft.x, h = b.topLeft.y - b.bottomRight.y;
        for (int k = 0; k < 20; ++k) {
            const double px = b.topLeft.x - 0.1 * w + 1.2 * w * unit(random);
            const double py = b.bottomRight.y - 0.1 * h + 1.2 * h * unit(random);
            double nearest = 1e300;
            for (size_t i = 0; i < xy.size() / 2; ++i) {
                const size_t j = (i + 1) % (xy.size() / 2);
                nearest = std::min(nearest, SegmentDistance(px, py, xy[2 * i], xy[2 * i + 1],
                                                            xy[2 * j], xy[2 * j + 1]));
            }
            if (nearest < 1e-9) {
                continue;
            }
            ++tested;
            EXPECT_EQ(polygon->Contains(C2DPoint(px, py)), WindingNumber(xy, px, py) != 0)
                << "round " << round << " point " << px << ", " << py;
        }
    }
    EXPECT_GT(tested, 5000);
}

TEST(PropertyTests, ArcBoundsHoldAndTouchTheArc) {
    const CPoolKeeper keeper;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 3000; ++round) {
        const C2DPoint start((unit(random) - 0.5) * 20, (unit(random) - 0.5) * 20);
        const C2DPoint end((unit(random) - 0.5) * 20, (unit(random) - 0.5) * 20);
        const double halfChord = start.DistanceTo(end) / 2;
        // Every tenth arc is an exact half circle.
        const double radius = round % 10 == 0 ? halfChord : halfChord * (1 + 3 * unit(random));
        const C2DArc arc(start, end, radius, unit(random) < 0.5, unit(random) < 0.5);
        C2DRect bounds;
        arc.GetBounds(bounds);
        const C2DPoint centre = arc.GetCircleCentre();
        EXPECT_NEAR(centre.DistanceTo(start), radius, 1e-9 * radius);

        // Sample the circle; a sample lies on the arc when it is on the arc's
        // side of the chord (an independent cross product).
        double left = std::min(start.x, end.x), right = std::max(start.x, end.x);
        double bottom = std::min(start.y, end.y), top = std::max(start.y, end.y);
        const double slack = 1e-9 * (1 + radius);
        for (int k = 0; k < 2000; ++k) {
            const double a = TwoPi * k / 2000;
            const double x = centre.x + radius * std::cos(a), y = centre.y + radius * std::sin(a);
            const double cross =
                (end.x - start.x) * (y - start.y) - (end.y - start.y) * (x - start.x);
            const bool onRight = cross < 0;
            if (std::fabs(cross) < 1e-9 * radius * radius || onRight != arc.arcOnRight) {
                continue;
            }
            EXPECT_GE(x, bounds.topLeft.x - slack);
            EXPECT_LE(x, bounds.bottomRight.x + slack);
            EXPECT_GE(y, bounds.bottomRight.y - slack);
            EXPECT_LE(y, bounds.topLeft.y + slack);
            left = std::min(left, x);
            right = std::max(right, x);
            bottom = std::min(bottom, y);
            top = std::max(top, y);
        }
        // The sampled extremes come within the sampling resolution of the bounds.
        const double resolution = radius * 1e-5 + 1e-12;
        EXPECT_NEAR(left, bounds.topLeft.x, resolution) << round;
        EXPECT_NEAR(right, bounds.bottomRight.x, resolution) << round;
        EXPECT_NEAR(bottom, bounds.bottomRight.y, resolution) << round;
        EXPECT_NEAR(top, bounds.topLeft.y, resolution) << round;
        if (HasFailure()) {
            break;
        }
    }
}

class CIdentity : public CTransformation {
public:
    void Transform(double&, double&) override {}
    void InverseTransform(double&, double&) override {}
};

void ExpectNearRect(const C2DRect& a, const C2DRect& b, double tolerance) {
    EXPECT_NEAR(a.topLeft.x, b.topLeft.x, tolerance);
    EXPECT_NEAR(a.topLeft.y, b.topLeft.y, tolerance);
    EXPECT_NEAR(a.bottomRight.x, b.bottomRight.x, tolerance);
    EXPECT_NEAR(a.bottomRight.y, b.bottomRight.y, tolerance);
}

// Exact comparison by default; arcs moved by different routes may differ in
// the last bits of their circle-based rectangles.
void ExpectSameRing(const C2DPolyBase& a, const C2DPolyBase& b, double rectTolerance = 0.0) {
    ASSERT_EQ(a.GetLineCount(), b.GetLineCount());
    ASSERT_EQ(a.GetLineRectCount(), b.GetLineRectCount());
    for (unsigned i = 0; i < a.GetLineCount(); ++i) {
        EXPECT_EQ(a.GetLine(i)->GetStart().x, b.GetLine(i)->GetStart().x);
        EXPECT_EQ(a.GetLine(i)->GetStart().y, b.GetLine(i)->GetStart().y);
        EXPECT_EQ(a.GetLine(i)->GetEnd().x, b.GetLine(i)->GetEnd().x);
        EXPECT_EQ(a.GetLine(i)->GetEnd().y, b.GetLine(i)->GetEnd().y);
        ExpectNearRect(a.GetLineRect(i), b.GetLineRect(i), rectTolerance);
    }
    ExpectNearRect(a.GetBoundingRect(), b.GetBoundingRect(), rectTolerance);
}

TEST(PropertyTests, IdentityTransformKeepsAndTranslationMatchesTranslate) {
    const CPoolKeeper keeper;
    std::mt19937 random(3);
    const double step = 1.0 / 1024; // exact sums keep the comparisons exact
    for (int round = 0; round < 2000; ++round) {
        const auto xy = RandomStarRing(random, 3 + round % 25, step);
        auto polygon = MakePolygon(xy);
        C2DPolygon original(*polygon);
        CIdentity identity;
        polygon->Transform(identity);
        ExpectSameRing(*polygon, original);
        polygon->InverseTransform(identity);
        ExpectSameRing(*polygon, original);

        // A ring with arcs, built incrementally.
        C2DPolyArc arcs;
        arcs.SetStartPoint(C2DPoint(xy[0], xy[1]));
        for (size_t i = 1; i < xy.size() / 2; ++i) {
            if (i % 2 == 1) {
                arcs.ArcTo(C2DPoint(xy[2 * i], xy[2 * i + 1]), i % 4 == 1, true, 40.0);
            } else {
                arcs.LineTo(C2DPoint(xy[2 * i], xy[2 * i + 1]));
            }
        }
        arcs.CloseWithArc(false, false, 40.0);
        C2DPolyArc arcsOriginal;
        arcsOriginal.Set(arcs);
        arcs.Transform(identity);
        ExpectSameRing(arcs, arcsOriginal);

        const C2DOffset offset(std::round(50 * (round % 7)) * step * 64, -3.5);
        CTranslation translation(offset.dx, offset.dy);
        C2DPolygon translated(*polygon);
        translated.Translate(offset);
        polygon->Transform(translation);
        ExpectSameRing(*polygon, translated);
        arcsOriginal.Translate(offset);
        arcs.Transform(translation);
        ExpectSameRing(arcs, arcsOriginal, 1e-9);
        if (HasFailure()) {
            break;
        }
    }
}

} // namespace
