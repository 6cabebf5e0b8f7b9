// The memory warmer touches a block on its own thread and gives it back when
// told: it must stop promptly when a command comes, survive being started
// again or destroyed while running, and never start for small maps.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

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

    // Renewed while touching: the old block is freed and the new one is
    // touched whole; renewed to nothing, no thread is left.
    warmer.Start(64 * MiB);
    warmer.Renew(6 * MiB + 1);
    EXPECT_TRUE(warmer.IsRunning());
    warmer.Finish();
    EXPECT_EQ(warmer.GetTouchedBytes(), 6 * MiB + 1);
    warmer.Start(8 * MiB);
    warmer.Renew(0);
    EXPECT_FALSE(warmer.IsRunning());
    EXPECT_EQ(warmer.GetTouchedBytes(), 0u);

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

// A copy of a small map padded with zeros to the size of a large one: its
// size asks for warming, while it reads as the small map.
QByteArray PaddedCopy(const QTemporaryDir& folder, const char* name, qint64 size) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    QFile::copy(QString::fromStdString(DataPath("world-110m-land.shp")), path);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.resize(size)) {
        return QByteArray();
    }
    return QFile::encodeName(path);
}

TEST(MemoryWarmer, ALargeFileIsWarmedForWhileItLoads) {
    CRecordingUserInterface ui;
    QTemporaryDir folder;
    const QByteArray padded = PaddedCopy(folder, "padded.shp", 40 * qint64(MiB));
    ASSERT_FALSE(padded.isEmpty());
    CMarloDoc document;
    bool warmingWhileReading = false;
    bool warmingWhileCopying = false;
    document.SetProgressObserver([&](unsigned percent) {
        const bool running = document.GetMemoryWarmer().IsRunning();
        if (percent < 50) {
            warmingWhileReading = warmingWhileReading || running;
        } else if (percent >= 75) {
            warmingWhileCopying = warmingWhileCopying || running;
        }
    });
    document.LoadMap(padded.constData());
    ASSERT_GT(document.GetContent().GetSize(), 0u);
    EXPECT_TRUE(warmingWhileReading);
    // The readied block is handed back once the file is read, for the copies
    // taken after it; the small map it holds needs no more warming.
    EXPECT_FALSE(warmingWhileCopying);
    EXPECT_FALSE(document.GetMemoryWarmer().IsRunning());

    // A file of that size that cannot be read leaves nothing running.
    QFile zeros(folder.filePath(QStringLiteral("zeros.shp")));
    ASSERT_TRUE(zeros.open(QIODevice::WriteOnly));
    ASSERT_TRUE(zeros.resize(40 * qint64(MiB)));
    zeros.close();
    const std::size_t shown = document.GetContent().GetSize();
    document.LoadMap(QFile::encodeName(zeros.fileName()).constData());
    EXPECT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(document.GetContent().GetSize(), shown);
    EXPECT_FALSE(document.GetMemoryWarmer().IsRunning());
}

} // namespace
