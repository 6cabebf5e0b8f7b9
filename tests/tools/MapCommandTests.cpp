// Runs the real marlo-cli binary on small maps and checks its files against
// the libraries used in-process.
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "mapfiles/MapFiles.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tests/mapfiles/MapFileTestSupport.h"
#include "tests/viewer/PixelTestSupport.h"
#include "viewer/canvas/MapCanvas.h"

namespace fs = std::filesystem;
using mapfiles_test::Quote;
using mapfiles_test::ReadFile;
using mapfiles_test::WriteFile;

namespace {

const std::string DataDir = MARLO_DATA_DIR;

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class MarloCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("marlo-cli-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        useTextMapFormat2 = false;
    }
    void TearDown() override {
        fs::remove_all(dir);
        useTextMapFormat2 = false;
    }

    CliResult Run(const std::vector<std::string>& args) const {
        std::string command = Quote(MARLO_CLI_PATH);
        for (const auto& arg : args) {
            command.append(" ").append(Quote(arg));
        }
        const fs::path outPath = dir / ".stdout";
        const fs::path errPath = dir / ".stderr";
        command.append(" >").append(Quote(outPath.string()));
        command.append(" 2>").append(Quote(errPath.string())).append(" </dev/null");
        const int status = std::system(command.c_str());
        CliResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = ReadFile(outPath);
        result.err = ReadFile(errPath);
        fs::remove(outPath);
        fs::remove(errPath);
        return result;
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }

    // Names in the work folder, so a failure can be checked to leave nothing.
    std::vector<std::string> Listing() const { return mapfiles_test::FilesIn(dir.string()); }

    fs::path dir;
};

// The vertices of a ring (edge start points) without repeats of the previous
// vertex: a closing point that repeats the first is an extra zero-length edge
// in a shapefile ring but none in a text map ring. Repeats are recognised to
// 1e-12, since an edge's end is computed as start + direction.
bool SamePoint(const C2DPoint& p, const C2DPoint& q, double tolerance) {
    return std::fabs(p.x - q.x) <= tolerance && std::fabs(p.y - q.y) <= tolerance;
}

std::vector<C2DPoint> RingVertices(const C2DPolyBase& ring) {
    constexpr double RepeatTolerance = 1e-12;
    std::vector<C2DPoint> vertices;
    for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
        const C2DPoint p = ring.GetLine(k)->GetStart();
        if (vertices.empty() || !SamePoint(p, vertices.back(), RepeatTolerance)) {
            vertices.push_back(p);
        }
    }
    while (vertices.size() > 1 && SamePoint(vertices.back(), vertices.front(), RepeatTolerance)) {
        vertices.pop_back();
    }
    return vertices;
}

// Same closed ring, in the same direction, within tolerance: a shapefile
// stores holes backwards, so a hole read back may start at another vertex.
bool SameRing(const C2DPolyBase& a, const C2DPolyBase& b, double tolerance) {
    const std::vector<C2DPoint> va = RingVertices(a);
    const std::vector<C2DPoint> vb = RingVertices(b);
    if (va.size() != vb.size()) {
        return false;
    }
    const size_t n = va.size();
    for (size_t shift = 0; shift < n; ++shift) {
        size_t i = 0;
        while (i < n && SamePoint(va[i], vb[(i + shift) % n], tolerance)) {
            ++i;
        }
        if (i == n) {
            return true;
        }
    }
    return n == 0;
}

void ExpectSameRings(const C2DHoledPolyBaseSet& expected, const C2DHoledPolyBaseSet& actual,
                     double tolerance) {
    ASSERT_EQ(expected.GetSize(), actual.GetSize());
    for (unsigned i = 0; i < expected.GetSize(); ++i) {
        const C2DHoledPolyBase& a = *expected.GetAt(i);
        const C2DHoledPolyBase& b = *actual.GetAt(i);
        ASSERT_EQ(a.GetHoleCount(), b.GetHoleCount()) << "holed polygon " << i;
        EXPECT_TRUE(SameRing(*a.GetRim(), *b.GetRim(), tolerance)) << "rim of " << i;
        for (unsigned h = 0; h < a.GetHoleCount(); ++h) {
            EXPECT_TRUE(SameRing(*a.GetHole(h), *b.GetHole(h), tolerance))
                << "hole " << h << " of " << i;
        }
    }
}

