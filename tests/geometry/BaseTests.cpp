#include <gtest/gtest.h>

#include <cmath>

#include "geometry/Base.h"
#include "geometry/Lines.h"
#include "tests/geometry/ShapeTestSupport.h"

TEST(Grid, HalvesRoundAwayFromZero) {
    EXPECT_DOUBLE_EQ(RoundValueToGrid(0.00025), 0.0003);
    EXPECT_DOUBLE_EQ(RoundValueToGrid(-0.00025), -0.0003);
    EXPECT_DOUBLE_EQ(RoundValueToGrid(0.00014), 0.0001);
    EXPECT_DOUBLE_EQ(RoundValueToGrid(-0.00016), -0.0002);
    EXPECT_EQ(RoundValueToGrid(0.0), 0.0);
    EXPECT_DOUBLE_EQ(RoundValueToGrid(12.34567), 12.3457);

    C2DPoint p(0.00025, -0.00016);
    p.RoundToGrid();
    EXPECT_DOUBLE_EQ(p.x, 0.0003);
    EXPECT_DOUBLE_EQ(p.y, -0.0002);
}

TEST(Point, EqualityIsRelativeToTheLeftOperand) {
    EXPECT_TRUE(C2DPoint(0, 5) == C2DPoint(0, 5 + 1e-12));
    EXPECT_FALSE(C2DPoint(0, 5) == C2DPoint(1e-300, 5));
    EXPECT_TRUE(C2DPoint(1, 1) == C2DPoint(1 + 1e-11, 1));
    EXPECT_FALSE(C2DPoint(1, 1) == C2DPoint(1 + 1e-9, 1));
    EXPECT_FALSE(C2DPoint(1e-11, 0) == C2DPoint(0, 0));
    EXPECT_FALSE(C2DPoint(0, 0) == C2DPoint(1e-11, 0));
    // The tolerance scales with the coordinates' size.
    EXPECT_FALSE(C2DPoint(1e6, 1) == C2DPoint(1e6 + 1.5e-4, 1));
    EXPECT_TRUE(C2DPoint(1e6, 1) == C2DPoint(1e6 + 0.5e-4, 1));
    EXPECT_TRUE(C2DPoint(-3, -1e-20) == C2DPoint(-3, -1e-20 * (1 + 1e-12)));
    EXPECT_TRUE(C2DPoint(1, 2) != C2DPoint(1, 2.1));
}

TEST(Point, ContractOperations) {
    C2DPoint p(1, 0);
    p.RotateClockwise(HalfPi, C2DPoint(0, 0));
    ExpectPoint(p, 0, -1);
    C2DPoint q(0, 1);
    q.RotateClockwise(HalfPi, C2DPoint(0, 0));
    ExpectPoint(q, 1, 0);
    C2DPoint r(3, 2);
    r.RotateClockwise(Pi, C2DPoint(1, 1));
    ExpectPoint(r, -1, 0);

    C2DPoint s(3, 5);
    s.ScaleAbout(2, C2DPoint(1, 1));
    ExpectPoint(s, 5, 9);

    // Mirror in the line y = x through (1, 1).
    C2DPoint m(3, 1);
    m.ReflectInLine(C2DLine(C2DPoint(1, 1), C2DOffset(2, 2)));
    ExpectPoint(m, 1, 3);

    C2DPoint t(1, 2);
    t.ReflectInPoint(t); // reflecting in itself leaves it in place
    ExpectPoint(t, 1, 2);
    t.ReflectInPoint(C2DPoint(0, 0));
    ExpectPoint(t, -1, -2);

    EXPECT_DOUBLE_EQ(C2DPoint(0, 0).DistanceTo(C2DPoint(3, 4)), 5);

    CValueRange range(-100, 100);
    C2DPoint(3, 4).ProjectOnAxis(C2DOffset(0, 10), range);
    EXPECT_DOUBLE_EQ(range.min, 4);
    EXPECT_DOUBLE_EQ(range.max, 4);
    C2DPoint(3, 4).ProjectOnLine(C2DLine(C2DPoint(1, 1), C2DOffset(2, 0)), range);
    EXPECT_DOUBLE_EQ(range.min, 2);
    EXPECT_DOUBLE_EQ(range.max, 2);

    C2DRect bounds(9, 9, 9, 9);
    C2DPoint(2, 3).GetBounds(bounds);
    ExpectPoint(bounds.topLeft, 2, 3, 0);
    ExpectPoint(bounds.bottomRight, 2, 3, 0);

    ExpectPoint(C2DPoint::Midpoint(C2DPoint(1, 2), C2DPoint(3, 6)), 2, 4, 0);
    ExpectPoint(C2DPoint(2, 3) * C2DPoint(10, -1), 20, -3, 0);
}

