#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <locale.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

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

} // namespace

void CTextMapWriter::Put(const char* text, std::size_t size) {
    if (ok && std::fwrite(text, 1, size, file) != size) {
        ok = false;
    }
}

void CTextMapWriter::PutNumber(double value) {
    // Fixed notation, 10 decimals, full stop: the largest double needs 309
    // digits before the point.
    char text[400];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 10);
    if (result.ec != std::errc{}) {
        ok = false;
        return;
    }
    Put(text, static_cast<std::size_t>(result.ptr - text));
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

bool WriteTextMap(const char* path, const C2DHoledPolyBaseSet& content,
                  CProgressUpdater* progress) {
    CReplacingFile output;
    if (!output.Open(path)) {
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
    return output.Commit(writer.IsOk());
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

bool ReadTextMap(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress) {
    if (path == nullptr) {
        return false;
    }
    // A folder opens like a file here but cannot be read as one.
    struct stat info;
    if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
        return false;
    }
    std::ifstream stream(path);
    if (!stream.is_open()) {
        return false;
    }
    stream.seekg(0, std::ios::end);
    const std::streamoff fileLength = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (!stream.good()) {
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
