#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapAttributes.h"
#include "mapfiles/ProgressUpdater.h"

// Map file readers and writers. Every function returns false on failure and
// raises nothing; a failed save leaves any file it was replacing untouched.
// The optional error out-parameters say why a call failed, for the detail
// text of a message box.

enum class MapFileProblem {
    None,
    UnknownFormat,        // the name ends neither in .shp nor in .vmq
    NoSuchFile,           // the file (or its folder) does not exist
    CannotOpen,           // any other reason the system gave (systemError)
    NotAShapefile,        // no shapefile header
    NotAPolygonShapefile, // a shapefile of another shape type (shapeType)
    UnreadableRecord,     // no record could be read (record: the first bad one)
    NoShapes,             // a text file with no ring in it
    DiskFull,             // the disk or the quota is full
    CannotWrite,          // any other write failure (systemError)
};

struct CMapFileError {
    MapFileProblem problem = MapFileProblem::None;
    int32_t shapeType = 0; // the shape type of a shapefile that was refused
    int64_t record = 0;    // the first unreadable record, counted from 1
    int systemError = 0;   // errno of the failed system call, 0 when none
};

// One line for a message box's detail text, e.g. "Not a polygon shapefile
// (shape type 3)"; empty for no problem.
std::string DescribeMapFileError(const CMapFileError& error);

// What the content's coordinates are, for the .prj written beside a
// shapefile: longitude and latitude in degrees (WGS 84), projected with the
// projection of a type code (the row of the projection name table), or
// anything else (rotated, or not known), which gets no .prj.
enum class MapCoordinates { Unknown, Geographic, Projected };

struct CMapCoordinateState {
    MapCoordinates kind = MapCoordinates::Unknown;
    int32_t projectionType = -1; // for Projected
};

// The coordinates of a map file as read: a text map, or a shapefile without
// a .prj or with a geographic one, holds longitude and latitude; a shapefile
// whose .prj is one of the projections this system writes holds that
// projection's coordinates; any other .prj tells of coordinates not known.
CMapCoordinateState CoordinatesOfMapFile(const char* path);

// What a save writes beside the geometry. Without attributes (or with an
// empty table) a shapefile gets a table with one integer field ID numbered
// from 1.
struct CMapSaveInfo {
    const CMapAttributes* attributes = nullptr;
    CMapCoordinateState coordinates;
};

// ESRI shapefile (".shp"), polygon records (shape types 5, 15 and 25; Z and
// M values are not read). The reader also reads the attribute table (.dbf)
// beside the main file when asked for attributes; the writer writes the
// whole set: .shp, .shx, .dbf, and .cpg and .prj where they apply.
bool ReadShapefile(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                   CMapAttributes* attributes = nullptr, CMapFileError* error = nullptr);
bool SaveShapefile(const char* path, const C2DHoledPolyBaseSet& content,
                   const CMapSaveInfo* info = nullptr, CMapFileError* error = nullptr);
// Writes header and records of the main file alone to an open file and closes
// it.
bool WriteShapefile(std::FILE* file, const C2DHoledPolyBaseSet& content);

// The text map format (".vmq"), version 1 or 2 as useTextMapFormat2 selects
// for reading and writing alike. A file that is not empty but holds no ring is
// not a map.
extern bool useTextMapFormat2;
bool ReadTextMap(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                 CMapFileError* error = nullptr);
bool WriteTextMap(const char* path, const C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                  CMapFileError* error = nullptr);

// The format is chosen by the file name's extension, in any case: ".vmq" or
// ".shp". Folder names play no part.
enum class MapFileFormat { TextMap, Shapefile, Unknown };
MapFileFormat ChooseMapFileFormat(const char* path);
// About how many vertices a map file holds, judged by its size alone, for
// sizing memory before it is read: 0 when the file cannot be examined or its
// format is unknown. Nothing in the file is read or trusted.
std::size_t EstimateVertexCount(const char* path);
// Reads either format. attributes (when given) receive the shapefile's table,
// or are emptied for a text map.
bool ReadMapFile(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                 CMapAttributes* attributes = nullptr, CMapFileError* error = nullptr);
bool WriteMapFile(const char* path, const C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                  const CMapSaveInfo* info = nullptr, CMapFileError* error = nullptr);
