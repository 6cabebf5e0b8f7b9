#include <cmath>

#include <gtest/gtest.h>

#include "ShapeTestSupport.h"

namespace {

// From (0, 0) to (2, 0), radius 1, arc on the right: the lower half circle.
C2DArc LowerHalf() {
    return C2DArc(C2DPoint(0, 0), C2DPoint(2, 0), 1.0, false, true);
}

void ExpectRect(const C2DRect& r, double left, double top, double right, double bottom) {
    EXPECT_NEAR(r.topLeft.x, left, 1e-12);
    EXPECT_NEAR(r.topLeft.y, top, 1e-12);
    EXPECT_NEAR(r.bottomRight.x, right, 1e-12);
    EXPECT_NEAR(r.bottomRight.y, bottom, 1e-12);
}

TEST(ArcTests, CentreAngleLengthAndBounds) {
    const C2DArc arc = LowerHalf();
    EXPECT_EQ(arc.GetCircleCentre(), C2DPoint(1, 0));
    EXPECT_DOUBLE_EQ(arc.GetChordAngle(), Pi);
    EXPECT_DOUBLE_EQ(arc.GetLength(), Pi);
    C2DRect bounds;
    arc.GetBounds(bounds);
    ExpectRect(bounds, 0, 0, 2, -1);

    // Both flags set: a "major" half circle, still on the right (below).
    C2DArc major(C2DPoint(0, 0), C2DPoint(2, 0), 1.0, true, true);
    EXPECT_DOUBLE_EQ(major.GetLength(), Pi);
    major.GetBounds(bounds);
    ExpectRect(bounds, 0, 0, 2, -1);
    C2DArc upper(C2DPoint(0, 0), C2DPoint(2, 0), 1.0, true, false);
    upper.GetBounds(bounds);
    ExpectRect(bounds, 0, 1, 2, 0);

    C2DArc minor(C2DPoint(0, 0), C2DPoint(2, 0), 2.0, false, true);
    C2DArc majorTwo(C2DPoint(0, 0), C2DPoint(2, 0), 2.0, true, true);
    EXPECT_NEAR(minor.GetChordAngle(), Pi / 3, 1e-15);
    EXPECT_NEAR(minor.GetLength(), 2 * Pi / 3, 1e-12);
    EXPECT_NEAR(majorTwo.GetLength(), 10 * Pi / 3, 1e-12);
    // The major arc on the right of the chord, centre (1, -sqrt 3) below it.
    majorTwo.GetBounds(bounds);
    ExpectRect(bounds, -1, 0, 3, -std::sqrt(3.0) - 2);
    minor.GetBounds(bounds);
    ExpectRect(bounds, 0, 0, 2, std::sqrt(3.0) - 2);

    CValueRange range;
    arc.ProjectOnAxis(C2DOffset(0, 5), range);
    EXPECT_NEAR(range.min, -1, 1e-12);
    EXPECT_NEAR(range.max, 0, 1e-12);
    arc.ProjectOnLine(C2DLine(C2DPoint(1, 3), C2DPoint(2, 3)), range);
    EXPECT_NEAR(range.min, -1, 1e-12);
    EXPECT_NEAR(range.max, 1, 1e-12);
}

TEST(ArcTests, ReversalAndReflection) {
    C2DArc arc = LowerHalf();
    arc.ReverseDirection();
    EXPECT_EQ(arc.GetStart(), C2DPoint(2, 0));
    EXPECT_DOUBLE_EQ(arc.GetLength(), Pi);
    C2DRect bounds;
    arc.GetBounds(bounds);
    ExpectRect(bounds, 0, 0, 2, -1);

    C2DArc mirrored = LowerHalf();
    mirrored.ReflectInLine(C2DLine(C2DPoint(0, 0), C2DPoint(1, 0)));
    EXPECT_FALSE(mirrored.arcOnRight);
    mirrored.GetBounds(bounds);
    ExpectRect(bounds, 0, 1, 2, 0);
}

TEST(ArcTests, ArcWithoutCircle) {
    C2DArc arc(C2DPoint(0, 0), C2DPoint(3, 0), 1.0, false, true);
    EXPECT_EQ(arc.GetCircleCentre(), C2DPoint(0, 0));
    EXPECT_EQ(arc.GetChordAngle(), 0.0);
    C2DRect bounds(7, 7, 7, 7);
    arc.GetBounds(bounds);
    ExpectRect(bounds, 7, 7, 7, 7);
    // Projections fall back on the end points.
    CValueRange range;
    arc.ProjectOnAxis(C2DOffset(1, 0), range);
    EXPECT_NEAR(range.min, 0, 1e-12);
    EXPECT_NEAR(range.max, 3, 1e-12);
    arc.RoundToGrid();
    EXPECT_DOUBLE_EQ(arc.radius, 3 / 1.999999999999);
    EXPECT_GT(arc.GetChordAngle(), 0.0);

    // In a ring, its rectangle covers its end points instead of the origin.
    C2DPolyArc ring;
    ring.SetStartPoint(C2DPoint(5, 5));
    ring.ArcTo(C2DPoint(8, 5), false, true, 1.0);
    ring.Close();
    ExpectRect(ring.GetLineRect(0), 5, 5, 8, 5);
}

TEST(ArcTests, CrossingsAndDistances) {
    const C2DArc lower = LowerHalf();
    C2DPointSet points;
    EXPECT_TRUE(lower.Crosses(C2DLine(C2DPoint(1, -2), C2DPoint(1, 2)), &points));
    ASSERT_EQ(points.GetSize(), 1u);
    EXPECT_EQ(*points.GetAt(0), C2DPoint(1, -1));

    const C2DArc upper(C2DPoint(0, 0), C2DPoint(2, 0), 1.0, true, false);
    C2DPointSet none;
    EXPECT_FALSE(upper.Crosses(C2DLine(C2DPoint(3, 1), C2DPoint(0, -2)), &none));
    EXPECT_EQ(none.GetSize(), 0u);
    // A line asking about an arc hands over to the same test.
    C2DLine vertical(C2DPoint(1, -2), C2DPoint(1, 2));
    EXPECT_TRUE(vertical.Crosses(lower, nullptr));

    // Two half circles meeting only at their shared end points never cross.
    EXPECT_FALSE(lower.Crosses(upper, nullptr));
    const C2DArc shifted(C2DPoint(1, 0), C2DPoint(3, 0), 1.0, false, true);
    C2DPointSet arcPoints;
    EXPECT_TRUE(lower.Crosses(shifted, &arcPoints));
    ASSERT_EQ(arcPoints.GetSize(), 1u);
    EXPECT_NEAR(arcPoints.GetAt(0)->x, 1.5, 1e-12);
    EXPECT_NEAR(arcPoints.GetAt(0)->y, -std::sqrt(0.75), 1e-12);

    C2DPoint closest;
    EXPECT_DOUBLE_EQ(lower.DistanceTo(C2DPoint(1, 0.5), &closest), std::sqrt(1.25));
    EXPECT_EQ(closest, C2DPoint(2, 0));
    EXPECT_NEAR(lower.DistanceTo(C2DPoint(1, -3), &closest), 2.0, 1e-12);
    EXPECT_NEAR(closest.y, -1.0, 1e-12);

    C2DPoint onArc;
    C2DPoint onLine;
    EXPECT_NEAR(lower.DistanceTo(C2DLine(C2DPoint(-5, -3), C2DPoint(5, -3)), &onArc, &onLine), 2.0,
                1e-12);
    EXPECT_NEAR(onArc.y, -1.0, 1e-12);
    EXPECT_NEAR(onLine.y, -3.0, 1e-12);
    const C2DArc below(C2DPoint(0, -4), C2DPoint(2, -4), 1.0, true, false);
    EXPECT_NEAR(lower.DistanceTo(below, &onArc, &onLine), 2.0, 1e-12);
    EXPECT_NEAR(onArc.y, -1.0, 1e-12);
    EXPECT_NEAR(onLine.y, -3.0, 1e-12);
}

TEST(ArcTests, SplitAtPointsFollowsTheArc) {
    const C2DArc lower = LowerHalf();
    const double s = std::sqrt(0.5);
    C2DPointSet cuts;
    cuts.AddCopy(C2DPoint(1 + s, -s));
    cuts.AddCopy(C2DPoint(1 - s, -s));
    C2DLineBaseSet pieces;
    lower.SplitAtPoints(cuts, pieces);
    ASSERT_EQ(pieces.GetSize(), 3u);
    double total = 0;
    C2DPoint expectedStart(0, 0);
    for (unsigned i = 0; i < 3; ++i) {
        const auto* piece = static_cast<const C2DArc*>(pieces.GetAt(i));
        EXPECT_EQ(piece->GetStart(), expectedStart);
        EXPECT_TRUE(piece->arcOnRight);
        EXPECT_FALSE(piece->centreOnRight); // every piece is a minor arc
        total += piece->GetLength();
        expectedStart = piece->GetEnd();
    }
    EXPECT_EQ(expectedStart, C2DPoint(2, 0));
    EXPECT_NEAR(total, Pi, 1e-12);
}

TEST(ArcTests, PolyArcAreaAndSegment) {
    C2DPolyArc ring;
    ring.SetStartPoint(C2DPoint(0, 0));
    ring.ArcTo(C2DPoint(2, 0), false, true, 1.0);
    ring.Close();
    ASSERT_EQ(ring.GetLineCount(), 2u);
    EXPECT_EQ(ring.GetLine(0)->GetType(), GeometryType::Arc);
    EXPECT_TRUE(ring.HasArcs());
    EXPECT_NEAR(ring.GetArea(), Pi / 2, 1e-12);
    ExpectRect(ring.GetBoundingRect(), 0, 0, 2, -1);
    EXPECT_TRUE(ring.Contains(C2DPoint(1, -0.5)));
    EXPECT_FALSE(ring.Contains(C2DPoint(0.05, -0.9)));
    ring.ReverseDirection();
    EXPECT_NEAR(ring.GetArea(), -Pi / 2, 1e-12);

    C2DPolyArc closedByArc;
    closedByArc.SetStartPoint(C2DPoint(0, 0));
    closedByArc.LineTo(C2DPoint(2, 0));
    closedByArc.CloseWithArc(false, true, 1.0);
    ASSERT_EQ(closedByArc.GetLineCount(), 2u);
    EXPECT_NEAR(closedByArc.GetArea(), Pi / 2, 1e-12); // upper half, anticlockwise

    C2DSegment segment(LowerHalf());
    EXPECT_TRUE(segment.Contains(C2DPoint(1, -0.5)));
    EXPECT_TRUE(segment.Contains(C2DPoint(1, -1)));
    EXPECT_FALSE(segment.Contains(C2DPoint(1, 0.5)));
    EXPECT_EQ(segment.DistanceTo(C2DPoint(1, -0.5)), 0.0);
    EXPECT_NEAR(segment.DistanceTo(C2DPoint(1, 0.5)), 0.5, 1e-12);
    EXPECT_NEAR(segment.DistanceTo(C2DPoint(1, -3)), 2.0, 1e-12);
    CValueRange range;
    segment.ProjectOnAxis(C2DOffset(0, 1), range);
    EXPECT_NEAR(range.min, -1, 1e-12);
    EXPECT_NEAR(range.max, 0, 1e-12);
}

} // namespace
