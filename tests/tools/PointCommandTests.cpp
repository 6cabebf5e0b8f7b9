// Runs the real marlo-cli binary: the list and project commands.
#include "projection/GeoRotation.h"
#include "projection/Projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Runs marlo-cli with the given (already quoted) arguments and standard input.
Result RunCli(const std::string& arguments, const std::string& input = "") {
    const std::string base =
        std::string(MARLO_BINARY_DIR) + "/marlo-cli-point-" + std::to_string(getpid());
    {
        std::ofstream in(base + ".in");
        in << input;
    }
    const std::string command = std::string("'") + MARLO_CLI + "' " + arguments + " < " + base +
                                ".in > " + base + ".out 2> " + base + ".err";
    const int raw = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(base + ".out");
    result.err = ReadFile(base + ".err");
    for (const char* suffix : {".in", ".out", ".err"}) {
        std::remove((base + suffix).c_str());
    }
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::string Format(double x, double y) {
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, "%.17g %.17g", x, y);
    return buffer;
}

} // namespace

TEST(MarloCliList, PrintsTheTableInOrder) {
    const Result result = RunCli("list");
    EXPECT_EQ(result.status, 0);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), static_cast<size_t>(ProjectionCount));
    for (int code = 0; code < ProjectionCount; ++code) {
        EXPECT_EQ(lines[code], ProjectionNameTable[code]);
    }
    EXPECT_EQ(RunCli("list --help").status, 0);
    EXPECT_EQ(RunCli("list extra").status, 2);
    EXPECT_EQ(RunCli("").status, 2);
    EXPECT_EQ(RunCli("nonsense").status, 2);
    const Result help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("project"), std::string::npos);
}

TEST(MarloCliProject, MatchesTheLibraryBitForBit) {
    const std::string input = "90 45\n-180\t-90\n  12.5   -33.25  \n0 0\r\n";
    const double points[][2] = {{90, 45}, {-180, -90}, {12.5, -33.25}, {0, 0}};

    // Rotation and projection forward, then back.
    const Result forward =
        RunCli("project --projection 'Van Der Grinten' --rotate 10.5,-20", input);
    ASSERT_EQ(forward.status, 0) << forward.err;
    const auto lines = Lines(forward.out);
    ASSERT_EQ(lines.size(), 4u);
    CGeoRotation rotation;
    rotation.SetOrigin(10.5, -20);
    std::unique_ptr<CProjection> vdg(CreateProjection("Van Der Grinten"));
    std::string planeInput;
    for (size_t i = 0; i < 4; ++i) {
        double x = points[i][0];
        double y = points[i][1];
        rotation.Transform(x, y);
        vdg->Transform(x, y);
        EXPECT_EQ(lines[i], Format(x, y));
        planeInput += lines[i] + "\n";
    }
    const Result back =
        RunCli("project --projection='Van Der Grinten' --rotate=10.5,-20 --inverse", planeInput);
    ASSERT_EQ(back.status, 0) << back.err;
    const auto backLines = Lines(back.out);
    ASSERT_EQ(backLines.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        double lon = 0;
        double lat = 0;
        ASSERT_EQ(std::sscanf(backLines[i].c_str(), "%lf %lf", &lon, &lat), 2);
        EXPECT_NEAR(lat, points[i][1], 1e-9);
        if (std::fabs(points[i][1]) < 90) {
            EXPECT_NEAR(lon, points[i][0], 1e-9);
        }
    }

    // Without a projection only the rotation is applied; without either,
    // the points pass through.
    const Result rotated = RunCli("project --rotate 10,20", "20 30\n");
    double rx = 20;
    double ry = 30;
    CGeoRotation plain;
    plain.SetOrigin(10, 20);
    plain.Transform(rx, ry);
    EXPECT_EQ(rotated.out, Format(rx, ry) + "\n");
    EXPECT_NEAR(ry, 20, 1e-12);
    EXPECT_EQ(RunCli("project", "1.5 -2\n").out, "1.5 -2\n");
}

TEST(MarloCliProject, ReportsBadLinesAndNames) {
    const Result result =
        RunCli("project --projection Mercator", "1 2\nabc\n1 2 3\n\n4,5\n0 90\n-0 -90\n-nan 0\n");
    EXPECT_EQ(result.status, 1);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "nan 0"); // never "-nan"
    for (int line : {2, 3, 4, 5}) {
        EXPECT_NE(result.err.find("line " + std::to_string(line) + ":"), std::string::npos)
            << result.err;
    }
    EXPECT_EQ(result.err.find("line 1:"), std::string::npos);
    EXPECT_EQ(result.err.find("line 6:"), std::string::npos);

    // Non-finite results print as inf / nan.
    const Result infinite = RunCli("project --projection 'Lambert Conformal Conic'", "0 -90\n");
    EXPECT_EQ(infinite.status, 0);
    EXPECT_NE(infinite.out.find("inf"), std::string::npos) << infinite.out;
    const Result outside = RunCli("project --projection Orthographic --inverse", "3 4\n");
    EXPECT_EQ(outside.out, "nan nan\n");

    const Result unknown = RunCli("project --projection mercator", "1 2\n");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.out.empty());
    EXPECT_NE(unknown.err.find("Eckert VI"), std::string::npos);
    EXPECT_NE(unknown.err.find("Vertical Perspective"), std::string::npos);

    EXPECT_EQ(RunCli("project --rotate 91,0").status, 2);
    EXPECT_EQ(RunCli("project --rotate 10").status, 2);
    EXPECT_EQ(RunCli("project --projection").status, 2);
    EXPECT_EQ(RunCli("project --bogus").status, 2);
    const Result help = RunCli("project --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: marlo-cli project", 0), 0u);
}
