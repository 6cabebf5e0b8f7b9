#pragma once

#include <cstddef>
#include <cstdio>
#include <istream>
#include <memory>

#include "geometry/HoledPolygons.h"
#include "mapfiles/RingPoints.h"

// The steps of the text map reader and writer, open to the tests.

// A point line: x, y, and optionally the arc radius and the two arc flags
// (centreOnRight, arcOnRight), separated by white space.
inline constexpr const char* TextMapLineFormat = "%20le %20le %20le %1d %1d";
// Lines are read into a buffer of this size: at most 511 characters.
inline constexpr int TextMapLineBuffer = 512;
// The reader takes at most this many characters per number, and the writer
// never writes more.
inline constexpr std::size_t TextMapNumberLength = 20;
inline constexpr int TextMapDecimals = 10;

// Writes a number for a point line and returns its length (0 on failure):
// fixed notation with 10 decimals, or with as many decimals as fit in 20
// characters when the integer part is long, and from 1e19 on (and for values
// no fixed form fits) the exponent form, as short as reads back the same
// value, with fewer digits only where even that does not fit.
std::size_t FormatTextMapNumber(double value, char (&text)[TextMapNumberLength + 1]);

// Writes rings and holed polygons; the first failed write is remembered and
// every later write is skipped.
class CTextMapWriter {
public:
    explicit CTextMapWriter(std::FILE* file) : file(file) {}

    bool IsOk() const { return ok; }
    void WriteHoledPolygon(const CHoledPolygonPoints& holedPolygon);
    // The ring body in the version that useTextMapFormat2 selects.
    void WriteRing(const CRingPoints& ring);
    // One line per edge with its start point (and its arc data).
    void WriteRingV1(const CRingPoints& ring);
    // The first start point, then one line per edge with its end point (and
    // its arc data); the ring must hold its edge ends.
    void WriteRingV2(const CRingPoints& ring);

private:
    void Put(const char* text, std::size_t size);
    void PutNumber(double value);
    void PutPoint(const CPointXY& point);
    void PutArcData(const CArcPoints* arc);

    std::FILE* file;
    bool ok = true;
};

// Skips lines up to the next ring header "(+)" or "(-)"; false when none is
// left (end of file, read error, a line too long).
bool FindRingHeader(std::istream& stream, bool& isHole);
// The next ring, or null when there is none; isHole tells what the header
// said.
std::unique_ptr<C2DPolyArc> ReadRingV1(std::istream& stream, bool& isHole);
std::unique_ptr<C2DPolyArc> ReadRingV2(std::istream& stream, bool& isHole);
