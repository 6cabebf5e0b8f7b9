// The coordinate copy gives a content back its coordinates, or their
// transformation, bit for bit: edges that do not meet exactly, directions that
// are not end - start, signed zeros, arcs, rings without a rim, and the
// refusal of a content of another shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#include "geometry/CoordinateCopy.h"
#include "projection/Transformation.h"
#include "tests/geometry/ContentBits.h"

namespace {

// A smooth, non-linear map of the plane: the end of one edge and the start
// of the next, a rounding step apart, come out further apart.
class CWarp : public CTransformation {
public:
    explicit CWarp(double amount) : amount(amount) {}
    void Transform(double& x, double& y) override {
        const double nx = x + amount * std::sin(y) + 1e-3 * x * y;
        const double ny = y * 1.0000001 + amount * std::cos(x);
        x = nx;
        y = ny;
    }
    void InverseTransform(double& x, double& y) override {
        x -= amount;
        y += amount;
    }

private:
    double amount;
};

C2DPolygon* Ring(std::initializer_list<double> xy) {
    auto* ring = new C2DPolygon();
    ring->Create(std::data(xy), static_cast<unsigned>(xy.size() / 2));
    return ring;
}

// Holed polygons of every kind the copy must keep apart.
std::unique_ptr<C2DHoledPolyBaseSet> MakeAwkwardContent() {
    auto content = std::make_unique<C2DHoledPolyBaseSet>();

    // Edge 0's direction is not its end minus its start; edge 1 starts a
    // rounding step away from where edge 0 ends; edge 3 starts at -0.0 where
    // edge 2 ends at 0.0.
    C2DPolygon* odd = Ring({0.1, 0.1, 0.3, 0.7, 0.3, 0.9, 0.0, 0.5, -0.2, 0.3});
    const auto edge = [&](unsigned k) { return static_cast<C2DLine*>(odd->GetLine(k)); };
    edge(0)->start = C2DPoint(0.1, 0.1);
    edge(0)->direction = C2DOffset(0.2, 0.6);
    const C2DPoint end0 = edge(0)->GetEnd();
    edge(1)->start = C2DPoint(std::nextafter(end0.x, 1.0), end0.y);
    edge(1)->direction = C2DOffset(0.0, 0.2);
    edge(2)->start = edge(1)->GetEnd();
    edge(2)->direction = C2DOffset(-edge(2)->start.x, -0.4);
    edge(3)->start = C2DPoint(-0.0, edge(2)->GetEnd().y);
    edge(3)->direction = C2DOffset(-0.2, -0.2);
    edge(4)->start = edge(3)->GetEnd();
    edge(4)->direction = C2DPoint(0.1, 0.1) - edge(4)->start;
    odd->MakeLineRects();
    odd->MakeBoundingRect();
    auto* first = new C2DHoledPolygon();
    first->SetRim(odd);
    first->AddHole(Ring({0.0, 0.2, 0.05, 0.3, 0.08, 0.2}));
    content->Add(first);

    // Arcs in the rim and in a hole.
    auto* arcs = new C2DHoledPolyArc();
    auto* rim = new C2DPolyArc();
    rim->SetStartPoint(C2DPoint(10.0, 10.0));
    rim->ArcTo(C2DPoint(14.0, 10.0), false, true, 2.5);
    rim->LineTo(C2DPoint(14.0, 6.0));
    rim->CloseWithArc(true, true, 3.0);
    arcs->SetRim(rim);
    auto* hole = new C2DPolyArc();
    hole->SetStartPoint(C2DPoint(11.0, 9.0));
    hole->LineTo(C2DPoint(12.0, 9.0));
    hole->CloseWithArc(false, false, 0.75);
    arcs->AddHole(hole);
    content->Add(arcs);

    // No rim, one hole; and a rim without edges.
    auto* rimless = new C2DHoledPolygon();
    rimless->AddHole(Ring({5.0, 5.0, 5.0, 6.0, 6.0, 6.0}));
    content->Add(rimless);
    auto* empty = new C2DHoledPolygon();
    empty->SetRim(new C2DPolygon());
    content->Add(empty);
    return content;
}

// Many small rings, so that two threads get a share each.
std::unique_ptr<C2DHoledPolyBaseSet> MakeManyRings(int count) {
    auto content = std::make_unique<C2DHoledPolyBaseSet>();
    for (int i = 0; i < count; ++i) {
        const double x = -170.0 + (i % 60) * 5.7;
        const double y = -80.0 + (i / 60) * 3.3;
        std::vector<double> xy;
        for (int k = 0; k < 7 + i % 5; ++k) {
            const double angle = -k * 0.7;
            xy.push_back(x + 1.3 * std::cos(angle));
            xy.push_back(y + 0.9 * std::sin(angle));
        }
        auto* ring = new C2DPolygon();
        ring->Create(xy.data(), static_cast<unsigned>(xy.size() / 2));
        auto* holed = new C2DHoledPolygon();
        holed->SetRim(ring);
        content->Add(holed);
    }
    content->MakeClockwise();
    return content;
}

TEST(CoordinateCopy, RestoresEveryEdgeBitForBit) {
    auto content = MakeAwkwardContent();
    const std::vector<uint64_t> loaded = ContentBits(*content);
    C2DCoordinateCopy copy;
    ASSERT_TRUE(copy.Capture(*content));
    EXPECT_TRUE(copy.Fits(*content));
    EXPECT_GE(copy.GetRestartCount(), 2u);
    EXPECT_GE(copy.GetDirectionExceptionCount(), 1u);

    CWarp warp(0.25);
    content->Transform(warp);
    ASSERT_NE(FirstDifference(ContentBits(*content), loaded), -1);
    ASSERT_TRUE(copy.Restore(*content));
    EXPECT_EQ(FirstDifference(ContentBits(*content), loaded), -1);

    // Arcs whose radius and flags were changed get them back too.
    auto* arc = static_cast<C2DArc*>(content->GetAt(1)->GetRim()->GetLine(0));
    ASSERT_EQ(arc->GetType(), GeometryType::Arc);
    arc->radius = 99.0;
    arc->arcOnRight = !arc->arcOnRight;
    ASSERT_TRUE(copy.Restore(*content));
    EXPECT_EQ(FirstDifference(ContentBits(*content), loaded), -1);

    // The visitor hands out each edge's own start and end.
    int edges = 0;
    int arcEdges = 0;
    for (std::size_t r = 0; r < copy.GetRingCount(); ++r) {
        copy.VisitEdges(r, [&](const C2DCoordinateCopy::CPoint& start,
                               const C2DCoordinateCopy::CPoint& end,
                               const C2DCoordinateCopy::CArcShape* shape) {
            ++edges;
            arcEdges += shape != nullptr ? 1 : 0;
            EXPECT_TRUE(std::isfinite(start.x) && std::isfinite(end.y));
        });
    }
    EXPECT_EQ(edges, 5 + 3 + 3 + 2 + 3);
    EXPECT_EQ(arcEdges, 3);
    const auto* restarted = static_cast<const C2DLine*>(content->GetAt(0)->GetRim()->GetLine(1));
    int seen = 0;
    copy.VisitEdges(0, [&](const C2DCoordinateCopy::CPoint& start, const C2DCoordinateCopy::CPoint&,
                           const C2DCoordinateCopy::CArcShape*) {
        if (seen++ == 1) {
            EXPECT_EQ(start.x, restarted->start.x);
        }
    });
}

TEST(CoordinateCopy, TransformedRestoreEqualsTransformingTheContent) {
    for (unsigned threads : {1u, 2u, 3u}) {
        SCOPED_TRACE(threads);
        for (int kind = 0; kind < 2; ++kind) {
            auto expected = kind == 0 ? MakeAwkwardContent() : MakeManyRings(500);
            auto restored = kind == 0 ? MakeAwkwardContent() : MakeManyRings(500);
            CWarp warp(0.25);
            expected->Transform(warp);

            C2DCoordinateCopy copy;
            ASSERT_TRUE(copy.Capture(*restored));
            // Whatever the content holds now is replaced.
            CWarp other(-0.5);
            restored->Transform(other);
            ASSERT_TRUE(copy.RestoreTransformed(*restored, warp, threads));
            EXPECT_EQ(FirstDifference(ContentBits(*restored), ContentBits(*expected)), -1)
                << "kind " << kind;
        }
    }
}

namespace {

// The warp moving points as a batch would: back to front, counting them.
class CBatchWarp : public CWarp {
public:
    CBatchWarp() : CWarp(0.25) {}
    void TransformPoints(double* x, double* y, std::size_t count, std::size_t stride) override {
        for (std::size_t k = count; k-- > 0;) {
            Transform(x[k * stride], y[k * stride]);
        }
        moved += count;
    }
    std::atomic<std::size_t> moved{0};
};

} // namespace

// The restore moves the stored points in batches: a ring longer than a
// batch, rings shorter than one, shares of several threads. Each point must
// be moved once and the result must still be that of transforming the
// content.
TEST(CoordinateCopy, TransformedRestoreMovesEachPointOnceInBatches) {
    const auto make = [] {
        auto content = MakeManyRings(700);
        std::vector<double> xy;
        for (int k = 0; k < 1000; ++k) {
            const double angle = -k * 2 * M_PI / 1000;
            xy.push_back(3 * std::cos(angle) + 1e-3 * (k % 7));
            xy.push_back(2 * std::sin(angle));
        }
        auto* ring = new C2DPolygon();
        ring->Create(xy.data(), static_cast<unsigned>(xy.size() / 2));
        auto* holed = new C2DHoledPolygon();
        holed->SetRim(ring);
        content->Add(holed);
        auto awkward = MakeAwkwardContent();
        content->MoveAllFrom(*awkward);
        return content;
    };
    for (unsigned threads : {1u, 2u, 3u}) {
        SCOPED_TRACE(threads);
        auto expected = make();
        auto restored = make();
        CWarp warp(0.25);
        expected->Transform(warp);
        C2DCoordinateCopy copy;
        ASSERT_TRUE(copy.Capture(*restored));
        CBatchWarp batches;
        ASSERT_TRUE(copy.RestoreTransformed(*restored, batches, threads));
        EXPECT_EQ(batches.moved, copy.GetPoints().size());
        EXPECT_EQ(FirstDifference(ContentBits(*restored), ContentBits(*expected)), -1);
    }
}

TEST(CoordinateCopy, RefusesContentOfAnotherShapeAndLeavesItAlone) {
    auto content = MakeAwkwardContent();
    C2DCoordinateCopy copy;
    ASSERT_TRUE(copy.Capture(*content));

    // An extra hole, an extra holed polygon, an arc where a line was, and a
    // rim taken away.
    const auto tryRestore = [&](C2DHoledPolyBaseSet& changed) {
        const std::vector<uint64_t> before = ContentBits(changed);
        EXPECT_FALSE(copy.Fits(changed));
        EXPECT_FALSE(copy.Restore(changed));
        CWarp warp(0.1);
        EXPECT_FALSE(copy.RestoreTransformed(changed, warp, 2));
        EXPECT_EQ(FirstDifference(ContentBits(changed), before), -1);
    };
    auto withHole = MakeAwkwardContent();
    withHole->GetAt(0)->AddHole(Ring({0.0, 0.0, 0.0, 0.01, 0.01, 0.01}));
    tryRestore(*withHole);
    auto longer = MakeAwkwardContent();
    longer->Add(MakeManyRings(1)->ExtractLast());
    tryRestore(*longer);
    auto arcForLine = MakeAwkwardContent();
    auto* rim = new C2DPolyArc();
    rim->SetStartPoint(C2DPoint(10.0, 10.0));
    rim->ArcTo(C2DPoint(14.0, 10.0), false, true, 2.5);
    rim->ArcTo(C2DPoint(14.0, 6.0), false, true, 2.5);
    rim->CloseWithArc(true, true, 3.0);
    arcForLine->GetAt(1)->SetRim(rim);
    tryRestore(*arcForLine);
    auto noRim = MakeAwkwardContent();
    noRim->GetAt(0)->SetRim(nullptr);
    tryRestore(*noRim);

    C2DHoledPolyBaseSet nothing;
    EXPECT_FALSE(copy.Restore(nothing));
    copy.Clear();
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_TRUE(copy.Restore(nothing));
}

TEST(CoordinateCopy, HoldsAboutSixteenBytesPerVertex) {
    auto content = MakeManyRings(2000);
    std::size_t vertices = 0;
    for (unsigned i = 0; i < content->GetSize(); ++i) {
        vertices += content->GetAt(i)->GetRim()->GetLineCount();
    }
    C2DCoordinateCopy copy;
    ASSERT_TRUE(copy.Capture(*content));
    // Points of 16 bytes, one more per ring, and 24 bytes per ring record;
    // these rings are tiny (9 vertices on average), real ones far larger
    const double perVertex = static_cast<double>(copy.GetBytes()) / static_cast<double>(vertices);
    EXPECT_GT(perVertex, 16.0);
    // (and a little room that the point array reserves for restarts).
    EXPECT_LT(perVertex, 16.5 + (16.0 + 24.0 + 16.0) / 9.0);
}

TEST(CoordinateCopy, ReportsProgressWithinOneLargeRing) {
    // One ring of 200,000 edges beside a small one: the bar must move while
    // the large ring is copied, forward only, not only between polygons.
    constexpr unsigned Edges = 200000;
    std::vector<double> circle;
    for (unsigned k = 0; k < Edges; ++k) {
        const double angle = -2.0 * M_PI * k / Edges;
        circle.push_back(std::cos(angle));
        circle.push_back(std::sin(angle));
    }
    auto content = std::make_unique<C2DHoledPolyBaseSet>();
    auto* large = new C2DHoledPolygon();
    auto* rim = new C2DPolygon();
    rim->Create(circle.data(), Edges);
    large->SetRim(rim);
    content->Add(large);
    auto* small = new C2DHoledPolygon();
    small->SetRim(Ring({5.0, 5.0, 5.0, 6.0, 6.0, 6.0}));
    content->Add(small);
    std::vector<unsigned> percents;
    C2DCoordinateCopy copy;
    ASSERT_TRUE(copy.Capture(*content, [&](unsigned percent) { percents.push_back(percent); }));
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end());
    // Every 32,768 edges: six reports inside the ring (16 to 98 %), then 99 %
    // before the small one.
    EXPECT_EQ(percents.size(), 7u);
    EXPECT_EQ(percents.front(), 16u);
    EXPECT_EQ(percents.back(), 99u);
    // And the copy itself is the same as without a listener.
    C2DCoordinateCopy quiet;
    ASSERT_TRUE(quiet.Capture(*content));
    EXPECT_EQ(quiet.GetBytes(), copy.GetBytes());
}

} // namespace
