// The files around a shapefile's main file (.shx, .dbf, .cpg, .prj), failure
// reasons, capital extensions, and the feature lookup by position.
#include <algorithm>
#include <cmath>
#include <dirent.h>
#include <random>
#include <shapefil.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "mapfiles/FeatureLocator.h"
#include "mapfiles/MapFiles.h"
#include "mapfiles/ProjectionWkt.h"
#include "mapfiles/ShapefileRecords.h"
#include "projection/Projection.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

const std::string BundledCountries = std::string(MARLO_DATA_DIR) + "/world-50m-countries";

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// Copies the bundled countries map's set under another base name, each
// extension as given.
void CopyBundledSet(const std::string& base, const std::vector<std::string>& extensions) {
    for (const std::string& extension : extensions) {
        std::string lower = extension;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        WriteFile(base + "." + extension, ReadFile(BundledCountries + "." + lower));
    }
}

// The index must point at every record of the main file: offset and length
// in 16-bit words, after a header like the main file's.
void ExpectIndexMatches(const std::string& shp, const std::string& shx) {
    const std::string main = ReadFile(shp);
    const std::string index = ReadFile(shx);
    ASSERT_GE(index.size(), 100u);
    EXPECT_EQ(index.substr(0, 24), main.substr(0, 24));
    EXPECT_EQ(BigEndianAt(index, 24), static_cast<int32_t>(index.size() / 2));
    std::size_t entry = 100;
    for (std::size_t at = 100; at + 8 <= main.size(); entry += 8) {
        ASSERT_LE(entry + 8, index.size());
        EXPECT_EQ(BigEndianAt(index, entry), static_cast<int32_t>(at / 2));
        const int32_t words = BigEndianAt(main, at + 4);
        EXPECT_EQ(BigEndianAt(index, entry + 4), words);
        at += 8 + 2 * static_cast<std::size_t>(words);
    }
    EXPECT_EQ(entry, index.size());
}

C2DHoledPolyBaseSet* SquaresContent(int count) {
    auto* content = new C2DHoledPolyBaseSet;
    for (int i = 0; i < count; ++i) {
        auto* holedPolygon = new C2DHoledPolygon;
        holedPolygon->SetRim(MakePolygon(Square(i * 10, 0, i * 10 + 5, 5, true)));
        content->Add(holedPolygon);
    }
    return content;
}

} // namespace

