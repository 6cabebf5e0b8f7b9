#include "viewer/MarloDoc.h"

#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "viewer/MyProgressBar.h"
#include "viewer/canvas/DisplaySource.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

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
const C2DRect EarthInDegrees(-180.0, 90.0, 180.0, -90.0);

bool LiesOnTheEarth(const C2DCoordinateCopy& copy) {
    bool any = false;
    return copy.FinitePointsWithin(EarthInDegrees, any) && any;
}

// Holds a flag raised for the length of a scope.
class CBusyScope {
public:
    explicit CBusyScope(bool& flag) : flag(flag) { flag = true; }
    ~CBusyScope() { flag = false; }
    CBusyScope(const CBusyScope&) = delete;
    CBusyScope& operator=(const CBusyScope&) = delete;

private:
    bool& flag;
};

// Shares of the load's progress bar, in percent: reading, making the rings
// clockwise, then taking the loaded copy, in proportion to the time each
// takes on a large map (the copy walks every edge object and fills fresh
// memory; making the rings clockwise only looks at their areas).
constexpr unsigned ReadingShare = 72;
constexpr unsigned ClockwiseShare = 3;
constexpr unsigned CopyShare = 100 - ReadingShare - ClockwiseShare;

// Reports a stage of a longer task on part of the bar: its own 0..100 as
// first..first + share.
class CProgressStage final : public CProgressUpdater {
public:
    CProgressStage(CProgressUpdater& bar, const std::function<void(unsigned)>& observer,
                   unsigned first, unsigned share)
        : bar(bar), observer(observer), first(first), share(share) {}

    void UpdateProgress(unsigned percent) override {
        const unsigned overall = first + std::min(percent, 100u) * share / 100;
        bar.UpdateProgress(overall);
        if (observer) {
            observer(overall);
        }
    }

private:
    CProgressUpdater& bar;
    const std::function<void(unsigned)>& observer;
    unsigned first;
    unsigned share;
};

std::size_t TotalLineCount(const C2DHoledPolyBaseSet& content) {
    std::size_t total = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        total += content.GetAt(i)->GetTotalLineCount();
    }
    return total;
}

// Makes every ring clockwise, holed polygon by holed polygon, reporting as it
// goes by the share of the content's total edges done.
void MakeClockwise(C2DHoledPolyBaseSet& content, std::size_t total, CProgressUpdater& progress) {
    std::size_t done = 0;
    unsigned reported = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        C2DHoledPolyBase* holed = content.GetAt(i);
        holed->MakeClockwise();
        done += holed->GetTotalLineCount();
        const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
        if (percent != reported) {
            progress.UpdateProgress(percent);
            reported = percent;
        }
    }
}

// What the commands after a load allocate beyond the load's own memory, per
// vertex. The first needs about 34 bytes on a world map (the rings of the map
// of the earth in longitude and latitude and projected, and the view's
// display geometry); later ones need arrays of other sizes. A freed readied
// block is a gap in the heap that serves only what fits in it: a third more
// room lets the commands after the first find their arrays there too. The
// same size is readied while a file is read, for the loaded copy and the
// first frame's drawing copy (about 40 bytes a vertex together on a world
// map).
constexpr std::size_t NextCommandBytesPerVertex = 48;
// Below this the next command's fresh memory costs little.
constexpr std::size_t MinWarmedBytes = std::size_t(64) << 20;
// At most this much is readied: a file's size promises nothing.
constexpr std::size_t MaxWarmedBytes = std::size_t(2) << 30;

// What is readied for a map of this many vertices: nothing for a small one.
std::size_t WarmedBytesFor(std::size_t vertexCount) {
    if (vertexCount < MinWarmedBytes / NextCommandBytesPerVertex) {
        return 0;
    }
    return vertexCount < MaxWarmedBytes / NextCommandBytesPerVertex
               ? vertexCount * NextCommandBytesPerVertex
               : MaxWarmedBytes;
}

} // namespace

CMarloDoc::CMarloDoc() = default;

CMarloDoc::~CMarloDoc() {
    FinishIndexing();
    DropTransformations();
}

void CMarloDoc::OpenMap() {
    if (busy) {
        return;
    }
    const QString path =
        UserInterface().GetOpenFileName(MapFileDialogRequest(QStringLiteral("Open Shape File")));
    if (!path.isEmpty()) {
        LoadMap(QFile::encodeName(path).constData());
    }
}

void CMarloDoc::SaveMapAs() {
    if (busy) {
        return;
    }
    const QString path =
        UserInterface().GetSaveFileName(MapFileDialogRequest(QStringLiteral("Save Shape File")));
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo::exists(path) &&
        !UserInterface().AskYesNo(
            QStringLiteral("%1 already exists.").arg(QFileInfo(path).fileName()),
            QStringLiteral("Do you want to replace it?"))) {
        return;
    }
    SaveMap(QFile::encodeName(path).constData());
}

