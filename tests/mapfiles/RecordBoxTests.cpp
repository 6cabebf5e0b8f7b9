// The box of every record written: the bytes of each record's box against
// the extremes of its own points, and against what shapelib's shpdump and
// GDAL's spatial filter read from the file. A box with two sides swapped
// reads as an empty one, and peers then pass the record over.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

struct Box {
    double xMin = 0.0;
    double yMin = 0.0;
    double xMax = 0.0;
    double yMax = 0.0;
};

Box BoxAt(const std::string& bytes, std::size_t offset) {
    return Box{DoubleAt(bytes, offset), DoubleAt(bytes, offset + 8), DoubleAt(bytes, offset + 16),
               DoubleAt(bytes, offset + 24)};
}

// The extremes of the points in a record's point array.
Box ExtremesOf(const std::string& bytes, std::size_t first, int32_t count) {
    Box box{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (int32_t i = 0; i < count; ++i) {
        const double x = DoubleAt(bytes, first + 16 * static_cast<std::size_t>(i));
        const double y = DoubleAt(bytes, first + 16 * static_cast<std::size_t>(i) + 8);
        box.xMin = std::min(box.xMin, x);
        box.xMax = std::max(box.xMax, x);
        box.yMin = std::min(box.yMin, y);
        box.yMax = std::max(box.yMax, y);
    }
    return box;
}

// Equal but for rounding: a ring's bounds come from its edges' computed ends
// (start + direction), which may differ from the next vertex in the last
// bits, and shpdump prints 15 digits.
bool Near(double a, double b, double scale) {
    return std::fabs(a - b) <= 1e-12 * std::max(1.0, scale);
}

void ExpectSameBox(const Box& a, const Box& b, double scale, const std::string& what) {
    EXPECT_TRUE(Near(a.xMin, b.xMin, scale) && Near(a.yMin, b.yMin, scale) &&
                Near(a.xMax, b.xMax, scale) && Near(a.yMax, b.yMax, scale))
        << what << ": (" << a.xMin << ", " << a.yMin << ") - (" << a.xMax << ", " << a.yMax
        << ") against (" << b.xMin << ", " << b.yMin << ") - (" << b.xMax << ", " << b.yMax << ")";
}

// Each shape's bounds as shpdump prints them.
std::vector<Box> ShpdumpBounds(const std::string& path) {
    const std::string text = RunCommand("shpdump '" + path + "' 2>&1");
    const std::regex bounds(R"(Bounds:\(([^,]+),([^,]+),[^)]*\)\s*to \(([^,]+),([^,]+),)");
    std::vector<Box> boxes;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), bounds);
         it != std::sregex_iterator(); ++it) {
        boxes.push_back(Box{std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                            std::stod((*it)[4])});
    }
    return boxes;
}

// Checks every record box of a written main file against its points and
// shpdump, and the file's box against all points; returns the record count.
int CheckRecordBoxes(const std::string& path, double scale) {
    const std::string bytes = ReadFile(path);
    EXPECT_GE(bytes.size(), 100u);
    std::vector<Box> boxes;
    Box all{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (std::size_t at = 100; at + 8 <= bytes.size();) {
        const std::size_t content = at + 8;
        const auto length = 2 * static_cast<std::size_t>(BigEndianAt(bytes, at + 4));
        EXPECT_EQ(LittleAt(bytes, content), 5);
        const int32_t parts = LittleAt(bytes, content + 36);
        const int32_t points = LittleAt(bytes, content + 40);
        const Box box = BoxAt(bytes, content + 4);
        const std::string what = path + " record " + std::to_string(boxes.size() + 1);
        EXPECT_LE(box.xMin, box.xMax) << what;
        EXPECT_LE(box.yMin, box.yMax) << what;
        const Box extremes =
            ExtremesOf(bytes, content + 44 + 4 * static_cast<std::size_t>(parts), points);
        ExpectSameBox(box, extremes, scale, what);
        all.xMin = std::min(all.xMin, extremes.xMin);
        all.yMin = std::min(all.yMin, extremes.yMin);
        all.xMax = std::max(all.xMax, extremes.xMax);
        all.yMax = std::max(all.yMax, extremes.yMax);
        boxes.push_back(box);
        at = content + length;
    }
    ExpectSameBox(BoxAt(bytes, 36), all, scale, path + " header");

    const std::vector<Box> dumped = ShpdumpBounds(path);
    EXPECT_EQ(dumped.size(), boxes.size()) << "shpdump on " << path;
    for (std::size_t i = 0; i < std::min(dumped.size(), boxes.size()); ++i) {
        ExpectSameBox(dumped[i], boxes[i], scale, "shpdump, shape " + std::to_string(i));
    }
    return static_cast<int>(boxes.size());
}

int FeaturesInWindow(const std::string& path, double x0, double y0, double x1, double y1) {
    char window[160];
    std::snprintf(window, sizeof window, "%.17g %.17g %.17g %.17g", x0, y0, x1, y1);
    const std::string text =
        RunCommand("ogrinfo -ro -so -al -spat " + std::string(window) + " '" + path + "' 2>&1");
    const std::size_t at = text.find("Feature Count: ");
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 15);
}

} // namespace

TEST(RecordBoxTest, EveryRecordBoxHoldsItsPointsAsPeersReadIt) {
    for (const char* tool : {"shpdump", "ogrinfo"}) {
        ASSERT_EQ(std::system((std::string("command -v ") + tool + " >/dev/null").c_str()), 0)
            << tool << " is missing (scripts/install-deps installs it)";
    }
    TempFolder folder;
    C2DHoledPolyBaseSet content;
    ASSERT_TRUE(ReadShapefile((std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp").c_str(),
                              content, nullptr));
    content.MakeClockwise();
    const std::string plain = folder.File("plain.shp");
    ASSERT_TRUE(SaveShapefile(plain.c_str(), content));
    const int records = CheckRecordBoxes(plain, 180.0);
    EXPECT_EQ(records, static_cast<int>(content.GetSize()));
    // GDAL's spatial filter reads the record boxes: every country meets the
    // whole world, and a window over western Europe finds some but not all.
    EXPECT_EQ(FeaturesInWindow(plain, -180, -90, 180, 90), records);
    const int europe = FeaturesInWindow(plain, -10, 40, 10, 55);
    EXPECT_GT(europe, 5);
    EXPECT_LT(europe, records / 4);

    // Rotated and projected coordinates, where the rings' bounds are rebuilt
    // from transformed edges.
    CGeoRotation rotation;
    rotation.SetOrigin(40.0, -100.0);
    content.Transform(rotation);
    const std::unique_ptr<CProjection> projection(CreateProjection("Mollweide"));
    ASSERT_NE(projection, nullptr);
    content.Transform(*projection);
    const std::string projected = folder.File("projected.shp");
    ASSERT_TRUE(SaveShapefile(projected.c_str(), content));
    EXPECT_EQ(CheckRecordBoxes(projected, 3.0), records);
}
