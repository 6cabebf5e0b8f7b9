#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "mapfiles/MapFiles.h"
#include "mapfiles/TextMapRings.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

// Sets the version for one test and puts version 1 back afterwards.
class VersionScope {
public:
    explicit VersionScope(bool version2) { useTextMapFormat2 = version2; }
    ~VersionScope() { useTextMapFormat2 = false; }
};

C2DHoledPolyBaseSet* SquareContent() {
    auto* content = new C2DHoledPolyBaseSet;
    auto* holedPolygon = new C2DHoledPolygon;
    holedPolygon->SetRim(MakePolygon({{0, 0}, {0, 10}, {10, 10}, {10, 0}}));
    content->Add(holedPolygon);
    return content;
}

// A rim with an arc from (0, 0) to (10, 0) (radius 5, centre on the right,
// arc on the left) and straight edges, and a hole with an arc.
C2DHoledPolyArc* ArcShape() {
    auto* rim = new C2DPolyArc;
    rim->SetStartPoint(C2DPoint(0, 0));
    rim->ArcTo(C2DPoint(10, 0), true, false, 5.0);
    rim->LineTo(C2DPoint(10, -10));
    rim->LineTo(C2DPoint(0, -10));
    rim->Close();
    auto* hole = new C2DPolyArc;
    hole->SetStartPoint(C2DPoint(2.25, -2.5));
    hole->LineTo(C2DPoint(2.25, -7.125));
    hole->ArcTo(C2DPoint(7.5, -7.125), false, false, 3.0);
    hole->CloseWithArc(true, false, 12.5);
    auto* shape = new C2DHoledPolyArc;
    shape->SetRim(rim);
    shape->AddHole(hole);
    return shape;
}

struct EdgeData {
    int type;
    double x0, y0, x1, y1;
    double radius;
    bool centreOnRight, arcOnRight;
};

std::vector<EdgeData> EdgesOf(const C2DPolyBase& ring) {
    std::vector<EdgeData> edges;
    for (unsigned k = 0; k < ring.GetLineCount(); ++k) {
        const C2DLineBase& edge = *ring.GetLine(k);
        EdgeData data{edge.GetType(),
                      edge.GetStart().x,
                      edge.GetStart().y,
                      edge.GetEnd().x,
                      edge.GetEnd().y,
                      0.0,
                      false,
                      false};
        if (edge.GetType() == GeometryType::Arc) {
            const auto& arc = static_cast<const C2DArc&>(edge);
            data.radius = arc.radius;
            data.centreOnRight = arc.centreOnRight;
            data.arcOnRight = arc.arcOnRight;
        }
        edges.push_back(data);
    }
    return edges;
}

void ExpectSameRing(const C2DPolyBase& expected, const C2DPolyBase& actual) {
    const auto a = EdgesOf(expected);
    const auto b = EdgesOf(actual);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(a[k].type, b[k].type);
        EXPECT_NEAR(a[k].x0, b[k].x0, 1e-10);
        EXPECT_NEAR(a[k].y0, b[k].y0, 1e-10);
        EXPECT_NEAR(a[k].x1, b[k].x1, 1e-10);
        EXPECT_NEAR(a[k].y1, b[k].y1, 1e-10);
        EXPECT_NEAR(a[k].radius, b[k].radius, 1e-10);
        EXPECT_EQ(a[k].centreOnRight, b[k].centreOnRight);
        EXPECT_EQ(a[k].arcOnRight, b[k].arcOnRight);
    }
}

std::string WriteToText(const C2DHoledPolyBaseSet& content, bool version2) {
    TempFolder folder;
    VersionScope version(version2);
    const std::string path = folder.File("map.vmq");
    EXPECT_TRUE(WriteTextMap(path.c_str(), content, nullptr));
    return ReadFile(path);
}

C2DHoledPolyBaseSet* ReadFromText(const std::string& text, bool version2) {
    TempFolder folder;
    VersionScope version(version2);
    const std::string path = folder.File("map.vmq");
    WriteFile(path, text);
    auto* content = new C2DHoledPolyBaseSet;
    EXPECT_TRUE(ReadTextMap(path.c_str(), *content, nullptr));
    return content;
}

} // namespace

