// marlo-cli's display geometry: render draws it (and the raw content with
// --raw, the graticule with --graticule); convert --clip writes it as proper
// rings that GDAL reads back, with each piece's attributes.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "projection/DisplayGeometry.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tests/mapfiles/MapFileTestSupport.h"
#include "tests/viewer/PixelTestSupport.h"
#include "viewer/canvas/DisplaySource.h"
#include "viewer/canvas/MapCanvas.h"

namespace fs = std::filesystem;
using mapfiles_test::Quote;

namespace {

const std::string World = std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp";

// Runs a command line; its exit status, with standard output in out.
int RunShell(const std::string& command, std::string* out = nullptr) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, n);
    }
    const int status = pclose(pipe);
    if (out != nullptr) {
        *out = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunCli(const std::vector<std::string>& args, std::string* out = nullptr) {
    std::string command = Quote(MARLO_CLI_PATH);
    for (const std::string& arg : args) {
        command += ' ';
        command += Quote(arg);
    }
    return RunShell(command, out);
}

class SphereCommandTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return folder.File(name); }

    mapfiles_test::TempFolder folder;
};

// The world map's rings rotated by (40, -100), open, one polygon per holed
// polygon: the display geometry's input made straight from the file.
CRingSet RotatedWorld(const C2DHoledPolyBaseSet& world) {
    CGeoRotation rotation;
    rotation.SetOrigin(40.0, -100.0);
    return RingsOf(world, false, &rotation);
}

void LoadWorld(C2DHoledPolyBaseSet& world) {
    ASSERT_TRUE(ReadShapefile(World.c_str(), world, nullptr));
    world.MakeClockwise();
}

void PrepareCanvas(CMapCanvas& canvas) {
    canvas.lineColour = QColor(200, 0, 0);
    canvas.renderThreads = 1;
    canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
}

TEST_F(SphereCommandTest, RenderDrawsTheDisplayGeometryTheRawContentAndTheGraticule) {
    const std::vector<std::string> common{World,         "", "--rotate", "40,-100", "--projection",
                                          "Orthographic"};
    const auto render = [&](const std::string& name, std::vector<std::string> extra) {
        std::vector<std::string> args{"render"};
        args.insert(args.end(), common.begin(), common.end());
        args[2] = Path(name);
        args.insert(args.end(), extra.begin(), extra.end());
        std::string out;
        EXPECT_EQ(RunCli(args, &out), 0) << out;
        return QImage(QString::fromStdString(Path(name))).convertToFormat(QImage::Format_RGB32);
    };
    const QImage clipped = render("clipped.png", {});
    const QImage raw = render("raw.png", {"--raw"});
    const QImage graticule = render("graticule.png", {"--graticule"});

    C2DHoledPolyBaseSet world;
    LoadWorld(world);
    std::unique_ptr<CProjection> orthographic(CreateProjection("Orthographic"));
    // The display geometry at a quarter of half a pixel on the globe's
    // disc (of diameter 2 in 750 pixels), fitted to its bounds.
    CMapCanvas expected;
    PrepareCanvas(expected);
    const double tolerance = 0.5 / (750.0 / 2.0) / 4.0;
    EXPECT_DOUBLE_EQ(FirstDisplayTolerance(orthographic.get(), expected, 1e-4), tolerance);
    CRingSet built;
    CDisplayGeometryBuilder(MakeDisplaySettings(orthographic.get(), tolerance))
        .BuildPolygons(RotatedWorld(world), nullptr, built, 1);
    CPlanePoint low{0, 0};
    CPlanePoint high{0, 0};
    ASSERT_TRUE(FiniteBounds(built, low, high));
    expected.requestedRect = C2DRect(low.x, high.y, high.x, low.y);
    expected.Recalculate();
    ASSERT_TRUE(expected.PrepareRingDrawing(std::move(built)));
    expected.RenderRings();
    EXPECT_EQ(DifferingPixels(clipped, *expected.GetImage()), 0);

    // --raw: the content rotated and projected, drawn as it is, folded far
    // side and all.
    CGeoRotation rotation;
    rotation.SetOrigin(40.0, -100.0);
    world.Transform(rotation);
    world.Transform(*orthographic);
    CMapCanvas plain;
    PrepareCanvas(plain);
    plain.FitToBounds(world);
    plain.Render(world);
    EXPECT_EQ(DifferingPixels(raw, *plain.GetImage()), 0);
    EXPECT_GT(CountPixels(raw, qRgb(25, 25, 25)), CountPixels(clipped, qRgb(25, 25, 25)));

    // The graticule lies beneath: the land's pixels stay, the sea shows the
    // sphere and its lines.
    const CMapCanvas colours;
    EXPECT_EQ(CountPixels(graticule, qRgb(25, 25, 25)), CountPixels(clipped, qRgb(25, 25, 25)));
    EXPECT_GT(CountPixels(graticule, colours.backdropFillColour.rgb()), 100000);
    EXPECT_GT(CountPixels(graticule, colours.backdropLineColour.rgb()), 2000);
    EXPECT_EQ(CountPixels(clipped, colours.backdropLineColour.rgb()), 0);
}

