#include "viewer/MarloApp.h"

#include "projection/Projection.h"
#include "viewer/MainFrame.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QFile>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

bool IsProjectionName(const QString& name) {
    const QByteArray latin = name.toLatin1();
    for (const auto& tableName : ProjectionNameTable) {
        if (std::strcmp(tableName, latin.constData()) == 0) {
            return true;
        }
    }
    return false;
}

// Reports messages on standard error and cancels every file dialog.
class CUnattendedUserInterface : public CUserInterface {
public:
    void MessageBox(const QString& text, MessageIcon) override {
        std::fprintf(stderr, "Marlo: %s\n", qPrintable(text));
    }
    QString GetOpenFileName(const CFileDialogRequest&) override { return QString(); }
    QString GetSaveFileName(const CFileDialogRequest&) override { return QString(); }
};

} // namespace

CMarloApp::CMarloApp() = default;

CMarloApp::~CMarloApp() {
    // The view (owned by the frame) detaches itself from the document.
    frame.reset();
    document.reset();
    if (unattended) {
        SetUserInterface(nullptr);
    }
}

CMarloView* CMarloApp::GetView() const {
    return frame ? frame->GetMarloView() : nullptr;
}

void CMarloApp::CreateDocumentWindow() {
    document = std::make_unique<CMarloDoc>();
    frame = std::make_unique<CMainFrame>();
    auto* view = new CMarloView(frame.get());
    document->AddView(view);
    frame->SetActiveView(view);
}

bool CMarloApp::InitInstance(const QStringList& arguments) {
    QCoreApplication::setApplicationName(QStringLiteral("Marlo"));
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Varmo Shape Viewer: shows a world map (.shp or .vmq) and demonstrates "
                       "map projections."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("map"),
                                 QStringLiteral("Map file to open (.shp or .vmq)."),
                                 QStringLiteral("[map]"));
    const QCommandLineOption projectionOption(
        QStringLiteral("projection"),
        QStringLiteral("Project the opened map with the named projection, e.g. \"Mollweide\"."),
        QStringLiteral("name"));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the window to <file> once it is shown, then quit."),
        QStringLiteral("file"));
    parser.addOption(projectionOption);
    parser.addOption(screenshotOption);
    parser.process(arguments);

    const QString projectionName = parser.value(projectionOption);
    if (parser.isSet(projectionOption) && !IsProjectionName(projectionName)) {
        std::fprintf(stderr, "Marlo: unknown projection \"%s\"\n", qPrintable(projectionName));
        exitCode = 2;
        return false;
    }

    if (parser.isSet(screenshotOption)) {
        unattended = std::make_unique<CUnattendedUserInterface>();
        SetUserInterface(unattended.get());
    }
    CreateDocumentWindow();
    frame->ShowOnDesktop();

    const QStringList maps = parser.positionalArguments();
    if (!maps.isEmpty()) {
        document->LoadMap(QFile::encodeName(maps.front()).constData());
        if (!projectionName.isEmpty()) {
            const int index = frame->projectionList->findText(projectionName);
            frame->projectionList->setCurrentIndex(index);
            document->Project(projectionName.toLatin1().constData());
        }
    }
    if (parser.isSet(screenshotOption)) {
        ScheduleScreenshot(parser.value(screenshotOption));
    }
    return true;
}

void CMarloApp::ScheduleScreenshot(const QString& path) {
    // Give the window system a moment to map and maximise the window.
    QTimer::singleShot(1500, frame.get(), [this, path] {
        const QPixmap picture = frame->grab();
        if (!picture.save(path, "PNG")) {
            std::fprintf(stderr, "Marlo: could not write %s\n", qPrintable(path));
            QCoreApplication::exit(1);
            return;
        }
        QCoreApplication::exit(0);
    });
}
