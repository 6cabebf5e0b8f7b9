#include <gtest/gtest.h>

#include <vector>

#include "geometry/Arcs.h"
#include "geometry/Lines.h"
#include "geometry/Sets.h"

namespace {

std::vector<std::pair<double, double>> Coordinates(const C2DPointSet& set) {
    std::vector<std::pair<double, double>> result;
    for (unsigned i = 0; i < set.GetSize(); ++i) {
        result.emplace_back(set.GetAt(i)->x, set.GetAt(i)->y);
    }
    return result;
}

using Coords = std::vector<std::pair<double, double>>;

} // namespace

// C2DPointSet has no copy; build in place instead of returning by value.
#define POINTS(name, ...)                                                                          \
    C2DPointSet name;                                                                              \
    for (const C2DPoint& p_ : std::initializer_list<C2DPoint>{__VA_ARGS__})                        \
        name.AddCopy(p_);

TEST(BaseSet, DistanceBoundsAndProjection) {
    C2DPointSet empty;
    EXPECT_EQ(empty.DistanceTo(C2DPoint(3, 4)), 0);
    C2DRect bounds(1, 2, 3, 4);
    empty.GetBounds(bounds);
    EXPECT_EQ(bounds.topLeft.x, 0);
    EXPECT_EQ(bounds.topLeft.y, 0);
    EXPECT_EQ(bounds.bottomRight.x, 0);
    EXPECT_EQ(bounds.bottomRight.y, 0);
    CValueRange untouched(7, 9);
    empty.ProjectOnAxis(C2DOffset(1, 0), untouched);
    EXPECT_EQ(untouched.min, 7);
    EXPECT_EQ(untouched.max, 9);

    POINTS(points, C2DPoint(1, 0), C2DPoint(3, 0));
    for (const CValueRange& initial : {CValueRange(-10, 10), CValueRange(2, 2), CValueRange()}) {
        CValueRange range = initial;
        points.ProjectOnAxis(C2DOffset(1, 0), range);
        EXPECT_EQ(range.min, 1);
        EXPECT_EQ(range.max, 3);
        range = initial;
        points.ProjectOnLine(C2DLine(C2DPoint(0, 5), C2DOffset(-2, 0)), range);
        EXPECT_EQ(range.min, -3);
        EXPECT_EQ(range.max, -1);
    }

    // Rectangles in a base set: the union of their bounds, and the nearest one.
    C2DRectSet rects;
    rects.Add(new C2DRect(0, 1, 1, 0));
    rects.Add(new C2DRect(5, 3, 6, 2));
    rects.GetBounds(bounds);
    EXPECT_EQ(bounds.topLeft.x, 0);
    EXPECT_EQ(bounds.topLeft.y, 3);
    EXPECT_EQ(bounds.bottomRight.x, 6);
    EXPECT_EQ(bounds.bottomRight.y, 0);
    EXPECT_EQ(rects.DistanceTo(C2DPoint(5.5, 2.5)), 0); // inside the second member
    EXPECT_DOUBLE_EQ(rects.DistanceTo(C2DPoint(4, 2.5)), 1);
    EXPECT_DOUBLE_EQ(rects.DistanceTo(C2DPoint(0.5, -2)), 2);

    // Point set bounds keep the corner convention.
    POINTS(scattered, C2DPoint(2, 2), C2DPoint(-1, 5), C2DPoint(4, -3), C2DPoint(0, 0));
    scattered.GetBounds(bounds);
    EXPECT_EQ(bounds.topLeft.x, -1);
    EXPECT_EQ(bounds.topLeft.y, 5);
    EXPECT_EQ(bounds.bottomRight.x, 4);
    EXPECT_EQ(bounds.bottomRight.y, -3);

    // The contract goes to every member.
    scattered.Translate(C2DOffset(1, 1));
    scattered.ScaleAbout(2, C2DPoint(0, 0));
    EXPECT_EQ(Coordinates(scattered), (Coords{{6, 6}, {0, 12}, {10, -4}, {2, 2}}));
    scattered.ReflectInPoint(C2DPoint(1, 1));
    EXPECT_EQ(Coordinates(scattered), (Coords{{-4, -4}, {2, -10}, {-8, 6}, {0, 0}}));
}

