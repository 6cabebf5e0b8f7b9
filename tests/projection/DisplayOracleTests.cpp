// The display geometry against d3-geo's picture of the same map. For every
// projection that d3 has, at several projection centres, the bundled world map
// is cut, clipped and projected by our builder, and the area it covers is
// compared with the area that d3's geoPath fills for the same rings. The
// oracle itself is checked first: its projections must place points where
// ours do, equal-area projections must keep the spherical area, and the
// unrotated plate carree must give the planar area of the rings.
#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "projection/DisplayGeometry.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "projection/RingSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string OracleFolder = std::string(MARLO_SOURCE_DIR) + "/tests/oracle";

// Projection centres: none (the map as loaded), and rotations that bring the
// antimeridian through land, put a pole near the centre and turn the map half
// way round.
struct Centre {
    double lat;
    double lon;
    bool rotated;
    const char* label;
};
const Centre Centres[] = {
    {0.0, 0.0, false, "unrotated"},   {40.0, -100.0, true, "N40 W100"},
    {-33.0, 151.0, true, "S33 E151"}, {89.0, 0.0, true, "N89 E0"},
    {0.0, 180.0, true, "N0 E180"},
};
constexpr std::size_t CentreCount = sizeof Centres / sizeof Centres[0];

// Points where the oracle's projection must agree with ours at every centre.
std::vector<CPlanePoint> SamplePoints() {
    std::vector<CPlanePoint> points; // x longitude, y latitude
    for (double lat : {-60.0, -25.0, 15.0, 50.0, 75.0}) {
        for (double lon : {-150.0, -100.0, -35.0, 20.0, 75.0, 130.0}) {
            points.push_back({lon, lat});
        }
    }
    return points;
}

bool IsEqualArea(const std::string& name) {
    static const char* const names[] = {"Albers Equal Area Conic",
                                        "Bonne",
                                        "Cylindrical Equal Area",
                                        "Eckert IV",
                                        "Eckert VI",
                                        "Lambert Azimuthal Equal Area",
                                        "Mollweide",
                                        "Sinusoidal",
                                        "SlantRangeHeading"};
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* n) { return name == n; });
}

// Every projection but Cassini, whose seam d3 does not draw, and our Miller
// variant, which d3 does not have.
std::vector<std::string> ProjectionsWithD3Counterpart() {
    std::vector<std::string> names;
    for (int code = 0; code < ProjectionCount; ++code) {
        if (code != CassiniCode && code != MillerCylindricalCode) {
            names.emplace_back(ProjectionNameTable[code]);
        }
    }
    return names;
}

// ---- The bundled map as the builder receives it ----------------------------

void AppendOpenRing(const C2DPolyBase& ring, CRingSet& rings) {
    const std::size_t first = rings.points.size();
    for (unsigned i = 0; i < ring.GetLineCount(); ++i) {
        const C2DPoint start = ring.GetLine(i)->GetStart();
        rings.points.push_back({start.x, start.y});
    }
    // A shapefile ring repeats its first point; the open ring implies it.
    const std::size_t count = rings.points.size() - first;
    if (count > 1 && rings.points.back().x == rings.points[first].x &&
        rings.points.back().y == rings.points[first].y) {
        rings.points.pop_back();
    }
    rings.EndRing();
}

// Every ring clockwise, as the viewer keeps the map; one polygon per holed
// polygon, rim first.
bool LoadMapRings(const std::string& path, CRingSet& rings) {
    C2DHoledPolyBaseSet content;
    if (!ReadShapefile(path.c_str(), content, nullptr)) {
        return false;
    }
    content.MakeClockwise();
    rings.Clear();
    for (unsigned p = 0; p < content.GetSize(); ++p) {
        const C2DHoledPolyBase* holed = content.GetAt(p);
        if (holed->HasArcs()) {
            return false;
        }
        AppendOpenRing(*holed->GetRim(), rings);
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            AppendOpenRing(*holed->GetHole(h), rings);
        }
        rings.EndPolygon();
    }
    return true;
}