// Saving over an existing set with other records replaces every file of it:
// the index and the table describe the new records, and companions the new
// set does not have (a .prj, a .cpg, an index in the other case) are gone.
TEST(ShapefileSet, SavingReplacesTheWholeSet) {
    TempFolder folder;
    const std::string base = folder.File("map");
    CopyBundledSet(base, {"shp", "shx", "dbf", "prj"});
    WriteFile(base + ".cpg", "UTF-8");
    WriteFile(base + ".SHX", "stale index in capitals");
    std::unique_ptr<C2DHoledPolyBaseSet> content(SquaresContent(3));
    ASSERT_TRUE(SaveShapefile((base + ".shp").c_str(), *content));
    EXPECT_EQ(FilesIn(folder.path), (std::vector<std::string>{"map.dbf", "map.shp", "map.shx"}));
    ExpectIndexMatches(base + ".shp", base + ".shx");
    // A table of IDs, 1 to 3, read back through shapelib.
    C2DHoledPolyBaseSet again;
    CMapAttributes attributes;
    ASSERT_TRUE(ReadShapefile((base + ".shp").c_str(), again, nullptr, &attributes));
    ASSERT_EQ(attributes.fields.size(), 1u);
    EXPECT_EQ(attributes.fields[0].name, "ID");
    EXPECT_EQ(attributes.fields[0].type, 'N');
    ASSERT_EQ(attributes.records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(attributes.Text(i, 0), std::to_string(i + 1));
        EXPECT_EQ(attributes.featureRecords[i], static_cast<int32_t>(i));
    }

    // The coordinate system follows what the content is.
    CMapSaveInfo info;
    info.coordinates.kind = MapCoordinates::Geographic;
    ASSERT_TRUE(SaveShapefile((base + ".shp").c_str(), *content, &info));
    EXPECT_EQ(ReadFile(base + ".prj"), GeographicWkt);
    EXPECT_EQ(CoordinatesOfMapFile((base + ".shp").c_str()).kind, MapCoordinates::Geographic);
    info.coordinates.kind = MapCoordinates::Projected;
    info.coordinates.projectionType = MollweideCode;
    ASSERT_TRUE(SaveShapefile((base + ".shp").c_str(), *content, &info));
    EXPECT_NE(ReadFile(base + ".prj").find("PROJECTION[\"Mollweide\"]"), std::string::npos);
    const CMapCoordinateState state = CoordinatesOfMapFile((base + ".shp").c_str());
    EXPECT_EQ(state.kind, MapCoordinates::Projected);
    EXPECT_EQ(state.projectionType, MollweideCode);
    // A projection without a coordinate system of its own, a rotated map or
    // an unknown state: no .prj, and the old one goes.
    info.coordinates.projectionType = MillerCylindricalCode;
    ASSERT_TRUE(SaveShapefile((base + ".shp").c_str(), *content, &info));
    EXPECT_FALSE(Exists(base + ".prj"));
    WriteFile(base + ".prj", "PROJCS[\"somebody else's\"]");
    EXPECT_EQ(CoordinatesOfMapFile((base + ".shp").c_str()).kind, MapCoordinates::Unknown);
    info.coordinates.kind = MapCoordinates::Unknown;
    ASSERT_TRUE(SaveShapefile((base + ".shp").c_str(), *content, &info));
    EXPECT_FALSE(Exists(base + ".prj"));
    EXPECT_EQ(CoordinatesOfMapFile(folder.File("other.vmq").c_str()).kind,
              MapCoordinates::Geographic);
}

// Attributes survive a read and a save: the same fields (names, types,
// widths), the row of each holed polygon's source record (repeated where a
// record became several holed polygons), the code page byte and the .cpg.
TEST(ShapefileSet, AttributesAndCodePageRoundTrip) {
    TempFolder folder;
    const std::string base = folder.File("in");
    CopyBundledSet(base, {"shp", "shx", "dbf"});
    WriteFile(base + ".cpg", "UTF-8\n");
    std::string table = ReadFile(base + ".dbf");
    table[29] = static_cast<char>(0x57); // a code page byte
    WriteFile(base + ".dbf", table);

    C2DHoledPolyBaseSet content;
    CMapAttributes attributes;
    ASSERT_TRUE(ReadShapefile((base + ".shp").c_str(), content, nullptr, &attributes));
    ASSERT_EQ(attributes.records.size(), 241u);
    ASSERT_EQ(attributes.featureRecords.size(), content.GetSize());
    EXPECT_GT(content.GetSize(), attributes.records.size()); // records with several polygons
    EXPECT_EQ(attributes.codePage, "UTF-8");
    EXPECT_EQ(attributes.languageDriver, 0x57);
    EXPECT_EQ(attributes.NameField(), 0);
    EXPECT_EQ(attributes.Text(0, 0), "Zimbabwe");

    CMapSaveInfo info;
    info.attributes = &attributes;
    const std::string out = folder.File("out.shp");
    ASSERT_TRUE(SaveShapefile(out.c_str(), content, &info));
    EXPECT_EQ(ReadFile(folder.File("out.cpg")), "UTF-8");
    EXPECT_EQ(ReadFile(folder.File("out.dbf"))[29], static_cast<char>(0x57));
    ExpectIndexMatches(out, folder.File("out.shx"));

    C2DHoledPolyBaseSet again;
    CMapAttributes reread;
    ASSERT_TRUE(ReadShapefile(out.c_str(), again, nullptr, &reread));
    ASSERT_EQ(again.GetSize(), content.GetSize());
    ASSERT_EQ(reread.fields.size(), attributes.fields.size());
    for (std::size_t f = 0; f < attributes.fields.size(); ++f) {
        EXPECT_EQ(reread.fields[f].name, attributes.fields[f].name);
        EXPECT_EQ(reread.fields[f].type, attributes.fields[f].type);
        EXPECT_EQ(reread.fields[f].width, attributes.fields[f].width);
        EXPECT_EQ(reread.fields[f].decimals, attributes.fields[f].decimals);
    }
    // One record per holed polygon now, each with its source's row; the
    // holed polygons come back in the same order.
    ASSERT_EQ(reread.records.size(), content.GetSize());
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        EXPECT_EQ(reread.records[reread.featureRecords[i]],
                  attributes.records[attributes.featureRecords[i]]);
    }
    EXPECT_EQ(RingsOf(again), RingsOf(content));

    // Content that no longer matches the table (an element without a source
    // record) gets a blank row rather than someone else's.
    attributes.featureRecords.pop_back();
    ASSERT_TRUE(SaveShapefile(out.c_str(), content, &info));
    ASSERT_TRUE(ReadShapefile(out.c_str(), again, nullptr, &reread));
    EXPECT_EQ(reread.Text(reread.records.size() - 1, 0), "");
}

