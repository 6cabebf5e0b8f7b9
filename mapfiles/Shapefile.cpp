#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>

#include "mapfiles/HoleAssignment.h"
#include "mapfiles/MapFileProblems.h"
#include "mapfiles/MapFileStreams.h"
#include "mapfiles/MapFiles.h"
#include "mapfiles/ProjectionWkt.h"
#include "mapfiles/ReplacingFile.h"
#include "mapfiles/ShapefileRecords.h"
#include "mapfiles/ShapefileSidecars.h"

namespace {

constexpr std::size_t ReadBufferSize = 1 << 20;
// Record header (number, content length) in bytes.
constexpr int64_t RecordHeaderSize = 8;
// Shape type, box, numParts and numPoints: the fixed part of a polygon
// record's content, in bytes.
constexpr int64_t PolygonFixedSize = 44;

int32_t ReadBigEndian32(const unsigned char* bytes) {
    return static_cast<int32_t>((uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                                (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]});
}

int32_t ReadLittleEndian32(const unsigned char* bytes) {
    return static_cast<int32_t>((uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) |
                                (uint32_t{bytes[1]} << 8) | uint32_t{bytes[0]});
}

double ReadLittleEndianDouble(const unsigned char* bytes) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | bytes[i];
    }
    return std::bit_cast<double>(bits);
}

void PutBigEndian32(unsigned char* bytes, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    bytes[0] = static_cast<unsigned char>(v >> 24);
    bytes[1] = static_cast<unsigned char>(v >> 16);
    bytes[2] = static_cast<unsigned char>(v >> 8);
    bytes[3] = static_cast<unsigned char>(v);
}

