#include <gtest/gtest.h>

#include "mapfiles/MapFiles.h"
#include "mapfiles/ShapefileRecords.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

std::vector<Ring> ReadRings(const std::string& path, bool* ok = nullptr,
                            C2DHoledPolyBaseSet* into = nullptr) {
    C2DHoledPolyBaseSet content;
    C2DHoledPolyBaseSet& target = into != nullptr ? *into : content;
    const bool read = ReadShapefile(path.c_str(), target, nullptr);
    if (ok != nullptr) {
        *ok = read;
    }
    return RingsOf(target);
}

} // namespace

TEST(ShapefileReading, RimsHolesAndTheirOrder) {
    TempFolder folder;
    const std::string path = folder.File("map.shp");
    const Ring rimA = Closed(Square(0, 0, 10, 10, true));
    const Ring rimB = Closed(Square(20, 0, 30, 10, true));
    const Ring holeInA = Closed(Square(2, 2, 4, 4, false));
    const Ring holeNowhere = Closed(Square(40, 40, 41, 41, false));
    WriteFile(path, ShapeBytes()
                        .Header()
                        .Polygon(1, {rimA, rimB, holeInA, holeNowhere})
                        .Polygon(2, {Closed(Square(50, 50, 60, 60, false))})
                        .Finish());
    C2DHoledPolyBaseSet content;
    ASSERT_TRUE(ReadShapefile(path.c_str(), content, nullptr));
    // Record 1 gives A and B, added in reverse (B, A); record 2 follows.
    ASSERT_EQ(content.GetSize(), 3u);
    const C2DHoledPolyBase& b = *content.GetAt(0);
    const C2DHoledPolyBase& a = *content.GetAt(1);
    EXPECT_EQ(VerticesOf(*a.GetRim()), rimA); // the closing point stays a vertex
    EXPECT_EQ(VerticesOf(*b.GetRim()), rimB);
    // The hole inside A goes to A although B is the most recent rim; the hole
    // inside no rim goes to the most recent one.
    ASSERT_EQ(a.GetHoleCount(), 1u);
    ASSERT_EQ(b.GetHoleCount(), 1u);
    EXPECT_LT(a.GetHole(0)->GetArea(), 0.0); // reversed to clockwise
    EXPECT_DOUBLE_EQ(a.GetHole(0)->GetBoundingRect().topLeft.x, 2.0);
    EXPECT_DOUBLE_EQ(b.GetHole(0)->GetBoundingRect().topLeft.x, 40.0);
    // An anticlockwise first ring still starts a holed polygon.
    EXPECT_EQ(content.GetAt(2)->GetHoleCount(), 0u);
    EXPECT_GT(content.GetAt(2)->GetRim()->GetArea(), 0.0);
}

// A record of many rings moves the progress bar while it is split, in
// rising steps that stop short of where reading it took the file.
TEST(ShapefileReading, ALargeRecordReportsProgressAsItIsSplit) {
    TempFolder folder;
    const std::string path = folder.File("big.shp");
    std::vector<Ring> rings{Closed(Square(0, 0, 1000, 1000, true))};
    for (int i = 0; i < 400; ++i) {
        const double x = 10.0 + 2.0 * (i % 20);
        const double y = 10.0 + 2.0 * (i / 20);
        rings.push_back(Closed(Square(x, y, x + 1, y + 1, false)));
    }
    WriteFile(path, ShapeBytes().Header().Polygon(1, rings).Finish());
    struct CRecorder final : CProgressUpdater {
        void UpdateProgress(unsigned percent) override { seen.push_back(percent); }
        std::vector<unsigned> seen;
    } recorder;
    C2DHoledPolyBaseSet content;
    ASSERT_TRUE(ReadShapefile(path.c_str(), content, &recorder));
    ASSERT_EQ(content.GetSize(), 1u);
    EXPECT_EQ(content.GetAt(0)->GetHoleCount(), 400u);
    ASSERT_GE(recorder.seen.size(), 50u);
    EXPECT_EQ(recorder.seen.back(), 100u);
    for (std::size_t i = 1; i < recorder.seen.size(); ++i) {
        EXPECT_GT(recorder.seen[i], recorder.seen[i - 1]);
    }
}

