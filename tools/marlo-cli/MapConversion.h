#pragma once

#include <memory>
#include <string>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tools/marlo-cli/MapCommandOptions.h"

// The viewer's road of a map in the map commands: read, make clockwise,
// rotate, project, write, with the whole map in memory as the viewer holds
// it. (convert streams the same road piece by piece: StreamingConversion.h.)

// The transformations a command applies, in the viewer's order: rotation
// first, then projection.
struct CMapTransformations {
    std::unique_ptr<CGeoRotation> rotation;
    std::unique_ptr<CProjection> projection;
};

// Builds the transformations of options; false (after reporting) for an
// unknown projection name.
bool MakeTransformations(const CMapCommandOptions& options, CMapTransformations& transformations);

// Reads path (its format chosen by its extension) into the empty content,
// with a progress bar on a terminal. Prints "Could not open file" with the
// path and the reason on failure. With prepare, every holed polygon is also
// taken down the viewer's road after a load (PrepareRing) while the file is
// still being read. attributes, when given, receive the shapefile's table.
bool LoadMapFile(const std::string& path, C2DHoledPolyBaseSet& content,
                 const CMapTransformations* prepare = nullptr,
                 CMapAttributes* attributes = nullptr);

// Writes content to path by the same rule, with what info gives beside it.
// Prints "Could not save file" with the path and the reason on failure.
bool SaveMapFile(const std::string& path, const C2DHoledPolyBaseSet& content,
                 const CMapSaveInfo* info = nullptr);

// What the coordinates are once the transformations were applied to content
// whose coordinates were loaded: projecting longitude and latitude gives the
// projection's coordinates; a rotation, or a projection of anything else,
// gives coordinates no coordinate system describes.
CMapCoordinateState CoordinatesAfter(const CMapCoordinateState& loaded,
                                     const CMapTransformations& transformations);

// True when path names a format the writers know; else prints "Could not save
// file" with the path, so a doomed conversion fails before the slow read.
bool CheckSavePath(const std::string& path);

// The viewer's road after a load for one ring (a rim or a hole): clockwise,
// then the rotation, then the projection. The viewer does each step for the
// whole content before the next; every step acts on each ring alone, so doing
// all of them ring by ring gives the same bits.
void PrepareRing(C2DPolyBase& ring, const CMapTransformations& transformations);

// Threads to use for preparing content: the machine's cores, at least one.
unsigned PreparationThreadCount();
