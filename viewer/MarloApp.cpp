#include "viewer/MarloApp.h"

#include "projection/Projection.h"
#include "viewer/MainFrame.h"
#include "viewer/MarloDoc.h"
#include "viewer/MarloView.h"
#include "viewer/Resource.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QFile>
#include <QPixmap>
#include <QTimer>
#include <cmath>
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

// "LAT,LON" in degrees: both finite, the latitude within -90..90.
bool ParseOrigin(const QString& text, CGeoPoint& origin) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2) {
        return false;
    }
    bool latitudeOk = false;
    bool longitudeOk = false;
    const double latitude = parts[0].trimmed().toDouble(&latitudeOk);
    const double longitude = parts[1].trimmed().toDouble(&longitudeOk);
    if (!latitudeOk || !longitudeOk || !std::isfinite(latitude) || !std::isfinite(longitude) ||
        latitude < -90.0 || latitude > 90.0) {
        return false;
    }
    origin.lat = latitude * DegreesToRadians;
    origin.lon = longitude * DegreesToRadians;
    return true;
}

// Reports messages on standard error and cancels every file dialog.
class CUnattendedUserInterface : public CUserInterface {
public:
    void MessageBox(const QString& text, MessageIcon, const QString& detail) override {
        if (detail.isEmpty()) {
            std::fprintf(stderr, "Marlo: %s\n", qPrintable(text));
        } else {
            std::fprintf(
                stderr, "Marlo: %s: %s\n", qPrintable(text),
                qPrintable(QString(detail).replace(QLatin1Char('\n'), QStringLiteral(": "))));
        }
    }
    // Nothing is replaced without a person to say so.
    bool AskYesNo(const QString&, const QString&) override { return false; }
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
    const QCommandLineOption rotateOption(
        QStringLiteral("rotate"),
        QStringLiteral("Rotate the opened map so that <lat,lon> (degrees, e.g. 40,-100) comes to "
                       "the centre, before any projection."),
        QStringLiteral("lat,lon"));
    const QCommandLineOption graticuleOption(
        QStringLiteral("graticule"),
        QStringLiteral("Show meridians and parallels every 10 degrees beneath the map."));
    parser.addOption(projectionOption);
    parser.addOption(rotateOption);
    parser.addOption(graticuleOption);
    parser.addOption(screenshotOption);
    parser.process(arguments);

    CGeoPoint origin;
    if (parser.isSet(rotateOption) && !ParseOrigin(parser.value(rotateOption), origin)) {
        std::fprintf(stderr, "Marlo: --rotate wants LAT,LON in degrees, not \"%s\"\n",
                     qPrintable(parser.value(rotateOption)));
        exitCode = 2;
        return false;
    }

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
    if (parser.isSet(graticuleOption)) {
        // As the menu does it: triggering checks the action and runs it.
        QAction* graticule = frame->FindCommand(ID_VIEW_GRATICULE);
        if (!graticule->isChecked()) {
            graticule->trigger();
        }
    }

    const QStringList maps = parser.positionalArguments();
    if (!maps.isEmpty()) {
        document->LoadMap(QFile::encodeName(maps.front()).constData());
        if (parser.isSet(rotateOption)) {
            // The origin the rotate button would use, as if set in the
            // origin dialog.
            frame->projectionOrigin = origin;
            document->Rotate(origin);
        }
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