// The viewer's road in-process and single-threaded: read, clockwise, rotate,
// project.
bool LoadLikeTheViewer(const std::string& path, C2DHoledPolyBaseSet& content, bool rotate,
                       double latDegrees, double lonDegrees, const char* projectionName) {
    if (!ReadMapFile(path.c_str(), content, nullptr)) {
        return false;
    }
    content.MakeClockwise();
    if (rotate) {
        CGeoPoint origin;
        origin.lat = latDegrees * DegreesToRadians;
        origin.lon = lonDegrees * DegreesToRadians;
        CGeoRotation rotation;
        rotation.SetOrigin(origin.lat * RadiansToDegrees, origin.lon * RadiansToDegrees);
        content.Transform(rotation);
    }
    if (projectionName != nullptr) {
        std::unique_ptr<CProjection> projection(CreateProjection(projectionName));
        if (!projection) {
            return false;
        }
        content.Transform(*projection);
    }
    return true;
}

TEST_F(MarloCliTest, ConversionsBetweenFormatsAndTextVersionsRoundTrip) {
    const std::string source = DataDir + "/world-110m-land.shp";
    ASSERT_EQ(Run({"convert", source, Path("a.shp")}).exitCode, 0);
    C2DHoledPolyBaseSet original;
    ASSERT_TRUE(ReadMapFile(Path("a.shp").c_str(), original, nullptr));
    ASSERT_GT(original.GetSize(), 100u);
    unsigned holes = 0;
    for (unsigned i = 0; i < original.GetSize(); ++i) {
        holes += original.GetAt(i)->GetHoleCount();
    }
    ASSERT_GT(holes, 0u); // holes are what a shapefile stores backwards

    // Every conversion keeps every ring: shapefile to shapefile exactly, text
    // maps to their ten decimals. (Repeated closing points of shapefile rings
    // are not edges of a text map ring; the comparison skips repeats.)
    const struct {
        const char* from;
        const char* to;
        bool format2;
        double tolerance;
    } steps[] = {
        {"a.shp", "b.shp", false, 0.0},
        {"a.shp", "v1.vmq", false, 0.6e-10},
        {"v1.vmq", "v1-b.vmq", false, 0.6e-10},
        {"v1-b.vmq", "from-v1.shp", false, 0.6e-10},
        {"a.shp", "v2.vmq", true, 0.6e-10},
        {"v2.vmq", "v2-b.vmq", true, 0.6e-10},
        {"v2-b.vmq", "from-v2.shp", true, 0.6e-10},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.from) + " -> " + step.to);
        std::vector<std::string> args = {"convert", Path(step.from), Path(step.to)};
        if (step.format2) {
            args.push_back("--format2");
        }
        const CliResult run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        useTextMapFormat2 = step.format2;
        C2DHoledPolyBaseSet converted;
        ASSERT_TRUE(ReadMapFile(Path(step.to).c_str(), converted, nullptr));
        ExpectSameRings(original, converted, step.tolerance);
    }
    // The two text versions differ (version 2 repeats each ring's start).
    EXPECT_NE(ReadFile(Path("v1.vmq")), ReadFile(Path("v2.vmq")));
}

