#include <gtest/gtest.h>

#include "ShapeTestSupport.h"

namespace {

const std::vector<double> UnitSquare = {0, 0, 1, 0, 1, 1, 0, 1};

TEST(PolygonTests, CreateGivesAreaBoundsAndReversal) {
    auto square = MakePolygon(UnitSquare);
    EXPECT_EQ(square->GetLineCount(), 4u);
    EXPECT_EQ(square->GetLineRectCount(), 4u);
    EXPECT_DOUBLE_EQ(square->GetArea(), 1.0);
    EXPECT_DOUBLE_EQ(C2DPolyBase(*square).GetArea(), 1.0);
    EXPECT_TRUE(SameRect(square->GetBoundingRect(), C2DRect(0, 1, 1, 0)));
    square->ReverseDirection();
    EXPECT_DOUBLE_EQ(square->GetArea(), -1.0);
    EXPECT_TRUE(SameRect(square->GetBoundingRect(), C2DRect(0, 1, 1, 0)));

    // A shapefile ring repeats its first point: a zero-length closing edge.
    auto closed = MakePolygon({0, 0, 0, 1, 1, 1, 1, 0, 0, 0});
    EXPECT_EQ(closed->GetLineCount(), 5u);
    EXPECT_EQ(closed->GetLine(4)->GetLength(), 0.0);
    EXPECT_DOUBLE_EQ(closed->GetArea(), -1.0);

    EXPECT_EQ(closed->GetLine(5), closed->GetLine(0));
    C2DPolygon empty;
    EXPECT_EQ(empty.GetLine(0), nullptr);
    EXPECT_EQ(empty.GetArea(), 0.0);
    EXPECT_TRUE(empty.Create(nullptr, 0));
    EXPECT_TRUE(SameRect(empty.GetBoundingRect(), C2DRect()));
}

TEST(PolygonTests, ContainsOnTheBoundaryFollowsTheProbeRules) {
    auto square = MakePolygon(UnitSquare);
    EXPECT_TRUE(square->Contains(C2DPoint(0.5, 0.5)));
    EXPECT_FALSE(square->Contains(C2DPoint(2, 0.5)));
    EXPECT_FALSE(square->Contains(C2DPoint(1, 0.5)));
    EXPECT_FALSE(square->Contains(C2DPoint(0, 0.5)));
    EXPECT_FALSE(square->Contains(C2DPoint(0.5, 1)));
    EXPECT_TRUE(square->Contains(C2DPoint(0.5, 0)));
    EXPECT_DOUBLE_EQ(square->DistanceTo(C2DPoint(0.5, 0.5)), -0.5);
    EXPECT_DOUBLE_EQ(square->DistanceTo(C2DPoint(2, 0.5)), 1.0);

    // A point inside a slanted edge is met by the probe at its own start.
    auto diamond = MakePolygon({0, -2, 2, 0, 0, 2, -2, 0});
    EXPECT_TRUE(diamond->Contains(C2DPoint(1, 1)));
    EXPECT_TRUE(diamond->Contains(C2DPoint(-1, -1)));
    EXPECT_FALSE(diamond->Contains(C2DPoint(1.5, 1.5)));
}

TEST(PolygonTests, CrossesAndIsWithin) {
    auto square = MakePolygon(UnitSquare);
    auto inner = MakePolygon({0.25, 0.25, 0.75, 0.25, 0.75, 0.75, 0.25, 0.75});
    auto sharingEdge = MakePolygon({0, 0.25, 0.5, 0.25, 0.5, 0.75, 0, 0.75});
    auto overlapping = MakePolygon({0.5, 0.5, 1.5, 0.5, 1.5, 1.5, 0.5, 1.5});
    EXPECT_TRUE(inner->IsWithin(*square));
    EXPECT_FALSE(square->IsWithin(*inner));
    EXPECT_FALSE(sharingEdge->IsWithin(*square));
    EXPECT_FALSE(inner->Crosses(*square));
    EXPECT_TRUE(overlapping->Crosses(*square));

    C2DLine across(C2DPoint(-1, 0.5), C2DPoint(2, 0.5));
    C2DPointSet points;
    EXPECT_TRUE(square->Crosses(across, points));
    ASSERT_EQ(points.GetSize(), 2u);
    EXPECT_TRUE(square->Crosses(across));
    C2DLine outside(C2DPoint(2, 2), C2DPoint(3, 3));
    EXPECT_FALSE(square->Crosses(outside));
}

// A ring whose box touches a side of the other ring's box is not within it,
// even where nothing else tells: these rings start well inside the square,
// and their edges along its side meet it only in rectangles that touch.
TEST(PolygonTests, IsWithinNeedsTheBoxStrictlyInsideOnEverySide) {
    auto square = MakePolygon(UnitSquare);
    EXPECT_TRUE(MakePolygon({0.4, 0.4, 0.4, 0.6, 0.6, 0.6, 0.6, 0.4})->IsWithin(*square));
    const std::vector<std::vector<double>> touching = {
        {0.5, 0.4, 0.5, 0.6, 0, 0.6, 0, 0.4}, // left
        {0.5, 0.4, 1, 0.4, 1, 0.6, 0.5, 0.6}, // right
        {0.4, 0.5, 0.4, 1, 0.6, 1, 0.6, 0.5}, // top
        {0.4, 0.5, 0.6, 0.5, 0.6, 0, 0.4, 0}, // bottom
    };
    for (const auto& ring : touching) {
        auto inner = MakePolygon(ring);
        SCOPED_TRACE(testing::PrintToString(ring));
        EXPECT_TRUE(square->Contains(inner->GetLine(0)->GetStart()));
        EXPECT_FALSE(inner->Crosses(*square));
        EXPECT_FALSE(inner->IsWithin(*square));
    }
}

TEST(PolygonTests, IncrementalConstructionReplacesTheStartEdge) {
    C2DPolygon polygon;
    polygon.LineTo(C2DPoint(1, 1)); // nothing to continue from
    EXPECT_EQ(polygon.GetLineCount(), 0u);
    polygon.SetStartPoint(C2DPoint(0, 0));
    polygon.LineTo(C2DPoint(2, 0));
    polygon.LineTo(C2DPoint(2, 2));
    ASSERT_EQ(polygon.GetLineCount(), 2u);
    EXPECT_EQ(polygon.GetLineRectCount(), 0u);
    EXPECT_EQ(polygon.GetLine(0)->GetStart(), C2DPoint(0, 0));
    EXPECT_EQ(polygon.GetLine(0)->GetEnd(), C2DPoint(2, 0));

    // While under construction the contract leaves it alone, and the
    // crossing tests answer false instead of reading missing rectangles.
    polygon.Translate(C2DOffset(5, 5));
    EXPECT_EQ(polygon.GetLine(0)->GetStart(), C2DPoint(0, 0));
    EXPECT_FALSE(polygon.Contains(C2DPoint(1.5, 0.5)));
    EXPECT_FALSE(polygon.Crosses(C2DLine(C2DPoint(1, -1), C2DPoint(1, 1))));
    CTranslation shift(1, 0);
    polygon.Transform(shift);
    EXPECT_EQ(polygon.GetLine(0)->GetStart(), C2DPoint(1, 0));
    polygon.InverseTransform(shift);

    polygon.Close();
    ASSERT_EQ(polygon.GetLineCount(), 3u);
    EXPECT_EQ(polygon.GetLineRectCount(), 3u);
    EXPECT_EQ(polygon.GetLine(2)->GetEnd(), C2DPoint(0, 0));
    EXPECT_TRUE(polygon.Contains(C2DPoint(1.5, 0.5)));
    EXPECT_DOUBLE_EQ(polygon.GetArea(), 2.0);

    C2DPolygon single;
    single.SetStartPoint(C2DPoint(3, 4));
    single.Close();
    ASSERT_EQ(single.GetLineCount(), 1u);
    EXPECT_TRUE(SameRect(single.GetBoundingRect(), C2DRect(3, 4, 3, 4)));
}

TEST(PolygonTests, ContractOperationsKeepRectanglesInStep) {
    auto polygon = MakePolygon({0, 0, 4, 0, 4, 1, 1, 3});
    const double area = polygon->GetArea();
    polygon->ReflectInLine(C2DLine(C2DPoint(0, 0), C2DPoint(1, 0)));
    EXPECT_NEAR(polygon->GetArea(), area, 1e-12);
    polygon->ReflectInPoint(C2DPoint(1, 1));
    EXPECT_NEAR(polygon->GetArea(), area, 1e-12);
    polygon->RotateClockwise(0.3, C2DPoint(2, 2));
    polygon->ScaleAbout(2.0, C2DPoint(0, 0));
    EXPECT_NEAR(polygon->GetArea(), 4 * area, 1e-9);

    C2DRect bounds;
    for (unsigned i = 0; i < polygon->GetLineCount(); ++i) {
        C2DRect edgeBounds;
        polygon->GetLine(i)->GetBounds(edgeBounds);
        EXPECT_TRUE(SameRect(edgeBounds, polygon->GetLineRect(i))) << i;
        if (i == 0) {
            bounds = edgeBounds;
        } else {
            bounds.ExpandToInclude(edgeBounds);
        }
    }
    EXPECT_TRUE(SameRect(bounds, polygon->GetBoundingRect()));

    CValueRange range(-100, 100);
    auto square = MakePolygon(UnitSquare);
    square->ProjectOnAxis(C2DOffset(0, 2), range);
    EXPECT_DOUBLE_EQ(range.min, 0.0);
    EXPECT_DOUBLE_EQ(range.max, 1.0);
    C2DPolyBase(*square).ProjectOnLine(C2DLine(C2DPoint(1, 0), C2DPoint(2, 0)), range);
    EXPECT_DOUBLE_EQ(range.min, -1.0);
    EXPECT_DOUBLE_EQ(range.max, 0.0);
}

TEST(PolygonTests, CopiesAreDeepAndPoolsEmptyAfterwards) {
    {
        auto square = MakePolygon(UnitSquare);
        C2DPolygon copy(*square);
        square->Translate(C2DOffset(10, 0));
        EXPECT_EQ(copy.GetLine(0)->GetStart(), C2DPoint(0, 0));
        EXPECT_EQ(copy.GetType(), GeometryType::Polygon);
        copy.Set(copy); // onto itself: unchanged
        EXPECT_EQ(copy.GetLineCount(), 4u);
        EXPECT_EQ(copy.GetLineRectCount(), 4u);
        EXPECT_NE(C2DLine::GetPool(), nullptr);
        EXPECT_EQ(C2DLine::GetPooledCount(), 8u);
        copy.Clear();
        EXPECT_EQ(copy.GetLineCount(), 0u);
        EXPECT_TRUE(SameRect(copy.GetBoundingRect(), C2DRect()));
        auto* heap = new C2DPolygon(*square);
        EXPECT_NE(C2DPolygon::GetPool(), nullptr);
        delete heap;
    }
    EXPECT_EQ(C2DLine::GetPool(), nullptr);
    EXPECT_EQ(C2DRect::GetPool(), nullptr);
    EXPECT_EQ(C2DPolygon::GetPool(), nullptr);
}

} // namespace