TEST(Offset, BearingIsClockwiseFromNorth) {
    EXPECT_DOUBLE_EQ(C2DOffset(1, 0).Bearing(), HalfPi);
    EXPECT_DOUBLE_EQ(C2DOffset(0, -1).Bearing(), Pi);
    EXPECT_DOUBLE_EQ(C2DOffset(-1, 0).Bearing(), 3 * HalfPi);
    EXPECT_DOUBLE_EQ(C2DOffset(-1, 1).Bearing(), 7 * Pi / 4);
    EXPECT_DOUBLE_EQ(C2DOffset(0, 0).Bearing(), 3 * HalfPi);
    EXPECT_DOUBLE_EQ(C2DOffset(0, 1).Bearing(), 0);
    EXPECT_DOUBLE_EQ(C2DOffset(1, 1).Bearing(), Pi / 4);
    EXPECT_DOUBLE_EQ(C2DOffset(1, -1).Bearing(), 3 * Pi / 4);
    EXPECT_DOUBLE_EQ(C2DOffset(-1, -1).Bearing(), 5 * Pi / 4);
    // Every bearing lies in [0, 2pi) and agrees with atan2.
    for (int i = 0; i < 360; ++i) {
        const double angle = i * TwoPi / 360 + 0.001;
        const C2DOffset o(std::sin(angle), std::cos(angle));
        const double bearing = o.Bearing();
        EXPECT_GE(bearing, 0);
        EXPECT_LT(bearing, TwoPi);
        EXPECT_NEAR(bearing, angle, 1e-12);
    }
}

TEST(Offset, SetLengthKeepsDirectionAndZero) {
    C2DOffset o(3, 4);
    o.SetLength(10);
    EXPECT_DOUBLE_EQ(o.dx, 6);
    EXPECT_DOUBLE_EQ(o.dy, 8);
    C2DOffset zero;
    zero.SetLength(5);
    EXPECT_EQ(zero.dx, 0);
    EXPECT_EQ(zero.dy, 0);
    EXPECT_DOUBLE_EQ(C2DOffset(3, 4).GetLength(), 5);
}

TEST(Rect, CornerConventionsAndReflection) {
    // Expanding keeps topLeft the smallest x and largest y.
    C2DRect r(1, 1, 1, 1);
    r.ExpandToInclude(C2DPoint(3, 0));
    ExpectPoint(r.topLeft, 1, 1, 0);
    ExpectPoint(r.bottomRight, 3, 0, 0);
    r.ExpandToInclude(C2DPoint(-2, 5));
    ExpectPoint(r.topLeft, -2, 5, 0);
    ExpectPoint(r.bottomRight, 3, 0, 0);
    C2DRect other(10, -1, 11, -3);
    r.ExpandToInclude(other);
    ExpectPoint(r.topLeft, -2, 5, 0);
    ExpectPoint(r.bottomRight, 11, -3, 0);

    // A point reflection restores the corner order.
    C2DRect p(0, 2, 4, 0);
    p.ReflectInPoint(C2DPoint(0, 0));
    ExpectPoint(p.topLeft, -4, 0, 0);
    ExpectPoint(p.bottomRight, 0, -2, 0);

    // Scaling by a negative factor does not re-order the corners.
    C2DRect n(0, 2, 4, 0);
    n.ScaleAbout(-1, C2DPoint(0, 0));
    ExpectPoint(n.topLeft, 0, -2, 0);
    ExpectPoint(n.bottomRight, -4, 0, 0);

    // Mirroring moves the rectangle with its centre and keeps its shape.
    C2DRect m(1, 3, 3, 1);
    m.ReflectInLine(C2DLine(C2DPoint(0, 0), C2DOffset(0, 1)));
    ExpectPoint(m.topLeft, -3, 3);
    ExpectPoint(m.bottomRight, -1, 1);

    C2DRect c(0, 4, 2, 0);
    c.ScaleAboutCentre(2);
    ExpectPoint(c.topLeft, -1, 6, 0);
    ExpectPoint(c.bottomRight, 3, -2, 0);
    c.MultiplyBy(C2DPoint(2, -1));
    ExpectPoint(c.topLeft, -2, -6, 0);
    ExpectPoint(c.bottomRight, 6, 2, 0);
    c.Clear();
    ExpectPoint(c.topLeft, 0, 0, 0);
    ExpectPoint(c.bottomRight, 0, 0, 0);
}