TEST_F(MarloCliTest, ArcEdgesSurviveBothTextVersions) {
    // A clockwise rim whose top edge is a half circle bulging up to y = 15,
    // and one hole.
    const std::string version1 = "(+)\n"
                                 "0.0000000000\t0.0000000000\n"
                                 "0.0000000000\t10.0000000000\t5.0000000000\t1\t0\n"
                                 "10.0000000000\t10.0000000000\n"
                                 "10.0000000000\t0.0000000000\n"
                                 "\n"
                                 "(-)\n"
                                 "2.0000000000\t2.0000000000\n"
                                 "2.0000000000\t4.0000000000\n"
                                 "4.0000000000\t4.0000000000\n"
                                 "4.0000000000\t2.0000000000\n"
                                 "\n";
    WriteFile(Path("arc1.vmq"), version1);
    ASSERT_EQ(Run({"convert", Path("arc1.vmq"), Path("arc1-out.vmq")}).exitCode, 0);
    EXPECT_EQ(ReadFile(Path("arc1-out.vmq")), version1);

    // The same map in version 2: the arc data sit on the line of the arc's end.
    const std::string version2 = "(+)\n"
                                 "0.0000000000\t0.0000000000\n"
                                 "0.0000000000\t10.0000000000\n"
                                 "10.0000000000\t10.0000000000\t5.0000000000\t1\t0\n"
                                 "10.0000000000\t0.0000000000\n"
                                 "0.0000000000\t0.0000000000\n"
                                 "\n"
                                 "(-)\n"
                                 "2.0000000000\t2.0000000000\n"
                                 "2.0000000000\t4.0000000000\n"
                                 "4.0000000000\t4.0000000000\n"
                                 "4.0000000000\t2.0000000000\n"
                                 "2.0000000000\t2.0000000000\n"
                                 "\n";
    WriteFile(Path("arc2.vmq"), version2);
    ASSERT_EQ(Run({"convert", Path("arc2.vmq"), Path("arc2-out.vmq"), "--format2"}).exitCode, 0);
    EXPECT_EQ(ReadFile(Path("arc2-out.vmq")), version2);

    const CliResult info = Run({"info", Path("arc2.vmq"), "--format2"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("Holed polygons:  1\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Rings:           2 (1 rims, 1 holes)\n"), std::string::npos);
    EXPECT_NE(info.out.find("Edges:           8\n"), std::string::npos);
    EXPECT_NE(info.out.find("Arc edges:       1\n"), std::string::npos);
    EXPECT_NE(info.out.find("Bounds:          x 0 to 10, y 0 to 15"), std::string::npos)
        << info.out;

    // A shapefile keeps only the arc's end points: every edge comes out
    // straight, and each ring is closed by repeating its first point (an
    // edge of no length more per ring).
    ASSERT_EQ(Run({"convert", Path("arc1.vmq"), Path("arc.shp")}).exitCode, 0);
    const CliResult shpInfo = Run({"info", Path("arc.shp")});
    EXPECT_NE(shpInfo.out.find("Arc edges:       0\n"), std::string::npos) << shpInfo.out;
    EXPECT_NE(shpInfo.out.find("Edges:           10\n"), std::string::npos) << shpInfo.out;
    EXPECT_NE(shpInfo.out.find("Fields:          ID (N 10)\n"), std::string::npos) << shpInfo.out;
}

TEST_F(MarloCliTest, ConvertWritesWhatTheViewerPipelineGives) {
    // Big enough to be transformed on several threads; the result must equal
    // the single-threaded viewer road bit for bit.
    const std::string source = DataDir + "/world-50m-countries.shp";
    const CliResult run = Run({"convert", source, Path("cli.shp"), "--rotate", "40,-100",
                               "--projection", "Van Der Grinten"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, ""); // no progress bar when standard error is not a terminal
    C2DHoledPolyBaseSet content;
    ASSERT_TRUE(LoadLikeTheViewer(source, content, true, 40.0, -100.0, "Van Der Grinten"));
    ASSERT_TRUE(SaveShapefile(Path("reference.shp").c_str(), content));
    EXPECT_EQ(ReadFile(Path("cli.shp")), ReadFile(Path("reference.shp")));
}

// Every file of a folder, by name; a .dbf without the date of its writing
// (header bytes 1 to 3), which two runs may not share.
std::map<std::string, std::string> FilesOf(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string bytes = ReadFile(entry.path());
        if (entry.path().extension() == ".dbf" && bytes.size() >= 4) {
            bytes.replace(1, 3, 3, '\0');
        }
        files[entry.path().filename().string()] = std::move(bytes);
    }
    return files;
}

// Converting piece by piece writes byte for byte what reading, preparing and
// writing the whole map writes: every file of the set, for both formats in
// and out, with and without each transformation and the display geometry.
// The maps hold records split into several holed polygons (written last
// first), holes, arcs in both text versions, and (world-10m-countries) more
// rings than the preparation keeps in flight at once.
TEST_F(MarloCliTest, StreamingWritesWhatTheWholeMapWrites) {
    struct Input {
        std::string path;
        bool format2;
    };
    const std::vector<Input> inputs = {
        {DataDir + "/world-110m-land.shp", false},
        {DataDir + "/world-50m-countries.shp", false},
        {DataDir + "/sample-arcs.vmq", false},
        {DataDir + "/sample-arcs-v2.vmq", true},
    };
    const std::vector<std::vector<std::string>> optionSets = {
        {},
        {"--rotate", "40,-100"},
        {"--projection", "Mollweide"},
        {"--rotate", "40,-100", "--projection", "Orthographic"},
        {"--clip"},
        {"--clip", "--projection", "Mollweide"},
        {"--clip", "--rotate", "40,-100", "--projection", "Orthographic"},
    };
    int compared = 0;
    const auto compare = [&](const Input& input, const std::vector<std::string>& options,
                             const std::string& extension) {
        const std::string what = input.path + " to " + extension;
        std::map<std::string, std::string> results[2];
        int exitCodes[2] = {-1, -1};
        for (int whole = 0; whole < 2; ++whole) {
            const fs::path folder = dir / (whole != 0 ? "whole" : "streamed");
            fs::remove_all(folder);
            fs::create_directories(folder);
            std::vector<std::string> args = {"convert", input.path,
                                             (folder / ("out" + extension)).string()};
            args.insert(args.end(), options.begin(), options.end());
            if (input.format2) {
                args.push_back("--format2");
            }
            if (whole != 0) {
                args.push_back("--whole-map");
            }
            const CliResult result = Run(args);
            exitCodes[whole] = result.exitCode;
            EXPECT_EQ(result.exitCode, 0) << what << ": " << result.err;
            results[whole] = FilesOf(folder);
        }
        EXPECT_EQ(exitCodes[0], exitCodes[1]) << what;
        ASSERT_FALSE(results[0].empty()) << what;
        EXPECT_EQ(results[0].size(), results[1].size()) << what;
        for (const auto& [name, bytes] : results[1]) {
            const auto streamed = results[0].find(name);
            ASSERT_NE(streamed, results[0].end()) << what << ": no " << name;
            EXPECT_TRUE(streamed->second == bytes) << what << ": " << name << " differs";
        }
        ++compared;
    };
    for (const Input& input : inputs) {
        for (const auto& options : optionSets) {
            for (const char* extension : {".shp", ".vmq"}) {
                compare(input, options, extension);
            }
        }
    }
    EXPECT_EQ(compared, 56);
    // A larger map where the benchmark maps lie beside the project (they are
    // not part of it, so a bare checkout runs without them).
    const Input large{std::string(MARLO_SHARED_DATA_DIR) + "/world-10m-countries.shp", false};
    if (std::filesystem::exists(large.path)) {
        compare(large, {"--projection", "Mollweide"}, ".shp");
        compare(large, {"--rotate", "40,-100"}, ".vmq");
        EXPECT_EQ(compared, 58);
    } else {
        std::printf("(%s is not here: compared on the bundled maps only)\n", large.path.c_str());
    }
}

TEST_F(MarloCliTest, ProgressBarOnlyOnATerminal) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "util-linux script is not installed";
    }
    const std::string source = DataDir + "/world-110m-land.shp";
    // script gives the command a terminal and copies what it shows to stdout.
    const auto shownOnATerminal = [&](const std::string& extra) {
        const std::string inner = Quote(MARLO_CLI_PATH) + " convert " + Quote(source) + " " +
                                  Quote(Path("out.vmq")) + extra + " >/dev/null";
        const fs::path shown = dir / "shown.txt";
        const std::string command =
            "script -qec " + Quote(inner) + " /dev/null >" + Quote(shown.string()) + " </dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadFile(shown);
    };
    // Streaming shows one bar for the whole road; the whole-map road one for
    // reading and one for writing.
    const std::string streamed = shownOnATerminal("");
    EXPECT_NE(streamed.find("Converting " + source), std::string::npos) << streamed;
    EXPECT_NE(streamed.find("] 100%"), std::string::npos) << streamed;
    const std::string text = shownOnATerminal(" --whole-map");
    EXPECT_NE(text.find("Reading " + source), std::string::npos) << text;
    EXPECT_NE(text.find("Writing " + Path("out.vmq")), std::string::npos) << text;
    EXPECT_NE(text.find("] 100%"), std::string::npos) << text;

    const CliResult piped = Run({"convert", source, Path("out2.vmq")});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.err, "");
}

