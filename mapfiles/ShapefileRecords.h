#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "geometry/FlatRings.h"
#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "mapfiles/ProgressUpdater.h"
#include "mapfiles/RingPoints.h"

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
// Reads a main file record by record.
class CShapefileRecordReader {
public:
    CShapefileRecordReader() = default;
    ~CShapefileRecordReader();
    CShapefileRecordReader(const CShapefileRecordReader&) = delete;
    CShapefileRecordReader& operator=(const CShapefileRecordReader&) = delete;

    // Opens the file and checks its header; false (with the reason) when it
    // is no polygon shapefile or cannot be read.
    bool Open(const char* path, CMapFileError* error);
    // Reads the next record; false when there is none left. reading tells
    // what was found; record holds a polygon only for RecordReading::Polygon.
    bool Next(ShapeRecord& record, RecordReading& reading);
    // The number of the record read last, counted from 0 as the table's rows.
    int32_t GetRecordNumber() const { return recordNumber; }
    // How far into the file reading has got.
    unsigned GetPercent() const;
    // After the last record: false (with the first unreadable record) when
    // no polygon was read and some record was broken: such a file is no map.
    bool CheckAnyRead(bool anyPolygon, CMapFileError* error) const;

private:
    std::FILE* file = nullptr;
    std::unique_ptr<char[]> buffer;
    int64_t fileSize = -1;
    int32_t shapeType = -1;
    int32_t recordNumber = -1;
    int64_t firstUnreadable = 0; // counted from 1; 0 while none
    bool finished = false;
};

// Receives the holes of a record as SplitRecord finds their rims.
class CHoleTaker {
public:
    virtual void TakeHole(unsigned rim, std::unique_ptr<C2DPolygon> hole) = 0;

protected:
    ~CHoleTaker() = default;
};

// Splits a checked record into rims and holes: the first ring and every
// later clockwise ring are rims, the other rings holes of the first rim of
// the record that they lie within, else of the most recent one. Each hole
// goes to holes as soon as its rim is known (the rims found so far stay
// alive, the hole need not); the rims are returned in order. A hole is built
// from its points in reverse order, so it runs clockwise with its
// coordinates exactly as in the file.
//
// A record of millions of points takes a good while; progress, when not
// null, is told how far the split has come, as percentages running from
// fromPercent towards toPercent in step with the record's points.
std::vector<std::unique_ptr<C2DPolygon>> SplitRecord(const ShapeRecord& record, CHoleTaker& holes,
                                                     CProgressUpdater* progress = nullptr,
                                                     unsigned fromPercent = 0,
                                                     unsigned toPercent = 0);
// Receives the rings of a record split by CFlatRecordSplitter.
class CFlatRingTaker {
public:
    // A hole of the rim numbered rim (from 0), as soon as that is known; the
    // hole's numbers are only valid during the call.
    virtual void TakeFlatHole(unsigned rim, const CFlatRing& hole) = 0;
    // The record's rims in order, after its last hole.
    virtual void TakeFlatRim(const CFlatRing& rim) = 0;
    // Told before the first hole of a record split on threads: how many rims
    // it has and the rim of each hole in the order they come, so that room
    // for them all can be made at once.
    virtual void ExpectRings(std::size_t /*rimCount*/, const std::vector<unsigned>& /*holeRims*/) {}

protected:
    ~CFlatRingTaker() = default;
};

// SplitRecord with the rings held as plain numbers instead of objects: the
// same rims and holes, with the same edges to the bit, the same hole
// assignment, in the same order.
class CFlatRecordSplitter {
public:
    // Records of at least this many parts have their holes placed on
    // several threads.
    static constexpr unsigned DefaultParallelParts = 4096;

