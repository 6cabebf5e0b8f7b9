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

void CTextMapWriter::PutPoint(const C2DPoint& point) {
    PutNumber(point.x);
    Put("\t", 1);
    PutNumber(point.y);
}

void CTextMapWriter::PutArcData(const C2DLineBase& edge) {
    if (edge.GetType() != GeometryType::Arc) {
        return;
    }
    const auto& arc = static_cast<const C2DArc&>(edge);
    Put("\t", 1);
    PutNumber(arc.radius);
    Put(arc.centreOnRight ? "\t1" : "\t0", 2);
    Put(arc.arcOnRight ? "\t1" : "\t0", 2);
}

void CTextMapWriter::WriteRingV1(const C2DPolyBase& ring) {
    for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
        const C2DLineBase& edge = *ring.GetLine(k);
        PutPoint(edge.GetStart());
        PutArcData(edge);
        Put("\n", 1);
    }
    Put("\n", 1);
}

void CTextMapWriter::WriteRingV2(const C2DPolyBase& ring) {
    const unsigned count = ring.GetLineCount();
    if (count == 0) {
        return;
    }
    PutPoint(ring.GetLine(0)->GetStart());
    Put("\n", 1);
    for (unsigned k = 0; k < count; ++k) {
        const C2DLineBase& edge = *ring.GetLine(k);
        PutPoint(edge.GetEnd());
        PutArcData(edge);
        Put("\n", 1);
    }
    Put("\n", 1);
}

void CTextMapWriter::WriteRing(const C2DPolyBase& ring) {
    if (useTextMapFormat2) {
        WriteRingV2(ring);
    } else {
        WriteRingV1(ring);
    }
}

void CTextMapWriter::WriteHoledPolygon(const C2DHoledPolyBase& holedPolygon) {
    const C2DPolyBase* rim = holedPolygon.GetRim();
    if (rim == nullptr) {
        return;
    }
    Put("(+)\n", 4);
    WriteRing(*rim);
    for (unsigned j = 0; j < holedPolygon.GetHoleCount(); ++j) {
        Put("(-)\n", 4);
        WriteRing(*holedPolygon.GetHole(j));
    }
}

bool WriteTextMap(const char* path, const C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                  CMapFileError* error) {
    CReplacingFile output;
    if (!output.Open(path)) {
        ReportWriteFailure(error, output.GetError());
        return false;
    }
    CTextMapWriter writer(output.GetFile());
    const unsigned n = content.GetSize();
    for (unsigned i = 0; i < n && writer.IsOk(); ++i) {
        const C2DBase& element = *content.C2DBaseSet::GetAt(i);
        switch (element.GetType()) {
        case GeometryType::HoledPolyBase:
        case GeometryType::HoledPolygon:
        case GeometryType::HoledPolyArc:
            writer.WriteHoledPolygon(static_cast<const C2DHoledPolyBase&>(element));
            break;
        case GeometryType::PolyBase:
        case GeometryType::Polygon:
        case GeometryType::PolyArc:
            writer.WriteRing(static_cast<const C2DPolyBase&>(element));
            break;
        default:
            break;
        }
        if (progress != nullptr) {
            progress->UpdateProgress(static_cast<unsigned>(uint64_t{i} * 100 / n));
        }
    }
    if (!output.Commit(writer.IsOk())) {
        ReportWriteFailure(error, output.GetError());
        return false;
    }
    return true;
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

bool ReadTextMap(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                 CMapFileError* error) {
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
    errno = 0;
    std::ifstream stream(path);
    if (!stream.is_open()) {
        ReportOpenFailure(error, errno != 0 ? errno : ENOENT);
        return false;
    }
    stream.seekg(0, std::ios::end);
    const std::streamoff fileLength = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (!stream.good()) {
        ReportOpenFailure(error, EIO);
        return false;
    }

    std::vector<std::unique_ptr<C2DHoledPolyArc>> working;
    C2DHoledPolyArc* current = nullptr;
    for (;;) {
        bool isHole = false;
        std::unique_ptr<C2DPolyArc> ring =
            useTextMapFormat2 ? ReadRingV2(stream, isHole) : ReadRingV1(stream, isHole);
        if (!ring) {
            break;
        }
        if (isHole) {
            // A hole before any rim has nothing to belong to and is dropped.
            if (current != nullptr) {
                current->AddHole(ring.release());
            }
        } else {
            auto holedPolyArc = std::make_unique<C2DHoledPolyArc>();
            holedPolyArc->SetRim(ring.release());
            current = holedPolyArc.get();
            working.push_back(std::move(holedPolyArc));
        }
        if (progress != nullptr) {
            // At the end of the file the position is unavailable: 100 then.
            const std::streamoff position = stream.tellg();
            unsigned percent = 100;
            if (position >= 0 && fileLength > 0) {
                percent = static_cast<unsigned>(static_cast<uint64_t>(position) * 100 /
                                                static_cast<uint64_t>(fileLength));
            }
            progress->UpdateProgress(percent);
        }
    }
    stream.close();
    // Text that holds no ring at all is no map; only a file with nothing in
    // it but white space is an empty one.
    if (working.empty() && HasVisibleText(path)) {
        ReportProblem(error, MapFileProblem::NoShapes);
        return false;
    }

    // Straight-edged shapes are handed over as plain holed polygons.
    for (auto& holedPolyArc : working) {
        if (holedPolyArc->HasArcs()) {
            content.Add(holedPolyArc.release());
        } else {
            content.Add(new C2DHoledPolygon(*holedPolyArc));
            holedPolyArc.reset();
        }
    }
    return true;
}