// Capital extensions: WORLD.SHP opens with WORLD.DBF beside it, and saving
// OUT.SHP writes OUT.SHX and OUT.DBF.
TEST(ShapefileSet, CapitalExtensions) {
    TempFolder folder;
    CopyBundledSet(folder.File("WORLD"), {"SHP", "SHX", "DBF"});
    C2DHoledPolyBaseSet content;
    CMapAttributes attributes;
    ASSERT_TRUE(ReadMapFile(folder.File("WORLD.SHP").c_str(), content, nullptr, &attributes));
    EXPECT_GT(content.GetSize(), 241u);
    EXPECT_EQ(attributes.records.size(), 241u);
    CMapSaveInfo info;
    info.attributes = &attributes;
    ASSERT_TRUE(WriteMapFile(folder.File("OUT.SHP").c_str(), content, nullptr, &info));
    EXPECT_TRUE(Exists(folder.File("OUT.SHX")));
    EXPECT_TRUE(Exists(folder.File("OUT.DBF")));
    EXPECT_FALSE(Exists(folder.File("OUT.shx")));
    // A folder named like a text map holds a shapefile.
    ASSERT_EQ(mkdir(folder.File("maps.vmq").c_str(), 0755), 0);
    ASSERT_TRUE(WriteMapFile(folder.File("maps.vmq/world.shp").c_str(), content, nullptr, &info));
    C2DHoledPolyBaseSet again;
    ASSERT_TRUE(ReadMapFile(folder.File("maps.vmq/world.shp").c_str(), again, nullptr));
    EXPECT_EQ(again.GetSize(), content.GetSize());
    EXPECT_EQ(ReadFile(folder.File("maps.vmq/world.shp")).substr(0, 4),
              ReadFile(folder.File("OUT.SHP")).substr(0, 4));
}