TEST(BaseSet, MembershipOperations) {
    POINTS(five, C2DPoint(0, 0), C2DPoint(1, 0), C2DPoint(2, 0), C2DPoint(3, 0), C2DPoint(4, 0));
    C2DBase* middle = five.GetAt(2);
    five.ReverseOrder();
    EXPECT_EQ(five.GetAt(2), middle);
    EXPECT_EQ(Coordinates(five), (Coords{{4, 0}, {3, 0}, {2, 0}, {1, 0}, {0, 0}}));

    five.DeleteAt(1);
    EXPECT_EQ(Coordinates(five), (Coords{{4, 0}, {2, 0}, {1, 0}, {0, 0}}));

    POINTS(three, C2DPoint(7, 0), C2DPoint(8, 0), C2DPoint(9, 0));
    POINTS(two, C2DPoint(1, 1), C2DPoint(2, 2));
    two.MoveAllFrom(three);
    EXPECT_EQ(three.GetSize(), 0u);
    EXPECT_EQ(Coordinates(two), (Coords{{1, 1}, {2, 2}, {7, 0}, {8, 0}, {9, 0}}));
    three.DeleteAll(); // owns nothing any more
    two.MoveAllFrom(two);
    EXPECT_EQ(two.GetSize(), 5u);

    C2DBase* last = two.ExtractLast();
    EXPECT_EQ(two.GetSize(), 4u);
    EXPECT_EQ(static_cast<C2DPoint*>(last)->x, 9);
    delete last;

    two.AddCopy(two); // a set copied into itself doubles once
    EXPECT_EQ(two.GetSize(), 8u);
    EXPECT_EQ(two.GetAt(4)->GetType(), GeometryType::Point);
    EXPECT_NE(two.GetAt(4), two.GetAt(0));
}

TEST(BaseSet, SortByDistanceAndItsTieOrder) {
    POINTS(points, C2DPoint(3, 0), C2DPoint(0, 1), C2DPoint(-2, 0));
    points.SortByDistance(C2DPoint(0, 0));
    EXPECT_EQ(Coordinates(points), (Coords{{0, 1}, {-2, 0}, {3, 0}}));

    // The partition is not stable; equal keys come out in the quicksort's own
    // order: three equal keys a b c give a c b, five give a e d b c.
    POINTS(three, C2DPoint(1, 0), C2DPoint(0, 1), C2DPoint(-1, 0));
    three.SortByDistance(C2DPoint(0, 0));
    EXPECT_EQ(Coordinates(three), (Coords{{1, 0}, {-1, 0}, {0, 1}}));

    POINTS(five, C2DPoint(5, 0), C2DPoint(0, 5), C2DPoint(-5, 0), C2DPoint(0, -5), C2DPoint(3, 4));
    five.SortByDistance(C2DPoint(0, 0));
    EXPECT_EQ(Coordinates(five), (Coords{{5, 0}, {3, 4}, {0, -5}, {0, 5}, {-5, 0}}));

    // Mixed keys with ties: 2 1 2 1 gives the two 1s then the two 2s.
    POINTS(mixed, C2DPoint(2, 0), C2DPoint(1, 0), C2DPoint(0, 2), C2DPoint(0, 1));
    mixed.SortByDistance(C2DPoint(0, 0));
    EXPECT_EQ(Coordinates(mixed), (Coords{{1, 0}, {0, 1}, {2, 0}, {0, 2}}));

    // A larger shuffled set comes out ascending.
    C2DPointSet many;
    for (int i = 0; i < 500; ++i) {
        many.AddCopy(C2DPoint((i * 7919) % 500, 0));
    }
    many.SortByDistance(C2DPoint(-1, 0));
    for (unsigned i = 0; i < many.GetSize(); ++i) {
        EXPECT_EQ(many.GetAt(i)->x, i);
    }
}

TEST(BaseSet, SortWithUndefinedDistanceFinishes) {
    // A zero-length edge has no defined distance; the sort still ends and puts
    // it behind the others.
    C2DLineBaseSet edges;
    edges.Add(new C2DLine(C2DPoint(5, 0), C2DPoint(5, 0)));
    edges.Add(new C2DLine(C2DPoint(0, 3), C2DPoint(1, 3)));
    edges.Add(new C2DLine(C2DPoint(7, 7), C2DPoint(7, 7)));
    edges.Add(new C2DLine(C2DPoint(0, 1), C2DPoint(1, 1)));
    edges.SortByDistance(C2DPoint(0, 0));
    EXPECT_EQ(edges.GetAt(0)->GetStart().y, 1);
    EXPECT_EQ(edges.GetAt(1)->GetStart().y, 3);
    EXPECT_EQ(edges.GetAt(2)->GetLength(), 0);
    EXPECT_EQ(edges.GetAt(3)->GetLength(), 0);
}

