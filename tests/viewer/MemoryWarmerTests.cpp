// The memory warmer touches a block on its own thread and gives it back when
// told: it must stop promptly when a command comes, survive being started
// again or destroyed while running, and never start for small maps.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/viewer/ViewerTestSupport.h"
#include "viewer/MarloDoc.h"
#include "viewer/MemoryWarmer.h"

namespace {

constexpr std::size_t MiB = std::size_t(1) << 20;

TEST(MemoryWarmer, TouchesTheWholeBlockOrStopsPartWay) {
    CMemoryWarmer warmer;
    EXPECT_FALSE(warmer.IsRunning());
    // Not a multiple of a huge page nor of a page: the last step is partial.
    const std::size_t odd = 5 * MiB + 12345;
    warmer.Start(odd);
    warmer.Finish();
    EXPECT_FALSE(warmer.IsRunning());
    EXPECT_EQ(warmer.GetTouchedBytes(), odd);

    // Stopped at once, it has touched at most what it was given, and a new
    // start begins counting afresh.
    warmer.Start(256 * MiB);
    warmer.Stop();
    EXPECT_FALSE(warmer.IsRunning());
    EXPECT_LE(warmer.GetTouchedBytes(), 256 * MiB);
    warmer.Start(3 * MiB);
    warmer.Start(4 * MiB); // the first is stopped and freed
    warmer.Finish();
    EXPECT_EQ(warmer.GetTouchedBytes(), 4 * MiB);

    // Nothing to warm: no thread.
    warmer.Start(0);
    EXPECT_FALSE(warmer.IsRunning());
    EXPECT_EQ(warmer.GetTouchedBytes(), 0u);
    warmer.Stop(); // stopping twice is harmless
    warmer.Stop();
}

TEST(MemoryWarmer, DestroyedWhileTouching) {
    auto warmer = std::make_unique<CMemoryWarmer>();
    warmer->Start(128 * MiB);
    warmer.reset(); // joins the thread and frees the block
    SUCCEED();
}

TEST(MemoryWarmer, SmallMapsAreNotWarmedFor) {
    CMarloDoc document;
    document.LoadMap(DataPath("world-110m-land.shp").c_str());
    ASSERT_GT(document.GetContent().GetSize(), 0u);
    EXPECT_FALSE(document.GetMemoryWarmer().IsRunning());
    EXPECT_EQ(document.GetMemoryWarmer().GetTouchedBytes(), 0u);
}

} // namespace