TEST(ShapefileReading, HeaderChecksAndNullShapes) {
    TempFolder folder;
    const std::string path = folder.File("map.shp");
    C2DHoledPolyBaseSet content;
    EXPECT_FALSE(ReadShapefile(folder.File("missing.shp").c_str(), content, nullptr));
    WriteFile(path, ShapeBytes().Header(3).Polygon(1, {Square(0, 0, 1, 1, true)}).Finish());
    EXPECT_FALSE(ReadShapefile(path.c_str(), content, nullptr)); // polyline file
    std::string wrongCode = ShapeBytes().Header().Finish();
    wrongCode[3] = 0;
    WriteFile(path, wrongCode);
    EXPECT_FALSE(ReadShapefile(path.c_str(), content, nullptr));
    WriteFile(path, ShapeBytes().Header().Finish().substr(0, 99));
    EXPECT_FALSE(ReadShapefile(path.c_str(), content, nullptr)); // short header
    EXPECT_EQ(content.GetSize(), 0u);

    WriteFile(path, ShapeBytes()
                        .Header()
                        .Polygon(1, {Square(0, 0, 1, 1, true)})
                        .NullShape(2)
                        .Polygon(3, {Square(5, 5, 6, 6, true)})
                        .Finish());
    RecordingProgress progress;
    ASSERT_TRUE(ReadShapefile(path.c_str(), content, &progress));
    EXPECT_EQ(content.GetSize(), 2u);
    ASSERT_EQ(progress.values.size(), 3u); // once per record
    EXPECT_EQ(progress.values.back(), 100u);
    EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end()));
}

// Untrusted counts and part starts drop their record (and only it): the
// reader continues at the record boundary that the content length gives.
TEST(ShapefileReading, BrokenRecordsAreSkipped) {
    TempFolder folder;
    const std::string path = folder.File("map.shp");
    const Ring good = Square(0, 0, 1, 1, true);
    struct Case {
        const char* what;
        int32_t numParts;
        int32_t numPoints;
        std::vector<int32_t> parts;
        int32_t contentWords; // 0: the right one
    };
    const std::vector<Case> cases = {
        {"negative numParts", -1, 4, {0}, 0},
        {"negative numPoints", 1, -4, {0}, 0},
        {"absurd numParts", 0x7fffffff, 4, {0}, 0},
        {"absurd numPoints", 1, 0x7fffffff, {0}, 0},
        {"negative part start", 2, 4, {0, -1}, 0},
        {"parts not ascending", 2, 4, {2, 1}, 0},
        {"equal part starts", 2, 4, {0, 0}, 0},
        {"part start at numPoints", 2, 4, {0, 4}, 0},
        {"arrays longer than the content length", 1, 4, {0}, 22 + 2 + 8 * 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The record's body holds the part starts as given and four points,
        // cut or padded to what its content length says.
        ShapeBytes body;
        body.Little(5);
        for (int i = 0; i < 4; ++i) {
            body.Little(0.0);
        }
        body.Little(c.numParts).Little(c.numPoints);
        for (const int32_t start : c.parts) {
            body.Little(start);
        }
        for (const auto& [x, y] : Square(5, 5, 6, 6, true)) {
            body.Little(x).Little(y);
        }
        const auto words =
            c.contentWords != 0 ? c.contentWords : static_cast<int32_t>(body.bytes.size() / 2);
        body.bytes.resize(2 * static_cast<std::size_t>(words), '\0');
        ShapeBytes bytes;
        bytes.Header().Polygon(1, {good}).BigEndian(2).BigEndian(words);
        bytes.bytes += body.bytes;
        bytes.Polygon(3, {Square(10, 10, 11, 11, true)});
        WriteFile(path, bytes.Finish());
        bool ok = false;
        const std::vector<Ring> rings = ReadRings(path, &ok);
        EXPECT_TRUE(ok);
        ASSERT_EQ(rings.size(), 2u);
        EXPECT_EQ(rings[0], good); // records arrive in file order
        EXPECT_EQ(rings[1], Square(10, 10, 11, 11, true));
    }
}

TEST(ShapefileReading, TruncatedAndForeignRecords) {
    TempFolder folder;
    const std::string path = folder.File("map.shp");
    // A polyline record (type 3) with a consistent length between polygons is
    // skipped whole.
    ShapeBytes bytes;
    bytes.Header().Polygon(1, {Square(0, 0, 1, 1, true)});
    bytes.BigEndian(2).BigEndian(22 + 2 + 8 * 2).Little(3);
    for (int i = 0; i < 4; ++i) {
        bytes.Little(0.0);
    }
    bytes.Little(1).Little(2).Little(0).Little(7.0).Little(7.0).Little(8.0).Little(8.0);
    bytes.Polygon(3, {Square(5, 5, 6, 6, true)});
    WriteFile(path, bytes.Finish());
    EXPECT_EQ(ReadRings(path).size(), 2u);

    // A last record cut short keeps what came before; so does one whose
    // arrays reach past the end of the file.
    const std::string whole = ShapeBytes()
                                  .Header()
                                  .Polygon(1, {Square(0, 0, 1, 1, true)})
                                  .Polygon(2, {Square(5, 5, 6, 6, true)})
                                  .Finish();
    for (std::size_t cut = whole.size() - 1; cut > whole.size() - 80; cut -= 7) {
        WriteFile(path, whole.substr(0, cut));
        bool ok = false;
        EXPECT_EQ(ReadRings(path, &ok).size(), 1u) << cut;
        EXPECT_TRUE(ok);
    }
}

// Rings go out closed: the rim forwards, the hole as the exact reverse of its
// stored ring, both ending on their first point.
TEST(ShapefileWriting, RecordLayout) {
    TempFolder folder;
    const std::string path = folder.File("out.shp");
    C2DHoledPolyBaseSet content;
    auto* holedPolygon = new C2DHoledPolygon;
    holedPolygon->SetRim(MakePolygon(Square(0, 0, 10, 10, true)));
    holedPolygon->AddHole(MakePolygon(Square(2, 2, 4, 4, true)));
    content.Add(holedPolygon);
    ASSERT_TRUE(SaveShapefile(path.c_str(), content));
    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 100u + 8 + 2 * 106);
    EXPECT_EQ(BigEndianAt(bytes, 0), 9994);
    EXPECT_EQ(BigEndianAt(bytes, 24), static_cast<int32_t>(bytes.size() / 2));
    EXPECT_EQ(LittleAt(bytes, 28), 1000);
    EXPECT_EQ(LittleAt(bytes, 32), 5);
    EXPECT_EQ(DoubleAt(bytes, 36), 0.0);     // Xmin
    EXPECT_EQ(DoubleAt(bytes, 52), 10.0);    // Xmax
    EXPECT_EQ(DoubleAt(bytes, 60), 10.0);    // Ymax
    EXPECT_EQ(BigEndianAt(bytes, 100), 1);   // record number
    EXPECT_EQ(BigEndianAt(bytes, 104), 106); // 22 + 2 * 2 + 8 * 10 words
    EXPECT_EQ(LittleAt(bytes, 108), 5);
    EXPECT_EQ(LittleAt(bytes, 144), 2);  // numParts
    EXPECT_EQ(LittleAt(bytes, 148), 10); // numPoints: two closed rings of five
    EXPECT_EQ(LittleAt(bytes, 152), 0);
    EXPECT_EQ(LittleAt(bytes, 156), 5);
    Ring written;
    for (int k = 0; k < 10; ++k) {
        written.emplace_back(DoubleAt(bytes, 160 + 16 * k), DoubleAt(bytes, 168 + 16 * k));
    }
    EXPECT_EQ(written, (Ring{{0, 0},
                             {0, 10},
                             {10, 10},
                             {10, 0},
                             {0, 0}, // rim, closed
                             {2, 2},
                             {4, 2},
                             {4, 4},
                             {2, 4},
                             {2, 2}})); // hole reversed

    C2DHoledPolyBaseSet empty;
    ASSERT_TRUE(SaveShapefile(path.c_str(), empty));
    const std::string header = ReadFile(path);
    ASSERT_EQ(header.size(), 100u);
    EXPECT_EQ(BigEndianAt(header, 24), 50);
}