// The table and the index we write through our own streams are the bytes
// shapelib writes when it opens the files itself, for no rows, one, and
// enough rows that the end mark and the reads of index and table cross many
// buffers; the table reads back row by row.
TEST(ShapefileSet, TableAndIndexAreShapelibsOwnBytes) {
    TempFolder folder;
    for (const int rows : {0, 1, 3, 30000}) {
        SCOPED_TRACE(rows);
        const std::string ours = folder.File("ours" + std::to_string(rows));
        std::unique_ptr<C2DHoledPolyBaseSet> content(SquaresContent(rows));
        ASSERT_TRUE(SaveShapefile((ours + ".shp").c_str(), *content));

        const std::string theirs = folder.File("theirs" + std::to_string(rows));
        SAHooks hooks;
        SASetupDefaultHooks(&hooks);
        // Without a code page, as a table of our own IDs is written.
        DBFHandle table = DBFCreateLL((theirs + ".dbf").c_str(), nullptr, &hooks);
        ASSERT_NE(table, nullptr);
        const std::string written = ReadFile(ours + ".dbf");
        ASSERT_GE(written.size(), 4u);
        // The date of the last change, as ours was made (this test could
        // cross midnight between the two).
        const auto byte = [&written](std::size_t at) {
            return static_cast<int>(static_cast<unsigned char>(written[at]));
        };
        DBFSetLastModifiedDate(table, byte(1), byte(2), byte(3));
        ASSERT_EQ(DBFAddField(table, "ID", FTInteger, 10, 0), 0);
        for (int i = 0; i < rows; ++i) {
            ASSERT_TRUE(DBFWriteIntegerAttribute(table, i, 0, i + 1));
        }
        DBFClose(table);
        EXPECT_TRUE(ReadFile(theirs + ".dbf") == written);
        // Read back, row by row across the reader's window.
        C2DHoledPolyBaseSet again;
        CMapAttributes attributes;
        ASSERT_TRUE(ReadShapefile((ours + ".shp").c_str(), again, nullptr, &attributes));
        ASSERT_EQ(attributes.records.size(), static_cast<std::size_t>(rows));
        for (int i = 0; i < rows; ++i) {
            ASSERT_EQ(attributes.Text(static_cast<std::size_t>(i), 0), std::to_string(i + 1));
        }

        // shapelib's index from our main file, opened by name.
        WriteFile(theirs + ".shp", ReadFile(ours + ".shp"));
        ASSERT_TRUE(SHPRestoreSHX((theirs + ".shp").c_str(), "rb", &hooks) != 0);
        EXPECT_TRUE(ReadFile(theirs + ".shx") == ReadFile(ours + ".shx"));
        if (rows > 0) {
            ExpectIndexMatches(ours + ".shp", ours + ".shx");
        }
    }
}

// A main file of many megabytes, sent to disk stretch by stretch while its
// records are still being written (one record alone spans several
// stretches, and so does a hole, which goes out backwards), reads back in
// shapelib point for point, with the length and box that the header gives
// once the last record is written.
TEST(ShapefileSet, LargeMainFileReadsBackInShapelib) {
    TempFolder folder;
    const std::string path = folder.File("large.shp");
    std::FILE* file = std::fopen(path.c_str(), "wb+");
    ASSERT_NE(file, nullptr);
    CShapefileRecordWriter writer(file);
    constexpr int Points = 700000; // 11 MB a record
    constexpr int HolePoints = 100003;
    std::vector<CHoledPolygonPoints> polygons(2);
    for (int p = 0; p < 2; ++p) {
        CRingPoints& rim = polygons[p].rim;
        polygons[p].hasRim = true;
        for (int k = 0; k < Points; ++k) {
            const double angle = -2.0 * 3.141592653589793 * k / Points;
            rim.starts.push_back(CPointXY{3.0 * p + std::cos(angle), std::sin(angle)});
        }
        rim.bounds = CEdgeBox{3.0 * p - 1.0, 1.0, 3.0 * p + 1.0, -1.0};
    }
    // The second record's hole, held clockwise, goes out backwards across
    // several stretches of the writer's buffer.
    CRingPoints& hole = polygons[1].holes.emplace_back();
    for (int k = 0; k < HolePoints; ++k) {
        const double angle = -2.0 * 3.141592653589793 * k / HolePoints;
        hole.starts.push_back(CPointXY{3.0 + 0.5 * std::cos(angle), 0.5 * std::sin(angle)});
    }
    hole.bounds = CEdgeBox{2.5, 0.5, 3.5, -0.5};
    for (const CHoledPolygonPoints& polygon : polygons) {
        writer.Write(polygon);
    }
    ASSERT_TRUE(writer.Finish());
    ASSERT_EQ(std::fclose(file), 0);

    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    ASSERT_TRUE(SHPRestoreSHX(path.c_str(), "rb", &hooks) != 0);
    SHPHandle shapes = SHPOpen(path.c_str(), "rb");
    ASSERT_NE(shapes, nullptr);
    int count = 0;
    int type = 0;
    double low[4];
    double high[4];
    SHPGetInfo(shapes, &count, &type, low, high);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(type, SHPT_POLYGON);
    EXPECT_EQ(low[0], -1.0);
    EXPECT_EQ(high[0], 4.0);
    for (int p = 0; p < count; ++p) {
        SHPObject* shape = SHPReadObject(shapes, p);
        ASSERT_NE(shape, nullptr);
        ASSERT_EQ(shape->nParts, p + 1);
        ASSERT_EQ(shape->nVertices, Points + 1 + p * (HolePoints + 1)); // closed
        const std::vector<CPointXY>& starts = polygons[p].rim.starts;
        int wrong = 0;
        for (int k = 0; k <= Points; ++k) {
            const CPointXY& point = starts[k % Points];
            wrong += shape->padfX[k] != point.x || shape->padfY[k] != point.y;
        }
        if (p == 1) {
            // The hole anticlockwise: its first point, then the others last
            // first, ending where it began.
            ASSERT_EQ(shape->panPartStart[1], Points + 1);
            for (int k = 0; k <= HolePoints; ++k) {
                const CPointXY& point = hole.starts[(HolePoints - k) % HolePoints];
                const int at = Points + 1 + k;
                wrong += shape->padfX[at] != point.x || shape->padfY[at] != point.y;
            }
        }
        EXPECT_EQ(wrong, 0) << "record " << p;
        SHPDestroyObject(shape);
    }
    SHPClose(shapes);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 100 + 2 * (8 + 44 + 4 + 16 * (Points + 1)) + 4 + 16 * (HolePoints + 1));
}

