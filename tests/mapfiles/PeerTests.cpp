// Round trips against independent shapefile implementations: GDAL (ogr2ogr,
// ogrinfo), shapelib (shpdump, dbfdump) and PROJ (projinfo). The tools are
// installed by the build's dependency step; a missing one fails the test.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <filesystem>
#include <gtest/gtest.h>

#include "mapfiles/MapFiles.h"
#include "mapfiles/ProjectionWkt.h"
#include "projection/Projection.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

bool HasTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
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

// Fails the test when a peer tool is missing.
#define REQUIRE_TOOL(name) ASSERT_TRUE(HasTool(name)) << name << " is not installed"

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
    REQUIRE_TOOL("ogr2ogr");
    REQUIRE_TOOL("ogrinfo");
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
    REQUIRE_TOOL("ogrinfo");
    REQUIRE_TOOL("shpdump");
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

    // shpdump lists every vertex of every part as written: each ring closed,
    // the rim forwards, each clockwise hole backwards from its first point.
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
    auto closed = [](Ring ring) {
        if (ring.front() != ring.back()) {
            ring.push_back(ring.front());
        }
        return ring;
    };
    std::vector<Ring> written;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
        written.push_back(closed(VerticesOf(*holedPolygon.GetRim())));
        for (unsigned j = 0; j < holedPolygon.GetHoleCount(); ++j) {
            Ring hole = closed(VerticesOf(*holedPolygon.GetHole(j)));
            std::reverse(hole.begin(), hole.end());
            written.push_back(hole);
        }
    }
    EXPECT_EQ(dumped, written);
    EXPECT_NE(dump.find("# of Shapes: " + std::to_string(content.GetSize())), std::string::npos);
}

namespace {

// One number from ogrinfo's SQL answer, printed with all its digits.
double GdalNumber(const std::string& path, const std::string& expression) {
    const std::string layer = path.substr(path.rfind('/') + 1, path.size() - path.rfind('/') - 5);
    const std::string output =
        RunCommand("ogrinfo -ro -q -dialect sqlite -sql \"select printf('%.17g', " + expression +
                   ") as v from \\\"" + layer + "\\\"\" '" + path + "' 2>/dev/null");
    const std::size_t at = output.find("v (String) = ");
    return at == std::string::npos ? std::nan("") : std::strtod(output.c_str() + at + 13, nullptr);
}

// The values of one field, feature by feature, as GDAL reads them.
std::vector<std::string> GdalFieldValues(const std::string& path, const std::string& field) {
    std::vector<std::string> values;
    const std::string output = RunCommand("ogrinfo -ro -al -q -geom=NO '" + path + "' 2>/dev/null");
    const std::string key = "  " + field + " (String) = ";
    for (std::size_t at = output.find(key); at != std::string::npos;
         at = output.find(key, at + 1)) {
        const std::size_t start = at + key.size();
        values.push_back(output.substr(start, output.find('\n', start) - start));
    }
    return values;
}

void ExpectRelativelyEqual(double actual, double expected, double tolerance) {
    EXPECT_LE(std::fabs(actual - expected), tolerance * std::fabs(expected))
        << actual << " vs " << expected;
}

} // namespace