TEST(TextMapWriting, LinesOfBothVersions) {
    std::unique_ptr<C2DHoledPolyBaseSet> square(SquareContent());
    EXPECT_EQ(WriteToText(*square, false), "(+)\n"
                                           "0.0000000000\t0.0000000000\n"
                                           "0.0000000000\t10.0000000000\n"
                                           "10.0000000000\t10.0000000000\n"
                                           "10.0000000000\t0.0000000000\n"
                                           "\n");
    EXPECT_EQ(WriteToText(*square, true), "(+)\n"
                                          "0.0000000000\t0.0000000000\n"
                                          "0.0000000000\t10.0000000000\n"
                                          "10.0000000000\t10.0000000000\n"
                                          "10.0000000000\t0.0000000000\n"
                                          "0.0000000000\t0.0000000000\n"
                                          "\n");
    C2DHoledPolyBaseSet arcs;
    arcs.Add(ArcShape());
    const std::string v1 = WriteToText(arcs, false);
    const std::string v2 = WriteToText(arcs, true);
    // Version 1 puts the arc's data on its start point's line, version 2 on
    // its end point's.
    EXPECT_EQ(v1.rfind("(+)\n0.0000000000\t0.0000000000\t5.0000000000\t1\t0\n", 0), 0u);
    EXPECT_NE(v2.find("(+)\n0.0000000000\t0.0000000000\n10.0000000000\t0.0000000000\t"
                      "5.0000000000\t1\t0\n"),
              std::string::npos);
    EXPECT_NE(v1.find("(-)\n2.2500000000\t-2.5000000000\n2.2500000000\t-7.1250000000\t"
                      "3.0000000000\t0\t0\n7.5000000000\t-7.1250000000\t12.5000000000\t1\t0\n\n"),
              std::string::npos);

    // Fixed notation, ten decimals, minus sign only where needed.
    C2DHoledPolyBaseSet tiny;
    auto* holedPolygon = new C2DHoledPolygon;
    holedPolygon->SetRim(MakePolygon({{-0.0000000001, 12.5}}));
    tiny.Add(holedPolygon);
    EXPECT_EQ(WriteToText(tiny, false), "(+)\n-0.0000000001\t12.5000000000\n\n");
}

TEST(TextMapWriting, ProgressStopsShortOfHundred) {
    TempFolder folder;
    C2DHoledPolyBaseSet content;
    for (int i = 0; i < 3; ++i) {
        auto* holedPolygon = new C2DHoledPolygon;
        holedPolygon->SetRim(MakePolygon(Square(i, 0, i + 1, 1, true)));
        content.Add(holedPolygon);
    }
    RecordingProgress progress;
    ASSERT_TRUE(WriteTextMap(folder.File("a.vmq").c_str(), content, &progress));
    EXPECT_EQ(progress.values, (std::vector<unsigned>{0, 33, 66}));
}

TEST(TextMapReading, RoundTripsInBothVersions) {
    C2DHoledPolyBaseSet content;
    content.Add(ArcShape());
    auto* straight = new C2DHoledPolygon;
    straight->SetRim(MakePolygon({{-170.1234567891, 80.5}, {-160.25, 80.5}, {-165.0, 70.0}}));
    straight->AddHole(MakePolygon({{-166, 76}, {-165, 78}, {-164, 76}}));
    content.Add(straight);
    for (const bool version2 : {false, true}) {
        SCOPED_TRACE(version2);
        std::unique_ptr<C2DHoledPolyBaseSet> back(
            ReadFromText(WriteToText(content, version2), version2));
        ASSERT_EQ(back->GetSize(), 2u);
        // Shapes with arcs stay poly-arcs; straight ones become holed polygons.
        EXPECT_EQ(back->GetAt(0)->GetType(), GeometryType::HoledPolyArc);
        EXPECT_EQ(back->GetAt(1)->GetType(), GeometryType::HoledPolygon);
        for (unsigned i = 0; i < 2; ++i) {
            const C2DHoledPolyBase& a = *content.GetAt(i);
            const C2DHoledPolyBase& b = *back->GetAt(i);
            ExpectSameRing(*a.GetRim(), *b.GetRim());
            ASSERT_EQ(b.GetHoleCount(), 1u);
            ExpectSameRing(*a.GetHole(0), *b.GetHole(0));
        }
    }
}