// A damaged table beside a good main file costs the attributes, never the
// map.
TEST(ShapefileSet, DamagedTablesAreIgnored) {
    TempFolder folder;
    const std::string base = folder.File("map");
    CopyBundledSet(base, {"shp", "shx"});
    const std::string good = ReadFile(BundledCountries + ".dbf");
    std::string huge = good;
    huge[4] = huge[5] = huge[6] = static_cast<char>(0xff); // 16 million records
    std::string wrongLength = good;
    wrongLength[10] = 7; // a row length that is not the sum of the fields
    std::string noFields = good.substr(0, 32);
    noFields[8] = 33;
    noFields[9] = 0;
    const std::vector<std::string> tables = {
        good.substr(0, 20), good.substr(0, 100),   huge, wrongLength,
        noFields,           std::string(4000, 'x')};
    for (std::size_t i = 0; i < tables.size(); ++i) {
        SCOPED_TRACE(i);
        WriteFile(base + ".dbf", tables[i]);
        C2DHoledPolyBaseSet content;
        CMapAttributes attributes;
        ASSERT_TRUE(ReadShapefile((base + ".shp").c_str(), content, nullptr, &attributes));
        EXPECT_GT(content.GetSize(), 241u);
        EXPECT_LE(attributes.records.size(), 241u);
        EXPECT_EQ(attributes.featureRecords.size(), content.GetSize());
    }
}