void PutLittleEndian32(unsigned char* bytes, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

void PutLittleEndianDouble(unsigned char* bytes, double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

// The arrays of a record are read in one block each, straight into memory;
// a big-endian machine turns the little-endian values round afterwards.
template <class T> void FromLittleEndian(std::vector<T>& values) {
    if constexpr (std::endian::native == std::endian::big) {
        for (T& value : values) {
            unsigned char bytes[sizeof(T)];
            std::memcpy(bytes, &value, sizeof(T));
            std::reverse(bytes, bytes + sizeof(T));
            std::memcpy(&value, bytes, sizeof(T));
        }
    }
}

bool ReadBytes(std::FILE* file, void* bytes, std::size_t size) {
    return size == 0 || std::fread(bytes, 1, size, file) == size;
}

bool SeekTo(std::FILE* file, int64_t position) {
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

// Where the rings of the record lie: the extent of its finite coordinates.
C2DRect ExtentOfPoints(const std::vector<double>& points) {
    // Plain locals, so that the sides stay in registers.
    double left = HUGE_VAL;
    double right = -HUGE_VAL;
    double top = -HUGE_VAL;
    double bottom = HUGE_VAL;
    bool any = false;
    for (std::size_t i = 0; i + 1 < points.size(); i += 2) {
        const double x = points[i];
        const double y = points[i + 1];
        if (!std::isfinite(x) || !std::isfinite(y)) {
            continue;
        }
        any = true;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::max(top, y);
        bottom = std::min(bottom, y);
    }
    C2DRect extent;
    if (any) {
        extent.Set(left, top, right, bottom);
    }
    return extent;
}

// Part starts must lie inside the point array and ascend strictly, so that
// every ring has at least one point.
bool PartsAreValid(const ShapeRecord& record) {
    for (int32_t i = 0; i < record.numParts; ++i) {
        const int32_t start = record.parts[i];
        if (start < 0 || start >= record.numPoints) {
            return false;
        }
        if (i > 0 && start <= record.parts[i - 1]) {
            return false;
        }
    }
    return true;
}

} // namespace

void ShapeRecord::Clear() {
    std::fill(box, box + 4, 0.0);
    numParts = 0;
    numPoints = 0;
    parts.clear();
    points.clear();
}

bool ReadShapefileHeader(std::FILE* file, int32_t* shapeType) {
    if (shapeType != nullptr) {
        *shapeType = -1;
    }
    unsigned char header[ShapefileHeaderSize];
    if (!ReadBytes(file, header, sizeof header) || ReadBigEndian32(header) != ShapefileCode) {
        return false;
    }
    // Unused integers, file length, version and bounding box are not needed.
    const int32_t type = ReadLittleEndian32(header + 32);
    if (shapeType != nullptr) {
        *shapeType = type;
    }
    return IsPolygonShapeType(type);
}

RecordReading ReadPolygonRecord(std::FILE* file, int64_t fileSize, ShapeRecord& record,
                                int32_t shapeType) {
    record.Clear();
    const int64_t recordStart = ftello(file);
    if (recordStart < 0) {
        return RecordReading::End;
    }
    unsigned char head[12];
    if (!ReadBytes(file, head, sizeof head)) {
        return RecordReading::End;
    }
    // The content length counts 16-bit words and includes the shape type. A
    // length that fits the file tells where the next record starts.
    const int64_t contentBytes = 2 * static_cast<int64_t>(ReadBigEndian32(head + 4));
    const int64_t recordEnd = recordStart + RecordHeaderSize + contentBytes;
    const bool lengthConsistent = contentBytes >= 4 && recordEnd <= fileSize;
    auto passOver = [&](RecordReading reading) {
        // Past an inconsistent length, reading goes on where it stands.
        if (lengthConsistent && !SeekTo(file, recordEnd)) {
            return RecordReading::End;
        }
        return reading;
    };

    if (ReadLittleEndian32(head + 8) != shapeType) {
        return passOver(RecordReading::Skipped);
    }
    unsigned char fixed[40];
    if (!ReadBytes(file, fixed, sizeof fixed)) {
        return RecordReading::End;
    }
    for (int i = 0; i < 4; ++i) {
        record.box[i] = ReadLittleEndianDouble(fixed + 8 * i);
    }
    record.numParts = ReadLittleEndian32(fixed + 32);
    record.numPoints = ReadLittleEndian32(fixed + 36);

    // Check the counts before anything is allocated: both arrays must fit in
    // the record's content and in what is left of the file. A PolygonZ record
    // must also hold its Z range and values; M values are optional.
    if (record.numParts < 0 || record.numPoints < 0) {
        return passOver(RecordReading::Unreadable);
    }
    const int64_t arrayBytes =
        4 * static_cast<int64_t>(record.numParts) + 16 * static_cast<int64_t>(record.numPoints);
    const int64_t zBytes =
        shapeType == ShapeTypePolygonZ ? 16 + 8 * static_cast<int64_t>(record.numPoints) : 0;
    const int64_t position = recordStart + RecordHeaderSize + 4 + sizeof fixed;
    if (PolygonFixedSize + arrayBytes + zBytes > contentBytes || arrayBytes > fileSize - position) {
        return passOver(RecordReading::Unreadable);
    }
    record.parts.resize(static_cast<std::size_t>(record.numParts));
    record.points.resize(2 * static_cast<std::size_t>(record.numPoints));
    if (!ReadBytes(file, record.parts.data(), 4 * record.parts.size()) ||
        !ReadBytes(file, record.points.data(), 8 * record.points.size())) {
        record.Clear();
        return RecordReading::End;
    }
    FromLittleEndian(record.parts);
    FromLittleEndian(record.points);
    if (!PartsAreValid(record)) {
        record.Clear();
        return passOver(RecordReading::Unreadable);
    }
    // Z and M values, and padding behind the arrays, are passed over.
    if (lengthConsistent && recordEnd != position + arrayBytes && !SeekTo(file, recordEnd)) {
        return RecordReading::End;
    }
    return RecordReading::Polygon;
}

namespace {

// Where part i of a checked record ends: the point after its last.
int32_t PartEnd(const ShapeRecord& record, int32_t i) {
    return i + 1 < record.numParts ? record.parts[i + 1] : record.numPoints;
}

// The points of part i of a checked record (x, y pairs), and their count.
const double* PartPoints(const ShapeRecord& record, int32_t i, unsigned& count) {
    const int32_t first = record.parts[i];
    count = static_cast<unsigned>(PartEnd(record, i) - first);
    return record.points.data() + 2 * static_cast<std::size_t>(first);
}

// A thread joined when its holder goes out of scope.
class CJoiningThread {
public:
    explicit CJoiningThread(std::thread thread) : thread(std::move(thread)) {}
    ~CJoiningThread() { thread.join(); }
    CJoiningThread(const CJoiningThread&) = delete;
    CJoiningThread& operator=(const CJoiningThread&) = delete;

private:
    std::thread thread;
};

// Moves the bar within a record, from fromPercent towards toPercent in step
// with the record's points, and only when it spans whole percentages.
class CRecordProgress {
public:
    CRecordProgress(const ShapeRecord& record, CProgressUpdater* progress, unsigned fromPercent,
                    unsigned toPercent)
        : points(record.numPoints), progress(progress), fromPercent(fromPercent),
          toPercent(toPercent), reported(fromPercent) {}

    void ReportUpTo(int32_t pointsDone) {
        if (progress == nullptr || toPercent <= fromPercent || points <= 0) {
            return;
        }
        const unsigned percent =
            fromPercent + static_cast<unsigned>(static_cast<double>(pointsDone) *
                                                (toPercent - fromPercent) / points);
        if (percent > reported && percent < toPercent) {
            progress->UpdateProgress(percent);
            reported = percent;
        }
    }

private:
    int32_t points;
    CProgressUpdater* progress;
    unsigned fromPercent;
    unsigned toPercent;
    unsigned reported;
};

// A hole built from its points taken backwards, so that it runs clockwise
// with the file's coordinates to the bit (reversing its edges would
// recompute each start as start + direction); writing it reverses it back
// to the file's ring exactly.
std::unique_ptr<C2DPolygon> MakeHole(const double* points, unsigned count,
                                     std::vector<double>& reversed) {
    reversed.resize(2 * static_cast<std::size_t>(count));
    for (unsigned k = 0; k < count; ++k) {
        reversed[2 * k] = points[2 * (count - 1 - k)];
        reversed[2 * k + 1] = points[2 * (count - 1 - k) + 1];
    }
    auto hole = std::make_unique<C2DPolygon>();
    hole->Create(reversed.data(), count);
    return hole;
}

} // namespace

std::vector<std::unique_ptr<C2DPolygon>> SplitRecord(const ShapeRecord& record, CHoleTaker& holes,
                                                     CProgressUpdater* progress,
                                                     unsigned fromPercent, unsigned toPercent) {
    std::vector<std::unique_ptr<C2DPolygon>> rims;
    CRecordProgress bar(record, progress, fromPercent, toPercent);
    // The assigner is only needed once a record has a second rim: while
    // there is one rim, every hole goes to it whatever IsWithin says.
    std::unique_ptr<CHoleAssigner> assigner;
    std::vector<double> reversed;
    for (int32_t i = 0; i < record.numParts; ++i) {
        unsigned count = 0;
        const double* points = PartPoints(record, i, count);
        const int32_t end = PartEnd(record, i);
        auto ring = std::make_unique<C2DPolygon>();
        ring->Create(points, count);
        if (rims.empty() || ring->GetArea() < 0.0) {
            rims.push_back(std::move(ring));
            if (assigner) {
                assigner->AddRim(*rims.back());
            } else if (rims.size() == 2) {
                assigner = std::make_unique<CHoleAssigner>(ExtentOfPoints(record.points),
                                                           static_cast<unsigned>(record.numParts));
                assigner->AddRim(*rims[0]);
                assigner->AddRim(*rims[1]);
            }
            bar.ReportUpTo(end);
            continue;
        }
        ring = MakeHole(points, count, reversed);
        const auto latest = static_cast<unsigned>(rims.size() - 1);
        const unsigned owner = assigner ? assigner->FindRim(*ring, latest) : latest;
        holes.TakeHole(owner, std::move(ring));
        bar.ReportUpTo(end);
    }
    return rims;
}

bool CFlatRecordSplitter::Split(const ShapeRecord& record, CFlatRingStore& store,
                                CFlatRingTaker& taker, unsigned threads) {
    if (threads > 1 && record.numParts >= static_cast<int32_t>(parallelParts)) {
        return SplitOnThreads(record, store, taker, threads);
    }
    try {
        rims.clear();
        rims.reserve(static_cast<std::size_t>(record.numParts));
        // A record's rings hold its points between them, so they all fit in
        // room for those, and the rims never move while the assigner holds
        // them.
        store.Reset(static_cast<std::size_t>(record.numPoints));
        std::unique_ptr<CFlatHoleAssigner> assigner;
        for (int32_t i = 0; i < record.numParts; ++i) {
            unsigned count = 0;
            const double* points = PartPoints(record, i, count);
            if (rims.empty() || AreaOfPoints(points, count) < 0.0) {
                CFlatRing& rim = rims.emplace_back();
                if (!store.Add(points, count, false, rim)) {
                    return false;
                }
                if (assigner) {
                    assigner->AddRim(rim);
                } else if (rims.size() == 2) {
                    assigner = std::make_unique<CFlatHoleAssigner>(
                        ExtentOfPoints(record.points), static_cast<unsigned>(record.numParts));
                    assigner->AddRim(rims[0]);
                    assigner->AddRim(rims[1]);
                }
                continue;
            }
            // Clockwise from the points taken backwards, as SplitRecord
            // builds a hole.
            CFlatRing hole;
            if (!store.Add(points, count, true, hole)) {
                return false;
            }
            const auto latest = static_cast<unsigned>(rims.size() - 1);
            taker.TakeFlatHole(assigner ? assigner->FindRim(hole, latest) : latest, hole);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (const CFlatRing& rim : rims) {
        taker.TakeFlatRim(rim);
    }
    return true;
}

bool CFlatRecordSplitter::SplitOnThreads(const ShapeRecord& record, CFlatRingStore& store,
                                         CFlatRingTaker& taker, unsigned threads) {
    try {
        // Every ring first; a hole's rim can only be one made before it (the
        // most recent one, unless an earlier one holds it).
        store.Reset(static_cast<std::size_t>(record.numPoints));
        if (!MakeRingsOnThreads(record, store, threads)) {
            return false;
        }
        if (rims.size() > 1 && !PlaceHolesOnThreads(record, threads)) {
            return false;
        }
        taker.ExpectRings(rims.size(), owners);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::size_t h = 0; h < holes.size(); ++h) {
        taker.TakeFlatHole(owners[h], holes[h]);
    }
    for (const CFlatRing& rim : rims) {
        taker.TakeFlatRim(rim);
    }
    // The lists of a record of many parts are not kept for the next record:
    // a converter splitting large records on several workers would otherwise
    // hold each worker's lists idle (13 MB after a record of 200,000 rings).
    std::vector<CFlatRing>().swap(rims);
    std::vector<CFlatRing>().swap(holes);
    std::vector<unsigned>().swap(owners);
    return true;
}

namespace {

// Runs work on this thread and on up to threads - 1 helpers at once, and
// returns when all are done. work takes its share itself (from a counter it
// shares), so it gets done whatever number of helpers could be started; it
// must not throw.
template <typename Work> void RunOnThreads(unsigned threads, const Work& work) {
    // Room for the helpers first: once one runs, nothing may throw before
    // it is joined.
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the threads there are do the work
        }
    }
    work();
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

} // namespace

bool CFlatRecordSplitter::MakeRingsOnThreads(const ShapeRecord& record, CFlatRingStore& store,
                                             unsigned threads) {
    // The rings are made in batches of parts in two rounds. The first tells
    // rims from holes (the first ring and every clockwise one are rims) and
    // counts each batch's rims, which places every ring of a batch in the
    // lists; the second makes the rings there, each at its points' place in
    // the store, as making them one after another would place them.
    constexpr std::size_t Batch = 1024;
    const auto partCount = static_cast<std::size_t>(record.numParts);
    const std::size_t batchCount = (partCount + Batch - 1) / Batch;
    std::vector<unsigned char> isRim(partCount, 0);
    std::vector<std::size_t> batchRims(batchCount + 1, 0); // rims before each batch
    std::atomic<std::size_t> nextBatch{0};
    RunOnThreads(threads, [&] {
        for (std::size_t b; (b = nextBatch.fetch_add(1)) < batchCount;) {
            const std::size_t end = std::min(partCount, (b + 1) * Batch);
            for (std::size_t i = b * Batch; i < end; ++i) {
                unsigned count = 0;
                const double* points = PartPoints(record, static_cast<int32_t>(i), count);
                isRim[i] = i == 0 || AreaOfPoints(points, count) < 0.0;
                batchRims[b + 1] += isRim[i];
            }
        }
    });
    for (std::size_t b = 0; b < batchCount; ++b) {
        batchRims[b + 1] += batchRims[b];
    }
    const std::size_t rimCount = batchRims[batchCount];
    rims.resize(rimCount);
    holes.resize(partCount - rimCount);
    owners.resize(partCount - rimCount);
    const std::size_t firstPoint = partCount == 0 ? 0 : static_cast<std::size_t>(record.parts[0]);
    std::atomic<bool> outOfRoom{false};
    nextBatch.store(0);
    RunOnThreads(threads, [&] {
        for (std::size_t b; (b = nextBatch.fetch_add(1)) < batchCount;) {
            std::size_t rim = batchRims[b];
            std::size_t hole = b * Batch - rim;
            const std::size_t end = std::min(partCount, (b + 1) * Batch);
            for (std::size_t i = b * Batch; i < end; ++i) {
                unsigned count = 0;
                const double* points = PartPoints(record, static_cast<int32_t>(i), count);
                const std::size_t place = static_cast<std::size_t>(record.parts[i]) - firstPoint;
                // Clockwise from the points taken backwards, as SplitRecord
                // builds a hole; until placed, a hole belongs to the most
                // recent rim.
                CFlatRing& ring = isRim[i] ? rims[rim++] : holes[hole];
                if (!store.AddAt(place, points, count, !isRim[i], ring)) {
                    outOfRoom.store(true);
                }
                if (!isRim[i]) {
                    owners[hole++] = static_cast<unsigned>(rim - 1);
                }
            }
        }
    });
    return !outOfRoom.load();
}

bool CFlatRecordSplitter::PlaceHolesOnThreads(const ShapeRecord& record, unsigned threads) {
    // With every rim in the assigner, a search below a hole's most recent
    // rim gives what the search made as the rims came would have given.
    CFlatHoleAssigner assigner(ExtentOfPoints(record.points),
                               static_cast<unsigned>(record.numParts));
    for (const CFlatRing& rim : rims) {
        assigner.AddRim(rim);
    }
    // Holes are handed out in small batches, so that a thread that meets
    // the slow ones (large holes in large rims) does not hold the others up.
    constexpr std::size_t Batch = 64;
    std::atomic<std::size_t> nextHole{0};
    std::atomic<bool> outOfMemory{false};
    RunOnThreads(threads, [&] {
        try {
            CFlatHoleAssigner::CQuery query;
            for (;;) {
                const std::size_t first = nextHole.fetch_add(Batch);
                if (first >= holes.size() || outOfMemory.load()) {
                    return;
                }
                const std::size_t end = std::min(holes.size(), first + Batch);
                for (std::size_t h = first; h < end; ++h) {
                    owners[h] = assigner.FindRim(holes[h], owners[h], query);
                }
            }
        } catch (const std::bad_alloc&) {
            outOfMemory.store(true);
        }
    });
    return !outOfMemory.load();
}

namespace {

// Collects each rim's holes, in the order they were found.
class CHoleLists final : public CHoleTaker {
public:
    void TakeHole(unsigned rim, std::unique_ptr<C2DPolygon> hole) override {
        if (rim >= lists.size()) {
            lists.resize(rim + 1);
        }
        lists[rim].push_back(std::move(hole));
    }

    std::vector<std::vector<std::unique_ptr<C2DPolygon>>> lists;
};

} // namespace

namespace {

// Takes down the rim of each hole, in the order of the holes, and counts
// them as they come for the thread that waits.
class CHoleOwners final : public CFlatRingTaker {
public:
    void TakeFlatHole(unsigned rim, const CFlatRing&) override {
        owners.push_back(rim);
        taken.store(owners.size(), std::memory_order_relaxed);
    }
    void TakeFlatRim(const CFlatRing&) override {}

    std::vector<unsigned> owners;
    std::atomic<std::size_t> taken{0};
    std::atomic<bool> finished{false};
};

// How often the bar is moved while the helper finds the holes' rims.
constexpr std::chrono::milliseconds HelperPoll{20};

// Records of at least this many rings have their holes' rims found on a
// helper thread, from the rings as plain numbers (which give the edge
// objects' answers), while this thread makes the ring objects: for a
// record of a hundred thousand lakes and islands the two take about as long.
constexpr int32_t HelpedParts = 64;

// RecordToHoledPolygons with the hole assignment on a helper thread; null
// when no thread or no memory is to be had for it.
C2DHoledPolygonSet* RecordToHoledPolygonsHelped(const ShapeRecord& record,
                                                CProgressUpdater* progress, unsigned fromPercent,
                                                unsigned toPercent) {
    CHoleOwners found;
    bool foundAll = false;
    std::vector<std::unique_ptr<C2DPolygon>> rims;
    std::vector<std::unique_ptr<C2DPolygon>> holes;
    {
        // Held in place, not on the heap: once the thread runs, nothing may
        // throw before its holder joins it.
        std::optional<CJoiningThread> finder;
        try {
            finder.emplace(std::thread([&] {
                try {
                    CFlatRecordSplitter splitter;
                    CFlatRingStore store;
                    foundAll = splitter.Split(record, store, found);
                } catch (const std::bad_alloc&) {
                }
                found.finished.store(true, std::memory_order_release);
            }));
        } catch (const std::system_error&) {
            return nullptr;
        }
        // The same rims and holes as SplitRecord makes, told apart by the
        // same area. Making them moves the first half of the record's share
        // of the bar, the helper's progress the second.
        const unsigned halfway = fromPercent + (toPercent - fromPercent) / 2;
        CRecordProgress making(record, progress, fromPercent, halfway);
        std::vector<double> reversed;
        for (int32_t i = 0; i < record.numParts; ++i) {
            unsigned count = 0;
            const double* points = PartPoints(record, i, count);
            if (rims.empty() || AreaOfPoints(points, count) < 0.0) {
                rims.push_back(std::make_unique<C2DPolygon>());
                rims.back()->Create(points, count);
            } else {
                holes.push_back(MakeHole(points, count, reversed));
            }
            making.ReportUpTo(PartEnd(record, i));
        }
        CRecordProgress finding(record, progress, halfway, toPercent);
        while (!found.finished.load(std::memory_order_acquire)) {
            std::this_thread::sleep_for(HelperPoll);
            const double share = holes.empty() ? 1.0
                                               : static_cast<double>(found.taken.load()) /
                                                     static_cast<double>(holes.size());
            finding.ReportUpTo(static_cast<int32_t>(share * record.numPoints));
        }
    }
    if (!foundAll || found.owners.size() != holes.size()) {
        return nullptr;
    }
    auto* set = new C2DHoledPolygonSet;
    std::vector<C2DHoledPolygon*> holedPolygons;
    holedPolygons.reserve(rims.size());
    for (std::unique_ptr<C2DPolygon>& rim : rims) {
        auto* holedPolygon = new C2DHoledPolygon;
        set->Add(holedPolygon);
        holedPolygon->SetRim(rim.release());
        holedPolygons.push_back(holedPolygon);
    }
    for (std::size_t k = 0; k < holes.size(); ++k) {
        holedPolygons[found.owners[k]]->AddHole(holes[k].release());
    }
    return set;
}

} // namespace

C2DHoledPolygonSet* RecordToHoledPolygons(const ShapeRecord& record, CProgressUpdater* progress,
                                          unsigned fromPercent, unsigned toPercent) {
    if (record.numParts >= HelpedParts) {
        if (C2DHoledPolygonSet* set =
                RecordToHoledPolygonsHelped(record, progress, fromPercent, toPercent)) {
            return set;
        }
    }
    CHoleLists holes;
    std::vector<std::unique_ptr<C2DPolygon>> rims =
        SplitRecord(record, holes, progress, fromPercent, toPercent);
    auto* set = new C2DHoledPolygonSet;
    for (std::size_t r = 0; r < rims.size(); ++r) {
        auto* holedPolygon = new C2DHoledPolygon;
        set->Add(holedPolygon);
        holedPolygon->SetRim(rims[r].release());
        if (r < holes.lists.size()) {
            for (std::unique_ptr<C2DPolygon>& hole : holes.lists[r]) {
                holedPolygon->AddHole(hole.release());
            }
        }
    }
    return set;
}

CShapefileRecordReader::~CShapefileRecordReader() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

bool CShapefileRecordReader::Open(const char* path, CMapFileError* error) {
    if (path == nullptr) {
        ReportOpenFailure(error, ENOENT);
        return false;
    }
    struct stat info;
    if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
        ReportOpenFailure(error, EISDIR);
        return false;
    }
    file = std::fopen(path, "rb");
    if (file == nullptr) {
        ReportOpenFailure(error, errno);
        return false;
    }
    // A buffer no larger than the file: small files are read often (tests,
    // fuzzing) and should not pay for a large one.
    std::size_t bufferSize = ReadBufferSize;
    if (fstat(fileno(file), &info) == 0 && info.st_size >= 0 &&
        static_cast<uint64_t>(info.st_size) < bufferSize) {
        bufferSize = std::max<std::size_t>(static_cast<std::size_t>(info.st_size), 4096);
    }
    buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    std::setvbuf(file, buffer.get(), _IOFBF, bufferSize);
    if (fseeko(file, 0, SEEK_END) == 0) {
        fileSize = ftello(file);
    }
    shapeType = -1;
    if (fileSize < 0 || !SeekTo(file, 0) || !ReadShapefileHeader(file, &shapeType)) {
        std::fclose(file);
        file = nullptr;
        if (shapeType < 0) {
            ReportProblem(error, MapFileProblem::NotAShapefile);
        } else {
            ReportProblem(error, MapFileProblem::NotAPolygonShapefile);
            if (error != nullptr) {
                error->shapeType = shapeType;
            }
        }
        return false;
    }
    return true;
}

bool CShapefileRecordReader::Next(ShapeRecord& record, RecordReading& reading) {
    record.Clear();
    if (file == nullptr || finished) {
        return false;
    }
    const int64_t position = ftello(file);
    if (position < 0 || position >= fileSize) {
        finished = true;
        return false;
    }
    ++recordNumber;
    reading = ReadPolygonRecord(file, fileSize, record, shapeType);
    if ((reading == RecordReading::Unreadable || reading == RecordReading::End) &&
        firstUnreadable == 0) {
        firstUnreadable = int64_t{recordNumber} + 1;
    }
    if (reading != RecordReading::Polygon) {
        record.Clear();
    }
    finished = reading == RecordReading::End;
    return true;
}

unsigned CShapefileRecordReader::GetPercent() const {
    if (file == nullptr || fileSize <= 0) {
        return 100;
    }
    const int64_t now = ftello(file);
    const int64_t at = now < 0 ? fileSize : std::min(now, fileSize);
    return static_cast<unsigned>(at * 100.0 / fileSize);
}

bool CShapefileRecordReader::CheckAnyRead(bool anyPolygon, CMapFileError* error) const {
    // A file whose records were all broken is no map, not an empty one.
    if (!anyPolygon && firstUnreadable != 0) {
        ReportProblem(error, MapFileProblem::UnreadableRecord);
        if (error != nullptr) {
            error->record = firstUnreadable;
        }
        return false;
    }
    return true;
}

bool ReadShapefile(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                   CMapAttributes* attributes, CMapFileError* error) {
    CShapefileRecordReader reader;
    if (!reader.Open(path, error)) {
        return false;
    }
    if (attributes != nullptr) {
        attributes->Clear();
        // Holed polygons already in the content came from no record here.
        attributes->featureRecords.assign(content.GetSize(), -1);
    }
    const unsigned sizeBefore = content.GetSize();
    ShapeRecord record;
    RecordReading reading = RecordReading::End;
    unsigned percentBefore = 0;
    while (reader.Next(record, reading)) {
        if (reading == RecordReading::Polygon) {
            // A large record moves the bar while it is split, up to where
            // reading it has taken the file.
            std::unique_ptr<C2DHoledPolygonSet> set(
                RecordToHoledPolygons(record, progress, percentBefore, reader.GetPercent()));
            content.ExtractHoledPolys(*set);
            if (attributes != nullptr) {
                attributes->featureRecords.resize(content.GetSize(), reader.GetRecordNumber());
            }
        }
        percentBefore = reader.GetPercent();
        if (progress != nullptr) {
            progress->UpdateProgress(percentBefore);
        }
        record.Clear();
    }
    if (!reader.CheckAnyRead(content.GetSize() != sizeBefore, error)) {
        return false;
    }
    if (attributes != nullptr) {
        ReadAttributeTable(path, *attributes);
    }
    return true;
}

namespace {

// Equal coordinates, or the same bits (so that a ring ending on a NaN point
// equal to its first counts as closed and is not closed again).
bool SamePoint(double x0, double y0, double x1, double y1) {
    const auto same = [](double a, double b) {
        return a == b || std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
    };
    return same(x0, x1) && same(y0, y1);
}

// Sizes are counted in 16-bit words in signed 32-bit fields: a record or
// file too big for them cannot be written.
constexpr int64_t MaxWords = std::numeric_limits<int32_t>::max();
// Where the header keeps the file length and the bounding box.
constexpr long HeaderLengthOffset = 24;
constexpr long HeaderBoxOffset = 36;

} // namespace

bool NeedsClosingPoint(const CRingPoints& ring) {
    if (ring.starts.empty()) {
        return false;
    }
    const CPointXY& first = ring.starts.front();
    const CPointXY& last = ring.starts.back();
    return !SamePoint(first.x, first.y, last.x, last.y);
}

CShapefileRecordWriter::CShapefileRecordWriter(std::FILE* file) : file(file) {
    // The header goes out now with the box and the length left zero; Finish
    // fills them in once every record is known.
    unsigned char header[ShapefileHeaderSize] = {};
    PutBigEndian32(header, ShapefileCode);
    PutLittleEndian32(header + 28, ShapefileVersion);
    PutLittleEndian32(header + 32, ShapeTypePolygon);
    ok = file != nullptr && std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

namespace {

// The largest records hold a couple of hundred thousand small holes, each
// ring's points in a block of its own somewhere in memory: the ends of the
// rings this many ahead are asked for early, so that their cache misses
// overlap the work on the rings before them.
constexpr std::size_t ClosingLookAhead = 16;

void PrefetchEnds(const CRingPoints& ring) {
    if (!ring.starts.empty()) {
        __builtin_prefetch(ring.starts.data());
        __builtin_prefetch(&ring.starts.back());
    }
}

} // namespace

void CShapefileRecordWriter::Write(const CHoledPolygonPoints& holedPolygon) {
    if (!ok) {
        return;
    }
    // The record goes out as HoledPolygonToRecord lays it out, ring by ring,
    // without a copy of all its points: a record may hold a sixth of a
    // detailed map. Its header and part table are laid out first and filled
    // in as the rings are measured.
    const std::size_t partCount = holedPolygon.holes.size() + 1;
    const std::size_t recordStart = used;
    Extend(52 + 4 * partCount);
    C2DRect polygonBounds;
    const std::size_t pointCount =
        MeasureRings(holedPolygon, buffer.get() + recordStart + 52, polygonBounds);
    // The file's box is the first holed polygon's grown by every later one,
    // as the content's bounds are taken, whether or not its record fits.
    if (number == 0) {
        bounds.Set(polygonBounds.topLeft.x, polygonBounds.topLeft.y, polygonBounds.bottomRight.x,
                   polygonBounds.bottomRight.y);
    } else {
        bounds.ExpandToInclude(polygonBounds);
    }
    const int64_t contentWords =
        22 + 2 * static_cast<int64_t>(partCount) + 8 * static_cast<int64_t>(pointCount);
    totalBytes += RecordHeaderSize + 2 * contentWords;
    if (contentWords > MaxWords || totalBytes / 2 > MaxWords) {
        used = recordStart;
        ok = false;
        return;
    }
    unsigned char* p = buffer.get() + recordStart;
    PutBigEndian32(p, ++number);
    PutBigEndian32(p + 4, static_cast<int32_t>(contentWords));
    PutLittleEndian32(p + 8, ShapeTypePolygon);
    PutLittleEndianDouble(p + 12, polygonBounds.topLeft.x);
    PutLittleEndianDouble(p + 20, polygonBounds.bottomRight.y);
    PutLittleEndianDouble(p + 28, polygonBounds.bottomRight.x);
    PutLittleEndianDouble(p + 36, polygonBounds.topLeft.y);
    PutLittleEndian32(p + 44, static_cast<int32_t>(partCount));
    PutLittleEndian32(p + 48, static_cast<int32_t>(pointCount));
    if (holedPolygon.hasRim) {
        AppendClosedRing(holedPolygon.rim, false, closing[0] != 0);
    }
    // Holes are held clockwise; the file wants them anticlockwise: each goes
    // out as its closed ring backwards, which starts and ends on the same
    // first point.
    const std::size_t holeCount = holedPolygon.holes.size();
    for (std::size_t k = 0; k < holeCount; ++k) {
        if (k + ClosingLookAhead < holeCount) {
            PrefetchEnds(holedPolygon.holes[k + ClosingLookAhead]);
        }
        AppendClosedRing(holedPolygon.holes[k], true, closing[k + 1] != 0);
    }
    Flush();
}

std::size_t CShapefileRecordWriter::MeasureRings(const CHoledPolygonPoints& holedPolygon,
                                                 unsigned char* parts, C2DRect& polygonBounds) {
    const std::size_t holeCount = holedPolygon.holes.size();
    closing.resize(holeCount + 1);
    // Part k starts after the closed rings before it; the rim is part 0,
    // and an empty rim (none) takes no points.
    std::size_t pointCount = 0;
    PutLittleEndian32(parts, 0);
    closing[0] = holedPolygon.hasRim && NeedsClosingPoint(holedPolygon.rim);
    // The bounds as C2DHoledPolyBase::GetBounds gives them: the rim's
    // rectangle grown by each hole's, all zero without a rim.
    if (holedPolygon.hasRim) {
        pointCount += holedPolygon.rim.starts.size() + closing[0];
        const CEdgeBox& rim = holedPolygon.rim.bounds;
        polygonBounds.Set(rim.left, rim.top, rim.right, rim.bottom);
    } else {
        polygonBounds.Set(0.0, 0.0, 0.0, 0.0);
    }
    for (std::size_t k = 0; k < holeCount; ++k) {
        if (k + ClosingLookAhead < holeCount) {
            PrefetchEnds(holedPolygon.holes[k + ClosingLookAhead]);
        }
        const CRingPoints& hole = holedPolygon.holes[k];
        PutLittleEndian32(parts + 4 * (k + 1), static_cast<int32_t>(pointCount));
        closing[k + 1] = NeedsClosingPoint(hole);
        pointCount += hole.starts.size() + closing[k + 1];
        if (holedPolygon.hasRim) {
            // C2DRect::ExpandToInclude of the hole's rectangle: its two
            // corners taken in, in that order.
            polygonBounds.ExpandToInclude(C2DPoint(hole.bounds.left, hole.bounds.top));
            polygonBounds.ExpandToInclude(C2DPoint(hole.bounds.right, hole.bounds.bottom));
        }
    }
    return pointCount;
}

void CShapefileRecordWriter::AppendClosedRing(const CRingPoints& ring, bool backwards,
                                              bool needsClosing) {
    const std::size_t count = ring.starts.size();
    if (count == 0) {
        return;
    }
    const CPointXY* points = ring.starts.data();
    if (!backwards) {
        AppendPoints(points, count, false);
        if (needsClosing) {
            AppendPoints(points, 1, false);
        }
        return;
    }
    if (needsClosing) {
        AppendPoints(points, 1, false);
    }
    AppendPoints(points, count, true);
}

// The points go out in runs that fill the buffer up to the next flush; the
// largest rings have hundreds of thousands of points, and the file's layout
// (x then y, little-endian) is the points' own on most machines.
void CShapefileRecordWriter::AppendPoints(const CPointXY* points, std::size_t count,
                                          bool backwards) {
    static_assert(sizeof(CPointXY) == 2 * sizeof(double));
    constexpr std::size_t PointBytes = sizeof(CPointXY);
    const auto put = [](unsigned char* out, const CPointXY& point) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &point, PointBytes);
        } else {
            PutLittleEndianDouble(out, point.x);
            PutLittleEndianDouble(out + 8, point.y);
        }
    };
    std::size_t done = 0;
    while (done < count) {
        if (used >= WriteChunk) {
            Flush();
        }
        const std::size_t room = (WriteChunk - used + PointBytes - 1) / PointBytes;
        const std::size_t run = std::min(count - done, room);
        unsigned char* out = Extend(run * PointBytes);
        if (!backwards && std::endian::native == std::endian::little) {
            std::memcpy(out, points + done, run * PointBytes);
        } else {
            for (std::size_t k = 0; k < run; ++k) {
                const std::size_t index = backwards ? count - 1 - (done + k) : done + k;
                put(out + k * PointBytes, points[index]);
            }
        }
        done += run;
    }
}