TEST_F(MarloCliTest, FailuresReportTheFileAndLeaveNothingBehind) {
    const std::string source = DataDir + "/world-110m-land.shp";

    const CliResult missing = Run({"convert", Path("missing.shp"), Path("out.shp")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Could not open file"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find(Path("missing.shp")), std::string::npos) << missing.err;

    EXPECT_NE(missing.err.find("No such file"), std::string::npos) << missing.err;

    // Extensions count in any case; the set keeps the case of its main file.
    fs::copy_file(source, Path("CAPITALS.SHP"));
    const CliResult capitals = Run({"convert", Path("CAPITALS.SHP"), Path("OUT.SHP")});
    EXPECT_EQ(capitals.exitCode, 0) << capitals.err;
    EXPECT_EQ(Listing(), (std::vector<std::string>{"CAPITALS.SHP", "OUT.DBF", "OUT.PRJ", "OUT.SHP",
                                                   "OUT.SHX"}));
    for (const std::string& name : Listing()) {
        fs::remove(Path(name));
    }

    const CliResult noFormat = Run({"convert", source, Path("out.txt")});
    EXPECT_EQ(noFormat.exitCode, 1);
    EXPECT_NE(noFormat.err.find("Could not save file: " + Path("out.txt")), std::string::npos)
        << noFormat.err;

    const std::string inMissingFolder = Path("no-such-folder/out.shp");
    const CliResult noFolder = Run({"convert", source, inMissingFolder});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_NE(noFolder.err.find("Could not save file: " + inMissingFolder), std::string::npos);

    const CliResult renderMissing = Run({"render", Path("missing.vmq"), Path("out.png")});
    EXPECT_EQ(renderMissing.exitCode, 1);
    EXPECT_NE(renderMissing.err.find("Could not open file"), std::string::npos);
    const CliResult renderNoFolder = Run({"render", source, Path("no-such-folder/out.png")});
    EXPECT_EQ(renderNoFolder.exitCode, 1);
    EXPECT_NE(renderNoFolder.err.find("Could not save file"), std::string::npos);

    const CliResult infoMissing = Run({"info", Path("missing.shp")});
    EXPECT_EQ(infoMissing.exitCode, 1);
    EXPECT_NE(infoMissing.err.find("Could not open file"), std::string::npos);
    EXPECT_TRUE(Listing().empty()) << Listing().front();

    // A failed read leaves an existing output untouched.
    WriteFile(Path("keep.shp"), "old content");
    EXPECT_EQ(Run({"convert", Path("missing.shp"), Path("keep.shp")}).exitCode, 1);
    EXPECT_EQ(ReadFile(Path("keep.shp")), "old content");
}

TEST_F(MarloCliTest, BadCommandLinesExitWithUsageStatus) {
    const std::string source = DataDir + "/world-110m-land.shp";
    const CliResult unknown = Run({"convert", source, Path("o.shp"), "--projection", "Mercatr"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("Mercatr"), std::string::npos);
    EXPECT_NE(unknown.err.find("Van Der Grinten"), std::string::npos); // the list of names
    for (const char* origin : {"40", "40,", "x,1", "91,0", "-90.5,0", "nan,0", "1,2,3"}) {
        const CliResult bad = Run({"convert", source, Path("o.shp"), "--rotate", origin});
        EXPECT_EQ(bad.exitCode, 2) << origin;
    }
    EXPECT_EQ(Run({"convert", source}).exitCode, 2);
    EXPECT_EQ(Run({"convert", source, Path("o.shp"), "--rotate"}).exitCode, 2);
    EXPECT_EQ(Run({"convert", source, Path("o.shp"), "--bogus"}).exitCode, 2);
    EXPECT_EQ(Run({"info", source, "--projection", "Mollweide"}).exitCode, 2);
    EXPECT_TRUE(Listing().empty());

    for (const char* command : {"info", "convert", "render"}) {
        const CliResult help = Run({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("Usage: marlo-cli ") + command, 0), 0u) << help.out;
    }
    // The equals form of the options works as well.
    EXPECT_EQ(Run({"convert", source, Path("o.shp"), "--rotate=-10,20", "--projection=Mercator"})
                  .exitCode,
              0);
}

TEST_F(MarloCliTest, RenderEqualsTheCanvasPixelForPixel) {
    struct Case {
        const char* file;
        bool rotate;
        const char* projection;
    };
    const Case cases[] = {{"world-110m-land.shp", false, nullptr},
                          {"world-50m-countries.shp", true, "Mollweide"},
                          {"world-110m-land.shp", false, "Orthographic"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + (c.projection ? c.projection : "-"));
        const std::string source = DataDir + "/" + c.file;
        // --raw: the content as the transformations leave it (without it a
        // map of the earth is drawn as its display geometry).
        std::vector<std::string> args = {"render", source, Path("map.png"), "--raw"};
        if (c.rotate) {
            args.insert(args.end(), {"--rotate", "40,-100"});
        }
        if (c.projection != nullptr) {
            args.insert(args.end(), {"--projection", c.projection});
        }
        const CliResult run = Run(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, Path("map.png") + "\n");

        C2DHoledPolyBaseSet content;
        ASSERT_TRUE(LoadLikeTheViewer(source, content, c.rotate, 40.0, -100.0, c.projection));
        CMapCanvas canvas;
        canvas.lineColour = QColor(200, 0, 0);
        canvas.CreateBuffer(CMapCanvas::MapImageWidth, CMapCanvas::MapImageHeight);
        canvas.FitToBounds(content);
        canvas.Render(content);
        ASSERT_NE(canvas.GetImage(), nullptr);
        const QImage expected = canvas.GetImage()->convertToFormat(QImage::Format_RGB32);

        const QImage written =
            QImage(QString::fromStdString(Path("map.png"))).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(written.size(), QSize(1000, 750));
        EXPECT_EQ(DifferingPixels(written, expected), 0);
        // Not a blank image: plenty of the map's interior colour is there.
        EXPECT_GT(CountPixels(written, qRgb(25, 25, 25)), 20000);
        fs::remove(Path("map.png"));
    }
}

// What a peer prints, standard error included.
std::string RunPeer(const std::string& command) {
    return mapfiles_test::RunCommand(command + " 2>&1");
}

// The total area GDAL gives a layer, with all its digits.
double GdalArea(const std::string& path) {
    const std::string layer = fs::path(path).stem().string();
    const std::string output = RunPeer(
        "ogrinfo -ro -q -dialect sqlite -sql \"select printf('%.17g', sum(ST_Area(geometry))) "
        "as area from \\\"" +
        layer + "\\\"\" " + Quote(path));
    const std::size_t at = output.find("area (String) = ");
    return at == std::string::npos ? std::nan("") : std::strtod(output.c_str() + at + 16, nullptr);
}

std::vector<std::string> SortedNames(const std::string& path) {
    std::vector<std::string> names;
    const std::string output = RunPeer("ogrinfo -ro -al -q -geom=NO " + Quote(path));
    const std::string key = "  name (String) = ";
    for (std::size_t at = output.find(key); at != std::string::npos;
         at = output.find(key, at + 1)) {
        const std::size_t start = at + key.size();
        names.push_back(output.substr(start, output.find('\n', start) - start));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// A converted shapefile opens in GDAL as it is (no configuration), with every
// name and the area of the source; projected with Mollweide, its .prj names
// Mollweide and GDAL's area equals that of GDAL's own Mollweide conversion.
TEST_F(MarloCliTest, ConvertedShapefilesOpenInGdal) {
    ASSERT_EQ(std::system("command -v ogrinfo >/dev/null && command -v ogr2ogr >/dev/null"), 0)
        << "GDAL is not installed";
    const std::string source = DataDir + "/world-50m-countries.shp";
    const CliResult plain = Run({"convert", source, Path("out.shp")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const std::string summary =
        RunPeer("env -i PATH=/usr/bin:/bin ogrinfo -ro -so -al " + Quote(Path("out.shp")));
    EXPECT_NE(summary.find("using driver `ESRI Shapefile' successful"), std::string::npos)
        << summary;
    EXPECT_EQ(summary.find("ERROR"), std::string::npos) << summary;
    EXPECT_NE(summary.find("ID[\"EPSG\",4326]"), std::string::npos) << summary;
    const std::vector<std::string> names = SortedNames(source);
    EXPECT_EQ(names.size(), 241u);
    EXPECT_EQ(SortedNames(Path("out.shp")), names);
    const double sourceArea = GdalArea(source);
    EXPECT_NEAR(GdalArea(Path("out.shp")), sourceArea, 1e-9 * sourceArea);

    const CliResult projected =
        Run({"convert", source, Path("moll.shp"), "--projection", "Mollweide"});
    ASSERT_EQ(projected.exitCode, 0) << projected.err;
    EXPECT_NE(ReadFile(Path("moll.prj")).find("PROJECTION[\"Mollweide\"]"), std::string::npos);
    // GDAL converts from the same unit sphere (it refuses to mix the earth's
    // ellipsoid with a sphere of radius 1).
    RunPeer("ogr2ogr -s_srs '+proj=longlat +R=1' -t_srs '+proj=moll +R=1' " +
            Quote(Path("gdal.shp")) + " " + Quote(source));
    const double gdalArea = GdalArea(Path("gdal.shp"));
    ASSERT_TRUE(std::isfinite(gdalArea));
    EXPECT_NEAR(GdalArea(Path("moll.shp")), gdalArea, 1e-6 * gdalArea);
    EXPECT_EQ(SortedNames(Path("moll.shp")), names);

    // A rotated map has no coordinate system: no .prj, and a stale one goes.
    WriteFile(Path("moll.prj"), "stale");
    const CliResult rotated = Run(
        {"convert", source, Path("moll.shp"), "--projection", "Mollweide", "--rotate", "40,-100"});
    ASSERT_EQ(rotated.exitCode, 0) << rotated.err;
    EXPECT_FALSE(fs::exists(Path("moll.prj")));
}

} // namespace
