// Opening and saving in the viewer without losing work: a failed open keeps
// the map, failures say why, a save asks before replacing a file and writes
// the table and coordinate system that GDAL reads back, nothing runs while a
// file is being read or written, and the status bar names the feature under
// the cursor.
#include "ViewerTestSupport.h"

#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tests/mapfiles/MapFileTestSupport.h"
#include "viewer/MainFrame.h"
#include "viewer/MarloApp.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"
#include "viewer/Resource.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString Countries = QString::fromStdString(DataPath("world-50m-countries.shp"));
const QString Land = QString::fromStdString(DataPath("world-110m-land.shp"));

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool HasTool(const QString& program) {
    QProcess process;
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), QStringLiteral("command -v ") + program});
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

class FileCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        document.AddView(&recorder);
    }

    QString Temp(const QString& name) const { return folder.filePath(name); }
    void Load(const QString& path) { document.LoadMap(QFile::encodeName(path).constData()); }
    void Save(const QString& path) { document.SaveMap(QFile::encodeName(path).constData()); }

    CRecordingUserInterface ui;
    QTemporaryDir folder;
    CMarloDoc document;
    CHintRecorder recorder;
};

TEST_F(FileCommandTest, FailedOpenKeepsTheMapWithWhatIsHeldAndSaysWhy) {
    Load(Countries);
    const std::vector<double> loaded = AllVertices(document.GetContent());
    const std::size_t records = document.GetAttributes().records.size();
    ASSERT_GT(records, 200u);
    ASSERT_EQ(document.FeatureNameAt(2.35, 48.85), "France");
    document.Rotate(CGeoPoint{0.5, -1.0});
    document.Project("Mollweide");
    const std::vector<double> projected = AllVertices(document.GetContent());
    const CProjection* projection = document.GetProjection();
    const CGeoRotation* rotation = document.GetRotation();
    recorder.hints.clear();

    // A polygon shapefile's header but for its shape type, 3 (lines).
    WriteBytes(Temp(QStringLiteral("lines.shp")),
               QByteArray::fromStdString(mapfiles_test::ShapeBytes().Header(3).Finish()));
    WriteBytes(Temp(QStringLiteral("words.vmq")), "just some words\n1 2\n");
    const struct {
        QString path;
        QString reason;
    } failures[] = {
        {Temp(QStringLiteral("missing.shp")), QStringLiteral("No such file")},
        {Temp(QStringLiteral("lines.shp")),
         QStringLiteral("Not a polygon shapefile (shape type 3)")},
        {Temp(QStringLiteral("words.vmq")), QStringLiteral("No shape could be read from the file")},
    };
    for (const auto& failure : failures) {
        Load(failure.path);
    }
    ASSERT_EQ(ui.messages.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ui.messages[i], QStringLiteral("Could not open file"));
        EXPECT_EQ(ui.icons[i], MessageIcon::Warning);
        EXPECT_EQ(ui.details[i], failures[i].path + QLatin1Char('\n') + failures[i].reason);
        // The progress dialog is still up while the message is shown.
        EXPECT_TRUE(ui.windowsAtMessage[i].contains(QStringLiteral("Loading Shape File...")));
    }

    // Nothing changed: no refit, the same content, transformations, table,
    // feature index and loaded copy.
    EXPECT_TRUE(recorder.hints.empty());
    EXPECT_EQ(AllVertices(document.GetContent()), projected);
    EXPECT_EQ(document.GetProjection(), projection);
    EXPECT_EQ(document.GetRotation(), rotation);
    EXPECT_EQ(document.GetAttributes().records.size(), records);
    EXPECT_EQ(document.FeatureNameAt(2.35, 48.85), "France");
    EXPECT_TRUE(document.FollowsLoadedCopy());
    document.InverseProject();
    document.RotateBack();
    EXPECT_EQ(AllVertices(document.GetContent()), loaded);
    EXPECT_FALSE(document.IsBusy());
    // and the progress dialog is gone afterwards.
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(widget->isVisible() &&
                     widget->windowTitle() == QStringLiteral("Loading Shape File..."));
    }
}

