#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "geometry/HoledPolygons.h"

// The steps of the shapefile reader and writer, open to the tests.

inline constexpr int32_t ShapefileCode = 9994;
inline constexpr int32_t ShapefileVersion = 1000;
inline constexpr int32_t ShapeTypePolygon = 5;
inline constexpr int ShapefileHeaderSize = 100;

// One polygon record in memory: its box (Xmin, Ymin, Xmax, Ymax), the index
// of the first point of each ring, and the points as x, y pairs.
struct ShapeRecord {
    double box[4] = {0.0, 0.0, 0.0, 0.0};
    int32_t numParts = 0;
    int32_t numPoints = 0;
    std::vector<int32_t> parts;
    std::vector<double> points;

    void Clear();
};

enum class RecordReading {
    Polygon, // a usable polygon record is in the record
    Skipped, // a record that is not used; reading goes on after it
    End      // nothing more can be read
};

// Reads and checks the 100-byte main file header: false on a short read, a
// file code other than 9994 or a shape type other than Polygon.
bool ReadShapefileHeader(std::FILE* file);
// Reads the record at the current position. Nothing in it is trusted: counts
// and part starts are checked against each other, against the record's
// content length and against the bytes left in the file (fileSize) before
// anything is allocated or read. Leaves the file at the next record.
RecordReading ReadPolygonRecord(std::FILE* file, int64_t fileSize, ShapeRecord& record);
// Turns a checked record into holed polygons: the first ring and every later
// clockwise ring start a holed polygon, the other rings become holes of the
// first holed polygon of the record whose rim they lie within, else of the
// most recent one. The caller owns the set.
C2DHoledPolygonSet* RecordToHoledPolygons(const ShapeRecord& record);
// Fills a record from a holed polygon: the rim forwards, then each hole
// backwards, one point per edge.
void HoledPolygonToRecord(const C2DHoledPolyBase& holedPolygon, ShapeRecord& record);