// The buffer grows without clearing the room it adds: every byte of it is
// written at once.
unsigned char* CShapefileRecordWriter::Extend(std::size_t size) {
    if (capacity - used < size) {
        const std::size_t grown = std::max(used + size, 2 * capacity);
        auto larger = std::make_unique_for_overwrite<unsigned char[]>(grown);
        if (used != 0) {
            std::memcpy(larger.get(), buffer.get(), used);
        }
        buffer = std::move(larger);
        capacity = grown;
    }
    unsigned char* at = buffer.get() + used;
    used += size;
    return at;
}

void CShapefileRecordWriter::Flush() {
    if (ok && used != 0) {
        ok = std::fwrite(buffer.get(), 1, used, file) == used;
        notWrittenBack += static_cast<int64_t>(used);
    }
    used = 0;
    StartWriteBack();
}

// A saved file is synced to disk before it replaces the old one; for the
// hundreds of megabytes of a detailed map that sync alone took a twentieth
// of a second. The system is asked to start writing each stretch to disk
// as soon as it is written, so that the final sync finds little left. Only
// a hint: a file that cannot take it (a pipe, a device) is written as ever.
void CShapefileRecordWriter::StartWriteBack() {
    if (!ok || notWrittenBack < WriteBackStep) {
        return;
    }
    ok = std::fflush(file) == 0;
    const off_t end = ftello(file);
    if (ok && end > writtenBack) {
        sync_file_range(fileno(file), writtenBack, end - writtenBack, SYNC_FILE_RANGE_WRITE);
        writtenBack = end;
    }
    notWrittenBack = 0;
}

