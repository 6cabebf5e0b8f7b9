#include "viewer/MarloDoc.h"

#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "viewer/canvas/DisplaySource.h"
#include "viewer/MyProgressBar.h"

#include <QFile>
#include <cmath>
#include <memory>
#include <new>

namespace {

CFileDialogRequest MapFileDialogRequest(const QString& title) {
    CFileDialogRequest request;
    request.title = title;
    request.filters =
        QStringList{QStringLiteral("Shape Files(*.shp)"), QStringLiteral("Varmo Files(*.vmq)")};
    request.defaultSuffix = QStringLiteral("shp");
    return request;
}

// Whether the copied points describe the earth in degrees: every finite point
// within longitude -180..180 and latitude -90..90, and at least one of them.
bool LiesOnTheEarth(const C2DCoordinateCopy& copy) {
    bool any = false;
    for (const C2DCoordinateCopy::CPoint& p : copy.GetPoints()) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            continue;
        }
        if (p.x < -180.0 || p.x > 180.0 || p.y < -90.0 || p.y > 90.0) {
            return false;
        }
        any = true;
    }
    return any;
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
    TakeLoadedCopy();
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
    geographicCapture.reset();
    if (followsLoadedCopy && geographic && rotation != nullptr) {
        // The view draws a geographic map from its rotated longitudes and
        // latitudes, which are the content's until it is projected. (Without
        // a rotation they are the loaded copy's own points.)
        try {
            auto capture = std::make_unique<CRingSet>();
            if (MakeGeographicRings(loadedCopy, &content, rotation, *capture, RestoreThreads)) {
                geographicCapture = std::move(capture);
            }
        } catch (const std::bad_alloc&) {
            // The view takes them from the copy instead.
        }
    }
    content.Transform(*projection);
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::InverseProject() {
    if (projection == nullptr) {
        return;
    }
    geographicCapture.reset();
    // The content from before Project is the loaded copy taken through the
    // rotation, if one was applied first: bit for bit what it was.
    const bool restored =
        followsLoadedCopy &&
        (rotation != nullptr ? loadedCopy.RestoreTransformed(content, *rotation, RestoreThreads)
                             : loadedCopy.Restore(content));
    if (!restored) {
        content.InverseTransform(*projection);
    }
    delete projection;
    projection = nullptr;
    rotatedAfterProjection = false;
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::Rotate(const CGeoPoint& origin) {
    if (rotation != nullptr) {
        return;
    }
    geographicCapture.reset();
    rotation = new CGeoRotation();
    rotation->SetOrigin(origin.lat * RadiansToDegrees, origin.lon * RadiansToDegrees);
    if (projection != nullptr) {
        // Rotating projected coordinates: the content no longer follows from
        // the loaded one by the sphere's order.
        followsLoadedCopy = false;
        rotatedAfterProjection = true;
    }
    // From the copy each vertex is rotated once instead of twice, with the
    // same bits as rotating the content.
    if (!followsLoadedCopy || !loadedCopy.RestoreTransformed(content, *rotation, RestoreThreads)) {
        content.Transform(*rotation);
    }
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::RotateBack() {
    if (rotation == nullptr) {
        return;
    }
    geographicCapture.reset();
    if (projection != nullptr) {
        // Rotating back projected coordinates, by the formulas alone.
        followsLoadedCopy = false;
    }
    if (!followsLoadedCopy || !loadedCopy.Restore(content)) {
        content.InverseTransform(*rotation);
    }
    delete rotation;
    rotation = nullptr;
    rotatedAfterProjection = false;
    UpdateAllViews(nullptr, HintContentChanged);
}

bool CMarloDoc::TakeGeographicCapture(CRingSet& out) {
    if (geographicCapture == nullptr) {
        return false;
    }
    out = std::move(*geographicCapture);
    geographicCapture.reset();
    return true;
}

void CMarloDoc::TakeLoadedCopy() {
    geographicCapture.reset();
    followsLoadedCopy = loadedCopy.Capture(content);
    geographic = followsLoadedCopy && LiesOnTheEarth(loadedCopy);
}

void CMarloDoc::DropTransformations() {
    rotatedAfterProjection = false;
    delete projection;
    projection = nullptr;
    delete rotation;
    rotation = nullptr;
}
