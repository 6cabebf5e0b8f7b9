#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/Circles.h"
#include "tests/geometry/ShapeTestSupport.h"

TEST(Circle, CircleCrossingsAndTheirOrder) {
    C2DPointSet points;
    const C2DCircle a(C2DPoint(0, 0), 5);
    EXPECT_TRUE(a.Crosses(C2DCircle(C2DPoint(8, 0), 5), &points));
    ASSERT_EQ(points.GetSize(), 2u);
    ExpectPoint(*points.GetAt(0), 4, 3);
    ExpectPoint(*points.GetAt(1), 4, -3);

    // Touching from outside: exactly one point.
    C2DPointSet touch;
    EXPECT_TRUE(a.Crosses(C2DCircle(C2DPoint(10, 0), 5), &touch));
    ASSERT_EQ(touch.GetSize(), 1u);
    ExpectPoint(*touch.GetAt(0), 5, 0);

    // Touching from inside: the same point twice.
    C2DPointSet inner;
    EXPECT_TRUE(a.Crosses(C2DCircle(C2DPoint(3, 0), 2), &inner));
    ASSERT_EQ(inner.GetSize(), 2u);
    ExpectPoint(*inner.GetAt(0), 5, 0);
    ExpectPoint(*inner.GetAt(1), 5, 0);

    C2DPointSet none;
    EXPECT_FALSE(a.Crosses(C2DCircle(C2DPoint(1, 0), 1), &none));  // inside, no contact
    EXPECT_FALSE(a.Crosses(C2DCircle(C2DPoint(20, 0), 5), &none)); // apart
    EXPECT_FALSE(a.Crosses(C2DCircle(C2DPoint(0, 0), 5), &none));  // concentric
    EXPECT_EQ(none.GetSize(), 0u);
    EXPECT_TRUE(a.Crosses(C2DCircle(C2DPoint(8, 0), 5), nullptr));

    // Random pairs: every reported point lies on both circles.
    std::mt19937 random(3);
    std::uniform_real_distribution<double> real(-10, 10), radius(0.5, 8);
    int crossed = 0;
    for (int i = 0; i < 5000; ++i) {
        const C2DCircle p(C2DPoint(real(random), real(random)), radius(random));
        const C2DCircle q(C2DPoint(real(random), real(random)), radius(random));
        C2DPointSet found;
        const double d = p.centre.DistanceTo(q.centre);
        const bool expected = d <= p.radius + q.radius && d >= std::fabs(p.radius - q.radius);
        ASSERT_EQ(p.Crosses(q, &found), expected);
        for (unsigned k = 0; k < found.GetSize(); ++k) {
            ++crossed;
            ASSERT_NEAR(p.centre.DistanceTo(*found.GetAt(k)), p.radius, 1e-9);
            ASSERT_NEAR(q.centre.DistanceTo(*found.GetAt(k)), q.radius, 1e-9);
        }
    }
    EXPECT_GT(crossed, 1000);
}

TEST(Circle, NearlyInnerTouchingGivesFinitePoints) {
    // The radii differ by the centre distance up to rounding: the crossing
    // points must still be real numbers on both circles.
    std::mt19937 random(5);
    std::uniform_real_distribution<double> angle(0, TwoPi), radius(1, 100);
    for (int i = 0; i < 2000; ++i) {
        const double r = radius(random), s = r * 0.37, a = angle(random);
        const C2DCircle big(C2DPoint(0.1, 0.2), r);
        const C2DCircle small(C2DPoint(0.1 + (r - s) * std::cos(a), 0.2 + (r - s) * std::sin(a)),
                              s);
        C2DPointSet found;
        if (big.Crosses(small, &found)) {
            for (unsigned k = 0; k < found.GetSize(); ++k) {
                ASSERT_TRUE(std::isfinite(found.GetAt(k)->x));
                ASSERT_TRUE(std::isfinite(found.GetAt(k)->y));
                ASSERT_NEAR(big.centre.DistanceTo(*found.GetAt(k)), r, 1e-6 * r);
            }
        }
    }
}

TEST(Circle, LineCrossings) {
    const C2DCircle c(C2DPoint(0, 0), 5);
    C2DPointSet points;
    EXPECT_TRUE(c.Crosses(C2DLine(C2DPoint(-10, 0), C2DPoint(10, 0)), &points));
    ASSERT_EQ(points.GetSize(), 2u);
    ExpectPoint(*points.GetAt(0), -5, 0);
    ExpectPoint(*points.GetAt(1), 5, 0);

    // An edge wholly inside comes near enough but crosses nothing.
    const C2DLine inside(C2DPoint(-1, 0), C2DPoint(1, 0));
    C2DPointSet none;
    EXPECT_FALSE(c.Crosses(inside, &none));
    EXPECT_EQ(none.GetSize(), 0u);
    EXPECT_TRUE(c.Crosses(inside, nullptr));

    // One end inside: one point. A tangent: the touching point once.
    C2DPointSet one;
    EXPECT_TRUE(c.Crosses(C2DLine(C2DPoint(0, 0), C2DPoint(0, 9)), &one));
    ASSERT_EQ(one.GetSize(), 1u);
    ExpectPoint(*one.GetAt(0), 0, 5);
    C2DPointSet tangent;
    EXPECT_TRUE(c.Crosses(C2DLine(C2DPoint(-4, 5), C2DPoint(4, 5)), &tangent));
    ASSERT_EQ(tangent.GetSize(), 1u);
    ExpectPoint(*tangent.GetAt(0), 0, 5);
    EXPECT_FALSE(c.Crosses(C2DLine(C2DPoint(-4, 6), C2DPoint(4, 6)), nullptr));
    EXPECT_FALSE(c.Crosses(C2DLine(C2DPoint(6, -1), C2DPoint(9, 1)), nullptr));
}