bool CShapefileRecordWriter::Finish() {
    if (!ok) {
        return false;
    }
    unsigned char box[32];
    PutLittleEndianDouble(box, bounds.topLeft.x);
    PutLittleEndianDouble(box + 8, bounds.bottomRight.y);
    PutLittleEndianDouble(box + 16, bounds.bottomRight.x);
    PutLittleEndianDouble(box + 24, bounds.topLeft.y);
    int64_t size = -1;
    if (fseeko(file, 0, SEEK_END) == 0) {
        size = ftello(file);
    }
    unsigned char length[4];
    PutBigEndian32(length, static_cast<int32_t>(size / 2));
    ok = size >= 0 && size / 2 <= MaxWords && fseeko(file, HeaderLengthOffset, SEEK_SET) == 0 &&
         std::fwrite(length, 1, sizeof length, file) == sizeof length &&
         fseeko(file, HeaderBoxOffset, SEEK_SET) == 0 &&
         std::fwrite(box, 1, sizeof box, file) == sizeof box;
    return ok;
}

namespace {

bool WriteText(CReplacingFile* output, const std::string& text) {
    return output != nullptr &&
           std::fwrite(text.data(), 1, text.size(), output->GetFile()) == text.size();
}

// The .prj text for the content's coordinates, or null for none.
const char* CoordinateSystemText(const CMapSaveInfo* info) {
    if (info == nullptr) {
        return nullptr;
    }
    switch (info->coordinates.kind) {
    case MapCoordinates::Geographic:
        return GeographicWkt;
    case MapCoordinates::Projected:
        if (const CProjectionWkt* row = FindProjectionWkt(info->coordinates.projectionType)) {
            return row->wkt;
        }
        return nullptr;
    case MapCoordinates::Unknown:
        break;
    }
    return nullptr;
}

// Writes an optional companion (.cpg, .prj) or, when there is nothing to
// write, has a stale one removed.
bool WriteOptionalSidecar(CReplacingFileSet& files, const std::string& mainPath,
                          const char* extension, const std::string& text) {
    files.RemoveOnCommit(OtherCaseSidecarPath(mainPath, extension));
    const std::string path = SidecarPath(mainPath, extension);
    if (text.empty()) {
        files.RemoveOnCommit(path);
        return true;
    }
    return WriteText(files.Add(path), text);
}

// Runs a piece of work on a thread of its own until Wait, or at once on the
// calling thread when no thread can be started.
class CWorkOnOwnThread {
public:
    template <typename Work> explicit CWorkOnOwnThread(Work work) {
        try {
            thread = std::thread(work);
        } catch (const std::system_error&) {
            work();
        }
    }
    ~CWorkOnOwnThread() { Wait(); }
    CWorkOnOwnThread(const CWorkOnOwnThread&) = delete;
    CWorkOnOwnThread& operator=(const CWorkOnOwnThread&) = delete;

