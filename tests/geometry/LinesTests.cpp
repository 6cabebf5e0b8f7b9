#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "geometry/Arcs.h"
#include "geometry/Lines.h"
#include "geometry/StraightEdges.h"
#include "projection/Transformation.h"
#include "tests/geometry/ShapeTestSupport.h"

namespace {

C2DLine Line(double x1, double y1, double x2, double y2) {
    return C2DLine(C2DPoint(x1, y1), C2DPoint(x2, y2));
}

// Twice the signed area of the triangle a b c, in extended precision.
long double Orient(const C2DPoint& a, const C2DPoint& b, const C2DPoint& c) {
    return (static_cast<long double>(b.x) - a.x) * (static_cast<long double>(c.y) - a.y) -
           (static_cast<long double>(b.y) - a.y) * (static_cast<long double>(c.x) - a.x);
}

int Sign(long double v) {
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

// Half-open crossing from orientations alone: the crossing lies at the
// fraction o1 / (o1 - o2) along the first line, which is 0 when o1 = 0, 1 when
// o2 = 0 and inside (0, 1) when the signs differ.
bool ExpectedHalfOpenCrossing(const C2DPoint& p1, const C2DPoint& p2, const C2DPoint& p3,
                              const C2DPoint& p4) {
    const long double o1 = Orient(p3, p4, p1), o2 = Orient(p3, p4, p2);
    const long double o3 = Orient(p1, p2, p3), o4 = Orient(p1, p2, p4);
    if (o1 == o2) {
        return false; // parallel
    }
    const bool onFirst = o2 != 0 && (o1 == 0 || Sign(o1) != Sign(o2));
    const bool onSecond = o4 != 0 && (o3 == 0 || Sign(o3) != Sign(o4));
    return onFirst && onSecond;
}

long double PointSegmentDistance(const C2DPoint& p, const C2DPoint& a, const C2DPoint& b) {
    const long double vx = static_cast<long double>(b.x) - a.x;
    const long double vy = static_cast<long double>(b.y) - a.y;
    const long double wx = static_cast<long double>(p.x) - a.x;
    const long double wy = static_cast<long double>(p.y) - a.y;
    long double t = (vx * wx + vy * wy) / (vx * vx + vy * vy);
    t = std::clamp(t, 0.0L, 1.0L);
    return std::hypot(wx - t * vx, wy - t * vy);
}

// Records every point handed to it and moves it by (+10, *2); the inverse
// undoes that.
class CRecordingTransformation : public CTransformation {
public:
    std::vector<std::pair<double, double>> seen;
    void Transform(double& x, double& y) override {
        seen.emplace_back(x, y);
        x += 10;
        y *= 2;
    }
    void InverseTransform(double& x, double& y) override {
        seen.emplace_back(x, y);
        x -= 10;
        y /= 2;
    }
};

} // namespace

TEST(Line, CrossingIsHalfOpen) {
    C2DPointSet points;
    // A start on the other's interior counts, from either side.
    EXPECT_TRUE(Line(0, 0, 2, 0).Crosses(Line(1, 0, 1, 2), &points));
    EXPECT_TRUE(Line(1, 0, 1, 2).Crosses(Line(0, 0, 2, 0), &points));
    // Two starts meeting count.
    EXPECT_TRUE(Line(0, 0, 1, 0).Crosses(Line(0, 0, 0, 1), &points));
    ASSERT_EQ(points.GetSize(), 3u);
    ExpectPoint(*points.GetAt(0), 1, 0);
    ExpectPoint(*points.GetAt(1), 1, 0);
    ExpectPoint(*points.GetAt(2), 0, 0);
    // An end on the other's interior, or meeting ends, or end on start, do not.
    EXPECT_FALSE(Line(0, 0, 2, 0).Crosses(Line(1, 2, 1, 0), &points));
    EXPECT_FALSE(Line(0, 0, 1, 1).Crosses(Line(2, 0, 1, 1), &points));
    EXPECT_FALSE(Line(0, 0, 1, 0).Crosses(Line(1, 0, 1, 1), &points));
    // Collinear overlapping lines and parallel ones never cross.
    EXPECT_FALSE(Line(0, 0, 4, 0).Crosses(Line(1, 0, 3, 0), &points));
    EXPECT_FALSE(Line(0, 0, 4, 0).Crosses(Line(0, 1, 4, 1), &points));
    EXPECT_FALSE(Line(0, 0, 0, 0).Crosses(Line(-1, -1, 1, 1), &points));
    EXPECT_EQ(points.GetSize(), 3u);

    C2DPointSet one;
    EXPECT_TRUE(Line(0, 0, 2, 2).Crosses(Line(0, 2, 2, 0), &one));
    ASSERT_EQ(one.GetSize(), 1u);
    ExpectPoint(*one.GetAt(0), 1, 1, 0);
    EXPECT_TRUE(Line(0, 0, 2, 2).Crosses(Line(0, 2, 2, 0), nullptr));
}

TEST(Line, CrossingAgreesWithExactOrientations) {
    std::mt19937 random(20261206);
    // Small integer coordinates: every test is exact, including touching and
    // collinear cases, which come up often.
    std::uniform_int_distribution<int> coordinate(-4, 4);
    int crossings = 0;
    for (int i = 0; i < 20000; ++i) {
        C2DPoint p[4];
        for (C2DPoint& q : p) {
            q = C2DPoint(coordinate(random), coordinate(random));
        }
        const C2DLine a(p[0], p[1]), b(p[2], p[3]);
        C2DPointSet found;
        const bool crosses = a.Crosses(b, &found);
        ASSERT_EQ(crosses, ExpectedHalfOpenCrossing(p[0], p[1], p[2], p[3]))
            << p[0].x << "," << p[0].y << " " << p[1].x << "," << p[1].y << " / " << p[2].x << ","
            << p[2].y << " " << p[3].x << "," << p[3].y;
        ASSERT_EQ(found.GetSize(), crosses ? 1u : 0u);
        if (crosses) {
            ++crossings;
            const long double o1 = Orient(p[2], p[3], p[0]), o2 = Orient(p[2], p[3], p[1]);
            const long double ua = o1 / (o1 - o2);
            EXPECT_NEAR(found.GetAt(0)->x, p[0].x + ua * (p[1].x - p[0].x), 1e-12);
            EXPECT_NEAR(found.GetAt(0)->y, p[0].y + ua * (p[1].y - p[0].y), 1e-12);
        }
    }
    EXPECT_GT(crossings, 1000);

    // General positions with doubles, away from near-degenerate cases.
    std::uniform_real_distribution<double> real(-100, 100);
    for (int i = 0; i < 20000; ++i) {
        C2DPoint p[4];
        for (C2DPoint& q : p) {
            q = C2DPoint(real(random), real(random));
        }
        const long double o[4] = {Orient(p[2], p[3], p[0]), Orient(p[2], p[3], p[1]),
                                  Orient(p[0], p[1], p[2]), Orient(p[0], p[1], p[3])};
        if (std::any_of(std::begin(o), std::end(o),
                        [](long double v) { return std::fabs(v) < 1e-3L; })) {
            continue;
        }
        ASSERT_EQ(C2DLine(p[0], p[1]).Crosses(C2DLine(p[2], p[3]), nullptr),
                  ExpectedHalfOpenCrossing(p[0], p[1], p[2], p[3]));
    }
}

TEST(Line, DistanceToPoint) {
    const C2DLine line = Line(0, 0, 10, 0);
    C2DPoint nearest(99, 99);
    EXPECT_DOUBLE_EQ(line.DistanceTo(C2DPoint(5, 3), &nearest), 3);
    ExpectPoint(nearest, 5, 0, 0);
    EXPECT_DOUBLE_EQ(line.DistanceTo(C2DPoint(-4, 3), &nearest), 5);
    ExpectPoint(nearest, 0, 0, 0);
    EXPECT_DOUBLE_EQ(line.DistanceTo(C2DPoint(13, 4), &nearest), 5);
    ExpectPoint(nearest, 10, 0, 0);
    EXPECT_DOUBLE_EQ(line.DistanceTo(C2DPoint(13, 4)), 5);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> real(-50, 50);
    for (int i = 0; i < 5000; ++i) {
        const C2DPoint a(real(random), real(random)), b(real(random), real(random));
        const C2DPoint p(real(random), real(random));
        const double d = C2DLine(a, b).DistanceTo(p, &nearest);
        ASSERT_NEAR(d, PointSegmentDistance(p, a, b), 1e-9);
        ASSERT_NEAR(p.DistanceTo(nearest), d, 1e-12);
        ASSERT_NEAR(PointSegmentDistance(nearest, a, b), 0, 1e-9);
    }
}

TEST(Line, EdgeDistance) {
    C2DPoint onThis, onOther;
    // Parallel overlap: four candidates at distance 1, the first one wins.
    EXPECT_DOUBLE_EQ(Line(0, 0, 10, 0).DistanceTo(Line(2, 1, 8, 1), &onThis, &onOther), 1);
    ExpectPoint(onThis, 2, 0, 0);
    ExpectPoint(onOther, 2, 1, 0);
    // Crossing lines touch at their crossing point.
    EXPECT_EQ(Line(0, 0, 2, 2).DistanceTo(Line(0, 2, 2, 0), &onThis, &onOther), 0);
    ExpectPoint(onThis, 1, 1);
    ExpectPoint(onOther, 1, 1);
    // Wholly behind the start: the start is this line's nearest point.
    EXPECT_DOUBLE_EQ(Line(0, 0, 10, 0).DistanceTo(Line(-5, 1, -1, 3), &onThis, &onOther),
                     std::sqrt(9.8));
    ExpectPoint(onThis, 0, 0, 0);
    ExpectPoint(onOther, -1.4, 2.8);
    // Wholly beyond the end: the end is this line's nearest point.
    EXPECT_DOUBLE_EQ(Line(0, 0, 1, 0).DistanceTo(Line(3, 1, 5, -1), &onThis, &onOther),
                     std::sqrt(5.0));
    ExpectPoint(onThis, 1, 0, 0);
    ExpectPoint(onOther, 3, 1, 0);
    // This line wholly behind the other's start, roles swapped.
    EXPECT_DOUBLE_EQ(Line(0, 0, 10, 0).DistanceTo(Line(3, -1, 3, -5), &onThis, &onOther), 1);
    ExpectPoint(onThis, 3, 0, 0);
    ExpectPoint(onOther, 3, -1, 0);
    // The nearest pair is two end points whose perpendicular feet miss the
    // other line (or land far away): the end points' clamped distances decide.
    EXPECT_DOUBLE_EQ(Line(0, 0, 10, 0).DistanceTo(Line(11, 1, 5, 20), &onThis, &onOther),
                     std::sqrt(2.0));
    ExpectPoint(onThis, 10, 0, 0);
    ExpectPoint(onOther, 11, 1, 0);
    // Null outputs are allowed.
    EXPECT_DOUBLE_EQ(Line(0, 0, 10, 0).DistanceTo(Line(2, 1, 8, 1), nullptr, nullptr), 1);

    // Against brute force: zero when the closed segments meet, otherwise the
    // smallest end point to segment distance.
    std::mt19937 random(11);
    std::uniform_real_distribution<double> real(-20, 20);
    std::uniform_int_distribution<int> small(-3, 3);
    for (int i = 0; i < 20000; ++i) {
        C2DPoint p[4];
        for (C2DPoint& q : p) {
            q = i % 2 == 0 ? C2DPoint(real(random), real(random))
                           : C2DPoint(small(random), small(random));
        }
        if (p[0].DistanceTo(p[1]) == 0 || p[2].DistanceTo(p[3]) == 0) {
            continue;
        }
        const long double o1 = Orient(p[2], p[3], p[0]), o2 = Orient(p[2], p[3], p[1]);
        const long double o3 = Orient(p[0], p[1], p[2]), o4 = Orient(p[0], p[1], p[3]);
        long double expected = std::min(
            {PointSegmentDistance(p[0], p[2], p[3]), PointSegmentDistance(p[1], p[2], p[3]),
             PointSegmentDistance(p[2], p[0], p[1]), PointSegmentDistance(p[3], p[0], p[1])});
        if (Sign(o1) * Sign(o2) < 0 && Sign(o3) * Sign(o4) < 0) {
            expected = 0;
        }
        const C2DLine a(p[0], p[1]), b(p[2], p[3]);
        const double d = a.DistanceTo(b, &onThis, &onOther);
        ASSERT_NEAR(d, expected, 1e-9) << i;
        ASSERT_NEAR(onThis.DistanceTo(onOther), d, 1e-9);
        ASSERT_NEAR(PointSegmentDistance(onThis, p[0], p[1]), 0, 1e-9);
        ASSERT_NEAR(PointSegmentDistance(onOther, p[2], p[3]), 0, 1e-9);
    }
}

TEST(Line, HandOverToArcs) {
    // The upper half of the unit circle, from (-1, 0) to (1, 0).
    const C2DArc arc(C2DPoint(-1, 0), C2DPoint(1, 0), 1, true, false);
    C2DPointSet points;
    EXPECT_TRUE(Line(0, -5, 0, 5).Crosses(arc, &points));
    ASSERT_EQ(points.GetSize(), 1u);
    ExpectPoint(*points.GetAt(0), 0, 1);

    // The line's own nearest point goes to the first output, the arc's to the second.
    C2DPoint onLine, onArc;
    EXPECT_NEAR(Line(-1, 3, 1, 3).DistanceTo(arc, &onLine, &onArc), 2, 1e-12);
    ExpectPoint(onLine, 0, 3);
    ExpectPoint(onArc, 0, 1);
}

TEST(Line, SplitAtPoints) {
    const C2DLine line = Line(0, 0, 10, 0);
    C2DLineBaseSet pieces;
    C2DPointSet cuts;
    cuts.AddCopy(C2DPoint(7, 0));
    cuts.AddCopy(C2DPoint(3, 0));
    line.SplitAtPoints(cuts, pieces);
    ASSERT_EQ(pieces.GetSize(), 3u);
    const double expected[3][2] = {{0, 3}, {3, 7}, {7, 10}};
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(pieces.GetAt(i)->GetType(), GeometryType::Line);
        ExpectPoint(pieces.GetAt(i)->GetStart(), expected[i][0], 0, 0);
        ExpectPoint(pieces.GetAt(i)->GetEnd(), expected[i][1], 0, 0);
    }
    EXPECT_EQ(cuts.GetAt(0)->x, 7); // the caller's points keep their order

