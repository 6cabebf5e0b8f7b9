#include "viewer/MainFrame.h"

#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/LatLongText.h"
#include "viewer/Dialogs.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"
#include "viewer/Resource.h"
#include "viewer/ToolbarIcons.h"

#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

namespace {

const char* const WindowTitle = "Varmo Shape Viewer";

// The first local file among the dropped URLs that names a map format.
QString DroppedMapPath(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) {
        return QString();
    }
    for (const QUrl& url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() &&
            ChooseMapFileFormat(QFile::encodeName(path).constData()) != MapFileFormat::Unknown) {
            return path;
        }
    }
    return QString();
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent) : CFrameWnd(parent) {
    setWindowTitle(QString::fromLatin1(WindowTitle));
    setWindowIcon(MakeApplicationIcon());
    setAcceptDrops(true);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
}

CMainFrame::~CMainFrame() = default;

CMarloDoc* CMainFrame::GetMarloDocument() const {
    return static_cast<CMarloDoc*>(GetActiveDocument());
}

CMarloView* CMainFrame::GetMarloView() const {
    return static_cast<CMarloView*>(GetActiveView());
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* exitCommand = CreateCommand(ID_APP_EXIT, QStringLiteral("E&xit"));
    exitCommand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QAction* open = CreateCommand(ID_OPEN_MAP, QStringLiteral("Open"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* save = CreateCommand(ID_SAVE_MAP, QStringLiteral("Save"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    file->addAction(exitCommand);
    file->addAction(open);
    file->addAction(save);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* showToolBar = CreateCommand(ID_VIEW_TOOLBAR, QStringLiteral("&Toolbar"));
    showToolBar->setCheckable(true);
    showToolBar->setChecked(true);
    QAction* showStatusBar = CreateCommand(ID_VIEW_STATUS_BAR, QStringLiteral("&Status Bar"));
    showStatusBar->setCheckable(true);
    showStatusBar->setChecked(true);
    // There is no splitter window, so splitting stays unavailable.
    QAction* split = CreateCommand(ID_WINDOW_SPLIT, QStringLiteral("S&plit"));
    split->setEnabled(false);
    view->addAction(showToolBar);
    view->addAction(showStatusBar);
    view->addAction(split);
    view->addSeparator();
    QAction* graticule = CreateCommand(
        ID_VIEW_GRATICULE, QStringLiteral("&Graticule"),
        QStringLiteral("Show meridians and parallels every 10 degrees and the outline of the "
                       "sphere beneath the map."));
    graticule->setCheckable(true);
    graticule->setChecked(false);
    QAction* clip = CreateCommand(
        ID_VIEW_CLIP_ON_SPHERE, QStringLiteral("&Clip on the Sphere"),
        QStringLiteral("Cut and clip the map on the sphere where the projection tears or folds "
                       "it; off shows the projected map as it is."));
    clip->setCheckable(true);
    clip->setChecked(true);
    view->addAction(graticule);
    view->addAction(clip);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(CreateCommand(ID_APP_ABOUT, QStringLiteral("&About Marlo...")));

    QMenu* settings = menuBar()->addMenu(QStringLiteral("Settings"));
    settings->addAction(CreateCommand(ID_PREFERENCES, QStringLiteral("Preferences")));
}

void CMainFrame::CreateToolBar() {
    struct Button {
        int id;
        const char* text;
        const char* prompt;
    };
    // In toolbar order; the projection list takes the fourth place.
    static const Button buttons[] = {
        {ID_TOOLBAR_OPEN, "Open", ""},
        {ID_TOOLBAR_SAVE, "Save", ""},
        {ID_DEFAULT_ZOOM, "Default Zoom", "Create the default zoom and position for the view."},
        {ID_PROJECTION_LIST, nullptr, nullptr},
        {ID_INVERSE_PROJECT, "Inverse Project", "Inverse project using the selected projection."},
        {ID_PROJECT, "Project", "Project using the selected projection."},
        {ID_SET_ORIGIN, "Set Origin", "Set the origin for centering."},
        {ID_ROTATE_BACK, "Rotate Back", "Rotate back using the given map centre."},
        {ID_ROTATE, "Rotate", "Rotate using the given map centre."},
    };

    toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, toolBar);

    for (const Button& button : buttons) {
        if (button.id == ID_PROJECTION_LIST) {
            CreateProjectionList();
            continue;
        }
        QAction* action = CreateCommand(button.id, QString::fromLatin1(button.text),
                                        QString::fromLatin1(button.prompt));
        action->setIcon(MakeToolbarIcon(button.id));
        toolBar->addAction(action);
    }
    connect(toolBar, &QToolBar::visibilityChanged, this,
            [this](bool visible) { FindCommand(ID_VIEW_TOOLBAR)->setChecked(visible); });
}

void CMainFrame::CreateProjectionList() {
    projectionList = new QComboBox(toolBar);
    projectionList->setObjectName(QStringLiteral("projectionList"));
    projectionList->setEditable(false);
    projectionList->setFixedWidth(ProjectionListWidth);
    projectionList->setMaxVisibleItems(15);
    projectionList->setStatusTip(QStringLiteral("Select the map projection."));

    // A sorted list: alphabetical regardless of case, whatever the table order.
    QStringList names;
    for (const auto& name : ProjectionNameTable) {
        names.append(QString::fromLatin1(name));
    }
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    projectionList->addItems(names);
    projectionList->setCurrentIndex(-1);

    QAction* slot = toolBar->addWidget(projectionList);
    AttachCommandId(slot, ID_PROJECTION_LIST);
    slot->setStatusTip(projectionList->statusTip());
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    // What the document holds, before the lock-key panes.
    statePane = new QLabel(bar);
    statePane->setObjectName(QStringLiteral("statePane"));
    statePane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statePane->setText(DescribeState(nullptr));
    bar->addPermanentWidget(statePane);
    // The lock-key panes; Qt offers no portable way to read the lock states,
    // so they show their names without tracking the keys.
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(QString::fromLatin1(indicator), bar);
        pane->setObjectName(QString::fromLatin1(indicator));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
    }
    SetIdleMessage(QStringLiteral("Ready"));
}

QString CMainFrame::DescribeState(const CMarloDoc* document) {
    const CProjection* projection = document != nullptr ? document->GetProjection() : nullptr;
    const CGeoRotation* rotation = document != nullptr ? document->GetRotation() : nullptr;
    QString projected = QStringLiteral("No projection");
    if (projection != nullptr) {
        const int code = projection->projectionType;
        projected = code >= 0 && code < ProjectionCount
                        ? QString::fromLatin1(ProjectionNameTable[code])
                        : QStringLiteral("Projected");
    }
    if (rotation == nullptr) {
        return projected;
    }
    const QString origin =
        QString::fromLatin1(FormatLatitude(rotation->origin.lat * RadiansToDegrees)) +
        QLatin1Char(' ') +
        QString::fromLatin1(FormatLongitude(rotation->origin.lon * RadiansToDegrees));
    if (document->RotatedAfterProjection()) {
        return projected + QStringLiteral(", then rotated to ") + origin;
    }
    return projected + QStringLiteral(", centred ") + origin;
}

void CMainFrame::UpdateStatePane() {
    if (statePane != nullptr) {
        statePane->setText(DescribeState(GetMarloDocument()));
    }
}

QRect CMainFrame::RestoredGeometry(const QRect& available) {
    return QRect(available.left() + 4, available.top() + 4, available.width() - 10,
                 available.height() - 35);
}

void CMainFrame::ShowOnDesktop() {
    if (const QScreen* screen = this->screen()) {
        const QRect restored = RestoredGeometry(screen->availableGeometry());
        move(restored.topLeft());
        resize(restored.size());
    }
    showMaximized();
}

void CMainFrame::OnCommand(int id) {
    CMarloDoc* document = GetMarloDocument();
    switch (id) {
    case ID_APP_EXIT:
        close();
        return;
    case ID_APP_ABOUT: {
        CAboutDlg about(this);
        about.exec();
        return;
    }
    case ID_VIEW_TOOLBAR:
        toolBar->setVisible(FindCommand(ID_VIEW_TOOLBAR)->isChecked());
        return;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(FindCommand(ID_VIEW_STATUS_BAR)->isChecked());
        return;
    case ID_PREFERENCES: {
        CPreferencesDialog preferences(this);
        preferences.exec();
        return;
    }
    case ID_SET_ORIGIN: {
        COriginDialog origin(&projectionOrigin, this);
        origin.exec();
        return;
    }
    case ID_DEFAULT_ZOOM:
        if (CMarloView* view = GetMarloView()) {
            view->FitToContent();
        }
        return;
    case ID_VIEW_GRATICULE:
        if (CMarloView* view = GetMarloView()) {
            view->SetGraticule(FindCommand(ID_VIEW_GRATICULE)->isChecked());
        }
        return;
    case ID_VIEW_CLIP_ON_SPHERE:
        if (CMarloView* view = GetMarloView()) {
            view->SetClipOnSphere(FindCommand(ID_VIEW_CLIP_ON_SPHERE)->isChecked());
        }
        return;
    default:
        break;
    }

    if (document == nullptr) {
        return;
    }
    switch (id) {
    case ID_OPEN_MAP:
    case ID_TOOLBAR_OPEN:
        document->OpenMap();
        break;
    case ID_SAVE_MAP:
    case ID_TOOLBAR_SAVE:
        document->SaveMapAs();
        break;
    case ID_PROJECT:
        document->Project(
            projectionList != nullptr ? projectionList->currentText().toLatin1().constData() : "");
        break;
    case ID_INVERSE_PROJECT:
        document->InverseProject();
        break;
    case ID_ROTATE:
        document->Rotate(projectionOrigin);
        break;
    case ID_ROTATE_BACK:
        document->RotateBack();
        break;
    default:
        break;
    }
}

bool CMainFrame::IsDocumentBusy() const {
    const CMarloDoc* document = GetMarloDocument();
    return document != nullptr && document->IsBusy();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    // While a file is read or written the progress dialog lets drops through;
    // they are refused until it is done.
    if (!IsDocumentBusy() && !DroppedMapPath(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    if (IsDocumentBusy()) {
        event->ignore();
        return;
    }
    const QString path = DroppedMapPath(event->mimeData());
    if (!path.isEmpty()) {
        event->acceptProposedAction();
        OpenDroppedMap(path);
    }
}

void CMainFrame::OpenDroppedMap(const QString& path) {
    if (CMarloDoc* document = GetMarloDocument()) {
        document->LoadMap(QFile::encodeName(path).constData());
    }
}
