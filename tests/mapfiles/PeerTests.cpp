// Round trips against independent shapefile implementations: GDAL (ogr2ogr,
// ogrinfo) and shapelib (shpdump). Skipped where the tools are missing.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "mapfiles/MapFiles.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

bool HasTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string RunCommand(const std::string& command) {
    std::string output;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    pclose(pipe);
    return output;
}

// A polygon as a set of rings that does not depend on where a ring starts,
// which way it runs, or whether it repeats its first point.
using Polygon = std::pair<Ring, std::vector<Ring>>;

double SignedArea(const Ring& ring) {
    double area = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Vertex& a = ring[i];
        const Vertex& b = ring[(i + 1) % ring.size()];
        area += a.first * b.second - b.first * a.second;
    }
    return area / 2.0;
}

Ring Normalised(const Ring& input) {
    // Repeated vertices (a closing point kept as a vertex) are dropped.
    Ring ring;
    for (const Vertex& v : input) {
        if (ring.empty() || ring.back() != v) {
            ring.push_back(v);
        }
    }
    while (ring.size() > 1 && ring.front() == ring.back()) {
        ring.pop_back();
    }
    if (SignedArea(ring) > 0.0) {
        std::reverse(ring.begin(), ring.end());
    }
    std::rotate(ring.begin(), std::min_element(ring.begin(), ring.end()), ring.end());
    return ring;
}

Polygon NormalisedPolygon(const std::vector<Ring>& rings) {
    Polygon polygon{Normalised(rings[0]), {}};
    for (std::size_t i = 1; i < rings.size(); ++i) {
        polygon.second.push_back(Normalised(rings[i]));
    }
    std::sort(polygon.second.begin(), polygon.second.end());
    return polygon;
}

std::vector<Polygon> PolygonsOf(const C2DHoledPolyBaseSet& content) {
    std::vector<Polygon> polygons;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
        std::vector<Ring> rings{VerticesOf(*holedPolygon.GetRim())};
        for (unsigned j = 0; j < holedPolygon.GetHoleCount(); ++j) {
            rings.push_back(VerticesOf(*holedPolygon.GetHole(j)));
        }
        polygons.push_back(NormalisedPolygon(rings));
    }
    std::sort(polygons.begin(), polygons.end());
    return polygons;
}

// The polygons of every POLYGON and MULTIPOLYGON in ogrinfo's WKT output.
std::vector<Polygon> PolygonsOfWkt(const std::string& text) {
    std::vector<Polygon> polygons;
    std::size_t at = 0;
    while ((at = text.find("POLYGON (", at)) != std::string::npos) {
        const bool multi = at >= 5 && text.compare(at - 5, 5, "MULTI") == 0;
        const int ringDepth = multi ? 3 : 2;
        int depth = 0;
        std::vector<Ring> rings;
        std::size_t i = text.find('(', at);
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '(') {
                ++depth;
                if (depth == ringDepth) {
                    rings.emplace_back();
                }
                if (depth == ringDepth - 1 && !rings.empty()) {
                    polygons.push_back(NormalisedPolygon(rings));
                    rings.clear();
                }
            } else if (c == ')') {
                if (--depth == 0) {
                    break;
                }
            } else if (depth == ringDepth && c != ',' && c != ' ') {
                char* end = nullptr;
                const double x = std::strtod(text.c_str() + i, &end);
                const double y = std::strtod(end, &end);
                rings.back().emplace_back(x, y);
                i = static_cast<std::size_t>(end - text.c_str()) - 1;
            }
        }
        if (!rings.empty()) {
            polygons.push_back(NormalisedPolygon(rings));
        }
        at = i;
    }
    std::sort(polygons.begin(), polygons.end());
    return polygons;
}

// The index file that the peers want beside a main file; our writer has no
// use for one, so the test derives it from the records.
void WriteIndexFor(const std::string& shp) {
    const std::string bytes = ReadFile(shp);
    ShapeBytes index;
    index.bytes = bytes.substr(0, 100);
    for (std::size_t at = 100; at + 8 <= bytes.size();) {
        const int32_t words = BigEndianAt(bytes, at + 4);
        index.BigEndian(static_cast<int32_t>(at / 2)).BigEndian(words);
        at += 8 + 2 * static_cast<std::size_t>(words);
    }
    WriteFile(shp.substr(0, shp.size() - 4) + ".shx", index.Finish());
}

const char* const GeoJson = R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{},"geometry":{"type":"Polygon","coordinates":
 [[[0,0],[10,0],[10,10],[0,10],[0,0]],[[2,2],[2,4],[4,4],[4,2],[2,2]],[[6,6],[6,8.25],[8,8],[6,6]]]}},
{"type":"Feature","properties":{},"geometry":{"type":"MultiPolygon","coordinates":
 [[[[20,0],[30,0],[30,10],[20,10],[20,0]]],[[[40.125,0],[50,0],[45,8.5],[40.125,0]]]]}}]})";

// Equal up to rounding in the last bits (reversing a straight edge computes
// its new start from the old start and direction).
void ExpectSamePolygons(const std::vector<Polygon>& actual, const std::vector<Polygon>& expected) {
    auto expectSameRing = [](const Ring& a, const Ring& b) {
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t k = 0; k < a.size(); ++k) {
            EXPECT_NEAR(a[k].first, b[k].first, 1e-9);
            EXPECT_NEAR(a[k].second, b[k].second, 1e-9);
        }
    };
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        expectSameRing(actual[i].first, expected[i].first);
        ASSERT_EQ(actual[i].second.size(), expected[i].second.size());
        for (std::size_t j = 0; j < actual[i].second.size(); ++j) {
            expectSameRing(actual[i].second[j], expected[i].second[j]);
        }
    }
}

} // namespace