    void Wait() {
        if (thread.joinable()) {
            thread.join();
        }
    }

private:
    std::thread thread;
};

// The whole shapefile set, written holed polygon by holed polygon: the main
// file as the records come, its index, table and companions at the end.
class CShapefileSetWriter final : public CMapFileWriter {
public:
    explicit CShapefileSetWriter(const char* path) : mainPath(path) {
        shp = files.Add(mainPath);
        if (shp != nullptr) {
            records = std::make_unique<CShapefileRecordWriter>(shp->GetFile());
        }
    }

    bool WantsEdgeEnds() const override { return false; }

    void WriteHoledPolygon(const CHoledPolygonPoints& holedPolygon, int32_t record) override {
        if (records) {
            records->Write(holedPolygon);
            rowRecords.push_back(record);
        }
    }

    bool Finish(const CMapSaveInfo* info, CMapFileError* error) override {
        const CMapAttributes* attributes = info != nullptr ? info->attributes : nullptr;
        CReplacingFile* shx = files.Add(SidecarPath(mainPath, "shx"));
        files.RemoveOnCommit(OtherCaseSidecarPath(mainPath, "shx"));
        CReplacingFile* dbf = files.Add(SidecarPath(mainPath, "dbf"));
        files.RemoveOnCommit(OtherCaseSidecarPath(mainPath, "dbf"));
        // The table needs nothing from the main file: it is written beside
        // the main file's finishing and the index (for a detailed map each
        // takes a hundredth of a second).
        bool tableWritten = false;
        CWorkOnOwnThread table([&] {
            tableWritten =
                dbf != nullptr && WriteAttributeTable(dbf->GetFile(), attributes, rowRecords);
        });
        // The main file is finished (not yet moved into place) before the
        // index is made from it.
        bool ok = records && records->Finish();
        ok = shp != nullptr && shp->Finish(ok);
        ok = ok && shx != nullptr && WriteShapefileIndex(shp->GetWritingPath(), shx->GetFile());
        table.Wait();
        ok = ok && tableWritten;
        if (ok) {
            ok = WriteOptionalSidecar(files, mainPath, "cpg", CodePageFileText(attributes));
        }
        if (ok) {
            const char* coordinateSystem = CoordinateSystemText(info);
            ok = WriteOptionalSidecar(files, mainPath, "prj",
                                      coordinateSystem != nullptr ? coordinateSystem : "");
        }
        if (!files.Commit(ok)) {
            ReportWriteFailure(error, files.GetError());
            return false;
        }
        return true;
    }

private:
    std::string mainPath;
    CReplacingFileSet files;
    CReplacingFile* shp = nullptr;
    std::unique_ptr<CShapefileRecordWriter> records;
    // The source record of each record written, for its table row.
    std::vector<int32_t> rowRecords;
};

} // namespace

