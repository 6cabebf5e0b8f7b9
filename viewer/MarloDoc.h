#pragma once

#include "geometry/CoordinateCopy.h"
#include "geometry/HoledPolygons.h"
#include "mapfiles/FeatureLocator.h"
#include "mapfiles/MapAttributes.h"
#include "mapfiles/MapFiles.h"
#include "projection/RingSet.h"
#include "viewer/Framework.h"
#include "viewer/MemoryWarmer.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class CGeoRotation;
class CProjection;
struct CGeoPoint;

// Update hint sent to the views after every change of the map content.
inline constexpr int HintContentChanged = 3;

// The map document: the map content and the at most one projection and at
// most one rotation currently applied to it. Each transformation lives from
// its forward application to its inverse application (or the next load,
// which simply drops it).
//
// The document also keeps a compact copy of the content as loaded. Undoing a
// rotation or projection by its inverse formulas only comes close: poles come
// back at arbitrary longitudes, -180 as +179.99999999999994, and a projection
// that folds the sphere (Orthographic, Gnomonic) cannot be undone at all. So
// while the content is the loaded coordinates taken through the held rotation
// and then the held projection, InverseProject gives back exactly the content
// from before Project, and RotateBack (with no projection held) exactly the
// loaded coordinates. A rotation applied while a projection is held rotates
// projected coordinates; from then on until the next load every command acts
// by the formulas alone.
class CMarloDoc : public CDocument {
public:
    CMarloDoc();
    ~CMarloDoc() override;

    // Ask for a file name, then load or save it. Saving over an existing
    // file asks first.
    void OpenMap();
    void SaveMapAs();

    // The format follows from the file name's extension, in any case: ".vmq"
    // is a text map, ".shp" a shapefile. A load reads into a new set and
    // takes it (with its attributes) only when the whole read succeeded; on
    // failure the map, its transformations and the views stay as they were.
    // A save writes the attributes read with the map and, for a shapefile,
    // the .prj that GetContentCoordinates describes. Failures are reported
    // with the path and the reason.
    void LoadMap(const char* path);
    void SaveMap(const char* path);
    // True while a file is read or written. The progress dialog lets queued
    // events through meanwhile (a dropped file, say), so every command that
    // would read or change the content does nothing while this holds.
    bool IsBusy() const { return busy; }

    // Applies the projection of that display name, unless one is applied
    // already or the name is unknown.
    void Project(const char* projectionName);
    void InverseProject();
    // Rotates the sphere so that origin (radians) comes to latitude 0,
    // longitude 0, unless a rotation is applied already.
    void Rotate(const CGeoPoint& origin);
    void RotateBack();

    const C2DHoledPolyBaseSet& GetContent() const { return content; }
    // Told every percentage the load's progress bar shows, as it shows it
    // (for measuring how steadily it moves).
    void SetProgressObserver(std::function<void(unsigned)> observer) {
        progressObserver = std::move(observer);
    }
    // The attribute table read with the content (empty for a text map).
    const CMapAttributes& GetAttributes() const { return attributes; }
    // The name of the feature at a point in the loaded coordinates, in
    // UTF-8; empty where there is none or the map has no names.
    std::string FeatureNameAt(double x, double y) const;
    // Waits for what a load left running behind the first frame (the name
    // index), if anything.
    void FinishIndexing() const;
    // What the content's coordinates are now, for the .prj of a save: the
    // loaded file's own while nothing is held, the held projection's when
    // longitudes and latitudes were projected, and unknown once a rotation
    // is held or the content no longer follows the loaded copy.
    CMapCoordinateState GetContentCoordinates() const;
    // The content as loaded (empty when it could not be copied).
    const C2DCoordinateCopy& GetLoadedCopy() const { return loadedCopy; }
    // Whether the loaded content is a map of the earth: its finite vertices,
    // at least one, lie within longitude -180..180 and latitude -90..90.
    bool IsGeographic() const { return geographic; }
    // Whether the content is exactly the loaded copy taken through the held
    // rotation (if any) and then the held projection (if any).
    bool FollowsLoadedCopy() const { return followsLoadedCopy; }
    // Whether the held rotation was applied while the held projection was
    // (so that it rotated projected coordinates).
    bool RotatedAfterProjection() const { return rotatedAfterProjection; }
    // The rings of a geographic content in rotated longitude and latitude,
    // and their projections when a projection is held, taken while the last
    // command transformed the content (see TransformWithRings and
    // RestoreWithRings); moved into the arguments, false when there are
    // none. They are given once; the next command drops them.
    bool TakeDisplayRings(CRingSet& geographic, CRingSet& projected);
    // Whether memory is being readied for the next command (see
    // CMemoryWarmer); the next command, load or save stops it.
    const CMemoryWarmer& GetMemoryWarmer() const { return memoryWarmer; }
    // The applied transformations, or null.
    CProjection* GetProjection() const { return projection; }
    CGeoRotation* GetRotation() const { return rotation; }

private:
    void DropTransformations();
    void ReportFileFailure(const char* message, const char* path, const CMapFileError& error) const;
    void TakeLoadedCopyAndIndexFeatures(CProgressUpdater& progress);
    void IndexFeatures();

    void TakeLoadedCopy(CProgressUpdater& progress);
    void DropDisplayRings();
    // Gives the content the loaded copy rotated by the held rotation, keeping
    // the rotated rings of a map of the earth; false when the copy does not
    // fit.
    bool RestoreRotated();

    // Threads that restore a large content from the copy.
    static constexpr unsigned RestoreThreads = 2;

    CProjection* projection = nullptr;
    CGeoRotation* rotation = nullptr;
    C2DHoledPolyBaseSet content;
    std::function<void(unsigned)> progressObserver;
    C2DCoordinateCopy loadedCopy;
    CMapAttributes attributes;
    CFeatureLocator featureLocator;
    // Builds featureLocator after a load; joined by the first reader.
    mutable std::thread indexer;
    // The coordinates of the loaded file (Unknown when they are not
    // longitude and latitude on the earth though the file says so).
    CMapCoordinateState loadedCoordinates;
    bool busy = false;
    bool geographic = false;
    bool followsLoadedCopy = false;
    bool rotatedAfterProjection = false;
    std::unique_ptr<CRingSet> geographicCapture;
    std::unique_ptr<CRingSet> projectedCapture;
    // Readies memory for the first command after a large map is opened.
    CMemoryWarmer memoryWarmer;
};