TEST(PointSet, AngularSorts) {
    const C2DLine north(C2DPoint(0, 0), C2DPoint(0, 1));
    POINTS(points, C2DPoint(-1, 0), C2DPoint(0, 1), C2DPoint(0, -1), C2DPoint(1, 0));
    points.SortClockwiseFrom(north);
    EXPECT_EQ(Coordinates(points), (Coords{{0, 1}, {1, 0}, {0, -1}, {-1, 0}}));
    points.SortAnticlockwiseFrom(north);
    EXPECT_EQ(Coordinates(points), (Coords{{-1, 0}, {0, -1}, {1, 0}, {0, 1}}));

    // Angles are measured from the line's own direction, seen from its start.
    const C2DLine east(C2DPoint(1, 1), C2DPoint(3, 1));
    POINTS(around, C2DPoint(1, 2), C2DPoint(1, 0), C2DPoint(2, 1), C2DPoint(0, 1));
    around.SortClockwiseFrom(east);
    EXPECT_EQ(Coordinates(around), (Coords{{2, 1}, {1, 0}, {0, 1}, {1, 2}}));
}

namespace {

// An edge of a kind the sets do not know how to copy.
class CForeignEdge : public C2DLineBase {
public:
    CForeignEdge() : C2DLineBase(99) {}
    void Translate(const C2DOffset&) override {}
    void RotateClockwise(double, const C2DPoint&) override {}
    void ScaleAbout(double, const C2DPoint&) override {}
    void ReflectInLine(const C2DLine&) override {}
    void ReflectInPoint(const C2DPoint&) override {}
    void GetBounds(C2DRect&) const override {}
    void ProjectOnAxis(const C2DOffset&, CValueRange&) const override {}
    void ProjectOnLine(const C2DLine&, CValueRange&) const override {}
    void RoundToGrid() override {}
    bool Crosses(const C2DLineBase&, C2DPointSet*) const override { return true; }
    double DistanceTo(const C2DLineBase&, C2DPoint*, C2DPoint*) const override { return 1; }
    double DistanceTo(const C2DPoint&, C2DPoint*) const override { return 1; }
    C2DPoint GetStart() const override { return C2DPoint(); }
    C2DPoint GetEnd() const override { return C2DPoint(); }
    double GetLength() const override { return 0; }
    void ReverseDirection() override {}
    void SplitAtPoints(const C2DPointSet&, C2DLineBaseSet&) const override {}
    void Transform(CTransformation&) override {}
    void InverseTransform(CTransformation&) override {}
};

} // namespace

TEST(LineBaseSet, AddCopyIsDeepAndKnowsTwoKinds) {
    C2DLineBaseSet edges;
    C2DLine line(C2DPoint(1, 2), C2DPoint(4, 6));
    C2DArc arc(C2DPoint(0, 0), C2DPoint(2, 0), 1.5, true, false);
    edges.AddCopy(line);
    edges.AddCopy(arc);
    edges.AddCopy(CForeignEdge());
    ASSERT_EQ(edges.GetSize(), 2u);
    EXPECT_EQ(edges.GetAt(0)->GetType(), GeometryType::Line);
    EXPECT_EQ(edges.GetAt(1)->GetType(), GeometryType::Arc);
    line.Translate(C2DOffset(10, 10));
    EXPECT_EQ(edges.GetAt(0)->GetStart().x, 1);
    EXPECT_EQ(edges.GetAt(0)->GetEnd().y, 6);
    const C2DArc& copied = static_cast<const C2DArc&>(*edges.GetAt(1));
    EXPECT_EQ(copied.radius, 1.5);
    EXPECT_TRUE(copied.centreOnRight);
    EXPECT_FALSE(copied.arcOnRight);
    EXPECT_EQ(copied.GetEnd().x, 2);
}
