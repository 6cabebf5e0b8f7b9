#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <sys/stat.h>

#include "mapfiles/HoleAssignment.h"
#include "mapfiles/MapFiles.h"
#include "mapfiles/ReplacingFile.h"
#include "mapfiles/ShapefileRecords.h"

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
    C2DRect extent;
    bool first = true;
    for (std::size_t i = 0; i + 1 < points.size(); i += 2) {
        const double x = points[i];
        const double y = points[i + 1];
        if (!std::isfinite(x) || !std::isfinite(y)) {
            continue;
        }
        if (first) {
            extent.Set(x, y, x, y);
            first = false;
        } else {
            extent.topLeft.x = std::min(extent.topLeft.x, x);
            extent.bottomRight.x = std::max(extent.bottomRight.x, x);
            extent.topLeft.y = std::max(extent.topLeft.y, y);
            extent.bottomRight.y = std::min(extent.bottomRight.y, y);
        }
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

bool ReadShapefileHeader(std::FILE* file) {
    unsigned char header[ShapefileHeaderSize];
    if (!ReadBytes(file, header, sizeof header)) {
        return false;
    }
    // Unused integers, file length, version and bounding box are not needed.
    return ReadBigEndian32(header) == ShapefileCode &&
           ReadLittleEndian32(header + 32) == ShapeTypePolygon;
}

RecordReading ReadPolygonRecord(std::FILE* file, int64_t fileSize, ShapeRecord& record) {
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
    auto skipRecord = [&]() {
        // Past an inconsistent length, reading goes on where it stands.
        if (lengthConsistent && !SeekTo(file, recordEnd)) {
            return RecordReading::End;
        }
        return RecordReading::Skipped;
    };

    if (ReadLittleEndian32(head + 8) != ShapeTypePolygon) {
        return skipRecord();
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
    // the record's content and in what is left of the file.
    if (record.numParts < 0 || record.numPoints < 0) {
        return skipRecord();
    }
    const int64_t arrayBytes =
        4 * static_cast<int64_t>(record.numParts) + 16 * static_cast<int64_t>(record.numPoints);
    const int64_t position = recordStart + RecordHeaderSize + 4 + sizeof fixed;
    if (PolygonFixedSize + arrayBytes > contentBytes || arrayBytes > fileSize - position) {
        return skipRecord();
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
        return skipRecord();
    }
    // Padding behind the arrays (a longer content length) is passed over.
    if (lengthConsistent && recordEnd != position + arrayBytes && !SeekTo(file, recordEnd)) {
        return RecordReading::End;
    }
    return RecordReading::Polygon;
}

C2DHoledPolygonSet* RecordToHoledPolygons(const ShapeRecord& record) {
    auto* set = new C2DHoledPolygonSet;
    C2DHoledPolygon* current = nullptr;
    // The assigner is only needed once a record has a second rim: while
    // there is one rim, every hole goes to it whatever IsWithin says.
    std::unique_ptr<CHoleAssigner> assigner;
    for (int32_t i = 0; i < record.numParts; ++i) {
        const int32_t first = record.parts[i];
        const int32_t end = i + 1 < record.numParts ? record.parts[i + 1] : record.numPoints;
        auto* ring = new C2DPolygon;
        ring->Create(record.points.data() + 2 * static_cast<std::size_t>(first),
                     static_cast<unsigned>(end - first));
        if (current == nullptr || ring->GetArea() < 0.0) {
            current = new C2DHoledPolygon;
            set->Add(current);
            current->SetRim(ring);
            if (assigner) {
                assigner->AddRim(*ring);
            } else if (set->GetSize() == 2) {
                assigner = std::make_unique<CHoleAssigner>(ExtentOfPoints(record.points),
                                                           static_cast<unsigned>(record.numParts));
                assigner->AddRim(*set->GetAt(0)->GetRim());
                assigner->AddRim(*ring);
            }
            continue;
        }
        ring->ReverseDirection();
        C2DHoledPolyBase* owner = current;
        if (assigner) {
            owner = set->GetAt(assigner->FindRim(*ring, set->GetSize() - 1));
        }
        owner->AddHole(ring);
    }
    return set;
}

bool ReadShapefile(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress) {
    if (path == nullptr) {
        return false;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    // A buffer no larger than the file: small files are read often (tests,
    // fuzzing) and should not pay for a large one.
    struct stat info;
    std::size_t bufferSize = ReadBufferSize;
    if (fstat(fileno(file), &info) == 0 && info.st_size >= 0 &&
        static_cast<uint64_t>(info.st_size) < bufferSize) {
        bufferSize = std::max<std::size_t>(static_cast<std::size_t>(info.st_size), 4096);
    }
    const auto buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    std::setvbuf(file, buffer.get(), _IOFBF, bufferSize);
    int64_t fileSize = -1;
    if (fseeko(file, 0, SEEK_END) == 0) {
        fileSize = ftello(file);
    }
    if (fileSize < 0 || !SeekTo(file, 0) || !ReadShapefileHeader(file)) {
        std::fclose(file);
        return false;
    }
    ShapeRecord record;
    for (;;) {
        const int64_t position = ftello(file);
        if (position < 0 || position >= fileSize) {
            break;
        }
        const RecordReading reading = ReadPolygonRecord(file, fileSize, record);
        if (reading == RecordReading::Polygon) {
            std::unique_ptr<C2DHoledPolygonSet> set(RecordToHoledPolygons(record));
            content.ExtractHoledPolys(*set);
        }
        if (progress != nullptr) {
            const int64_t now = ftello(file);
            const int64_t at = now < 0 ? fileSize : std::min(now, fileSize);
            progress->UpdateProgress(static_cast<unsigned>(at * 100.0 / fileSize));
        }
        record.Clear();
        if (reading == RecordReading::End) {
            break;
        }
    }
    std::fclose(file);
    return true;
}

void HoledPolygonToRecord(const C2DHoledPolyBase& holedPolygon, ShapeRecord& record) {
    record.Clear();
    record.numPoints = static_cast<int32_t>(holedPolygon.GetTotalLineCount());
    record.numParts = static_cast<int32_t>(holedPolygon.GetHoleCount() + 1);
    record.parts.reserve(static_cast<std::size_t>(record.numParts));
    record.points.reserve(2 * static_cast<std::size_t>(holedPolygon.GetTotalLineCount()));
    auto addStart = [&record](const C2DLineBase& edge) {
        const C2DPoint start = edge.GetStart();
        record.points.push_back(start.x);
        record.points.push_back(start.y);
    };
    record.parts.push_back(0);
    if (const C2DPolyBase* rim = holedPolygon.GetRim()) {
        for (unsigned k = 0; k < rim->GetLineCount(); ++k) {
            addStart(*rim->GetLine(k));
        }
    }
    // Holes are held clockwise; the file wants them anticlockwise.
    for (unsigned j = 0; j < holedPolygon.GetHoleCount(); ++j) {
        record.parts.push_back(static_cast<int32_t>(record.points.size() / 2));
        const C2DPolyBase* hole = holedPolygon.GetHole(j);
        for (unsigned k = hole->GetLineCount(); k-- > 0;) {
            addStart(*hole->GetLine(k));
        }
    }
    C2DRect bounds;
    holedPolygon.GetBounds(bounds);
    record.box[0] = bounds.topLeft.x;
    record.box[1] = bounds.bottomRight.y;
    record.box[2] = bounds.bottomRight.x;
    record.box[3] = bounds.topLeft.y;
}

namespace {

bool IsHoledPolygon(const C2DBase& element) {
    const int32_t type = element.GetType();
    return type == GeometryType::HoledPolyBase || type == GeometryType::HoledPolygon ||
           type == GeometryType::HoledPolyArc;
}

// Lays out one record: header, shape type, box, counts, parts, points.
void EncodeRecord(const ShapeRecord& record, int32_t number, int32_t contentWords,
                  std::vector<unsigned char>& bytes) {
    bytes.assign(RecordHeaderSize + 2 * static_cast<std::size_t>(contentWords), 0);
    unsigned char* p = bytes.data();
    PutBigEndian32(p, number);
    PutBigEndian32(p + 4, contentWords);
    PutLittleEndian32(p + 8, ShapeTypePolygon);
    for (int i = 0; i < 4; ++i) {
        PutLittleEndianDouble(p + 12 + 8 * i, record.box[i]);
    }
    PutLittleEndian32(p + 44, record.numParts);
    PutLittleEndian32(p + 48, record.numPoints);
    p += 52;
    for (const int32_t part : record.parts) {
        PutLittleEndian32(p, part);
        p += 4;
    }
    for (const double value : record.points) {
        PutLittleEndianDouble(p, value);
        p += 8;
    }
}

} // namespace

bool WriteShapefile(std::FILE* file, const C2DHoledPolyBaseSet& content) {
    if (file == nullptr) {
        return false;
    }
    unsigned char header[ShapefileHeaderSize] = {};
    PutBigEndian32(header, ShapefileCode);
    PutLittleEndian32(header + 28, ShapefileVersion);
    PutLittleEndian32(header + 32, ShapeTypePolygon);
    C2DRect bounds;
    content.GetBounds(bounds);
    PutLittleEndianDouble(header + 36, bounds.topLeft.x);
    PutLittleEndianDouble(header + 44, bounds.bottomRight.y);
    PutLittleEndianDouble(header + 52, bounds.bottomRight.x);
    PutLittleEndianDouble(header + 60, bounds.topLeft.y);
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;

    // Sizes are counted in 16-bit words in signed 32-bit fields: a record or
    // file too big for them cannot be written.
    constexpr int64_t MaxWords = std::numeric_limits<int32_t>::max();
    int64_t totalBytes = ShapefileHeaderSize;
    int32_t number = 0;
    ShapeRecord record;
    std::vector<unsigned char> bytes;
    for (unsigned i = 0; ok && i < content.GetSize(); ++i) {
        const C2DBase& element = *content.C2DBaseSet::GetAt(i);
        if (!IsHoledPolygon(element)) {
            continue;
        }
        const auto& holedPolygon = static_cast<const C2DHoledPolyBase&>(element);
        const int64_t contentWords = 22 +
                                     2 * static_cast<int64_t>(holedPolygon.GetHoleCount() + 1) +
                                     8 * static_cast<int64_t>(holedPolygon.GetTotalLineCount());
        totalBytes += RecordHeaderSize + 2 * contentWords;
        if (contentWords > MaxWords || totalBytes / 2 > MaxWords) {
            ok = false;
            break;
        }
        HoledPolygonToRecord(holedPolygon, record);
        EncodeRecord(record, ++number, static_cast<int32_t>(contentWords), bytes);
        ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    // The file length goes into the header once the records are written.
    if (ok) {
        int64_t size = -1;
        if (fseeko(file, 0, SEEK_END) == 0) {
            size = ftello(file);
        }
        unsigned char length[4];
        PutBigEndian32(length, static_cast<int32_t>(size / 2));
        ok = size >= 0 && size / 2 <= MaxWords && fseeko(file, 24, SEEK_SET) == 0 &&
             std::fwrite(length, 1, sizeof length, file) == sizeof length;
    }
    return FinishWriting(file) && ok;
}

bool SaveShapefile(const char* path, const C2DHoledPolyBaseSet& content) {
    CReplacingFile output;
    if (!output.Open(path)) {
        return false;
    }
    const bool written = WriteShapefile(output.GetFile(), content);
    output.Released();
    return output.Commit(written);
}