TEST_F(FileCommandTest, SuccessfulOpenTakesTheNewTableIndexAndLoadedCopy) {
    // The load's bar only moves forward, reaches its end, and keeps moving
    // while the loaded copy is taken (its last stage before the end).
    std::vector<unsigned> progress;
    document.SetProgressObserver([&](unsigned percent) { progress.push_back(percent); });
    Load(Countries);
    document.SetProgressObserver(nullptr);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100u);
    // The copy fills the last quarter of the bar.
    EXPECT_GE(std::count_if(progress.begin(), progress.end(),
                            [](unsigned percent) { return percent > 75 && percent < 100; }),
              10);
    Load(Land);
    ASSERT_TRUE(ui.messages.isEmpty());
    const std::vector<double> land = AllVertices(document.GetContent());
    // The land map's table has no text field to name features by.
    EXPECT_EQ(document.GetAttributes().records.size(), 1u);
    EXPECT_EQ(document.GetAttributes().featureRecords.size(), document.GetContent().GetSize());
    EXPECT_EQ(document.FeatureNameAt(2.35, 48.85), "");
    // Undo comes back exactly to the new map, from the new loaded copy.
    document.Project("Orthographic");
    document.InverseProject();
    EXPECT_EQ(AllVertices(document.GetContent()), land);

    const QString textMap = Temp(QStringLiteral("land.vmq"));
    Save(textMap);
    Load(Countries);
    Load(textMap);
    EXPECT_FALSE(document.GetAttributes().HasTable());
    EXPECT_EQ(document.FeatureNameAt(2.35, 48.85), "");
    EXPECT_EQ(recorder.hints.size(), 6u);
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(FileCommandTest, SaveFailureSaysWhereAndWhy) {
    Load(Land);
    const QString inMissingFolder = Temp(QStringLiteral("missing-folder/out.shp"));
    Save(inMissingFolder);
    Save(Temp(QStringLiteral("out.txt")));
    Save(Temp(QStringLiteral("no-extension")));
    ASSERT_EQ(ui.messages.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ui.messages[i], QStringLiteral("Could not save file"));
        EXPECT_EQ(ui.icons[i], MessageIcon::Warning);
        // The progress dialog is still up while the message is shown.
        EXPECT_TRUE(ui.windowsAtMessage[i].contains(QStringLiteral("Saving Shape File...")));
    }
    EXPECT_EQ(ui.details[0], inMissingFolder + QStringLiteral("\nNo such file"));
    EXPECT_TRUE(ui.details[1].startsWith(Temp(QStringLiteral("out.txt")) +
                                         QStringLiteral("\nUnknown file type")));
    EXPECT_FALSE(QFile::exists(Temp(QStringLiteral("out.txt"))));
    EXPECT_FALSE(QFile::exists(Temp(QStringLiteral("no-extension"))));
}

TEST_F(FileCommandTest, SaveAsksBeforeReplacingAFileAndNoKeepsIt) {
    Load(Countries);
    // A new name: no question.
    ui.saveAnswer = Temp(QStringLiteral("new.shp"));
    document.SaveMapAs();
    EXPECT_TRUE(ui.questions.isEmpty());
    EXPECT_TRUE(QFile::exists(ui.saveAnswer));

    // An existing name: asked; No leaves the file and its folder untouched.
    const QByteArray old("an old file that must survive");
    ui.saveAnswer = Temp(QStringLiteral("old.shp"));
    WriteBytes(ui.saveAnswer, old);
    ui.yesNoAnswer = false;
    document.SaveMapAs();
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(ui.questions[0],
              QStringLiteral("old.shp already exists.\nDo you want to replace it?"));
    EXPECT_EQ(ReadBytes(ui.saveAnswer), old);
    for (const char* sidecar : {"old.shx", "old.dbf", "old.prj"}) {
        EXPECT_FALSE(QFile::exists(Temp(QString::fromLatin1(sidecar)))) << sidecar;
    }

    // Yes replaces it with the map.
    ui.yesNoAnswer = true;
    document.SaveMapAs();
    EXPECT_EQ(ui.questions.size(), 2);
    C2DHoledPolyBaseSet saved;
    ASSERT_TRUE(ReadMapFile(QFile::encodeName(ui.saveAnswer).constData(), saved, nullptr));
    EXPECT_EQ(saved.GetSize(), document.GetContent().GetSize());
    EXPECT_TRUE(ui.messages.isEmpty());
}

