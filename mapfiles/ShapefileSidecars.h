#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mapfiles/MapAttributes.h"

// The files beside a shapefile's main file: the index (.shx), the attribute
// table (.dbf) with its code page (.cpg), and the coordinate system (.prj).
// Index and table go through shapelib; the main file is written elsewhere.

// The path of a companion file: the main file's path with its extension
// replaced by extension (given in lower case, without the dot). The extension
// is written in capitals when the main file's is ("WORLD.SHP" -> "WORLD.DBF");
// a path without an extension gets one appended.
std::string SidecarPath(const std::string& mainPath, const char* extension);
// The same companion with the extension in the other case, which some tools
// write and which would be found beside the new file as a stale copy.
std::string OtherCaseSidecarPath(const std::string& mainPath, const char* extension);

// Reads the table beside the main file (either case of ".dbf"), with the code
// page from a ".cpg". Nothing in the table is trusted: a table that shapelib
// cannot open, or whose header does not fit the file, is ignored. Returns
// whether a table was read; fields and records are left empty otherwise.
bool ReadAttributeTable(const std::string& mainPath, CMapAttributes& attributes);

// The text of the .prj beside the main file without surrounding white space,
// empty when there is none (or it is unreasonably long for one).
std::string ReadCoordinateSystem(const std::string& mainPath);

// Writes the index of the main file stored at shapePath into shx (left open).
bool WriteShapefileIndex(const std::string& shapePath, std::FILE* shx);

// Writes the table into dbf (left open): one row per written record, the
// row of its source record (rowRecords, -1 for none), or, without a table,
// one integer field ID numbered from 1. A row whose source record is unknown
// is left blank.
bool WriteAttributeTable(std::FILE* dbf, const CMapAttributes* attributes,
                         const std::vector<int32_t>& rowRecords);

// The code page text that goes into a .cpg, or empty when none is written.
std::string CodePageFileText(const CMapAttributes* attributes);
