#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <locale.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

#include "mapfiles/MapFileProblems.h"
#include "mapfiles/MapFileStreams.h"
#include "mapfiles/MapFiles.h"
#include "mapfiles/ReplacingFile.h"
#include "mapfiles/TextMapRings.h"

bool useTextMapFormat2 = false;

namespace {

// Numbers are written and read with a full stop whatever locale the program
// runs in (a desktop program usually adopts the user's, which may use a
// comma): the scanning below runs under the "C" locale for this thread only.
class CCLocaleScope {
public:
    CCLocaleScope() {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
        if (cLocale != nullptr) {
            previous = uselocale(cLocale);
        }
    }
    ~CCLocaleScope() {
        if (previous != nullptr) {
            uselocale(previous);
        }
    }
    CCLocaleScope(const CCLocaleScope&) = delete;
    CCLocaleScope& operator=(const CCLocaleScope&) = delete;

private:
    locale_t previous = nullptr;
};

// Reads one line into the buffer, newline removed. False when nothing could
// be read: end of file, a read error, or a line too long for the buffer.
bool ReadLine(std::istream& stream, char (&line)[TextMapLineBuffer], std::size_t& length) {
    stream.getline(line, TextMapLineBuffer);
    if (stream.fail()) {
        return false;
    }
    const auto extracted = static_cast<std::size_t>(stream.gcount());
    // The newline was extracted (and counted) unless the line ended the file.
    length = (!stream.eof() && extracted > 0) ? extracted - 1 : extracted;
    return true;
}

bool HasVisibleText(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    int c;
    while ((c = std::fgetc(file)) != EOF && std::isspace(c)) {
    }
    std::fclose(file);
    return c != EOF;
}

// From here on a number is written in the exponent form.
constexpr double ExponentFormFrom = 1e19;

} // namespace

std::size_t FormatTextMapNumber(double value, char (&text)[TextMapNumberLength + 1]) {
    // Fixed notation with 10 decimals, fewer when the integer part leaves no
    // room for all of them; below 1e19 in size no decimals at all always fit.
    if (!(std::fabs(value) >= ExponentFormFrom)) {
        char fixed[40];
        for (int decimals = TextMapDecimals; decimals >= 0; --decimals) {
            const auto result = std::to_chars(fixed, fixed + sizeof fixed, value,
                                              std::chars_format::fixed, decimals);
            if (result.ec != std::errc{}) {
                return 0;
            }
            const auto length = static_cast<std::size_t>(result.ptr - fixed);
            if (length <= TextMapNumberLength) {
                std::memcpy(text, fixed, length);
                return length;
            }
        }
    }
    // The exponent form: the shortest that reads back to the same value when
    // it fits, else as many significant digits as fit.
    auto result = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::scientific);
    for (int precision = 16; result.ec != std::errc{} && precision >= 0; --precision) {
        result = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::scientific,
                               precision);
    }
    if (result.ec != std::errc{}) {
        return 0;
    }
    return static_cast<std::size_t>(result.ptr - text);
}

void CTextMapWriter::Put(const char* text, std::size_t size) {
    if (ok && std::fwrite(text, 1, size, file) != size) {
        ok = false;
    }
}

void CTextMapWriter::PutNumber(double value) {
    char text[TextMapNumberLength + 1];
    const std::size_t length = FormatTextMapNumber(value, text);
    if (length == 0) {
        ok = false;
        return;
    }
    Put(text, length);
}

void CTextMapWriter::PutPoint(const CPointXY& point) {
    PutNumber(point.x);
    Put("\t", 1);
    PutNumber(point.y);
}

void CTextMapWriter::PutArcData(const CArcPoints* arc) {
    if (arc == nullptr) {
        return;
    }
    Put("\t", 1);
    PutNumber(arc->radius);
    Put(arc->centreOnRight ? "\t1" : "\t0", 2);
    Put(arc->arcOnRight ? "\t1" : "\t0", 2);
}

void CTextMapWriter::WriteRingV1(const CRingPoints& ring) {
    std::size_t nextArc = 0;
    for (unsigned k = 0; k < ring.GetEdgeCount(); ++k) {
        PutPoint(ring.starts[k]);
        PutArcData(ring.ArcAt(k, nextArc));
        Put("\n", 1);
    }
    Put("\n", 1);
}

void CTextMapWriter::WriteRingV2(const CRingPoints& ring) {
    const unsigned count = ring.GetEdgeCount();
    if (count == 0) {
        return;
    }
    if (ring.ends.size() != count) {
        ok = false; // taken without its ends
        return;
    }
    PutPoint(ring.starts[0]);
    Put("\n", 1);
    std::size_t nextArc = 0;
    for (unsigned k = 0; k < count; ++k) {
        PutPoint(ring.ends[k]);
        PutArcData(ring.ArcAt(k, nextArc));
        Put("\n", 1);
    }
    Put("\n", 1);
}

void CTextMapWriter::WriteRing(const CRingPoints& ring) {
    if (useTextMapFormat2) {
        WriteRingV2(ring);
    } else {
        WriteRingV1(ring);
    }
}