TEST(TextMapReading, QuirksOfTheGrammar) {
    // A hole before any rim is dropped; text that is no header is skipped;
    // header characters after the third are ignored.
    std::unique_ptr<C2DHoledPolyBaseSet> content(
        ReadFromText("(-)\n1 1\n2 2\n3 1\n\nsome words\n(+) rim\n0 0\n0 5\n5 5\n\n", false));
    ASSERT_EQ(content->GetSize(), 1u);
    EXPECT_EQ(content->GetAt(0)->GetHoleCount(), 0u);
    EXPECT_EQ(VerticesOf(*content->GetAt(0)->GetRim()), (Ring{{0, 0}, {0, 5}, {5, 5}}));

    // Text with no ring at all is no map (nothing is added).
    {
        TempFolder folder;
        WriteFile(folder.File("words.vmq"), "nothing here\n");
        content = std::make_unique<C2DHoledPolyBaseSet>();
        CMapFileError error;
        EXPECT_FALSE(ReadTextMap(folder.File("words.vmq").c_str(), *content, nullptr, &error));
        EXPECT_EQ(error.problem, MapFileProblem::NoShapes);
        EXPECT_EQ(content->GetSize(), 0u);
    }

    // Version 1: a line without flags keeps the flags of the line before.
    content.reset(ReadFromText("(+)\n0 0 5 1 1\n10 0 6\n10 -10\n", false));
    ASSERT_EQ(content->GetSize(), 1u);
    const auto edges = EdgesOf(*content->GetAt(0)->GetRim());
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_EQ(edges[1].type, GeometryType::Arc);
    EXPECT_EQ(edges[1].radius, 6.0);
    EXPECT_TRUE(edges[1].centreOnRight && edges[1].arcOnRight);

    // Version 2: a radius on the start line applies to the next edge.
    content.reset(ReadFromText("(+)\n0 0 5 0 1\n10 0\n10 -10\n0 0\n", true));
    const auto v2edges = EdgesOf(*content->GetAt(0)->GetRim());
    ASSERT_EQ(v2edges.size(), 3u);
    EXPECT_EQ(v2edges[0].type, GeometryType::Arc);
    EXPECT_EQ(v2edges[0].radius, 5.0);
    EXPECT_TRUE(!v2edges[0].centreOnRight && v2edges[0].arcOnRight);
}

// Bad text ends reading where the grammar says, keeping what was read.
TEST(TextMapReading, BadLinesEndReading) {
    const std::string first = "(+)\n0 0\n0 1\n1 1\n\n";
    const std::string second = "(+)\n5 5\n5 6\n6 6\n\n";
    // A line of 511 characters is read; one of 512 ends reading.
    const std::string fits = "(+)\n7 7" + std::string(508, ' ') + "\n8 8\n9 7\n\n";
    ASSERT_EQ(fits.find('\n', 4) - 4, 511u);
    std::unique_ptr<C2DHoledPolyBaseSet> content(ReadFromText(first + fits, false));
    EXPECT_EQ(content->GetSize(), 2u);
    const std::string tooLong = "(+)\n7 7" + std::string(509, ' ') + "\n8 8\n\n";
    content.reset(ReadFromText(first + tooLong + second, false));
    EXPECT_EQ(content->GetSize(), 1u);
    content.reset(ReadFromText(first + "(+)\n" + std::string(5000, 'x') + "\n" + second, true));
    EXPECT_EQ(content->GetSize(), 1u);

    // A header followed directly by junk ends reading.
    content.reset(ReadFromText(first + "(-)\njunk 1 2\n" + second, false));
    EXPECT_EQ(content->GetSize(), 1u);

    // Numbers longer than 20 characters are split where the format says;
    // nothing undefined happens, and huge or odd values are just values.
    content.reset(ReadFromText("(+)\n1234567890123456789012345 1\n1e999 -nan\n0x1p3 7\n\n", false));
    ASSERT_EQ(content->GetSize(), 1u);
    EXPECT_EQ(content->GetAt(0)->GetRim()->GetLineCount(), 3u);
    EXPECT_EQ(content->GetAt(0)->GetRim()->GetLine(0)->GetStart().y, 12345.0);

    // Windows line ends are read like Unix ones.
    content.reset(ReadFromText("(+)\r\n0 0\r\n0 1\r\n1 1\r\n\r\n(-)\r\n0.2 0.2\r\n0.2 0.4\r\n"
                               "0.4 0.4\r\n\r\n",
                               false));
    ASSERT_EQ(content->GetSize(), 1u);
    EXPECT_EQ(content->GetAt(0)->GetHoleCount(), 1u);
}