    C2DLineBaseSet whole;
    line.SplitAtPoints(C2DPointSet(), whole);
    ASSERT_EQ(whole.GetSize(), 1u);
    ExpectPoint(whole.GetAt(0)->GetEnd(), 10, 0, 0);

    // A duplicate point gives a zero-length piece.
    C2DLineBaseSet twice;
    C2DPointSet same;
    same.AddCopy(C2DPoint(4, 0));
    same.AddCopy(C2DPoint(4, 0));
    line.SplitAtPoints(same, twice);
    ASSERT_EQ(twice.GetSize(), 3u);
    EXPECT_EQ(twice.GetAt(1)->GetLength(), 0);
}

TEST(Line, ShapeOperations) {
    C2DLine reversed = Line(1, 1, 4, 5);
    reversed.ReverseDirection();
    ExpectPoint(reversed.start, 4, 5, 0);
    EXPECT_EQ(reversed.direction.dx, -3);
    EXPECT_EQ(reversed.direction.dy, -4);
    EXPECT_EQ(reversed.GetLength(), 5);

    const C2DLine east = Line(0, 0, 1, 0);
    EXPECT_TRUE(east.IsOnRight(C2DPoint(0.5, -1)));
    EXPECT_FALSE(east.IsOnRight(C2DPoint(0.5, 1)));
    EXPECT_FALSE(east.IsOnRight(C2DPoint(2, 0)));

    C2DLine rotated = east;
    rotated.RotateClockwise(HalfPi, C2DPoint(0, 0));
    ExpectPoint(rotated.start, 0, 0);
    EXPECT_NEAR(rotated.direction.dx, 0, 1e-12);
    EXPECT_NEAR(rotated.direction.dy, -1, 1e-12);

    // Grid rounding rounds the end points, not the direction.
    C2DLine rounded = Line(0.00004, 0, 0.00016, 0);
    rounded.RoundToGrid();
    EXPECT_EQ(rounded.start.x, 0);
    EXPECT_DOUBLE_EQ(rounded.direction.dx, 0.0002);

    C2DLine scaled = Line(1, 1, 2, 3);
    scaled.ScaleAbout(-2, C2DPoint(1, 1));
    ExpectPoint(scaled.start, 1, 1, 0);
    ExpectPoint(scaled.GetEnd(), -1, -3, 0);
    scaled.ReflectInPoint(C2DPoint(0, 0));
    ExpectPoint(scaled.start, -1, -1, 0);
    ExpectPoint(scaled.GetEnd(), 1, 3, 0);
    scaled.ReflectInLine(Line(0, 0, 1, 0));
    ExpectPoint(scaled.start, -1, 1);
    ExpectPoint(scaled.GetEnd(), 1, -3);
    scaled.Translate(C2DOffset(1, 1));
    ExpectPoint(scaled.start, 0, 2);

    // Bounds keep the corner convention whatever the direction.
    C2DRect bounds;
    Line(4, 1, 1, 5).GetBounds(bounds);
    ExpectPoint(bounds.topLeft, 1, 5, 0);
    ExpectPoint(bounds.bottomRight, 4, 1, 0);

    CValueRange range;
    Line(4, 1, 1, 5).ProjectOnAxis(C2DOffset(2, 0), range);
    EXPECT_EQ(range.min, 1);
    EXPECT_EQ(range.max, 4);
    Line(4, 1, 1, 5).ProjectOnLine(Line(0, 2, 0, 3), range);
    EXPECT_EQ(range.min, -1);
    EXPECT_EQ(range.max, 3);

    ExpectPoint(Line(0, 0, 4, 2).GetMidpoint(), 2, 1, 0);
    ExpectPoint(Line(0, 0, 4, 2).GetPointAt(1.5), 6, 3, 0);
    EXPECT_EQ(Line(1, 2, 3, 4).GetStart().GetType(), GeometryType::Point);
}