void CTextMapWriter::WriteHoledPolygon(const CHoledPolygonPoints& holedPolygon) {
    if (!holedPolygon.hasRim) {
        return;
    }
    Put("(+)\n", 4);
    WriteRing(holedPolygon.rim);
    for (const CRingPoints& hole : holedPolygon.holes) {
        Put("(-)\n", 4);
        WriteRing(hole);
    }
}

namespace {

class CTextMapFileWriter final : public CMapFileWriter {
public:
    bool Open(const char* path, CMapFileError* error) {
        if (!output.Open(path)) {
            ReportWriteFailure(error, output.GetError());
            return false;
        }
        writer = std::make_unique<CTextMapWriter>(output.GetFile());
        return true;
    }

    bool IsOk() const { return writer->IsOk(); }
    bool WantsEdgeEnds() const override { return useTextMapFormat2; }

    void WriteHoledPolygon(const CHoledPolygonPoints& holedPolygon, int32_t) override {
        writer->WriteHoledPolygon(holedPolygon);
    }

    void WriteRing(const CRingPoints& ring) { writer->WriteRing(ring); }

    bool Finish(const CMapSaveInfo*, CMapFileError* error) override {
        if (!output.Commit(writer->IsOk())) {
            ReportWriteFailure(error, output.GetError());
            return false;
        }
        return true;
    }

private:
    CReplacingFile output;
    std::unique_ptr<CTextMapWriter> writer;
};

bool IsRing(const C2DBase& element) {
    const int32_t type = element.GetType();
    return type == GeometryType::PolyBase || type == GeometryType::Polygon ||
           type == GeometryType::PolyArc;
}

} // namespace

std::unique_ptr<CMapFileWriter> OpenTextMapWriter(const char* path, CMapFileError* error) {
    auto writer = std::make_unique<CTextMapFileWriter>();
    if (!writer->Open(path, error)) {
        return nullptr;
    }
    return writer;
}

bool WriteTextMap(const char* path, const C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                  CMapFileError* error) {
    CTextMapFileWriter writer;
    if (!writer.Open(path, error)) {
        return false;
    }
    const bool withEnds = writer.WantsEdgeEnds();
    CHoledPolygonPoints holedPoints;
    CRingPoints ringPoints;
    const unsigned n = content.GetSize();
    for (unsigned i = 0; i < n && writer.IsOk(); ++i) {
        const C2DBase& element = *content.C2DBaseSet::GetAt(i);
        if (IsHoledPolygon(element)) {
            TakeHoledPolygonPoints(static_cast<const C2DHoledPolyBase&>(element), withEnds,
                                   holedPoints);
            writer.WriteHoledPolygon(holedPoints, -1);
        } else if (IsRing(element)) {
            TakeRingPoints(static_cast<const C2DPolyBase&>(element), withEnds, ringPoints);
            writer.WriteRing(ringPoints);
        }
        if (progress != nullptr) {
            progress->UpdateProgress(static_cast<unsigned>(uint64_t{i} * 100 / n));
        }
    }
    return writer.Finish(nullptr, error);
}

bool FindRingHeader(std::istream& stream, bool& isHole) {
    char line[TextMapLineBuffer];
    std::size_t length = 0;
    while (stream.good()) {
        if (!ReadLine(stream, line, length)) {
            return false;
        }
        if (length >= 3 && line[0] == '(' && line[2] == ')') {
            isHole = line[1] == '-';
            return true;
        }
    }
    return false;
}

// Reads the next line of a ring body and parses it with TextMapLineFormat.
// False at the end of the body: no line could be read, or the line does not
// begin with two numbers. Fields the line does not give keep their values.
static bool ReadPointLine(std::istream& stream, double& x, double& y, double& radius, int& flag1,
                          int& flag2) {
    char line[TextMapLineBuffer];
    std::size_t length = 0;
    if (!stream.good() || !ReadLine(stream, line, length)) {
        return false;
    }
    return std::sscanf(line, TextMapLineFormat, &x, &y, &radius, &flag1, &flag2) >= 2;
}

std::unique_ptr<C2DPolyArc> ReadRingV1(std::istream& stream, bool& isHole) {
    if (!FindRingHeader(stream, isHole)) {
        return nullptr;
    }
    CCLocaleScope cLocale;
    std::unique_ptr<C2DPolyArc> ring;
    // The flags keep their values from line to line when a line has none.
    int flag1 = 0;
    int flag2 = 0;
    double previousRadius = 0.0;
    bool previousFlag1 = false;
    bool previousFlag2 = false;
    double x = 0.0;
    double y = 0.0;
    for (;;) {
        // In version 1 a line without a radius is a straight edge.
        double radius = 0.0;
        if (!ReadPointLine(stream, x, y, radius, flag1, flag2)) {
            break;
        }
        const C2DPoint vertex(x, y);
        if (!ring) {
            ring = std::make_unique<C2DPolyArc>();
            ring->SetStartPoint(vertex);
        } else if (previousRadius != 0.0) {
            // Version 1 lists an arc's data on the line of its start point.
            ring->ArcTo(vertex, previousFlag1, previousFlag2, previousRadius);
        } else {
            ring->LineTo(vertex);
        }
        previousRadius = radius;
        previousFlag1 = flag1 == 1;
        previousFlag2 = flag2 == 1;
    }
    if (ring) {
        if (previousRadius != 0.0) {
            ring->CloseWithArc(previousFlag1, previousFlag2, previousRadius);
        } else {
            ring->Close();
        }
    }
    return ring;
}

