#pragma once

#include <cstdio>

#include "geometry/HoledPolygons.h"
#include "mapfiles/ProgressUpdater.h"

// Map file readers and writers. Every function returns false on failure and
// raises nothing; a failed save leaves any file it was replacing untouched.

// ESRI shapefile main file (".shp"), polygon records.
bool ReadShapefile(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress);
bool SaveShapefile(const char* path, const C2DHoledPolyBaseSet& content);
// Writes header and records to an open file and closes it.
bool WriteShapefile(std::FILE* file, const C2DHoledPolyBaseSet& content);

// The text map format (".vmq"), version 1 or 2 as useTextMapFormat2 selects
// for reading and writing alike.
extern bool useTextMapFormat2;
bool ReadTextMap(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress);
bool WriteTextMap(const char* path, const C2DHoledPolyBaseSet& content, CProgressUpdater* progress);

// The format is chosen by a case-sensitive substring anywhere in the path:
// ".vmq" is looked for first, then ".shp"; a path with neither has no format.
enum class MapFileFormat { TextMap, Shapefile, Unknown };
MapFileFormat ChooseMapFileFormat(const char* path);
bool ReadMapFile(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress);
bool WriteMapFile(const char* path, const C2DHoledPolyBaseSet& content, CProgressUpdater* progress);