// GeoJSON in d3's winding: rims as they are (clockwise), holes reversed, every
// ring closed by repeating its first point.
bool WriteGeoJson(const CRingSet& rings, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    std::fputs("{\"type\":\"FeatureCollection\",\"features\":[\n", file);
    for (std::size_t p = 0; p < rings.GetPolygonCount(); ++p) {
        std::fputs(p == 0 ? "" : ",\n", file);
        std::fputs("{\"type\":\"Feature\",\"properties\":{},"
                   "\"geometry\":{\"type\":\"Polygon\",\"coordinates\":[",
                   file);
        for (uint32_t r = rings.GetFirstRing(p); r < rings.GetEndRing(p); ++r) {
            const CPlanePoint* points = rings.GetRingPoints(r);
            const uint32_t n = rings.GetRingSize(r);
            const bool hole = r != rings.GetFirstRing(p);
            std::fputs(r == rings.GetFirstRing(p) ? "[" : ",[", file);
            for (uint32_t i = 0; i <= n && n > 0; ++i) {
                const uint32_t k = i == n ? 0 : (hole ? (n - i) % n : i);
                std::fprintf(file, "%s[%.17g,%.17g]", i == 0 ? "" : ",", points[k].x, points[k].y);
            }
            std::fputs("]", file);
        }
        std::fputs("]}}", file);
    }
    std::fputs("\n]}\n", file);
    return std::fclose(file) == 0;
}

struct BundledMap {
    CRingSet rings;
    std::string geoJsonPath;
    bool ready = false;

    BundledMap() {
        geoJsonPath = std::string(MARLO_BINARY_DIR) + "/display-oracle-" +
                      std::to_string(getpid()) + ".geojson";
        ready = LoadMapRings(std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp", rings) &&
                rings.GetPolygonCount() > 0 && WriteGeoJson(rings, geoJsonPath);
    }
    ~BundledMap() { std::remove(geoJsonPath.c_str()); }
};

const BundledMap& Map() {
    static const BundledMap map;
    return map;
}

// ---- Running the oracle ----------------------------------------------------

struct OraclePoint {
    double lat;
    double lon;
    double x;
    double y;
};

struct OracleCentre {
    double lat = 0.0;
    double lon = 0.0;
    double total = 0.0;
    std::vector<double> polygons;
    std::vector<OraclePoint> points;
};

struct OracleResult {
    double scale = 0.0;
    double sphere = 0.0;
    std::vector<std::size_t> flipped;
    std::vector<OracleCentre> centres;
};

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// Empty when node and the two d3 packages are in place, otherwise what is
// missing and how to install it.
std::string MissingOracle() {
    if (std::system("command -v node >/dev/null 2>&1") != 0) {
        return "node is not installed; run scripts/install-deps";
    }
    for (const char* package : {"d3-geo", "d3-geo-projection"}) {
        const std::string manifest = OracleFolder + "/node_modules/" + package + "/package.json";
        if (access(manifest.c_str(), R_OK) != 0) {
            return std::string(package) + " is missing from " + OracleFolder +
                   "/node_modules; run scripts/install-deps";
        }
    }
    return {};
}

bool ParseLine(const std::string& line, OracleResult& result) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "scale") {
        return static_cast<bool>(fields >> result.scale);
    }
    if (kind == "sphere") {
        return static_cast<bool>(fields >> result.sphere);
    }
    if (kind == "flipped") {
        std::size_t index = 0;
        fields >> index;
        result.flipped.push_back(index);
        return static_cast<bool>(fields);
    }
    if (kind == "centre") {
        OracleCentre centre;
        std::string word;
        fields >> centre.lat >> centre.lon >> word >> centre.total;
        result.centres.push_back(centre);
        return static_cast<bool>(fields) && word == "total";
    }
    if (result.centres.empty()) {
        return false;
    }
    if (kind == "polygon") {
        std::size_t index = 0;
        double area = 0.0;
        fields >> index >> area;
        result.centres.back().polygons.push_back(area);
        return static_cast<bool>(fields) && index + 1 == result.centres.back().polygons.size();
    }
    if (kind == "point") {
        // A point d3 cannot place comes back as NaN, which >> does not read.
        OraclePoint point{};
        std::string x;
        std::string y;
        fields >> point.lat >> point.lon >> x >> y;
        point.x = std::strtod(x.c_str(), nullptr);
        point.y = std::strtod(y.c_str(), nullptr);
        result.centres.back().points.push_back(point);
        return static_cast<bool>(fields);
    }
    return false;
}

// Runs the oracle for one projection at every centre. On failure, error
// tells what went wrong, including what node printed.
bool RunOracle(const std::string& projection, OracleResult& result, std::string& error) {
    error = MissingOracle();
    if (!error.empty()) {
        return false;
    }
    if (!Map().ready) {
        error = "the bundled map could not be read or written as GeoJSON";
        return false;
    }
    std::string command = "node " + Quoted(OracleFolder + "/display-area.mjs") + " " +
                          Quoted(Map().geoJsonPath) + " " + Quoted(projection);
    char pair[64];
    for (const Centre& centre : Centres) {
        std::snprintf(pair, sizeof pair, "%.17g,%.17g", centre.lat, centre.lon);
        command += std::string(" --centre ") + pair;
    }
    std::string points;
    for (const CPlanePoint& p : SamplePoints()) {
        std::snprintf(pair, sizeof pair, "%.17g,%.17g;", p.y, p.x);
        points += pair;
    }
    command += " --points " + Quoted(points) + " 2>&1";

    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        error = "could not start node";
        return false;
    }
    std::string unparsed;
    std::string line;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        line += buffer;
        if (line.back() != '\n') {
            continue;
        }
        line.pop_back();
        if (!ParseLine(line, result)) {
            unparsed += line + "\n";
        }
        line.clear();
    }
    const int status = pclose(pipe);
    if (status != 0 || !unparsed.empty() || result.centres.size() != CentreCount) {
        error = "the oracle failed (status " + std::to_string(status) + "):\n" + unparsed;
        return false;
    }
    return true;
}

