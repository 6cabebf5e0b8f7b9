#include "viewer/MarloDoc.h"

#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "viewer/MyProgressBar.h"

#include <QFile>
#include <memory>

namespace {

CFileDialogRequest MapFileDialogRequest(const QString& title) {
    CFileDialogRequest request;
    request.title = title;
    request.filters =
        QStringList{QStringLiteral("Shape Files(*.shp)"), QStringLiteral("Varmo Files(*.vmq)")};
    request.defaultSuffix = QStringLiteral("shp");
    return request;
}

} // namespace

CMarloDoc::CMarloDoc() = default;

CMarloDoc::~CMarloDoc() {
    DropTransformations();
}

void CMarloDoc::OpenMap() {
    const QString path =
        UserInterface().GetOpenFileName(MapFileDialogRequest(QStringLiteral("Open Shape File")));
    if (!path.isEmpty()) {
        LoadMap(QFile::encodeName(path).constData());
    }
}

void CMarloDoc::SaveMapAs() {
    const QString path =
        UserInterface().GetSaveFileName(MapFileDialogRequest(QStringLiteral("Save Shape File")));
    if (!path.isEmpty()) {
        SaveMap(QFile::encodeName(path).constData());
    }
}

void CMarloDoc::LoadMap(const char* path) {
    auto progress =
        std::make_unique<CMyProgressBar>(QStringLiteral("Loading Shape File..."), nullptr);
    content.DeleteAll();
    if (!ReadMapFile(path, content, progress.get())) {
        UserInterface().MessageBox(QStringLiteral("Could not open file"), MessageIcon::Warning);
    }
    content.MakeClockwise();
    // The new coordinates are the file's own: whatever was applied to the old
    // content no longer applies, and nothing is inverted.
    DropTransformations();
    progress.reset();
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::SaveMap(const char* path) {
    auto progress =
        std::make_unique<CMyProgressBar>(QStringLiteral("Saving Shape File..."), nullptr);
    if (!WriteMapFile(path, content, progress.get())) {
        UserInterface().MessageBox(QStringLiteral("Could not save file"), MessageIcon::Warning);
    }
}

void CMarloDoc::Project(const char* projectionName) {
    if (projection != nullptr || projectionName == nullptr) {
        return;
    }
    projection = CreateProjection(projectionName);
    if (projection == nullptr) {
        return;
    }
    content.Transform(*projection);
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::InverseProject() {
    if (projection == nullptr) {
        return;
    }
    content.InverseTransform(*projection);
    delete projection;
    projection = nullptr;
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::Rotate(const CGeoPoint& origin) {
    if (rotation != nullptr) {
        return;
    }
    rotation = new CGeoRotation();
    rotation->SetOrigin(origin.lat * RadiansToDegrees, origin.lon * RadiansToDegrees);
    content.Transform(*rotation);
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::RotateBack() {
    if (rotation == nullptr) {
        return;
    }
    content.InverseTransform(*rotation);
    delete rotation;
    rotation = nullptr;
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::DropTransformations() {
    delete projection;
    projection = nullptr;
    delete rotation;
    rotation = nullptr;
}