void CMarloDoc::LoadMap(const char* path) {
    if (busy) {
        return;
    }
    memoryWarmer.Stop();
    // Memory for what follows the reading is readied while the map is read,
    // on the core that the reading leaves mostly idle: the loaded copy and
    // the first frame's drawing copy would otherwise fault in a few hundred
    // fresh megabytes between the last record and the first frame.
    memoryWarmer.Start(WarmedBytesFor(EstimateVertexCount(path)));
    const CBusyScope busyScope(busy);
    auto progress =
        std::make_unique<CMyProgressBar>(QStringLiteral("Loading Shape File..."), nullptr);
    C2DHoledPolyBaseSet loaded;
    CMapAttributes loadedAttributes;
    CMapFileError error;
    // Reading fills most of the bar; making the rings clockwise and taking
    // the loaded copy and the name index fill the rest, so that the bar keeps
    // moving until the map is ready.
    CProgressStage reading(*progress, progressObserver, 0, ReadingShare);
    if (!ReadMapFile(path, loaded, &reading, &loadedAttributes, &error)) {
        memoryWarmer.Stop();
        // The map on show stays, with whatever is held; the views keep their
        // zoom.
        ReportFileFailure("Could not open file", path, error);
        return;
    }
    const std::size_t edgeCount = TotalLineCount(loaded);
    // The readied block goes back to the heap now, where the copies below
    // find its pages touched; held until the next command, it would leave
    // them to fresh memory, which on a virtual machine can cost a second.
    // Meanwhile a new block, sized by the map as read, is readied for the
    // first command.
    memoryWarmer.Renew(WarmedBytesFor(edgeCount));
    CProgressStage clockwise(*progress, progressObserver, ReadingShare, ClockwiseShare);
    MakeClockwise(loaded, edgeCount, clockwise);
    CProgressStage copying(*progress, progressObserver, ReadingShare + ClockwiseShare, CopyShare);
    copying.UpdateProgress(0);
    FinishIndexing();
    featureLocator.Clear();
    content.DeleteAll();
    content.MoveAllFrom(loaded);
    attributes = std::move(loadedAttributes);
    // The new coordinates are the file's own: whatever was applied to the old
    // content no longer applies, and nothing is inverted.
    DropTransformations();
    TakeLoadedCopyAndIndexFeatures(copying);
    loadedCoordinates = CoordinatesOfMapFile(path);
    if (loadedCoordinates.kind == MapCoordinates::Geographic && !geographic) {
        loadedCoordinates = CMapCoordinateState();
    }
    // A file that says it holds projected coordinates is no map of the earth
    // in degrees, however small its numbers.
    geographic = geographic && loadedCoordinates.kind == MapCoordinates::Geographic;
    CProgressStage(*progress, progressObserver, 100, 0).UpdateProgress(0);
    progress.reset();
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::SaveMap(const char* path) {
    if (busy) {
        return;
    }
    memoryWarmer.Stop();
    const CBusyScope busyScope(busy);
    auto progress =
        std::make_unique<CMyProgressBar>(QStringLiteral("Saving Shape File..."), nullptr);
    CMapSaveInfo info;
    info.attributes = &attributes;
    info.coordinates = GetContentCoordinates();
    CMapFileError error;
    if (!WriteMapFile(path, content, progress.get(), &info, &error)) {
        ReportFileFailure("Could not save file", path, error);
    }
}

void CMarloDoc::ReportFileFailure(const char* message, const char* path,
                                  const CMapFileError& error) const {
    QString detail = QFile::decodeName(path);
    const std::string reason = DescribeMapFileError(error);
    if (!reason.empty()) {
        detail += QLatin1Char('\n') + QString::fromLocal8Bit(reason.c_str());
    }
    UserInterface().MessageBox(QString::fromLatin1(message), MessageIcon::Warning, detail);
}

void CMarloDoc::TakeLoadedCopyAndIndexFeatures(CProgressUpdater& progress) {
    TakeLoadedCopy(progress);
    // The name index only reads the loaded copy and the table, which stay as
    // they are until the next load: it is built on a helper thread while the
    // first frame is drawn and the user looks at it. The first look-up, and
    // the next load, wait for it.
    try {
        indexer = std::thread([this] { IndexFeatures(); });
    } catch (const std::system_error&) {
        IndexFeatures();
    }
}

void CMarloDoc::FinishIndexing() const {
    if (indexer.joinable()) {
        indexer.join();
    }
}

void CMarloDoc::IndexFeatures() {
    try {
        featureLocator.Build(attributes, loadedCopy);
    } catch (const std::bad_alloc&) {
        // Without memory for the index the status bar names nothing.
        featureLocator.Clear();
    }
}

std::string CMarloDoc::FeatureNameAt(double x, double y) const {
    // The first look-up after a load may wait for the index to be done.
    FinishIndexing();
    return featureLocator.NameAt(x, y);
}

CMapCoordinateState CMarloDoc::GetContentCoordinates() const {
    if (!followsLoadedCopy || rotation != nullptr) {
        return CMapCoordinateState();
    }
    if (projection == nullptr) {
        return loadedCoordinates;
    }
    CMapCoordinateState projected;
    if (loadedCoordinates.kind == MapCoordinates::Geographic) {
        projected.kind = MapCoordinates::Projected;
        projected.projectionType = projection->projectionType;
    }
    return projected;
}

void CMarloDoc::Project(const char* projectionName) {
    if (busy || projection != nullptr || projectionName == nullptr) {
        return;
    }
    memoryWarmer.Stop();
    projection = CreateProjection(projectionName);
    if (projection == nullptr) {
        return;
    }
    DropDisplayRings();
    // Each vertex is projected once, on several threads, with the same bits
    // as projecting the content edge by edge. A map of the earth also keeps
    // its rotated longitudes and latitudes and their projections for the
    // view, which builds the display geometry from them.
    bool transformed = false;
    if (followsLoadedCopy) {
        try {
            auto before = std::make_unique<CRingSet>();
            auto after = std::make_unique<CRingSet>();
            const bool keepRings = geographic;
            transformed = TransformWithRings(loadedCopy, content, *projection, rotation,
                                             keepRings ? before.get() : nullptr,
                                             keepRings ? after.get() : nullptr, RestoreThreads);
            if (transformed && keepRings &&
                before->GetPolygonCount() == loadedCopy.GetPolygonCount()) {
                geographicCapture = std::move(before);
                projectedCapture = std::move(after);
            }
        } catch (const std::bad_alloc&) {
            // Projected by the content's own traversal instead.
        }
    }
    if (!transformed) {
        content.Transform(*projection);
    }
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::InverseProject() {
    if (busy || projection == nullptr) {
        return;
    }
    DropDisplayRings();
    memoryWarmer.Stop();
    // The content from before Project is the loaded copy taken through the
    // rotation, if one was applied first: bit for bit what it was.
    const bool restored =
        followsLoadedCopy && (rotation != nullptr ? RestoreRotated() : loadedCopy.Restore(content));
    if (!restored) {
        content.InverseTransform(*projection);
    }
    delete projection;
    projection = nullptr;
    rotatedAfterProjection = false;
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::Rotate(const CGeoPoint& origin) {
    if (busy || rotation != nullptr) {
        return;
    }
    memoryWarmer.Stop();
    DropDisplayRings();
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
    if (!followsLoadedCopy || !RestoreRotated()) {
        content.Transform(*rotation);
    }
    UpdateAllViews(nullptr, HintContentChanged);
}

void CMarloDoc::RotateBack() {
    if (busy || rotation == nullptr) {
        return;
    }
    memoryWarmer.Stop();
    DropDisplayRings();
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

bool CMarloDoc::TakeDisplayRings(CRingSet& geographicRings, CRingSet& projectedRings) {
    // Projected rings come with a projection; without one the rotated rings
    // are drawn as they are.
    const bool whole =
        geographicCapture != nullptr && (projection == nullptr) == (projectedCapture == nullptr);
    if (whole) {
        geographicRings = std::move(*geographicCapture);
        if (projectedCapture != nullptr) {
            projectedRings = std::move(*projectedCapture);
        }
    }
    DropDisplayRings();
    return whole;
}

bool CMarloDoc::RestoreRotated() {
    // A map of the earth keeps its rotated longitudes and latitudes for the
    // view, which builds the display geometry from them.
    std::unique_ptr<CRingSet> rotated;
    try {
        if (geographic) {
            rotated = std::make_unique<CRingSet>();
        }
    } catch (const std::bad_alloc&) {
        rotated.reset();
    }
    if (!RestoreWithRings(loadedCopy, content, *rotation, rotated.get(), RestoreThreads)) {
        return false;
    }
    if (rotated != nullptr && rotated->GetPolygonCount() == loadedCopy.GetPolygonCount()) {
        geographicCapture = std::move(rotated);
    }
    return true;
}

void CMarloDoc::DropDisplayRings() {
    geographicCapture.reset();
    projectedCapture.reset();
}

void CMarloDoc::TakeLoadedCopy(CProgressUpdater& progress) {
    DropDisplayRings();
    followsLoadedCopy =
        loadedCopy.Capture(content, [&](unsigned percent) { progress.UpdateProgress(percent); });
    geographic = followsLoadedCopy && LiesOnTheEarth(loadedCopy);
}

void CMarloDoc::DropTransformations() {
    rotatedAfterProjection = false;
    delete projection;
    projection = nullptr;
    delete rotation;
    rotation = nullptr;
}