// What GDAL makes of our saves: the names of the table, and the coordinate
// system of the content as it is (WGS 84, the held projection, or none).
TEST_F(FileCommandTest, SaveWritesTheTableAndCoordinateSystemGdalReads) {
    ASSERT_TRUE(HasTool(QStringLiteral("ogrinfo"))) << "ogrinfo is not installed";
    const auto summary = [&](const QString& path) {
        return RunTool(QStringLiteral("ogrinfo"),
                       {QStringLiteral("-ro"), QStringLiteral("-so"), QStringLiteral("-al"), path});
    };
    Load(Countries);
    EXPECT_EQ(document.GetContentCoordinates().kind, MapCoordinates::Geographic);
    // A feature for each holed polygon, its record's row repeated.
    const QString featureCount =
        QStringLiteral("Feature Count: %1").arg(document.GetContent().GetSize());
    const QString geographic = Temp(QStringLiteral("geographic.shp"));
    Save(geographic);
    const QString plain = summary(geographic);
    EXPECT_TRUE(plain.contains(featureCount)) << plain.toStdString();
    EXPECT_TRUE(plain.contains(QStringLiteral("GEOGCRS[\"WGS 84\""))) << plain.toStdString();
    const QString names = RunTool(QStringLiteral("ogrinfo"),
                                  {QStringLiteral("-ro"), QStringLiteral("-al"),
                                   QStringLiteral("-q"), QStringLiteral("-geom=NO"), geographic});
    for (const char* name :
         {"name (String) = France", "name (String) = Zimbabwe", "name (String) = Antarctica"}) {
        EXPECT_TRUE(names.contains(QString::fromLatin1(name))) << name;
    }

    document.Project("Mollweide");
    const CMapCoordinateState mollweide = document.GetContentCoordinates();
    EXPECT_EQ(mollweide.kind, MapCoordinates::Projected);
    EXPECT_EQ(mollweide.projectionType, MollweideCode);
    const QString projected = Temp(QStringLiteral("projected.shp"));
    Save(projected);
    EXPECT_TRUE(summary(projected).contains(QStringLiteral("Mollweide")));

    // Rotated: no coordinate system, and none left behind from before.
    document.InverseProject();
    document.Rotate(CGeoPoint{0.5, -1.0});
    EXPECT_EQ(document.GetContentCoordinates().kind, MapCoordinates::Unknown);
    Save(projected);
    EXPECT_FALSE(QFile::exists(Temp(QStringLiteral("projected.prj"))));
    const QString rotated = summary(projected);
    EXPECT_FALSE(rotated.contains(QStringLiteral("GEOGCRS"))) << rotated.toStdString();
    EXPECT_FALSE(rotated.contains(QStringLiteral("PROJCRS"))) << rotated.toStdString();
    EXPECT_TRUE(rotated.contains(featureCount));
    document.RotateBack();
    EXPECT_EQ(document.GetContentCoordinates().kind, MapCoordinates::Geographic);

    // Projected and then rotated: unknown from then on, even when undone.
    document.Project("Mollweide");
    document.Rotate(CGeoPoint{0.5, -1.0});
    document.RotateBack();
    EXPECT_EQ(document.GetContentCoordinates().kind, MapCoordinates::Unknown);
    document.InverseProject();
    EXPECT_EQ(document.GetContentCoordinates().kind, MapCoordinates::Unknown);

    // A projected file opens as what it is: no map in degrees, with its
    // names where its own coordinates put them; saved again with its own
    // projection, and projecting it again is unknown.
    Load(Countries);
    document.Project("Mollweide");
    const QString mollweideFile = Temp(QStringLiteral("mollweide.shp"));
    Save(mollweideFile);
    Load(mollweideFile);
    EXPECT_FALSE(document.IsGeographic());
    EXPECT_EQ(document.GetContentCoordinates().kind, MapCoordinates::Projected);
    EXPECT_EQ(document.GetContentCoordinates().projectionType, MollweideCode);
    double x = 2.35;
    double y = 48.85;
    std::unique_ptr<CProjection>(CreateProjection("Mollweide"))->Transform(x, y);
    EXPECT_EQ(document.FeatureNameAt(x, y), "France");
    document.Project("Mercator");
    EXPECT_EQ(document.GetContentCoordinates().kind, MapCoordinates::Unknown);
    EXPECT_TRUE(ui.messages.isEmpty());
}