// The program may run in a locale with a decimal comma (a desktop program
// adopts the user's); the files keep the full stop either way. The test
// builds such a locale (numbers only) with localedef.
TEST(TextMapReading, IndependentOfTheLocale) {
    TempFolder locales;
    WriteFile(locales.File("comma.src"), "LC_NUMERIC\ndecimal_point \"<U002C>\"\n"
                                         "thousands_sep \"<U002E>\"\ngrouping 3;3\n"
                                         "END LC_NUMERIC\n");
    const std::string build = "localedef -i '" + locales.File("comma.src") + "' -f UTF-8 -c '" +
                              locales.File("comma") + "' >/dev/null 2>&1";
    std::system(build.c_str());
    setenv("LOCPATH", locales.path.c_str(), 1);
    if (std::setlocale(LC_NUMERIC, "comma") == nullptr) {
        unsetenv("LOCPATH");
        GTEST_SKIP() << "localedef cannot build a locale with a decimal comma";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    std::unique_ptr<C2DHoledPolyBaseSet> square(SquareContent());
    const std::string text = WriteToText(*square, false);
    std::unique_ptr<C2DHoledPolyBaseSet> back(
        ReadFromText("(+)\n0.5 0.25\n1.5 0.25\n1 2\n\n", false));
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    EXPECT_STREQ(probe, "1,5"); // the locale is in force
    EXPECT_NE(text.find("10.0000000000"), std::string::npos);
    ASSERT_EQ(back->GetSize(), 1u);
    EXPECT_EQ(back->GetAt(0)->GetRim()->GetLine(0)->GetStart().y, 0.25);
    EXPECT_EQ(back->GetAt(0)->GetRim()->GetLine(1)->GetStart().x, 1.5);
}

TEST(TextMapReading, BundledSamples) {
    const std::string folder = MARLO_DATA_DIR;
    C2DHoledPolyBaseSet v1;
    C2DHoledPolyBaseSet v2;
    {
        VersionScope version(false);
        ASSERT_TRUE(ReadTextMap((folder + "/sample-arcs.vmq").c_str(), v1, nullptr));
    }
    {
        VersionScope version(true);
        ASSERT_TRUE(ReadTextMap((folder + "/sample-arcs-v2.vmq").c_str(), v2, nullptr));
    }
    ASSERT_EQ(v1.GetSize(), v2.GetSize());
    ASSERT_GE(v1.GetSize(), 3u);
    bool anyArcs = false;
    bool anyHoles = false;
    for (unsigned i = 0; i < v1.GetSize(); ++i) {
        anyArcs = anyArcs || v1.GetAt(i)->HasArcs();
        anyHoles = anyHoles || v1.GetAt(i)->GetHoleCount() > 0;
        ExpectSameRing(*v1.GetAt(i)->GetRim(), *v2.GetAt(i)->GetRim());
        ASSERT_EQ(v1.GetAt(i)->GetHoleCount(), v2.GetAt(i)->GetHoleCount());
        for (unsigned j = 0; j < v1.GetAt(i)->GetHoleCount(); ++j) {
            ExpectSameRing(*v1.GetAt(i)->GetHole(j), *v2.GetAt(i)->GetHole(j));
        }
    }
    EXPECT_TRUE(anyArcs);
    EXPECT_TRUE(anyHoles);
}

// Numbers always fit the reader's 20 characters: ten decimals where they fit
// (exactly as before), fewer for long integer parts, the exponent form from
// 1e19 on.
TEST(TextMapWriting, NumbersFitTheReader) {
    const std::vector<std::pair<double, std::string>> cases = {
        {12.5, "12.5000000000"},
        {-1e-10, "-0.0000000001"},
        {123456789.25, "123456789.2500000000"}, // 20 characters: as before
        {-12345678.25, "-12345678.2500000000"}, // 20 with the sign
        {1234567890.5, "1234567890.500000000"}, // one decimal fewer
        {-123456789.125, "-123456789.125000000"},
        {1234567890123456789.0, "1234567890123456768"}, // no decimals left
        {-9e18, "-9000000000000000000"},
        {1e19, "1e+19"},
        {-2.5e300, "-2.5e+300"},
        {1.2345678901234567e25, "1.23456789012346e+25"}, // digits cut to fit
        {-1.2345678901234567e-25, "-0.0000000000"},      // tiny values as before
    };
    for (const auto& [value, expected] : cases) {
        char text[TextMapNumberLength + 1];
        const std::size_t length = FormatTextMapNumber(value, text);
        EXPECT_EQ(std::string(text, length), expected) << value;
        EXPECT_LE(length, TextMapNumberLength);
    }
}

std::vector<Ring> WithoutRepeats(const std::vector<Ring>& rings) {
    std::vector<Ring> result;
    for (const Ring& ring : rings) {
        Ring kept;
        for (const Vertex& v : ring) {
            if (kept.empty() || std::fabs(v.first - kept.back().first) > 1e-3 ||
                std::fabs(v.second - kept.back().second) > 1e-3) {
                kept.push_back(v);
            }
        }
        while (kept.size() > 1 && std::fabs(kept.back().first - kept.front().first) <= 1e-3 &&
               std::fabs(kept.back().second - kept.front().second) <= 1e-3) {
            kept.pop_back();
        }
        result.push_back(kept);
    }
    return result;
}

// A far-side Stereographic map holds values beyond 1e9 metres (New Zealand
// seen from Madrid); it comes back through both text versions with every
// vertex to 1e-12 of its size (version 2 writes edge ends, which the geometry
// holds as start plus direction, a few bits off the next start).
TEST(TextMapReading, LargeNumbersRoundTrip) {
    C2DHoledPolyBaseSet content;
    ASSERT_TRUE(ReadShapefile((std::string(MARLO_DATA_DIR) + "/world-110m-land.shp").c_str(),
                              content, nullptr));
    content.MakeClockwise();
    CGeoRotation rotation;
    rotation.SetOrigin(40.4, -3.7);
    content.Transform(rotation);
    std::unique_ptr<CProjection> stereographic(CreateProjection("Stereographic"));
    ASSERT_TRUE(stereographic);
    content.Transform(*stereographic);
    double largest = 0.0;
    for (const Ring& ring : RingsOf(content)) {
        for (const auto& [x, y] : ring) {
            largest = std::max({largest, std::fabs(x), std::fabs(y)});
        }
    }
    ASSERT_GT(largest, 1e9);
    for (const bool version2 : {false, true}) {
        SCOPED_TRACE(version2 ? "version 2" : "version 1");
        std::unique_ptr<C2DHoledPolyBaseSet> back(
            ReadFromText(WriteToText(content, version2), version2));
        // A ring's repeated closing point is an edge of no length, which
        // version 2 does not keep: vertices are compared without repeats.
        const std::vector<Ring> expected = WithoutRepeats(RingsOf(content));
        const std::vector<Ring> actual = WithoutRepeats(RingsOf(*back));
        ASSERT_EQ(actual.size(), expected.size());
        for (std::size_t r = 0; r < expected.size(); ++r) {
            ASSERT_EQ(actual[r].size(), expected[r].size()) << "ring " << r;
            for (std::size_t k = 0; k < expected[r].size(); ++k) {
                const auto [x, y] = expected[r][k];
                EXPECT_NEAR(actual[r][k].first, x, 1e-10 + 1e-12 * std::fabs(x));
                EXPECT_NEAR(actual[r][k].second, y, 1e-10 + 1e-12 * std::fabs(y));
            }
        }
    }
}