// Why a file could not be read or written, for the message box.
TEST(MapFileErrors, ReasonsForTheMessageBox) {
    TempFolder folder;
    C2DHoledPolyBaseSet content;
    auto readError = [&](const std::string& path) {
        CMapFileError error;
        EXPECT_FALSE(ReadMapFile(path.c_str(), content, nullptr, nullptr, &error));
        EXPECT_EQ(content.GetSize(), 0u);
        return error;
    };
    EXPECT_EQ(DescribeMapFileError(readError(folder.File("missing.shp"))), "No such file");
    EXPECT_EQ(readError(folder.File("missing.vmq")).problem, MapFileProblem::NoSuchFile);
    WriteFile(folder.File("line.shp"),
              ShapeBytes().Header(3).Polygon(1, {Square(0, 0, 1, 1, true)}).Finish());
    EXPECT_EQ(DescribeMapFileError(readError(folder.File("line.shp"))),
              "Not a polygon shapefile (shape type 3)");
    WriteFile(folder.File("text.shp"),
              "not a shapefile at all, but long enough for a header " + std::string(100, '.'));
    EXPECT_EQ(readError(folder.File("text.shp")).problem, MapFileProblem::NotAShapefile);

    // Every record broken: no map; one good record among broken ones: a map.
    ShapeBytes broken;
    broken.Header().BigEndian(1).BigEndian(30).Little(5);
    for (int i = 0; i < 4; ++i) {
        broken.Little(0.0);
    }
    broken.Little(-1).Little(4);
    broken.bytes.resize(broken.bytes.size() + 16, '\0'); // the 60 bytes its length says
    WriteFile(folder.File("broken.shp"), broken.Finish());
    const CMapFileError error = readError(folder.File("broken.shp"));
    EXPECT_EQ(DescribeMapFileError(error), "Unreadable record 1");
    broken.Polygon(2, {Square(0, 0, 1, 1, true)});
    WriteFile(folder.File("broken.shp"), broken.Finish());
    EXPECT_TRUE(ReadMapFile(folder.File("broken.shp").c_str(), content, nullptr));
    EXPECT_EQ(content.GetSize(), 1u);
    content.DeleteAll();
    // Null shapes only: an empty map, no failure.
    WriteFile(folder.File("nulls.shp"), ShapeBytes().Header().NullShape(1).Finish());
    EXPECT_TRUE(ReadMapFile(folder.File("nulls.shp").c_str(), content, nullptr));

    // Text with no ring in it is no map; an empty file is an empty map.
    WriteFile(folder.File("words.vmq"), "just some words\n1 2\n");
    EXPECT_EQ(DescribeMapFileError(readError(folder.File("words.vmq"))),
              "No shape could be read from the file");
    WriteFile(folder.File("hole-only.vmq"), "(-)\n0 0\n0 1\n1 1\n\n");
    EXPECT_EQ(readError(folder.File("hole-only.vmq")).problem, MapFileProblem::NoShapes);
    for (const char* text : {"", "\n \n\t\n"}) {
        WriteFile(folder.File("empty.vmq"), text);
        EXPECT_TRUE(ReadMapFile(folder.File("empty.vmq").c_str(), content, nullptr));
    }

    CMapFileError saveError;
    EXPECT_FALSE(WriteMapFile(folder.File("no/such/folder/map.shp").c_str(), content, nullptr,
                              nullptr, &saveError));
    EXPECT_EQ(saveError.problem, MapFileProblem::NoSuchFile);
    EXPECT_FALSE(
        WriteMapFile(folder.File("map.txt").c_str(), content, nullptr, nullptr, &saveError));
}

// The feature under a point: the same answer as the geometry library's own
// point-in-polygon test, rim by rim and hole by hole, on a real map.
TEST(FeatureLocator, AgreesWithThePolygonsOnARealMap) {
    const std::string path = std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp";
    C2DHoledPolyBaseSet content;
    CMapAttributes attributes;
    ASSERT_TRUE(ReadShapefile(path.c_str(), content, nullptr, &attributes));
    content.MakeClockwise();
    CFeatureLocator locator;
    locator.Build(attributes, content);
    ASSERT_FALSE(locator.IsEmpty());

    auto contains = [&](unsigned i, const C2DPoint& p) {
        const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
        if (!holedPolygon.GetRim()->Contains(p)) {
            return false;
        }
        for (unsigned h = 0; h < holedPolygon.GetHoleCount(); ++h) {
            if (holedPolygon.GetHole(h)->Contains(p)) {
                return false;
            }
        }
        return true;
    };
    // Near a boundary the two rules (a tilted ray, a level one) may differ.
    auto nearBoundary = [&](unsigned i, const C2DPoint& p) {
        const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
        bool near = std::fabs(holedPolygon.GetRim()->DistanceTo(p)) < 1e-4;
        for (unsigned h = 0; h < holedPolygon.GetHoleCount(); ++h) {
            near = near || std::fabs(holedPolygon.GetHole(h)->DistanceTo(p)) < 1e-4;
        }
        return near;
    };
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lon(-180.0, 180.0);
    std::uniform_real_distribution<double> lat(-60.0, 80.0);
    int found = 0;
    for (int n = 0; n < 2000; ++n) {
        const C2DPoint p(lon(random), lat(random));
        int expected = -1;
        for (unsigned i = 0; i < content.GetSize() && expected < 0; ++i) {
            if (contains(i, p)) {
                expected = static_cast<int>(i);
            }
        }
        const int actual = locator.FindFeature(p.x, p.y);
        if (actual != expected) {
            EXPECT_TRUE((actual >= 0 && nearBoundary(static_cast<unsigned>(actual), p)) ||
                        (expected >= 0 && nearBoundary(static_cast<unsigned>(expected), p)))
                << p.x << ", " << p.y << ": " << actual << " vs " << expected;
        }
        found += expected >= 0 ? 1 : 0;
    }
    EXPECT_GT(found, 300); // the test hit land often enough
    // Inside South Africa lies Lesotho, a hole of South Africa's rim and a
    // country of its own; outside the map, nothing.
    EXPECT_EQ(locator.NameAt(28.2, -29.6), "Lesotho");
    EXPECT_EQ(locator.NameAt(25.0, -30.0), "South Africa");
    EXPECT_EQ(locator.NameAt(12.0, 43.0), "Italy");
    EXPECT_EQ(locator.NameAt(-30.0, 40.0), "");
    EXPECT_EQ(locator.NameAt(1e9, std::nan("")), "");
}

