#include <thread>

#include <gtest/gtest.h>

#include "ShapeTestSupport.h"

namespace {

// The unit square clockwise, with the hole (0.25, 0.25)-(0.75, 0.75).
std::unique_ptr<C2DHoledPolygon> SquareWithHole(bool holeClockwise = true) {
    auto shape = std::make_unique<C2DHoledPolygon>();
    shape->SetRim(MakePolygon({0, 0, 0, 1, 1, 1, 1, 0}).release());
    if (holeClockwise) {
        shape->AddHole(MakePolygon({0.25, 0.25, 0.25, 0.75, 0.75, 0.75, 0.75, 0.25}).release());
    } else {
        shape->AddHole(MakePolygon({0.25, 0.25, 0.75, 0.25, 0.75, 0.75, 0.25, 0.75}).release());
    }
    return shape;
}

TEST(HoledPolygonTests, SignedDistanceIsPositiveInTheArea) {
    auto shape = SquareWithHole();
    EXPECT_NEAR(shape->DistanceTo(C2DPoint(0.1, 0.5)), 0.1, 1e-15);
    EXPECT_NEAR(shape->DistanceTo(C2DPoint(0.5, 0.5)), -0.25, 1e-15);
    EXPECT_NEAR(shape->DistanceTo(C2DPoint(2, 0.5)), -1.0, 1e-15);
    C2DRect bounds;
    shape->GetBounds(bounds);
    EXPECT_TRUE(SameRect(bounds, shape->GetRim()->GetBoundingRect()));
    EXPECT_EQ(shape->GetTotalLineCount(), 8u);
    EXPECT_FALSE(shape->HasArcs());

    C2DHoledPolygon empty;
    EXPECT_EQ(empty.DistanceTo(C2DPoint(1, 1)), 0.0);
    empty.GetBounds(bounds);
    EXPECT_TRUE(SameRect(bounds, C2DRect()));
}

TEST(HoledPolygonTests, MakeClockwiseReversesOnlyAnticlockwiseRings) {
    auto shape = SquareWithHole();
    shape->GetRim()->ReverseDirection(); // rim anticlockwise, hole clockwise
    const C2DLineBase* holeEdge = shape->GetHole(0)->GetLine(0);
    const C2DPoint holeStart = holeEdge->GetStart();
    shape->MakeClockwise();
    EXPECT_LT(shape->GetRim()->GetArea(), 0.0);
    EXPECT_EQ(shape->GetHole(0)->GetLine(0)->GetStart(), holeStart);

    auto other = SquareWithHole(false);
    other->MakeClockwise();
    EXPECT_LT(other->GetRim()->GetArea(), 0.0);
    EXPECT_LT(other->GetHole(0)->GetArea(), 0.0);

    // A ring of zero area is reversed too.
    C2DHoledPolygon flat;
    flat.SetRim(MakePolygon({0, 0, 1, 0, 2, 0}).release());
    flat.MakeClockwise();
    EXPECT_EQ(flat.GetRim()->GetLine(0)->GetStart(), C2DPoint(0, 0));
    EXPECT_EQ(flat.GetRim()->GetLine(0)->GetEnd(), C2DPoint(2, 0));
}

TEST(HoledPolygonTests, ExtractHoledPolysReversesAndKeepsTheRest) {
    C2DBaseSet source;
    auto* a = new C2DHoledPolygon();
    auto* p = new C2DPoint(1, 2);
    auto* b = new C2DHoledPolyArc();
    source.Add(a);
    source.Add(p);
    source.Add(b);
    auto* q = new C2DPoint(3, 4);
    source.Add(q);
    C2DHoledPolyBaseSet content;
    content.ExtractHoledPolys(source);
    ASSERT_EQ(source.GetSize(), 2u);
    EXPECT_EQ(source.GetAt(0), p);
    EXPECT_EQ(source.GetAt(1), q);
    ASSERT_EQ(content.GetSize(), 2u);
    EXPECT_EQ(content.GetAt(0), b);
    EXPECT_EQ(content.GetAt(1), a);
    content.ExtractHoledPolys(content); // no endless loop
    EXPECT_EQ(content.GetSize(), 2u);
}

TEST(HoledPolygonTests, OwnershipOfRingsAndConversion) {
    {
        C2DHoledPolygon shape;
        shape.SetRim(MakePolygon({0, 0, 0, 1, 1, 1, 1, 0}).release());
        EXPECT_EQ(C2DPolygon::GetPooledCount(), 1u);
        shape.SetRim(MakePolygon({0, 0, 0, 2, 2, 2, 2, 0, 1, -1}).release());
        EXPECT_EQ(C2DPolygon::GetPooledCount(), 1u); // the old rim is gone
        EXPECT_EQ(C2DLine::GetPooledCount(), 5u);
        shape.SetRim(shape.GetRim()); // handing back the same rim keeps it
        EXPECT_EQ(shape.GetRim()->GetLineCount(), 5u);
        shape.AddHole(MakePolygon({0.5, 0.5, 0.5, 1, 1, 1, 1, 0.5}).release());
        shape.AddHole(MakePolygon({0.2, 0.2, 0.2, 0.3, 0.3, 0.3, 0.3, 0.2}).release());
        EXPECT_EQ(shape.GetTotalLineCount(), 13u);

        C2DHoledPolyArc arcShape;
        auto* rim = new C2DPolyArc();
        rim->SetStartPoint(C2DPoint(0, 0));
        rim->LineTo(C2DPoint(0, 1));
        rim->LineTo(C2DPoint(1, 1));
        rim->Close();
        arcShape.SetRim(rim);
        C2DHoledPolygon converted(arcShape);
        EXPECT_EQ(converted.GetType(), GeometryType::HoledPolygon);
        EXPECT_EQ(converted.GetRim()->GetType(), GeometryType::Polygon);
        EXPECT_EQ(converted.GetRim()->GetLineCount(), 3u);
        EXPECT_DOUBLE_EQ(converted.GetRim()->GetArea(), rim->GetArea());
        C2DHoledPolygon copied(shape);
        EXPECT_EQ(copied.GetHoleCount(), 2u);
        EXPECT_NE(copied.GetRim(), shape.GetRim());
        C2DHoledPolygon fromEmpty(C2DHoledPolyArc{});
        EXPECT_EQ(fromEmpty.GetRim(), nullptr);

        auto* content = new C2DHoledPolygonSet();
        content->Add(new C2DHoledPolygon(shape));
        delete content;
    }
    EXPECT_EQ(C2DPolygon::GetPool(), nullptr);
    EXPECT_EQ(C2DPolyArc::GetPool(), nullptr);
    EXPECT_EQ(C2DHoledPolygon::GetPool(), nullptr);
    EXPECT_EQ(C2DHoledPolygonSet::GetPool(), nullptr);
    EXPECT_EQ(C2DLine::GetPool(), nullptr);
    EXPECT_EQ(C2DRect::GetPool(), nullptr);
}

TEST(HoledPolygonTests, ContentTransformMovesEveryEdgeAndRefreshesBounds) {
    C2DHoledPolyBaseSet content;
    content.Add(SquareWithHole().release());
    auto* arcShape = new C2DHoledPolyArc();
    auto* rim = new C2DPolyArc();
    rim->SetStartPoint(C2DPoint(0, 0));
    rim->ArcTo(C2DPoint(2, 0), false, true, 1.0);
    rim->Close();
    arcShape->SetRim(rim);
    content.Add(arcShape);

    CTranslation shift(10, -3);
    content.Transform(shift);
    C2DRect bounds;
    content.GetBounds(bounds);
    EXPECT_TRUE(SameRect(bounds, C2DRect(10, -2, 12, -4)));
    EXPECT_EQ(content.GetAt(1)->GetRim()->GetLine(0)->GetEnd(), C2DPoint(12, -3));
    content.InverseTransform(shift);
    content.GetBounds(bounds);
    EXPECT_TRUE(SameRect(bounds, C2DRect(0, 1, 2, -1)));
    content.MakeClockwise();
    EXPECT_LT(content.GetAt(1)->GetRim()->GetArea(), 0.0);
    EXPECT_TRUE(content.GetAt(1)->HasArcs());
}

TEST(HoledPolygonTests, HoledPolygonsTransformOnSeparateThreads) {
    // Two threads transform disjoint halves of the content; the result must
    // equal the same transformation done on one thread.
    C2DHoledPolyBaseSet parallel;
    C2DHoledPolyBaseSet serial;
    for (int i = 0; i < 200; ++i) {
        for (C2DHoledPolyBaseSet* content : {&parallel, &serial}) {
            auto shape = SquareWithHole();
            shape->Translate(C2DOffset(i * 2.0, 0));
            content->Add(shape.release());
        }
    }
    CTranslation shift(0.5, 0.25);
    serial.Transform(shift);
    const auto transformRange = [&](unsigned first, unsigned last) {
        for (unsigned i = first; i < last; ++i) {
            parallel.GetAt(i)->Transform(shift);
        }
    };
    std::thread lower(transformRange, 0u, 100u);
    std::thread upper(transformRange, 100u, 200u);
    lower.join();
    upper.join();
    for (unsigned i = 0; i < 200; ++i) {
        C2DRect a;
        C2DRect b;
        parallel.GetAt(i)->GetBounds(a);
        serial.GetAt(i)->GetBounds(b);
        EXPECT_TRUE(SameRect(a, b)) << i;
    }
}

} // namespace
