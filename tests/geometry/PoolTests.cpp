#include <gtest/gtest.h>

#include <vector>

#include "geometry/Base.h"
#include "geometry/Lines.h"

// The rectangle pool is used here alone: no other test keeps rectangles
// allocated with new alive between tests.
TEST(ObjectPool, BlocksGrowAndThePoolDisappearsWithItsLastObject) {
    ASSERT_EQ(C2DRect::GetPool(), nullptr);

    std::vector<C2DRect*> rects;
    for (unsigned i = 0; i < CObjectPool::BlockSlots; ++i) {
        rects.push_back(new C2DRect(i, 1, i + 1, 0));
    }
    ASSERT_NE(C2DRect::GetPool(), nullptr);
    EXPECT_EQ(C2DRect::GetPool()->GetBlockCount(), 1u);
    // Slots of a fresh block are handed out in address order.
    const std::size_t slot = C2DRect::GetPool()->GetSlotSize();
    EXPECT_GE(slot, sizeof(C2DRect) + sizeof(void*));
    EXPECT_EQ(slot % alignof(C2DRect), 0u);
    EXPECT_EQ(reinterpret_cast<char*>(rects[1]) - reinterpret_cast<char*>(rects[0]),
              static_cast<std::ptrdiff_t>(slot));

    rects.push_back(new C2DRect());
    EXPECT_EQ(C2DRect::GetPool()->GetBlockCount(), 2u);
    EXPECT_EQ(C2DRect::GetPooledCount(), 1001u);

    // Released slots come back last in, first out, also through a base pointer.
    C2DBase* asBase = rects[500];
    delete asBase;
    rects[500] = new C2DRect();
    EXPECT_EQ(static_cast<C2DBase*>(rects[500]), asBase);
    EXPECT_EQ(rects[500]->GetType(), GeometryType::Rect);

    for (C2DRect* rect : rects) {
        delete rect;
    }
    EXPECT_EQ(C2DRect::GetPool(), nullptr);
    EXPECT_EQ(C2DRect::GetPooledCount(), 0u);

    C2DRect* fresh = new C2DRect(0, 1, 1, 0);
    ASSERT_NE(C2DRect::GetPool(), nullptr);
    EXPECT_EQ(C2DRect::GetPool()->GetBlockCount(), 1u);
    EXPECT_EQ(C2DRect::GetPooledCount(), 1u);
    delete fresh;
    EXPECT_EQ(C2DRect::GetPool(), nullptr);
}

TEST(ObjectPool, ObjectsOutsideThePoolLeaveItAlone) {
    // Members and local objects never touch the pool.
    C2DLine local(C2DPoint(0, 0), C2DPoint(1, 1));
    C2DRect bounds;
    local.GetBounds(bounds);
    EXPECT_EQ(C2DRect::GetPool(), nullptr);
    const std::size_t before = C2DLine::GetPooledCount();
    C2DLineBase* edge = new C2DLine(local);
    EXPECT_EQ(C2DLine::GetPooledCount(), before + 1);
    delete edge;
    EXPECT_EQ(C2DLine::GetPooledCount(), before);
}