std::unique_ptr<C2DPolyArc> ReadRingV2(std::istream& stream, bool& isHole) {
    if (!FindRingHeader(stream, isHole)) {
        return nullptr;
    }
    CCLocaleScope cLocale;
    std::unique_ptr<C2DPolyArc> ring;
    // The radius is only cleared by the arc that uses it, so one given on the
    // start-point line applies to the next edge.
    double radius = 0.0;
    int flag1 = 0;
    int flag2 = 0;
    double x = 0.0;
    double y = 0.0;
    while (ReadPointLine(stream, x, y, radius, flag1, flag2)) {
        const C2DPoint vertex(x, y);
        if (!ring) {
            ring = std::make_unique<C2DPolyArc>();
            ring->SetStartPoint(vertex);
        } else if (radius != 0.0) {
            // Version 2 lists an arc's data on the line of its end point.
            ring->ArcTo(vertex, flag1 == 1, flag2 == 1, radius);
            radius = 0.0;
        } else {
            ring->LineTo(vertex);
        }
    }
    if (ring) {
        ring->Close();
    }
    return ring;
}

bool CTextMapReader::Open(const char* path, CMapFileError* error) {
    if (path == nullptr) {
        ReportOpenFailure(error, ENOENT);
        return false;
    }
    // A folder opens like a file here but cannot be read as one.
    struct stat info;
    if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
        ReportOpenFailure(error, EISDIR);
        return false;
    }
    this->path = path;
    errno = 0;
    stream.open(path);
    if (!stream.is_open()) {
        ReportOpenFailure(error, errno != 0 ? errno : ENOENT);
        return false;
    }
    stream.seekg(0, std::ios::end);
    fileLength = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (!stream.good()) {
        ReportOpenFailure(error, EIO);
        return false;
    }
    return true;
}

std::unique_ptr<C2DPolyArc> CTextMapReader::ReadRing(bool& isHole) {
    return useTextMapFormat2 ? ReadRingV2(stream, isHole) : ReadRingV1(stream, isHole);
}

std::unique_ptr<C2DHoledPolyBase> CTextMapReader::Next() {
    bool isHole = false;
    // A hole before any rim has nothing to belong to and is dropped.
    while (!nextRim && !ended) {
        std::unique_ptr<C2DPolyArc> ring = ReadRing(isHole);
        if (!ring) {
            ended = true;
        } else if (!isHole) {
            nextRim = std::move(ring);
        }
    }
    if (!nextRim) {
        return nullptr;
    }
    auto holedPolyArc = std::make_unique<C2DHoledPolyArc>();
    holedPolyArc->SetRim(nextRim.release());
    while (!ended) {
        std::unique_ptr<C2DPolyArc> ring = ReadRing(isHole);
        if (!ring) {
            ended = true;
        } else if (isHole) {
            holedPolyArc->AddHole(ring.release());
        } else {
            nextRim = std::move(ring);
            break;
        }
    }
    // Straight-edged shapes are handed over as plain holed polygons.
    if (holedPolyArc->HasArcs()) {
        return holedPolyArc;
    }
    return std::make_unique<C2DHoledPolygon>(*holedPolyArc);
}

unsigned CTextMapReader::GetPercent() {
    // At the end of the file the position is unavailable: 100 then.
    const std::streamoff position = stream.tellg();
    if (position >= 0 && fileLength > 0) {
        return static_cast<unsigned>(static_cast<uint64_t>(position) * 100 /
                                     static_cast<uint64_t>(fileLength));
    }
    return 100;
}

bool CTextMapReader::CheckAnyRead(bool anyHoledPolygon, CMapFileError* error) const {
    // Text that holds no ring at all is no map; only a file with nothing in
    // it but white space is an empty one.
    if (!anyHoledPolygon && HasVisibleText(path.c_str())) {
        ReportProblem(error, MapFileProblem::NoShapes);
        return false;
    }
    return true;
}

bool ReadTextMap(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                 CMapFileError* error) {
    CTextMapReader reader;
    if (!reader.Open(path, error)) {
        return false;
    }
    bool any = false;
    while (std::unique_ptr<C2DHoledPolyBase> holedPolygon = reader.Next()) {
        content.Add(holedPolygon.release());
        any = true;
        if (progress != nullptr) {
            progress->UpdateProgress(reader.GetPercent());
        }
    }
    return reader.CheckAnyRead(any, error);
}