TEST(Line, TransformationHookMapsStartThenEnd) {
    C2DLine line = Line(1, 2, 4, 6);
    CRecordingTransformation t;
    line.Transform(t);
    ASSERT_EQ(t.seen.size(), 2u);
    EXPECT_EQ(t.seen[0], std::make_pair(1.0, 2.0));
    EXPECT_EQ(t.seen[1], std::make_pair(4.0, 6.0));
    ExpectPoint(line.start, 11, 4, 0);
    ExpectPoint(line.GetEnd(), 14, 12, 0);
    line.InverseTransform(t);
    ASSERT_EQ(t.seen.size(), 4u);
    EXPECT_EQ(t.seen[2], std::make_pair(11.0, 4.0));
    ExpectPoint(line.start, 1, 2, 0);
    ExpectPoint(line.GetEnd(), 4, 6, 0);
}

// An edge's bounds are its start's corners grown by its end, as a rectangle
// grows to take in a point: the bounds of the edge objects and of flat edges
// must come out with those bits for ends right, left, level, signed zeros,
// infinities and NaN alike.
TEST(Line, BoundsAreTheStartGrownByTheEnd) {
    const double inf = INFINITY;
    const double nan = std::nan("");
    const std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 1e-300, 2.5, inf, -inf, nan};
    for (double sx : values) {
        for (double sy : values) {
            for (double dx : values) {
                for (double dy : values) {
                    C2DRect expected;
                    expected.topLeft = C2DPoint(sx, sy);
                    expected.bottomRight = C2DPoint(sx, sy);
                    expected.ExpandToInclude(C2DPoint(sx + dx, sy + dy));
                    C2DRect bounds;
                    C2DLine(C2DPoint(sx, sy), C2DOffset(dx, dy)).GetBounds(bounds);
                    const CEdgeBox box = EdgeBoxOf(sx, sy, dx, dy);
                    const double want[] = {expected.topLeft.x, expected.topLeft.y,
                                           expected.bottomRight.x, expected.bottomRight.y};
                    const double line[] = {bounds.topLeft.x, bounds.topLeft.y, bounds.bottomRight.x,
                                           bounds.bottomRight.y};
                    const double flat[] = {box.left, box.top, box.right, box.bottom};
                    for (int k = 0; k < 4; ++k) {
                        SCOPED_TRACE(testing::Message()
                                     << sx << " " << sy << " " << dx << " " << dy << " side " << k);
                        EXPECT_EQ(std::bit_cast<uint64_t>(line[k]),
                                  std::bit_cast<uint64_t>(want[k]));
                        EXPECT_EQ(std::bit_cast<uint64_t>(flat[k]),
                                  std::bit_cast<uint64_t>(want[k]));
                    }
                }
            }
        }
    }
}