    // Makes every ring of the record in store (reset to room for the
    // record's points), where they stay after the split. False when memory
    // runs out, which leaves the record part handed over. With threads > 1,
    // the holes of a large record are placed by this thread and up to
    // threads - 1 more; they are then handed over after all rings are made,
    // in the same order and to the same rims.
    bool Split(const ShapeRecord& record, CFlatRingStore& store, CFlatRingTaker& taker,
               unsigned threads = 1);
    void SetParallelParts(unsigned parts) { parallelParts = parts; }

private:
    bool SplitOnThreads(const ShapeRecord& record, CFlatRingStore& store, CFlatRingTaker& taker,
                        unsigned threads);
    bool MakeRingsOnThreads(const ShapeRecord& record, CFlatRingStore& store, unsigned threads);
    bool PlaceHolesOnThreads(const ShapeRecord& record, unsigned threads);

    unsigned parallelParts = DefaultParallelParts;
    std::vector<CFlatRing> rims;
    // Of a record split on threads: its holes, and the rim each belongs to
    // (the most recent rim before it until its search has run; the search
    // looks only below that rim).
    std::vector<CFlatRing> holes;
    std::vector<unsigned> owners;
};

// Turns a checked record into holed polygons: the first ring and every later
// clockwise ring start a holed polygon, the other rings become holes of the
// first holed polygon of the record whose rim they lie within, else of the
// most recent one. A hole is built from its points in reverse order, so it
// runs clockwise with its coordinates exactly as in the file. The caller owns
// the set.
// progress as for SplitRecord.
C2DHoledPolygonSet* RecordToHoledPolygons(const ShapeRecord& record,
                                          CProgressUpdater* progress = nullptr,
                                          unsigned fromPercent = 0, unsigned toPercent = 0);
// Writes the main file's header and then one record per holed polygon, as
// they come: every ring closed, as the standard asks (its first point
// repeated last unless the ring already ends on it), the rim forwards and
// each hole as the exact reverse of its stored ring (anticlockwise for a
// clockwise hole), the record's box the holed polygon's bounds; Finish writes the file's length and
// box (the first holed polygon's bounds grown by every later one's) into the header. The file stays
// open. After a failed write nothing more is written.
class CShapefileRecordWriter {
public:
    explicit CShapefileRecordWriter(std::FILE* file);

    void Write(const CHoledPolygonPoints& holedPolygon);
    bool Finish();
    bool IsOk() const { return ok; }

private:
    // Bytes are gathered up to about this many before they are written.
    static constexpr std::size_t WriteChunk = 1 << 16;
    // The disk is set writing each time this much more has been written.
    static constexpr int64_t WriteBackStep = int64_t{8} << 20;

    // One pass over the rings of a holed polygon: notes for the rim (ring 0)
    // and each hole whether it needs its first point repeated, puts each
    // ring's first point number into parts (4 bytes a ring), sets the holed
    // polygon's bounds and returns its point count, closing points included.
    std::size_t MeasureRings(const CHoledPolygonPoints& holedPolygon, unsigned char* parts,
                             C2DRect& polygonBounds);
    void AppendClosedRing(const CRingPoints& ring, bool backwards, bool needsClosing);
    // Appends points[0..count), or the same points last first.
    void AppendPoints(const CPointXY* points, std::size_t count, bool backwards);
    // Room for size more bytes at the end of the buffer.
    unsigned char* Extend(std::size_t size);
    void Flush();
    void StartWriteBack();

    std::FILE* file;
    bool ok = false;
    int32_t number = 0;
    int64_t totalBytes = ShapefileHeaderSize;
    // The file's bytes up to writtenBack are on their way to disk; some
    // notWrittenBack more have been handed to the file since.
    int64_t writtenBack = 0;
    int64_t notWrittenBack = 0;
    C2DRect bounds;
    // The bytes gathered and not yet written: used of capacity.
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t used = 0;
    std::size_t capacity = 0;
    // Per ring of the record being written, rim first: 1 if it needs closing.
    std::vector<unsigned char> closing;
};

// Whether a closed ring of the file needs the ring's first point once more
// at its end (it does unless the last vertex is that point already).
bool NeedsClosingPoint(const CRingPoints& ring);
