// The main window (menus, toolbar, projection list, commands, status bar,
// dropped files) and the dialogs.
#include "ViewerTestSupport.h"

#include "controls/EditLatLong.h"
#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/LatLongText.h"
#include "viewer/Dialogs.h"
#include "viewer/MainFrame.h"
#include "viewer/MarloApp.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"
#include "viewer/Resource.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app.InitInstance(QStringList{QStringLiteral("Marlo")}));
        frame = app.GetMainFrame();
        document = app.GetDocument();
    }

    void SelectProjection(const QString& name) {
        frame->projectionList->setCurrentIndex(frame->projectionList->findText(name));
        ASSERT_EQ(frame->projectionList->currentText(), name);
    }

    CRecordingUserInterface ui;
    CMarloApp app;
    CMainFrame* frame = nullptr;
    CMarloDoc* document = nullptr;
};

QStringList ActionTexts(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* action : actions) {
        texts.append(action->text());
    }
    return texts;
}

TEST_F(FrameTest, MenusCarryTheStatedEntries) {
    const QList<QAction*> top = frame->menuBar()->actions();
    ASSERT_EQ(ActionTexts(top), (QStringList{"&File", "&View", "&Help", "Settings"}));
    EXPECT_EQ(ActionTexts(top[0]->menu()->actions()), (QStringList{"E&xit", "Open", "Save"}));
    EXPECT_EQ(ActionTexts(top[1]->menu()->actions()),
              (QStringList{"&Toolbar", "&Status Bar", "S&plit", "", "&Graticule",
                           "&Clip on the Sphere"}));
    EXPECT_EQ(ActionTexts(top[2]->menu()->actions()), QStringList{"&About Marlo..."});
    EXPECT_EQ(ActionTexts(top[3]->menu()->actions()), QStringList{"Preferences"});

    const QList<QAction*> file = top[0]->menu()->actions();
    EXPECT_EQ(file[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(CFrameWnd::CommandId(file[1]), ID_OPEN_MAP);
    EXPECT_EQ(file[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(CFrameWnd::CommandId(file[2]), ID_SAVE_MAP);
    EXPECT_EQ(file[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_FALSE(top[1]->menu()->actions()[2]->isEnabled());
    EXPECT_EQ(CFrameWnd::CommandId(top[3]->menu()->actions()[0]), ID_PREFERENCES);

    // Hiding and showing the bars.
    frame->FindCommand(ID_VIEW_TOOLBAR)->trigger();
    EXPECT_FALSE(frame->GetToolBar()->isVisible());
    frame->FindCommand(ID_VIEW_TOOLBAR)->trigger();
    EXPECT_TRUE(frame->GetToolBar()->isVisible());
    frame->FindCommand(ID_VIEW_STATUS_BAR)->trigger();
    EXPECT_FALSE(frame->statusBar()->isVisible());
}

TEST_F(FrameTest, ToolbarHoldsTheNineCommandsWithTheProjectionListFourth) {
    std::vector<int> ids;
    for (const QAction* action : frame->GetToolBar()->actions()) {
        ids.push_back(CFrameWnd::CommandId(action));
    }
    EXPECT_EQ(ids, (std::vector<int>{ID_TOOLBAR_OPEN, ID_TOOLBAR_SAVE, ID_DEFAULT_ZOOM,
                                     ID_PROJECTION_LIST, ID_INVERSE_PROJECT, ID_PROJECT,
                                     ID_SET_ORIGIN, ID_ROTATE_BACK, ID_ROTATE}));
    for (const QAction* action : frame->GetToolBar()->actions()) {
        if (CFrameWnd::CommandId(action) != ID_PROJECTION_LIST) {
            EXPECT_FALSE(action->icon().isNull());
            EXPECT_FALSE(action->icon().pixmap(16, 16).isNull());
        }
    }
    EXPECT_EQ(frame->FindCommand(ID_PROJECT)->statusTip(),
              QStringLiteral("Project using the selected projection."));
    EXPECT_EQ(frame->FindCommand(ID_ROTATE_BACK)->statusTip(),
              QStringLiteral("Rotate back using the given map centre."));
    EXPECT_EQ(frame->FindCommand(ID_DEFAULT_ZOOM)->statusTip(),
              QStringLiteral("Create the default zoom and position for the view."));
    EXPECT_TRUE(frame->FindCommand(ID_TOOLBAR_OPEN)->statusTip().isEmpty());

    QComboBox* list = frame->projectionList;
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->isEditable());
    EXPECT_EQ(list->width(), CMainFrame::ProjectionListWidth);
    EXPECT_EQ(list->statusTip(), QStringLiteral("Select the map projection."));
    ASSERT_EQ(list->count(), ProjectionCount);
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_TRUE(list->currentText().isEmpty());
    for (int i = 1; i < list->count(); ++i) {
        EXPECT_LT(QString::compare(list->itemText(i - 1), list->itemText(i), Qt::CaseInsensitive),
                  0);
    }
    EXPECT_LT(list->findText("Eckert IV"), list->findText("Eckert VI"));
    EXPECT_EQ(list->findText("Vertical") + 1, list->findText("Vertical Perspective"));
    for (const auto& name : ProjectionNameTable) {
        EXPECT_GE(list->findText(QString::fromLatin1(name)), 0) << name;
    }
}

TEST_F(FrameTest, TitleAndPlacementStayPut) {
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Varmo Shape Viewer"));
    document->LoadMap(DataPath("world-110m-land.shp").c_str());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Varmo Shape Viewer"));
    EXPECT_EQ(CMainFrame::RestoredGeometry(QRect(0, 0, 1920, 1040)), QRect(4, 4, 1910, 1005));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(frame->GetMessageText(), QStringLiteral("Ready"));
    for (const char* pane : {"CAP", "NUM", "SCRL"}) {
        const auto* label = frame->statusBar()->findChild<QLabel*>(QString::fromLatin1(pane));
        ASSERT_NE(label, nullptr) << pane;
        EXPECT_EQ(label->text(), QString::fromLatin1(pane));
    }
}

TEST_F(FrameTest, ProjectButtonAppliesTheSelectedNameOnce) {
    document->LoadMap(DataPath("world-110m-land.shp").c_str());
    frame->FindCommand(ID_PROJECT)->trigger();
    EXPECT_EQ(document->GetProjection(), nullptr);

    SelectProjection(QStringLiteral("Mercator"));
    frame->FindCommand(ID_PROJECT)->trigger();
    ASSERT_NE(document->GetProjection(), nullptr);
    EXPECT_EQ(document->GetProjection()->projectionType, MercatorCode);
    SelectProjection(QStringLiteral("Bonne"));
    frame->FindCommand(ID_PROJECT)->trigger();
    EXPECT_EQ(document->GetProjection()->projectionType, MercatorCode);
    frame->FindCommand(ID_INVERSE_PROJECT)->trigger();
    EXPECT_EQ(document->GetProjection(), nullptr);
    frame->FindCommand(ID_PROJECT)->trigger();
    EXPECT_EQ(document->GetProjection()->projectionType, BonneCode);
}

TEST_F(FrameTest, RotateUsesTheFramesOrigin) {
    frame->FindCommand(ID_ROTATE)->trigger();
    ASSERT_NE(document->GetRotation(), nullptr);
    EXPECT_EQ(document->GetRotation()->origin.lat, 0.0);
    EXPECT_EQ(document->GetRotation()->origin.lon, 0.0);
    frame->FindCommand(ID_ROTATE_BACK)->trigger();
    EXPECT_EQ(document->GetRotation(), nullptr);

    frame->projectionOrigin = CGeoPoint{0.25, -0.5};
    frame->FindCommand(ID_ROTATE)->trigger();
    ASSERT_NE(document->GetRotation(), nullptr);
    EXPECT_NEAR(document->GetRotation()->origin.lat, 0.25, 1e-15);
    EXPECT_NEAR(document->GetRotation()->origin.lon, -0.5, 1e-15);
}

TEST_F(FrameTest, OpenSaveAndDefaultZoomCommands) {
    ui.openAnswer = QString::fromStdString(DataPath("world-110m-land.shp"));
    frame->FindCommand(ID_TOOLBAR_OPEN)->trigger();
    EXPECT_GT(document->GetContent().GetSize(), 0u);
    frame->FindCommand(ID_OPEN_MAP)->trigger();
    frame->FindCommand(ID_SAVE_MAP)->trigger();
    frame->FindCommand(ID_TOOLBAR_SAVE)->trigger();
    EXPECT_EQ(ui.openRequests.size(), 2u);
    EXPECT_EQ(ui.saveRequests.size(), 2u);

    CMarloView* view = frame->GetMarloView();
    const C2DRect fitted = view->canvas.requestedRect;
    view->canvas.requestedRect.ScaleAboutCentre(0.5);
    view->redrawNeeded = false;
    frame->FindCommand(ID_DEFAULT_ZOOM)->trigger();
    EXPECT_EQ(view->canvas.requestedRect.topLeft.x, fitted.topLeft.x);
    EXPECT_EQ(view->canvas.requestedRect.bottomRight.y, fitted.bottomRight.y);
    EXPECT_TRUE(view->redrawNeeded);
}

TEST_F(FrameTest, MouseMoveWritesTheReadoutToTheStatusBar) {
    C2DHoledPolyBaseSet content;
    content.Add(MakeRectangle(-125, -50, 125, 50));
    LoadContent(*document, content);
    CMarloView* view = frame->GetMarloView();
    view->setFixedSize(1200, 900);
    frame->resize(1300, 1100);
    QApplication::processEvents();
    ASSERT_EQ(view->size(), QSize(1200, 900));
    ASSERT_EQ(view->imageOffset, (CPixelPoint{100, 75}));

    auto move = [&](QPoint client) {
        QMouseEvent event(QEvent::MouseMove, QPointF(client), view->mapToGlobal(QPointF(client)),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    move(QPoint(200, 150));
    EXPECT_EQ(frame->GetMessageText(),
              QStringLiteral("Win: (100,75) Real: (-100.000000,75.000000) N75:00:00, W100:00:00"));
    move(QPoint(100, 75));
    EXPECT_TRUE(frame->GetMessageText().startsWith(QStringLiteral("Win: (0,0) Real: (")));
}

TEST_F(FrameTest, DroppedMapFileIsOpened) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(DataPath("world-110m-land.prj"))),
                  QUrl::fromLocalFile(QString::fromStdString(DataPath("world-110m-land.shp")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &drop);
    EXPECT_GT(document->GetContent().GetSize(), 0u);
    EXPECT_TRUE(ui.messages.isEmpty());

    QMimeData text;
    text.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/notes.txt"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(frame, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST(AppTest, MapOnTheCommandLineIsLoadedAndProjected) {
    CRecordingUserInterface ui;
    CMarloApp app;
    ASSERT_TRUE(app.InitInstance(QStringList{
        QStringLiteral("Marlo"), QString::fromStdString(DataPath("world-110m-land.shp")),
        QStringLiteral("--projection"), QStringLiteral("Mollweide")}));
    EXPECT_GT(app.GetDocument()->GetContent().GetSize(), 0u);
    ASSERT_NE(app.GetDocument()->GetProjection(), nullptr);
    EXPECT_EQ(app.GetDocument()->GetProjection()->projectionType, MollweideCode);
    EXPECT_EQ(app.GetMainFrame()->projectionList->currentText(), QStringLiteral("Mollweide"));

    CMarloApp refused;
    EXPECT_FALSE(refused.InitInstance(QStringList{
        QStringLiteral("Marlo"), QStringLiteral("--projection"), QStringLiteral("mollweide")}));
    EXPECT_EQ(refused.ExitCode(), 2);
}

TEST(OriginDialogTest, ShowsConfirmsAndKeepsInvalidText) {
    CGeoPoint origin;
    {
        COriginDialog dialog(&origin);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Projection Origin"));
        EXPECT_EQ(dialog.latitudeEdit->text(), QStringLiteral("N00:00:00"));
        EXPECT_EQ(dialog.longitudeEdit->text(), QStringLiteral("E000:00:00"));
        dialog.latitudeEdit->setText(QStringLiteral("N45:30:00"));
        dialog.longitudeEdit->setText(QStringLiteral("W075:10:05"));
        dialog.okButton->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(origin.lat, 45.5 * 0.017453292519943295);
    EXPECT_EQ(origin.lon, -(270605.0 / 3600.0) * 0.017453292519943295);
    {
        COriginDialog dialog(&origin);
        EXPECT_EQ(dialog.latitudeEdit->text(), QStringLiteral("N45:30:00"));
        EXPECT_EQ(dialog.longitudeEdit->text(), QStringLiteral("W075:10:05"));
        // A text that fails its check leaves that coordinate alone.
        dialog.latitudeEdit->setText(QStringLiteral("N45:60:00"));
        dialog.longitudeEdit->setText(QStringLiteral("E010:30:00"));
        dialog.accept();
    }
    EXPECT_EQ(origin.lat, 45.5 * 0.017453292519943295);
    EXPECT_EQ(origin.lon, 10.5 * 0.017453292519943295);
    {
        // 180 degrees east is shown, but its text is refused on OK.
        CGeoPoint east{0.0, 180.0 * DegreesToRadians};
        COriginDialog dialog(&east);
        EXPECT_EQ(dialog.longitudeEdit->text(), QStringLiteral("E180:00:00"));
        dialog.latitudeEdit->setText(QStringLiteral("S12:15:00"));
        dialog.accept();
        EXPECT_EQ(east.lat, -12.25 * 0.017453292519943295);
        EXPECT_EQ(east.lon, 180.0 * DegreesToRadians);
    }
    {
        COriginDialog dialog(&origin);
        dialog.latitudeEdit->setText(QStringLiteral("S10:00:00"));
        dialog.cancelButton->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(origin.lat, 45.5 * 0.017453292519943295);
}

TEST(PreferencesDialogTest, CancelKeepsTheFormatAndOkStoresIt) {
    ASSERT_FALSE(useTextMapFormat2);
    {
        CPreferencesDialog dialog;
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Preferences"));
        EXPECT_EQ(dialog.useFormat2->text(), QStringLiteral("Use Varmo Format 2 for vmq files."));
        EXPECT_FALSE(dialog.useFormat2->isChecked());
        dialog.useFormat2->click();
        dialog.cancelButton->click();
    }
    EXPECT_FALSE(useTextMapFormat2);
    {
        CPreferencesDialog dialog;
        dialog.useFormat2->click();
        dialog.okButton->click();
    }
    EXPECT_TRUE(useTextMapFormat2);
    {
        CPreferencesDialog dialog;
        EXPECT_TRUE(dialog.useFormat2->isChecked());
        dialog.useFormat2->click();
        dialog.accept();
    }
    EXPECT_FALSE(useTextMapFormat2);
}

} // namespace
