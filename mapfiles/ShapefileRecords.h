#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "geometry/HoledPolygons.h"

// The steps of the shapefile reader and writer, open to the tests.

inline constexpr int32_t ShapefileCode = 9994;
inline constexpr int32_t ShapefileVersion = 1000;
inline constexpr int32_t ShapeTypePolygon = 5;
// Polygons with a Z value (and an optional M value) per point, and polygons
// with an M value per point: read as polygons, the extra values passed over.
inline constexpr int32_t ShapeTypePolygonZ = 15;
inline constexpr int32_t ShapeTypePolygonM = 25;
inline constexpr int ShapefileHeaderSize = 100;

inline constexpr bool IsPolygonShapeType(int32_t type) {
    return type == ShapeTypePolygon || type == ShapeTypePolygonZ || type == ShapeTypePolygonM;
}

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
    Polygon,    // a usable polygon record is in the record
    Skipped,    // a record of another shape type (a null shape); reading goes on
    Unreadable, // a broken polygon record; reading goes on after it
    End         // a broken record after which nothing more can be read
};

// Reads and checks the 100-byte main file header: false on a short read, a
// file code other than 9994 or a shape type that is no kind of polygon. The
// file's shape type is given back when asked for, also on refusal (0 when
// the header could not be read).
bool ReadShapefileHeader(std::FILE* file, int32_t* shapeType = nullptr);
// Reads the record at the current position, a polygon when its shape type is
// the file's (shapeType). Nothing in it is trusted: counts and part starts are
// checked against each other, against the record's content length and
// against the bytes left in the file (fileSize) before anything is allocated
// or read. Leaves the file at the next record.
RecordReading ReadPolygonRecord(std::FILE* file, int64_t fileSize, ShapeRecord& record,
                                int32_t shapeType = ShapeTypePolygon);
// Turns a checked record into holed polygons: the first ring and every later
// clockwise ring start a holed polygon, the other rings become holes of the
// first holed polygon of the record whose rim they lie within, else of the
// most recent one. A hole is built from its points in reverse order, so it
// runs clockwise with its coordinates exactly as in the file. The caller owns
// the set.
C2DHoledPolygonSet* RecordToHoledPolygons(const ShapeRecord& record);
// Fills a record from a holed polygon with closed rings, as the standard
// asks: the rim forwards, each hole as the exact reverse of its stored ring
// (anticlockwise for a clockwise hole), every ring ending on its first point
// (repeated unless the ring already ends on it).
void HoledPolygonToRecord(const C2DHoledPolyBase& holedPolygon, ShapeRecord& record);