// While a file is read or written the progress dialog runs the event loop.
// A timer stands for the user: each time the loop runs during the operation
// it drops a map on the window and starts every command.
class BusyGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(app.InitInstance(QStringList{QStringLiteral("Marlo")}));
        frame = app.GetMainFrame();
        document = app.GetDocument();
        document->AddView(&recorder);
        frame->projectionList->setCurrentIndex(
            frame->projectionList->findText(QStringLiteral("Mollweide")));
        ui.openAnswer = Land;
        ui.saveAnswer = folder.filePath(QStringLiteral("from-a-command.shp"));
        mime.setUrls({QUrl::fromLocalFile(Land)});
        QObject::connect(&user, &QTimer::timeout, [this] { Interfere(); });
        user.setInterval(0);
    }

    void Interfere() {
        if (!document->IsBusy()) {
            ++idleTicks;
            return;
        }
        ++busyTicks;
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(frame, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame, &drop);
        acceptedDrops += (enter.isAccepted() ? 1 : 0) + (drop.isAccepted() ? 1 : 0);
        for (int id : {ID_OPEN_MAP, ID_TOOLBAR_SAVE, ID_PROJECT, ID_INVERSE_PROJECT, ID_ROTATE,
                       ID_ROTATE_BACK}) {
            frame->RunCommand(id);
        }
        // The document's own entries as well.
        document->LoadMap(QFile::encodeName(Land).constData());
        document->SaveMap(QFile::encodeName(ui.saveAnswer).constData());
    }

    void ExpectNothingElseHappened(unsigned size) {
        // Whatever the loop still holds is delivered now, when it may act.
        user.stop();
        QApplication::processEvents();
        EXPECT_GT(busyTicks, 0);
        EXPECT_EQ(acceptedDrops, 0);
        EXPECT_TRUE(ui.openRequests.empty());
        EXPECT_TRUE(ui.saveRequests.empty());
        EXPECT_TRUE(ui.messages.isEmpty()) << ui.details.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(document->GetProjection(), nullptr);
        EXPECT_EQ(document->GetRotation(), nullptr);
        EXPECT_EQ(document->GetContent().GetSize(), size);
        EXPECT_FALSE(QFile::exists(ui.saveAnswer));
        EXPECT_FALSE(document->IsBusy());
    }

    CRecordingUserInterface ui;
    QTemporaryDir folder;
    CMarloApp app;
    CMainFrame* frame = nullptr;
    CMarloDoc* document = nullptr;
    CHintRecorder recorder;
    QMimeData mime;
    QTimer user;
    int busyTicks = 0;
    int idleTicks = 0;
    int acceptedDrops = 0;
};

TEST_F(BusyGuardTest, NothingElseHappensWhileAMapIsRead) {
    C2DHoledPolyBaseSet direct;
    ASSERT_TRUE(ReadMapFile(QFile::encodeName(Countries).constData(), direct, nullptr));
    user.start();
    document->LoadMap(QFile::encodeName(Countries).constData());
    ExpectNothingElseHappened(direct.GetSize());
    EXPECT_EQ(recorder.hints, std::vector<int>{HintContentChanged});
    EXPECT_EQ(document->FeatureNameAt(2.35, 48.85), "France");
}