// ---- Our side --------------------------------------------------------------

void RotateRings(const Centre& centre, CRingSet& rings) {
    if (!centre.rotated) {
        return;
    }
    CGeoRotation rotation;
    rotation.SetOrigin(centre.lat, centre.lon);
    for (CPlanePoint& p : rings.points) {
        rotation.Rotate(p.y, p.x);
    }
}

double PolygonArea(const CRingSet& set, std::size_t polygon) {
    double doubleArea = 0.0;
    for (uint32_t r = set.GetFirstRing(polygon); r < set.GetEndRing(polygon); ++r) {
        doubleArea += RingDoubleArea(set.GetRingPoints(r), set.GetRingSize(r));
    }
    return std::fabs(doubleArea) / 2.0;
}

// Indexes of the count largest polygons of d3's picture at one centre.
std::vector<std::size_t> LargestPolygons(const std::vector<double>& areas, std::size_t count) {
    std::vector<std::size_t> order(areas.size());
    std::iota(order.begin(), order.end(), 0);
    count = std::min(count, order.size());
    std::partial_sort(order.begin(), order.begin() + count, order.end(),
                      [&](std::size_t a, std::size_t b) { return areas[a] > areas[b]; });
    order.resize(count);
    return order;
}

double RelativeDifference(double ours, double theirs) {
    return std::fabs(ours - theirs) / std::fabs(theirs);
}

// The area, in square degrees, that a ring covers on the unrotated plate
// carree: the ring is followed without jumps across the antimeridian, and one
// that goes once around the world encloses a pole, so it is closed along that
// pole's line (the south pole for a clockwise ring running east).
double UnwrappedRingArea(const CPlanePoint* points, uint32_t count) {
    std::vector<CPlanePoint> unwrapped;
    unwrapped.reserve(count + 3);
    double shift = 0.0;
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0) {
            const double step = points[i].x - points[i - 1].x;
            shift += step > 180.0 ? -360.0 : step < -180.0 ? 360.0 : 0.0;
        }
        unwrapped.push_back({points[i].x + shift, points[i].y});
    }
    if (count > 0) {
        // The closing edge may cross the antimeridian too.
        const double step = points[0].x - points[count - 1].x;
        shift += step > 180.0 ? -360.0 : step < -180.0 ? 360.0 : 0.0;
    }
    if (shift != 0.0) {
        const double poleLatitude = shift > 0.0 ? -90.0 : 90.0;
        unwrapped.push_back({points[0].x + shift, points[0].y});
        unwrapped.push_back({points[0].x + shift, poleLatitude});
        unwrapped.push_back({points[0].x, poleLatitude});
    }
    return std::fabs(RingDoubleArea(unwrapped.data(), unwrapped.size())) / 2.0;
}

class DisplayOracle : public testing::TestWithParam<std::string> {};