TEST(Rect, RotationKeepsSizeAndAxes) {
    for (double angle : {0.3, HalfPi, 2.0, Pi, 5.5}) {
        C2DRect r(1, 5, 4, 3);
        C2DPoint centre = r.GetCentre();
        centre.RotateClockwise(angle, C2DPoint(-2, 1));
        r.RotateClockwise(angle, C2DPoint(-2, 1));
        EXPECT_NEAR(r.bottomRight.x - r.topLeft.x, 3, 1e-12);
        EXPECT_NEAR(r.topLeft.y - r.bottomRight.y, 2, 1e-12);
        ExpectPoint(r.GetCentre(), centre.x, centre.y);
    }
}

TEST(Rect, DistanceByRegion) {
    const C2DRect r(0, 2, 4, 0);
    EXPECT_EQ(r.DistanceTo(C2DPoint(1, 1)), 0);
    EXPECT_EQ(r.DistanceTo(C2DPoint(4, 1)), 0);
    EXPECT_EQ(r.DistanceTo(C2DPoint(0, 2)), 0);
    EXPECT_DOUBLE_EQ(r.DistanceTo(C2DPoint(7, 6)), 5);   // beyond top-right
    EXPECT_DOUBLE_EQ(r.DistanceTo(C2DPoint(7, -4)), 5);  // beyond bottom-right
    EXPECT_DOUBLE_EQ(r.DistanceTo(C2DPoint(-3, 6)), 5);  // beyond top-left
    EXPECT_DOUBLE_EQ(r.DistanceTo(C2DPoint(-3, -4)), 5); // beyond bottom-left
    EXPECT_DOUBLE_EQ(r.DistanceTo(C2DPoint(6, 1)), 2);
    EXPECT_DOUBLE_EQ(r.DistanceTo(C2DPoint(-1, 1)), 1);
    EXPECT_DOUBLE_EQ(r.DistanceTo(C2DPoint(2, 5)), 3);
    EXPECT_DOUBLE_EQ(r.DistanceTo(C2DPoint(2, -0.5)), 0.5);
}

TEST(Rect, OverlapNeedsSharedInterior) {
    const C2DRect a(0, 2, 2, 0);
    EXPECT_FALSE(a.Overlaps(C2DRect(2, 2, 4, 0))); // shared edge
    EXPECT_FALSE(a.Overlaps(C2DRect(2, 4, 4, 2))); // shared corner
    EXPECT_TRUE(a.Overlaps(C2DRect(1, 3, 3, 1)));
    EXPECT_TRUE(C2DRect(1, 3, 3, 1).Overlaps(a));
    EXPECT_TRUE(a.Overlaps(C2DRect(0.5, 1.5, 1.5, 0.5))); // inside
    EXPECT_FALSE(a.Overlaps(C2DRect(5, 2, 6, 0)));
}

TEST(Rect, ProjectionsTakeAllFourCorners) {
    const C2DRect r(0, 2, 4, 0);
    CValueRange range(50, 60);
    r.ProjectOnAxis(C2DOffset(1, -1), range);
    EXPECT_NEAR(range.min, -2 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(range.max, 4 / std::sqrt(2.0), 1e-12);
    r.ProjectOnLine(C2DLine(C2DPoint(1, 1), C2DOffset(0, 3)), range);
    EXPECT_DOUBLE_EQ(range.min, -1);
    EXPECT_DOUBLE_EQ(range.max, 1);

    C2DRect g(0.00025, 1.00014, -0.00025, 0);
    g.RoundToGrid();
    EXPECT_DOUBLE_EQ(g.topLeft.x, 0.0003);
    EXPECT_DOUBLE_EQ(g.topLeft.y, 1.0001);
    EXPECT_DOUBLE_EQ(g.bottomRight.x, -0.0003);

    C2DRect t(0, 2, 4, 0);
    t.Translate(C2DOffset(1, -1));
    ExpectPoint(t.topLeft, 1, 1, 0);
    ExpectPoint(t.bottomRight, 5, -1, 0);
    C2DRect copy;
    t.GetBounds(copy);
    ExpectPoint(copy.topLeft, 1, 1, 0);
    ExpectPoint(copy.bottomRight, 5, -1, 0);
}
