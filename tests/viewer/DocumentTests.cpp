// The map document through its public operations: file format choice by
// substring, failure messages, the life of the held projection and rotation,
// and the update hints the views receive.
#include "ViewerTestSupport.h"

#include "controls/ProgressDialog.h"
#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "viewer/MarloDoc.h"
#include "viewer/MyProgressBar.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace {

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        document.AddView(&recorder);
    }

    QByteArray TempPath(const QString& relative) const {
        return QFile::encodeName(folder.filePath(relative));
    }

    void LoadWorld() { document.LoadMap(DataPath("world-110m-land.shp").c_str()); }

    CRecordingUserInterface ui;
    QTemporaryDir folder;
    CMarloDoc document;
    CHintRecorder recorder;
};

double MaxDifference(const std::vector<double>& a, const std::vector<double>& b) {
    EXPECT_EQ(a.size(), b.size());
    double worst = 0.0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const double difference = std::fabs(a[i] - b[i]);
        // NaN is as far as it gets.
        worst = std::isnan(difference) ? INFINITY : std::max(worst, difference);
    }
    return worst;
}

std::vector<std::pair<double, double>> SortedPoints(const std::vector<double>& xy) {
    std::vector<std::pair<double, double>> points;
    for (size_t i = 0; i + 1 < xy.size(); i += 2) {
        points.emplace_back(xy[i], xy[i + 1]);
    }
    std::sort(points.begin(), points.end());
    return points;
}

TEST_F(DocumentTest, LoadsShapefileClockwiseAndTellsTheViews) {
    LoadWorld();
    EXPECT_TRUE(ui.messages.isEmpty());
    ASSERT_GT(document.GetContent().GetSize(), 100u);
    EXPECT_EQ(recorder.hints, std::vector<int>{HintContentChanged});
    for (unsigned i = 0; i < document.GetContent().GetSize(); ++i) {
        const C2DHoledPolyBase* holed = document.GetContent().GetAt(i);
        ASSERT_NE(holed->GetRim(), nullptr);
        EXPECT_LE(holed->GetRim()->GetArea(), 0.0) << "rim " << i << " runs anticlockwise";
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            EXPECT_LE(holed->GetHole(h)->GetArea(), 0.0);
        }
    }
}

TEST_F(DocumentTest, FormatIsChosenByTheFileNamesExtensionInAnyCase) {
    LoadWorld();
    const QByteArray textMap = TempPath(QStringLiteral("world.vmq"));
    ASSERT_TRUE(WriteTextMap(textMap.constData(), document.GetContent(), nullptr));
    document.LoadMap(textMap.constData());
    const std::vector<double> fromTextMap = AllVertices(document.GetContent());
    ASSERT_FALSE(fromTextMap.empty());
    EXPECT_TRUE(ui.messages.isEmpty());

    // A folder that says ".vmq" does not make a ".shp" file a text map: the
    // shapefile reader refuses its header.
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("maps.vmq")));
    const QByteArray textMapNamedShp = TempPath(QStringLiteral("maps.vmq/world.shp"));
    ASSERT_TRUE(QFile::copy(QFile::decodeName(textMap), QFile::decodeName(textMapNamedShp)));
    document.LoadMap(textMapNamedShp.constData());
    EXPECT_EQ(ui.messages, QStringList{QStringLiteral("Could not open file")});
    EXPECT_EQ(ui.icons.back(), MessageIcon::Warning);
    EXPECT_EQ(AllVertices(document.GetContent()), fromTextMap);

    // An extension in capitals names the same format.
    const QByteArray capitals = TempPath(QStringLiteral("WORLD.VMQ"));
    ASSERT_TRUE(QFile::copy(QFile::decodeName(textMap), QFile::decodeName(capitals)));
    document.LoadMap(capitals.constData());
    EXPECT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(AllVertices(document.GetContent()), fromTextMap);
    EXPECT_EQ(recorder.hints.size(), 3u);
}

TEST_F(DocumentTest, LoadDropsHeldTransformationsWithoutInvertingThem) {
    LoadWorld();
    const std::vector<double> world = AllVertices(document.GetContent());
    document.Rotate(CGeoPoint{0.5, -1.0});
    document.Project("Mollweide");
    ASSERT_NE(document.GetRotation(), nullptr);
    ASSERT_NE(document.GetProjection(), nullptr);
    LoadWorld();
    EXPECT_EQ(document.GetRotation(), nullptr);
    EXPECT_EQ(document.GetProjection(), nullptr);
    // The file's own coordinates, bit for bit: nothing was inverted.
    EXPECT_EQ(AllVertices(document.GetContent()), world);
}

TEST_F(DocumentTest, SecondProjectionIsIgnoredAndInverseRestoresTheMap) {
    LoadWorld();
    const std::vector<double> world = AllVertices(document.GetContent());
    recorder.hints.clear();

    document.Project("Sinusoidal");
    const std::vector<double> projected = AllVertices(document.GetContent());
    document.Project("Mollweide");
    ASSERT_NE(document.GetProjection(), nullptr);
    EXPECT_EQ(document.GetProjection()->projectionType, SinusoidalCode);
    EXPECT_EQ(AllVertices(document.GetContent()), projected);
    EXPECT_EQ(recorder.hints.size(), 1u);

    document.InverseProject();
    EXPECT_EQ(document.GetProjection(), nullptr);
    EXPECT_LT(MaxDifference(AllVertices(document.GetContent()), world), 1e-9);
    EXPECT_EQ(recorder.hints.size(), 2u);
}