TEST_F(SphereCommandTest, ConvertClipWritesProperRingsWithTheirRecords) {
    const std::string out = Path("clipped.shp");
    std::string text;
    ASSERT_EQ(RunCli({"convert", World, out, "--rotate", "40,-100", "--projection", "Orthographic",
                      "--clip"},
                     &text),
              0)
        << text;

    // Read back as written: every ring finite, each hole inside its rim, all
    // on the unit disc.
    C2DHoledPolyBaseSet written;
    ASSERT_TRUE(ReadShapefile(out.c_str(), written, nullptr));
    ASSERT_GT(written.GetSize(), 100u);
    double area = 0.0;
    for (unsigned i = 0; i < written.GetSize(); ++i) {
        const C2DHoledPolyBase* holed = written.GetAt(i);
        ASSERT_NE(holed->GetRim(), nullptr);
        const C2DPolyBase& rim = *holed->GetRim();
        ASSERT_GE(rim.GetLineCount(), 3u);
        area += std::fabs(rim.GetArea());
        for (unsigned h = 0; h < holed->GetHoleCount(); ++h) {
            const C2DPolyBase& hole = *holed->GetHole(h);
            area -= std::fabs(hole.GetArea());
            C2DRect rimBounds;
            C2DRect holeBounds;
            rim.GetBounds(rimBounds);
            hole.GetBounds(holeBounds);
            EXPECT_TRUE(rimBounds.topLeft.x <= holeBounds.topLeft.x &&
                        holeBounds.bottomRight.x <= rimBounds.bottomRight.x &&
                        rimBounds.bottomRight.y <= holeBounds.bottomRight.y &&
                        holeBounds.topLeft.y <= rimBounds.topLeft.y)
                << "feature " << i << " hole " << h;
        }
        C2DRect bounds;
        rim.GetBounds(bounds);
        EXPECT_TRUE(std::isfinite(bounds.topLeft.x) && std::isfinite(bounds.bottomRight.y));
        EXPECT_LE(std::hypot(bounds.topLeft.x, bounds.topLeft.y), std::sqrt(2.0) + 1e-9);
    }
    // The net area of the display geometry itself (slivers of a few square
    // micro-units that have no rim of their own are not written).
    C2DHoledPolyBaseSet world;
    LoadWorld(world);
    std::unique_ptr<CProjection> orthographic(CreateProjection("Orthographic"));
    CRingSet built;
    CDisplayGeometryBuilder(MakeDisplaySettings(orthographic.get()))
        .BuildPolygons(RotatedWorld(world), nullptr, built, 1);
    EXPECT_NEAR(area, NetArea(built), 1e-6 * NetArea(built));

    // GDAL reads it, and every piece keeps its country's row.
    ASSERT_EQ(
        RunShell("ogrinfo -q -sql \"SELECT name FROM clipped WHERE name = 'Canada'\" " + Quote(out),
                 &text),
        0)
        << text;
    EXPECT_NE(text.find("Canada"), std::string::npos) << text;
    // Holes are holes to GDAL too: no country of the disc comes out as
    // overlapping shells.
    ASSERT_EQ(RunShell("ogrinfo -q -dialect sqlite -sql \"SELECT name FROM clipped WHERE "
                       "ST_NumInteriorRing(geometry) > 0\" " +
                           Quote(out),
                       &text),
              0)
        << text;
    EXPECT_NE(text.find("Italy"), std::string::npos) << text;
    // Nothing of Australia faces North America.
    ASSERT_EQ(RunShell("ogrinfo -q -sql \"SELECT name FROM clipped WHERE name = 'Australia'\" " +
                           Quote(out),
                       &text),
              0);
    EXPECT_EQ(text.find("Australia"), std::string::npos) << text;
}

TEST_F(SphereCommandTest, ConvertClipRefusesWhatItCannotDo) {
    std::string text;
    // A coarser tolerance writes fewer points; a bad one is a usage error.
    ASSERT_EQ(RunCli({"convert", World, Path("fine.vmq"), "--projection", "Mollweide", "--clip"}),
              0);
    ASSERT_EQ(RunCli({"convert", World, Path("coarse.vmq"), "--projection", "Mollweide", "--clip",
                      "--tolerance", "0.05"}),
              0);
    EXPECT_GT(fs::file_size(Path("fine.vmq")), fs::file_size(Path("coarse.vmq")));
    for (const char* bad : {"0", "-1", "x", "inf"}) {
        EXPECT_EQ(RunCli({"convert", World, Path("bad.shp"), "--clip", "--tolerance", bad}, &text),
                  2)
            << bad;
        EXPECT_NE(text.find("--tolerance"), std::string::npos) << text;
    }
    // A map that is no map of the earth.
    C2DHoledPolyBaseSet plan;
    auto* holed = new C2DHoledPolygon();
    const double corners[] = {0.0, 0.0, 0.0, 300.0, 500.0, 300.0, 500.0, 0.0};
    auto* ring = new C2DPolygon();
    ring->Create(corners, 4);
    holed->SetRim(ring);
    plan.Add(holed);
    ASSERT_TRUE(SaveShapefile(Path("plan.shp").c_str(), plan));
    EXPECT_EQ(RunCli({"convert", Path("plan.shp"), Path("plan-out.shp"), "--clip"}, &text), 1);
    EXPECT_NE(text.find("longitude and latitude"), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(Path("plan-out.shp")));
}

} // namespace