// GDAL opens the whole set we write: one feature per holed polygon, the total
// area of the source, the attribute row of each feature's source record, and
// WGS 84. The OSM-derived countries-10km has hundreds of holes, which an
// unclosed ring used to turn into islands.
TEST(ShapefilePeers, GdalReadsOurSetLikeTheSource) {
    REQUIRE_TOOL("ogrinfo");
    TempFolder folder;
    struct Case {
        std::string source;
        const char* nameField;
    };
    // countries-10km, with holes and islands in lakes, where the benchmark
    // maps lie beside the project (they are not part of it).
    std::vector<Case> cases{{std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp", "name"}};
    const std::string openStreetMap = std::string(MARLO_SHARED_DATA_DIR) + "/countries-10km.shp";
    if (std::filesystem::exists(openStreetMap)) {
        cases.push_back({openStreetMap, "A3"});
    } else {
        std::printf("(%s is not here: the bundled map only)\n", openStreetMap.c_str());
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        C2DHoledPolyBaseSet content;
        CMapAttributes attributes;
        ASSERT_TRUE(ReadShapefile(c.source.c_str(), content, nullptr, &attributes));
        content.MakeClockwise();
        ASSERT_TRUE(attributes.HasTable());
        ASSERT_EQ(attributes.featureRecords.size(), content.GetSize());
        CMapSaveInfo info;
        info.attributes = &attributes;
        info.coordinates.kind = MapCoordinates::Geographic;
        const std::string path = folder.File("ours.shp");
        ASSERT_TRUE(SaveShapefile(path.c_str(), content, &info));

        EXPECT_EQ(GdalNumber(path, "count(*)"), content.GetSize());
        ExpectRelativelyEqual(GdalNumber(path, "sum(ST_Area(geometry))"),
                              GdalNumber(c.source, "sum(ST_Area(geometry))"), 1e-9);
        // Each feature carries its source record's value; together they are
        // every value of the source.
        const std::vector<std::string> ours = GdalFieldValues(path, c.nameField);
        const std::vector<std::string> source = GdalFieldValues(c.source, c.nameField);
        ASSERT_EQ(ours.size(), content.GetSize());
        const int field = attributes.NameField();
        ASSERT_GE(field, 0);
        for (std::size_t i = 0; i < ours.size(); ++i) {
            EXPECT_EQ(ours[i], source[static_cast<std::size_t>(attributes.featureRecords[i])]);
        }
        std::vector<std::string> distinctOurs(ours);
        std::vector<std::string> distinctSource(source);
        for (auto* list : {&distinctOurs, &distinctSource}) {
            std::sort(list->begin(), list->end());
            list->erase(std::unique(list->begin(), list->end()), list->end());
        }
        EXPECT_EQ(distinctOurs, distinctSource);
        const std::string summary = RunCommand("ogrinfo -ro -so -al '" + path + "' 2>/dev/null");
        EXPECT_NE(summary.find("ID[\"EPSG\",4326]"), std::string::npos) << summary;
    }
}

// dbfdump (shapelib's own reader) sees the fields, their widths and the rows;
// a map without a table gets an ID per shape.
TEST(ShapefilePeers, DbfdumpReadsOurTables) {
    REQUIRE_TOOL("dbfdump");
    TempFolder folder;
    C2DHoledPolyBaseSet content;
    CMapAttributes attributes;
    const std::string source = std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp";
    ASSERT_TRUE(ReadShapefile(source.c_str(), content, nullptr, &attributes));
    CMapSaveInfo info;
    info.attributes = &attributes;
    ASSERT_TRUE(SaveShapefile(folder.File("ours.shp").c_str(), content, &info));
    const std::string header = RunCommand("dbfdump -h '" + folder.File("ours.dbf") + "'");
    EXPECT_NE(header.find("Type=C/String, Title=`name', Width=25"), std::string::npos) << header;
    EXPECT_NE(header.find("Type=C/String, Title=`FID', Width=3"), std::string::npos) << header;
    EXPECT_NE(header.find("Zimbabwe"), std::string::npos);

    ASSERT_TRUE(SaveShapefile(folder.File("plain.shp").c_str(), content));
    const std::string plain = RunCommand("dbfdump -h '" + folder.File("plain.dbf") + "'");
    EXPECT_NE(plain.find("Title=`ID', Width=10, Decimals=0"), std::string::npos) << plain;
    // Right-aligned numbers, 1 to n.
    EXPECT_NE(plain.find("         1 \n"), std::string::npos);
    EXPECT_NE(plain.find(" " + std::to_string(content.GetSize()) + " \n"), std::string::npos);
    EXPECT_EQ(plain.find("         0 \n"), std::string::npos);
}

// A PolygonZ and a PolygonM twin of a bundled map, made by GDAL, read to the
// rings of the original: Z and M values are passed over.
TEST(ShapefilePeers, PolygonZAndMTwinsReadLikeTheOriginal) {
    REQUIRE_TOOL("ogr2ogr");
    TempFolder folder;
    const std::string source = std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp";
    C2DHoledPolyBaseSet original;
    ASSERT_TRUE(ReadShapefile(source.c_str(), original, nullptr));
    for (const auto& [dimension, type] :
         std::vector<std::pair<std::string, int32_t>>{{"XYZ", 15}, {"XYM", 25}}) {
        SCOPED_TRACE(dimension);
        const std::string twin = folder.File("twin-" + dimension + ".shp");
        RunCommand("ogr2ogr -dim " + dimension + " '" + twin + "' '" + source + "' 2>&1");
        const std::string bytes = ReadFile(twin);
        ASSERT_GE(bytes.size(), 100u);
        EXPECT_EQ(LittleAt(bytes, 32), type);
        C2DHoledPolyBaseSet content;
        CMapFileError error;
        ASSERT_TRUE(ReadShapefile(twin.c_str(), content, nullptr, nullptr, &error))
            << DescribeMapFileError(error);
        ExpectSamePolygons(PolygonsOf(content), PolygonsOf(original));
    }
}

// The .prj table is what projinfo makes of each PROJ definition, and each row
// names the projection of its type code.
TEST(ShapefilePeers, CoordinateSystemTableMatchesProjinfo) {
    REQUIRE_TOOL("projinfo");
    ASSERT_EQ(ProjectionWktCount, ProjectionCount - 1); // all but this system's own Miller
    for (int i = 0; i < ProjectionWktCount; ++i) {
        const CProjectionWkt& row = ProjectionWktTable[i];
        SCOPED_TRACE(row.name);
        ASSERT_GE(row.type, 0);
        ASSERT_LT(row.type, ProjectionCount);
        EXPECT_STREQ(ProjectionNameTable[row.type], row.name);
        EXPECT_EQ(FindProjectionWkt(row.type), &row);
        std::string made = RunCommand(std::string("projinfo -o WKT1_ESRI --single-line -q '") +
                                      row.definition + " +type=crs'");
        while (!made.empty() && made.back() == '\n') {
            made.pop_back();
        }
        EXPECT_EQ(made, row.wkt);
    }
    EXPECT_EQ(FindProjectionWkt(MillerCylindricalCode), nullptr);
    std::string geographic = RunCommand("projinfo -o WKT1_ESRI --single-line -q EPSG:4326");
    geographic.erase(geographic.find_last_not_of('\n') + 1);
    EXPECT_EQ(geographic, GeographicWkt);
}