// Shapefiles written by GDAL read into the polygons GDAL itself reports.
TEST(ShapefilePeers, ReadsWhatGdalWrites) {
    if (!HasTool("ogr2ogr") || !HasTool("ogrinfo")) {
        GTEST_SKIP() << "GDAL tools not installed";
    }
    TempFolder folder;
    WriteFile(folder.File("shapes.geojson"), GeoJson);
    const std::vector<std::pair<std::string, std::string>> sources = {
        {folder.File("shapes.geojson"), folder.File("shapes.shp")},
        {std::string(MARLO_DATA_DIR) + "/world-110m-land.shp", folder.File("land.shp")}};
    for (const auto& [source, copy] : sources) {
        SCOPED_TRACE(source);
        RunCommand("ogr2ogr -f 'ESRI Shapefile' '" + copy + "' '" + source + "' 2>&1");
        const std::vector<Polygon> gdal = PolygonsOfWkt(RunCommand(
            "ogrinfo --config OGR_WKT_PRECISION 17 -ro -al -q '" + copy + "' 2>/dev/null"));
        ASSERT_FALSE(gdal.empty());
        C2DHoledPolyBaseSet content;
        ASSERT_TRUE(ReadShapefile(copy.c_str(), content, nullptr));
        ExpectSamePolygons(PolygonsOf(content), gdal);
    }
}

// Shapefiles we write are read by GDAL and by shapelib with the same rings,
// vertices and bounds.
TEST(ShapefilePeers, PeersReadWhatWeWrite) {
    if (!HasTool("ogrinfo") || !HasTool("shpdump")) {
        GTEST_SKIP() << "GDAL or shapelib tools not installed";
    }
    TempFolder folder;
    C2DHoledPolyBaseSet content;
    WriteFile(folder.File("shapes.geojson"), GeoJson);
    ASSERT_TRUE(ReadShapefile((std::string(MARLO_DATA_DIR) + "/world-110m-land.shp").c_str(),
                              content, nullptr));
    auto* holed = new C2DHoledPolygon;
    holed->SetRim(MakePolygon(Square(-200, -95, 200, -90, true)));
    holed->AddHole(MakePolygon(Square(-150.5, -94, -140.25, -91, true)));
    holed->AddHole(MakePolygon({{0.1, -93}, {0.1, -92}, {1.7, -92.5}}));
    content.Add(holed);
    content.MakeClockwise();
    const std::string path = folder.File("ours.shp");
    ASSERT_TRUE(SaveShapefile(path.c_str(), content));
    WriteIndexFor(path);

    const std::string info =
        RunCommand("ogrinfo --config OGR_WKT_PRECISION 17 -ro -al -q '" + path + "' 2>/dev/null");
    ExpectSamePolygons(PolygonsOfWkt(info), PolygonsOf(content));
    C2DRect bounds;
    content.GetBounds(bounds);
    const std::string summary = RunCommand("ogrinfo -ro -so -al '" + path + "' 2>/dev/null");
    char expectedExtent[200];
    std::snprintf(expectedExtent, sizeof expectedExtent, "Extent: (%f, %f) - (%f, %f)",
                  bounds.topLeft.x, bounds.bottomRight.y, bounds.bottomRight.x, bounds.topLeft.y);
    EXPECT_NE(summary.find(expectedExtent), std::string::npos) << summary;

    // shpdump lists every vertex of every part as written: the rim forwards,
    // each clockwise hole backwards.
    const std::string dump = RunCommand("shpdump -precision 17 '" + path + "' 2>&1");
    std::vector<Ring> dumped;
    std::size_t at = 0;
    while ((at = dump.find('(', at)) != std::string::npos) {
        const std::size_t lineStart = dump.rfind('\n', at) + 1;
        const std::string head = dump.substr(lineStart, at - lineStart);
        const std::size_t lineEnd = dump.find('\n', at);
        const std::string line = dump.substr(at, lineEnd - at);
        at = lineEnd;
        if (head.find("Bounds") != std::string::npos || head.find("to") != std::string::npos ||
            head.find("Shape") != std::string::npos) {
            continue;
        }
        double x = 0.0;
        double y = 0.0;
        if (std::sscanf(line.c_str(), "(%lf,%lf", &x, &y) != 2) {
            continue;
        }
        if (line.find("Ring") != std::string::npos) {
            dumped.emplace_back();
        }
        ASSERT_FALSE(dumped.empty());
        dumped.back().emplace_back(x, y);
    }
    std::vector<Ring> written;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
        written.push_back(VerticesOf(*holedPolygon.GetRim()));
        for (unsigned j = 0; j < holedPolygon.GetHoleCount(); ++j) {
            Ring hole = VerticesOf(*holedPolygon.GetHole(j));
            std::reverse(hole.begin(), hole.end());
            written.push_back(hole);
        }
    }
    EXPECT_EQ(dumped, written);
    EXPECT_NE(dump.find("# of Shapes: " + std::to_string(content.GetSize())), std::string::npos);
}