// Which field names a feature, and text that is not UTF-8.
TEST(FeatureLocator, NameFieldAndText) {
    CMapAttributes attributes;
    attributes.fields = {{"POP", 'N', 8, 0}, {"CODE", 'C', 3, 0}, {"Name", 'C', 12, 0}};
    attributes.records = {"  1234567ABCS\xe3o Tom\xe9  ", "        1XYZCura\xc3\xa7\x61o    "};
    EXPECT_EQ(attributes.NameField(), 2); // NAME in any case, before the first text field
    EXPECT_EQ(attributes.Text(0, 0), "1234567");
    EXPECT_EQ(attributes.Text(0, 1), "ABC");
    EXPECT_EQ(AttributeTextToUtf8(attributes.Text(0, 2)), "S\xc3\xa3o Tom\xc3\xa9");
    EXPECT_EQ(AttributeTextToUtf8(attributes.Text(1, 2)), "Cura\xc3\xa7\x61o");
    EXPECT_EQ(attributes.Text(2, 0), "");
    attributes.fields[2].name = "LABEL";
    EXPECT_EQ(attributes.NameField(), 1); // the first text field
    attributes.fields[1].type = 'N';
    attributes.fields[2].type = 'N';
    EXPECT_EQ(attributes.NameField(), -1);

    // Two overlapping squares: the first in content order wins, a hole
    // belongs to no one, and a feature without a name answers empty.
    attributes.fields = {{"NAME", 'C', 4, 0}};
    attributes.records = {" one", " two"};
    attributes.featureRecords = {0, 1, -1};
    C2DHoledPolyBaseSet content;
    auto* first = new C2DHoledPolygon;
    first->SetRim(MakePolygon(Square(0, 0, 10, 10, true)));
    first->AddHole(MakePolygon(Square(2, 2, 4, 4, true)));
    content.Add(first);
    auto* second = new C2DHoledPolygon;
    second->SetRim(MakePolygon(Square(5, 5, 20, 20, true)));
    content.Add(second);
    auto* third = new C2DHoledPolygon;
    third->SetRim(MakePolygon(Square(30, 30, 40, 40, true)));
    content.Add(third);
    CFeatureLocator locator;
    locator.Build(attributes, content);
    EXPECT_EQ(locator.NameAt(1, 1), "one");
    EXPECT_EQ(locator.NameAt(6, 6), "one");
    EXPECT_EQ(locator.NameAt(15, 15), "two");
    EXPECT_EQ(locator.FindFeature(3, 3), -1);
    EXPECT_EQ(locator.FindFeature(35, 35), 2);
    EXPECT_EQ(locator.NameAt(35, 35), "");
}