// Reading what we wrote gives back every ring vertex for vertex, holes
// included (they are built from the file's points taken backwards, so no
// coordinate is recomputed), and the rings do not grow: a ring that ends on
// its first point gets no second closing point.
TEST(ShapefileWriting, RoundTripOfTheBundledMap) {
    TempFolder folder;
    for (const char* name : {"world-110m-land.shp", "world-50m-countries.shp"}) {
        SCOPED_TRACE(name);
        const std::string source = std::string(MARLO_DATA_DIR) + "/" + name;
        C2DHoledPolyBaseSet content;
        ASSERT_TRUE(ReadShapefile(source.c_str(), content, nullptr));
        ASSERT_GT(content.GetSize(), 100u);
        content.MakeClockwise();
        const std::string path = folder.File("copy.shp");
        ASSERT_TRUE(SaveShapefile(path.c_str(), content));
        C2DHoledPolyBaseSet again;
        ASSERT_TRUE(ReadShapefile(path.c_str(), again, nullptr));
        again.MakeClockwise();
        ASSERT_EQ(again.GetSize(), content.GetSize());
        EXPECT_EQ(RingsOf(again), RingsOf(content));
    }
    // An open ring (a text map's) is closed once, and stays so.
    C2DHoledPolyBaseSet open;
    auto* holedPolygon = new C2DHoledPolygon;
    holedPolygon->SetRim(MakePolygon(Square(0, 0, 10, 10, true)));
    holedPolygon->AddHole(MakePolygon({{1, 1}, {1, 2}, {2, 1}}));
    open.Add(holedPolygon);
    ASSERT_TRUE(SaveShapefile(folder.File("open.shp").c_str(), open));
    C2DHoledPolyBaseSet closed;
    ASSERT_TRUE(ReadShapefile(folder.File("open.shp").c_str(), closed, nullptr));
    ASSERT_TRUE(SaveShapefile(folder.File("closed.shp").c_str(), closed));
    EXPECT_EQ(ReadFile(folder.File("closed.shp")), ReadFile(folder.File("open.shp")));
    const std::vector<Ring> rings = RingsOf(closed);
    ASSERT_EQ(rings.size(), 2u);
    EXPECT_EQ(rings[0], Closed(Square(0, 0, 10, 10, true)));
    EXPECT_EQ(rings[1], (Ring{{1, 1}, {1, 2}, {2, 1}, {1, 1}}));
}