bool WriteShapefile(std::FILE* file, const C2DHoledPolyBaseSet& content) {
    if (file == nullptr) {
        return false;
    }
    CShapefileRecordWriter records(file);
    CHoledPolygonPoints points;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DBase& element = *content.C2DBaseSet::GetAt(i);
        if (IsHoledPolygon(element)) {
            TakeHoledPolygonPoints(static_cast<const C2DHoledPolyBase&>(element), false, points);
            records.Write(points);
        }
    }
    const bool ok = records.Finish();
    return FinishWriting(file) && ok;
}

std::unique_ptr<CMapFileWriter> OpenShapefileWriter(const char* path, CMapFileError* error) {
    if (path == nullptr || *path == '\0') {
        ReportWriteFailure(error, ENOENT);
        return nullptr;
    }
    return std::make_unique<CShapefileSetWriter>(path);
}

bool SaveShapefile(const char* path, const C2DHoledPolyBaseSet& content, const CMapSaveInfo* info,
                   CMapFileError* error) {
    std::unique_ptr<CMapFileWriter> writer = OpenShapefileWriter(path, error);
    if (!writer) {
        return false;
    }
    const CMapAttributes* attributes = info != nullptr ? info->attributes : nullptr;
    CHoledPolygonPoints points;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DBase& element = *content.C2DBaseSet::GetAt(i);
        if (!IsHoledPolygon(element)) {
            continue;
        }
        TakeHoledPolygonPoints(static_cast<const C2DHoledPolyBase&>(element), false, points);
        writer->WriteHoledPolygon(points,
                                  attributes != nullptr ? attributes->RecordOfFeature(i) : -1);
    }
    return writer->Finish(info, error);
}

CMapCoordinateState CoordinatesOfMapFile(const char* path) {
    CMapCoordinateState state;
    state.kind = MapCoordinates::Geographic;
    if (ChooseMapFileFormat(path) != MapFileFormat::Shapefile) {
        return state;
    }
    const std::string text = ReadCoordinateSystem(path);
    if (text.empty() || text.rfind("GEOGCS[", 0) == 0) {
        return state;
    }
    state.kind = MapCoordinates::Unknown;
    for (int i = 0; i < ProjectionWktCount; ++i) {
        if (text == ProjectionWktTable[i].wkt) {
            state.kind = MapCoordinates::Projected;
            state.projectionType = ProjectionWktTable[i].type;
        }
    }
    return state;
}