// The oracle draws our projection: same parameters, same rotation, same plane
// units. Checked where d3 projects single points (no clipping), and through
// areas that need no reference: equal-area projections keep the spherical
// area at every centre, and the unrotated plate carree has the planar area of
// the rings in radians.
TEST_P(DisplayOracle, D3DrawsOurProjection) {
    const std::string& name = GetParam();
    OracleResult oracle;
    std::string error;
    ASSERT_TRUE(RunOracle(name, oracle, error)) << error;
    auto projection = std::unique_ptr<CProjection>(CreateProjection(name.c_str()));
    ASSERT_NE(projection, nullptr);

    // d3 puts the centre at (0, 0); ours may put it elsewhere (Bonne), or
    // divide by zero there (Polyconic, Van der Grinten), where the offset
    // is zero anyway.
    double offsetY = 0.0;
    double offsetX = 0.0;
    projection->Project(offsetY, offsetX);
    if (!std::isfinite(offsetX) || !std::isfinite(offsetY)) {
        offsetX = offsetY = 0.0;
    }
    ASSERT_GT(oracle.scale, 0.0);
    for (std::size_t c = 0; c < CentreCount; ++c) {
        const Centre& centre = Centres[c];
        const OracleCentre& theirs = oracle.centres[c];
        SCOPED_TRACE(centre.label);
        ASSERT_EQ(theirs.points.size(), SamplePoints().size());
        ASSERT_EQ(theirs.polygons.size(), Map().rings.GetPolygonCount());
        for (const OraclePoint& point : theirs.points) {
            double lat = point.lat;
            double lon = point.lon;
            if (centre.rotated) {
                CGeoRotation rotation;
                rotation.SetOrigin(centre.lat, centre.lon);
                rotation.Rotate(lat, lon);
            }
            // On the rotated antimeridian the two sides are one point apart,
            // and at a rotated pole the longitude is arbitrary.
            if (std::fabs(std::fabs(lon) - 180.0) < 1e-6 || std::fabs(lat) > 89.9) {
                continue;
            }
            double y = lat;
            double x = lon;
            projection->Project(y, x);
            const double tolerance = 1e-9 * oracle.scale * std::max(1.0, std::hypot(x, y));
            EXPECT_NEAR(x - offsetX, point.x, tolerance) << "at " << point.lat << ", " << point.lon;
            EXPECT_NEAR(y - offsetY, point.y, tolerance) << "at " << point.lat << ", " << point.lon;
        }
        if (IsEqualArea(name)) {
            const double sphere = oracle.sphere * oracle.scale * oracle.scale;
            EXPECT_LT(RelativeDifference(theirs.total, sphere), 5e-5)
                << "d3 " << theirs.total << ", sphere " << sphere;
        }
    }
    if (name == ProjectionNameTable[CylindricalEquidistantCode]) {
        const CRingSet& rings = Map().rings;
        const std::vector<double>& theirs = oracle.centres[0].polygons;
        double planar = 0.0;
        for (std::size_t p = 0; p < rings.GetPolygonCount(); ++p) {
            // All rings clockwise: a polygon's area is its rim's less its holes'.
            double net = 0.0;
            for (uint32_t r = rings.GetFirstRing(p); r < rings.GetEndRing(p); ++r) {
                const double area = UnwrappedRingArea(rings.GetRingPoints(r), rings.GetRingSize(r));
                net += r == rings.GetFirstRing(p) ? area : -area;
            }
            net = std::fabs(net) * DegreesToRadians * DegreesToRadians;
            planar += net;
            if (theirs[p] > 0.05) {
                EXPECT_LT(RelativeDifference(theirs[p], net), 2e-4)
                    << "polygon " << p << ": d3 " << theirs[p] << ", planar " << net;
            }
        }
        EXPECT_LT(RelativeDifference(oracle.centres[0].total, planar), 1e-5)
            << "d3 " << oracle.centres[0].total << ", planar " << planar;
    }
}

// The display geometry covers the area d3 fills, in all and for each of the
// largest polygons (a wrong pole closure or a lost piece in one polygon cannot
// hide behind the total).
TEST_P(DisplayOracle, DisplayGeometryCoversD3Area) {
    const std::string& name = GetParam();
    OracleResult oracle;
    std::string error;
    ASSERT_TRUE(RunOracle(name, oracle, error)) << error;
    auto projection = std::unique_ptr<CProjection>(CreateProjection(name.c_str()));
    ASSERT_NE(projection, nullptr);
    const CDisplayGeometryBuilder builder(MakeDisplaySettings(projection.get(), 0.0));

    for (std::size_t c = 0; c < CentreCount; ++c) {
        const Centre& centre = Centres[c];
        const OracleCentre& theirs = oracle.centres[c];
        SCOPED_TRACE(name + " " + centre.label);
        CRingSet rotated = Map().rings;
        RotateRings(centre, rotated);
        CRingSet display;
        builder.BuildPolygons(rotated, nullptr, display);
        ASSERT_EQ(display.GetPolygonCount(), rotated.GetPolygonCount());

        const double ours = NetArea(display);
        EXPECT_LT(RelativeDifference(ours, theirs.total), 0.005)
            << "net area: ours " << ours << ", d3 " << theirs.total;
        for (std::size_t p : LargestPolygons(theirs.polygons, 6)) {
            const double area = PolygonArea(display, p);
            EXPECT_LT(RelativeDifference(area, theirs.polygons[p]), 0.01)
                << "polygon " << p << ": ours " << area << ", d3 " << theirs.polygons[p];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllWithD3Counterpart, DisplayOracle,
                         testing::ValuesIn(ProjectionsWithD3Counterpart()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string label;
                             for (char ch : info.param) {
                                 if (std::isalnum(static_cast<unsigned char>(ch))) {
                                     label += ch;
                                 }
                             }
                             return label;
                         });

} // namespace