TEST_F(BusyGuardTest, NothingElseHappensWhileAMapIsWritten) {
    document->LoadMap(QFile::encodeName(Countries).constData());
    const std::vector<double> vertices = AllVertices(document->GetContent());
    recorder.hints.clear();
    // A text map reports progress as it goes, a shapefile only opens the
    // dialog; the loop runs in both.
    for (const char* name : {"saved.vmq", "saved.shp"}) {
        const QString path = folder.filePath(QString::fromLatin1(name));
        busyTicks = 0;
        user.start();
        document->SaveMap(QFile::encodeName(path).constData());
        ExpectNothingElseHappened(document->GetContent().GetSize());
        EXPECT_TRUE(recorder.hints.empty());
        EXPECT_EQ(AllVertices(document->GetContent()), vertices);
        C2DHoledPolyBaseSet saved;
        ASSERT_TRUE(ReadMapFile(QFile::encodeName(path).constData(), saved, nullptr)) << name;
        EXPECT_EQ(saved.GetSize(), document->GetContent().GetSize()) << name;
    }
}

// The status bar names the feature under the cursor, in the map's own
// coordinates whatever is held.
TEST(FeatureReadoutTest, StatusBarNamesTheFeatureUnderTheCursor) {
    CRecordingUserInterface ui;
    CMarloApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{QStringLiteral("Marlo")}));
    CMainFrame* frame = app.GetMainFrame();
    CMarloDoc* document = app.GetDocument();
    CMarloView* view = frame->GetMarloView();
    document->LoadMap(QFile::encodeName(Countries).constData());

    // Moves the cursor over the point (lon, lat) taken through what is held.
    const auto hover = [&](double lon, double lat) {
        double x = lon;
        double y = lat;
        if (CGeoRotation* rotation = document->GetRotation()) {
            rotation->Transform(x, y);
        }
        if (CProjection* projection = document->GetProjection()) {
            projection->Transform(x, y);
        }
        const CPixelPoint pixel = view->canvas.MapToPixel(x, y);
        const QPointF client(pixel.x + view->imageOffset.x, pixel.y + view->imageOffset.y);
        QMouseEvent event(QEvent::MouseMove, client, view->mapToGlobal(client), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
        return frame->GetMessageText();
    };
    const QString paris = hover(2.35, 48.85);
    EXPECT_TRUE(paris.startsWith(QStringLiteral("Win: ("))) << paris.toStdString();
    EXPECT_TRUE(paris.contains(QStringLiteral(" Real: (")));
    EXPECT_TRUE(paris.endsWith(QStringLiteral(" \u2014 France"))) << paris.toStdString();
    // Over the sea the readout ends with the longitude, as before.
    const QString atlantic = hover(-30.0, 0.0);
    EXPECT_FALSE(atlantic.contains(QChar(0x2014))) << atlantic.toStdString();
    EXPECT_TRUE(atlantic.contains(QStringLiteral("W030:")));

    // Rotated and projected: the same names.
    document->Rotate(CGeoPoint{40 * DegreesToRadians, -100 * DegreesToRadians});
    document->Project("Orthographic");
    EXPECT_TRUE(hover(-74.0, 40.7).endsWith(QStringLiteral(" \u2014 United States of America")));
    EXPECT_TRUE(hover(2.35, 48.85).endsWith(QStringLiteral(" \u2014 France")));
    document->InverseProject();
    document->RotateBack();
    // Projected first and rotated afterwards: the rotation is undone first.
    document->Project("Cylindrical Equidistant");
    document->Rotate(CGeoPoint{0.1, 0.2});
    ASSERT_TRUE(document->RotatedAfterProjection());
    double x = 2.35;
    double y = 48.85;
    document->GetProjection()->Transform(x, y);
    document->GetRotation()->Transform(x, y);
    EXPECT_EQ(view->FeatureNameAt(C2DPoint(x, y)), QStringLiteral("France"));

    // A map without names shows none.
    document->LoadMap(QFile::encodeName(Land).constData());
    EXPECT_FALSE(hover(2.35, 48.85).contains(QChar(0x2014)));
    EXPECT_TRUE(ui.messages.isEmpty());
}

} // namespace