TEST_F(DocumentTest, CommandsWithNothingToDoSendNoUpdate) {
    LoadWorld();
    const std::vector<double> world = AllVertices(document.GetContent());
    recorder.hints.clear();
    document.InverseProject();
    document.RotateBack();
    document.Project("");
    document.Project("mercator");
    document.Project("Vertical ");
    EXPECT_TRUE(recorder.hints.empty());
    EXPECT_EQ(document.GetProjection(), nullptr);
    EXPECT_EQ(AllVertices(document.GetContent()), world);
}

TEST_F(DocumentTest, RotationUsesTheOriginOnceAndRotatesBack) {
    LoadWorld();
    const std::vector<double> world = AllVertices(document.GetContent());
    const CGeoPoint origin{40.0 * DegreesToRadians, -100.0 * DegreesToRadians};
    document.Rotate(origin);
    ASSERT_NE(document.GetRotation(), nullptr);
    EXPECT_NEAR(document.GetRotation()->origin.lat, origin.lat, 1e-15);
    EXPECT_NEAR(document.GetRotation()->origin.lon, origin.lon, 1e-15);
    const std::vector<double> rotated = AllVertices(document.GetContent());
    document.Rotate(CGeoPoint{0.1, 0.1});
    EXPECT_EQ(AllVertices(document.GetContent()), rotated);
    EXPECT_EQ(recorder.hints.size(), 2u);

    document.RotateBack();
    EXPECT_EQ(document.GetRotation(), nullptr);
    // Away from the poles (where the longitude of a pole is arbitrary) every
    // vertex comes back.
    const std::vector<double> back = AllVertices(document.GetContent());
    ASSERT_EQ(back.size(), world.size());
    for (size_t i = 0; i < world.size(); i += 2) {
        if (std::fabs(world[i + 1]) < 89.999) {
            // -180 and 180 are the same meridian.
            ASSERT_NEAR(std::remainder(back[i] - world[i], 360.0), 0.0, 1e-6) << "vertex " << i / 2;
            ASSERT_NEAR(back[i + 1], world[i + 1], 1e-6) << "vertex " << i / 2;
        }
    }
}

TEST_F(DocumentTest, SavingWhileProjectedWritesProjectedCoordinates) {
    LoadWorld();
    document.Project("Cylindrical Equidistant");
    const std::vector<double> projected = AllVertices(document.GetContent());
    const QByteArray path = TempPath(QStringLiteral("projected.shp"));
    recorder.hints.clear();
    document.SaveMap(path.constData());
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_TRUE(recorder.hints.empty());
    EXPECT_NE(document.GetProjection(), nullptr);

    document.LoadMap(path.constData());
    EXPECT_EQ(document.GetProjection(), nullptr);
    // The same points (the reader may order rings differently).
    EXPECT_EQ(SortedPoints(AllVertices(document.GetContent())), SortedPoints(projected));
}

TEST_F(DocumentTest, FileDialogsAskAsStatedAndCancelDoesNothing) {
    document.OpenMap();
    document.SaveMapAs();
    ASSERT_EQ(ui.openRequests.size(), 1u);
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.openRequests[0].title, QStringLiteral("Open Shape File"));
    EXPECT_EQ(ui.saveRequests[0].title, QStringLiteral("Save Shape File"));
    for (const CFileDialogRequest& request : {ui.openRequests[0], ui.saveRequests[0]}) {
        EXPECT_EQ(request.filters, (QStringList{QStringLiteral("Shape Files(*.shp)"),
                                                QStringLiteral("Varmo Files(*.vmq)")}));
        EXPECT_EQ(request.defaultSuffix, QStringLiteral("shp"));
    }
    EXPECT_TRUE(recorder.hints.empty());
    EXPECT_TRUE(ui.messages.isEmpty());

    ui.openAnswer = QString::fromStdString(DataPath("world-110m-land.shp"));
    document.OpenMap();
    EXPECT_GT(document.GetContent().GetSize(), 0u);
    ui.saveAnswer = folder.filePath(QStringLiteral("copy.vmq"));
    document.SaveMapAs();
    EXPECT_TRUE(QFile::exists(ui.saveAnswer));
    EXPECT_TRUE(ui.messages.isEmpty());
}

// The readers report through CProgressUpdater; the bar itself (range,
// clamping) is the control library's, tested with it.
TEST(ProgressBarTest, ReportsReachTheBarThroughTheReadersInterface) {
    CMyProgressBar bar(QStringLiteral("Loading Shape File..."), nullptr);
    auto* progress = bar.findChild<QProgressBar*>();
    ASSERT_NE(progress, nullptr);
    CProgressUpdater* updater = &bar;
    updater->UpdateProgress(37);
    EXPECT_EQ(progress->value(), 37);
    updater->UpdateProgress(150);
    EXPECT_EQ(progress->value(), 100);
}

} // namespace