TEST(Circle, PointDistancesAreSigned) {
    const C2DCircle c(C2DPoint(0, 0), 2);
    C2DPoint nearest;
    EXPECT_DOUBLE_EQ(c.DistanceTo(C2DPoint(0, 5), &nearest), 3);
    ExpectPoint(nearest, 0, 2);
    EXPECT_DOUBLE_EQ(c.DistanceTo(C2DPoint(0, 0), &nearest), -2);
    ExpectPoint(nearest, 2, 0, 0);
    EXPECT_DOUBLE_EQ(c.DistanceTo(C2DPoint(1, 0)), -1);
    EXPECT_FALSE(c.Contains(C2DPoint(0, 2)));
    EXPECT_FALSE(c.Contains(C2DPoint(2, 0)));
    EXPECT_TRUE(c.Contains(C2DPoint(1.9, 0)));
}

TEST(Circle, LineDistances) {
    const C2DCircle c(C2DPoint(0, 0), 5);
    C2DPoint onCircle, onLine;
    // Wholly inside: negative, nearest line point the centre's foot.
    EXPECT_DOUBLE_EQ(c.DistanceTo(C2DLine(C2DPoint(-1, 0), C2DPoint(1, 0)), &onCircle, &onLine),
                     -5);
    ExpectPoint(onLine, 0, 0);
    ExpectPoint(onCircle, 5, 0);
    // Crossing: zero at the first crossing point.
    EXPECT_EQ(c.DistanceTo(C2DLine(C2DPoint(-10, 0), C2DPoint(10, 0)), &onCircle, &onLine), 0);
    ExpectPoint(onLine, -5, 0);
    ExpectPoint(onCircle, -5, 0);
    // Beside the line: the foot of the centre.
    EXPECT_DOUBLE_EQ(c.DistanceTo(C2DLine(C2DPoint(-3, 8), C2DPoint(3, 8)), &onCircle, &onLine), 3);
    ExpectPoint(onLine, 0, 8);
    ExpectPoint(onCircle, 0, 5);
    // Wholly behind the start and wholly beyond the end.
    EXPECT_DOUBLE_EQ(c.DistanceTo(C2DLine(C2DPoint(10, 0), C2DPoint(20, 0)), &onCircle, &onLine),
                     5);
    ExpectPoint(onLine, 10, 0, 0);
    ExpectPoint(onCircle, 5, 0);
    EXPECT_DOUBLE_EQ(c.DistanceTo(C2DLine(C2DPoint(-20, 0), C2DPoint(-9, 0)), &onCircle, &onLine),
                     4);
    ExpectPoint(onLine, -9, 0, 0);
    ExpectPoint(onCircle, -5, 0);
    // The foot beyond the end but the circle reaching past it.
    EXPECT_NEAR(c.DistanceTo(C2DLine(C2DPoint(-9, 6), C2DPoint(-3, 6)), &onCircle, &onLine),
                std::sqrt(45.0) - 5, 1e-12);
    ExpectPoint(onLine, -3, 6, 0);
}

TEST(Circle, ContractOperations) {
    C2DRect bounds;
    C2DCircle(C2DPoint(1, 1), 2).GetBounds(bounds);
    ExpectPoint(bounds.topLeft, -1, 3, 0);
    ExpectPoint(bounds.bottomRight, 3, -1, 0);

    const C2DCircle c(C2DPoint(3, 4), 1);
    CValueRange range;
    c.ProjectOnAxis(C2DOffset(0, 1), range);
    EXPECT_DOUBLE_EQ(range.min, 3);
    EXPECT_DOUBLE_EQ(range.max, 5);
    c.ProjectOnAxis(C2DOffset(0, 10), range);
    EXPECT_DOUBLE_EQ(range.min, 3);
    EXPECT_DOUBLE_EQ(range.max, 5);
    c.ProjectOnLine(C2DLine(C2DPoint(0, 0), C2DOffset(0, 1)), range);
    EXPECT_DOUBLE_EQ(range.min, 3);
    EXPECT_DOUBLE_EQ(range.max, 5);
    c.ProjectOnLine(C2DLine(C2DPoint(1, 0), C2DOffset(4, 0)), range);
    EXPECT_DOUBLE_EQ(range.min, 1);
    EXPECT_DOUBLE_EQ(range.max, 3);

    C2DCircle moved = c;
    moved.ScaleAbout(-2, C2DPoint(0, 0));
    ExpectPoint(moved.centre, -6, -8, 0);
    EXPECT_EQ(moved.radius, -2); // nothing keeps the radius positive
    moved.Translate(C2DOffset(6, 8));
    moved.RotateClockwise(HalfPi, C2DPoint(1, 0));
    ExpectPoint(moved.centre, 1, 1);
    moved.ReflectInPoint(C2DPoint(2, 0));
    ExpectPoint(moved.centre, 3, -1);
    moved.ReflectInLine(C2DLine(C2DPoint(0, 0), C2DOffset(1, 1)));
    ExpectPoint(moved.centre, -1, 3);
    EXPECT_EQ(moved.radius, -2);

    C2DCircle grid(C2DPoint(0.00025, -0.00025), 0.00014);
    grid.RoundToGrid();
    EXPECT_DOUBLE_EQ(grid.centre.x, 0.0003);
    EXPECT_DOUBLE_EQ(grid.centre.y, -0.0003);
    EXPECT_DOUBLE_EQ(grid.radius, 0.0001);
}
