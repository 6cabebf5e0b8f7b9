#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "mapfiles/RingPoints.h"

// Map files read and written piece by piece, so that a map far larger than
// memory can be converted: the readers hand out one shapefile record (see
// CShapefileRecordReader in ShapefileRecords.h) or one text map holed polygon
// at a time, and the writers take one holed polygon at a time. Writing a
// content's holed polygons in order gives exactly the files that
// WriteMapFile writes.

class CMapFileWriter {
public:
    virtual ~CMapFileWriter() = default;

    // Whether rings must be taken with their edge ends (TakeRingPoints).
    virtual bool WantsEdgeEnds() const = 0;
    // The next holed polygon; record is the source record of its table row
    // (-1 for none).
    virtual void WriteHoledPolygon(const CHoledPolygonPoints& holedPolygon, int32_t record) = 0;
    // Finishes every file of the set and moves them into place, with what
    // info gives beside the geometry. False (with the reason) on any failure,
    // earlier ones included; the files it was replacing are then untouched.
    // Destroying an unfinished writer leaves them untouched too.
    virtual bool Finish(const CMapSaveInfo* info, CMapFileError* error) = 0;
};

// A writer for the format of path's extension; null (with the reason) when
// the format is unknown or the file cannot be created.
std::unique_ptr<CMapFileWriter> OpenMapFileWriter(const char* path, CMapFileError* error);
std::unique_ptr<CMapFileWriter> OpenShapefileWriter(const char* path, CMapFileError* error);
std::unique_ptr<CMapFileWriter> OpenTextMapWriter(const char* path, CMapFileError* error);

// Reads a text map one holed polygon at a time: a rim with the holes that
// follow it (a hole before the first rim is dropped), as a C2DHoledPolygon
// when none of its rings has an arc, else as a C2DHoledPolyArc.
class CTextMapReader {
public:
    bool Open(const char* path, CMapFileError* error);
    // The next holed polygon, or null at the end.
    std::unique_ptr<C2DHoledPolyBase> Next();
    // How far into the file reading has got.
    unsigned GetPercent();
    // After the last holed polygon: false (NoShapes) when none was read
    // from a file with visible text in it.
    bool CheckAnyRead(bool anyHoledPolygon, CMapFileError* error) const;

private:
    std::unique_ptr<C2DPolyArc> ReadRing(bool& isHole);

    std::string path;
    std::ifstream stream;
    std::streamoff fileLength = 0;
    std::unique_ptr<C2DPolyArc> nextRim;
    bool ended = false;
};
