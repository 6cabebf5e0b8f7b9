#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "mapfiles/MapFiles.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

// Enough content for a few hundred kilobytes in either format.
void FillContent(C2DHoledPolyBaseSet& content) {
    for (int i = 0; i < 2000; ++i) {
        auto* holedPolygon = new C2DHoledPolygon;
        Ring ring;
        for (int k = 0; k < 10; ++k) {
            ring.emplace_back(i + k / 8.0, -k * k / 4.0); // exact in ten decimals
        }
        holedPolygon->SetRim(MakePolygon(ring));
        content.Add(holedPolygon);
    }
}

// Limits the size of files this process may write, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limit = previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

bool Save(const std::string& path, const C2DHoledPolyBaseSet& content) {
    return WriteMapFile(path.c_str(), content, nullptr);
}

} // namespace

TEST(Saving, FullDiskIsAFailure) {
    struct stat info;
    if (stat("/dev/full", &info) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    C2DHoledPolyBaseSet content;
    FillContent(content);
    EXPECT_FALSE(SaveShapefile("/dev/full", content));
    CMapFileError error;
    EXPECT_FALSE(WriteTextMap("/dev/full", content, nullptr, &error));
    EXPECT_EQ(error.problem, MapFileProblem::DiskFull);
    EXPECT_EQ(DescribeMapFileError(error), "Disk full");
    C2DHoledPolyBaseSet empty;
    EXPECT_FALSE(SaveShapefile("/dev/full", empty)); // even the 100-byte header
    // The device was written to, not replaced.
    ASSERT_EQ(stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

// A save that fails part way leaves the old file byte for byte as it was and
// no temporary file behind.
TEST(Saving, FailedSaveKeepsTheOldFile) {
    TempFolder folder;
    C2DHoledPolyBaseSet content;
    FillContent(content);
    for (const char* name : {"map.shp", "map.vmq"}) {
        SCOPED_TRACE(name);
        const std::string path = folder.File(name);
        const std::string old = "the old map, which must survive\n";
        WriteFile(path, old);
        {
            FileSizeLimit limit(64 * 1024);
            EXPECT_FALSE(Save(path, content));
        }
        EXPECT_EQ(ReadFile(path), old);
        EXPECT_EQ(FilesIn(folder.path), (std::vector<std::string>{std::string(name)}));
        std::remove(path.c_str());
    }
    // A folder that does not exist cannot take a file.
    EXPECT_FALSE(Save(folder.File("no/such/folder/map.shp"), content));
    EXPECT_FALSE(Save(folder.File("no/such/folder/map.vmq"), content));
}

TEST(Saving, ReplacingKeepsPermissionsAndLinks) {
    TempFolder folder;
    C2DHoledPolyBaseSet content;
    FillContent(content);
    const std::string path = folder.File("map.shp");
    WriteFile(path, "old");
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(Save(path, content));
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_GT(info.st_size, 100);

    // Saving through a link replaces the file it names and keeps the link.
    const std::string target = folder.File("real.vmq");
    const std::string link = folder.File("link.vmq");
    WriteFile(target, "old");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(Save(link, content));
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(target).substr(0, 4), "(+)\n");
    EXPECT_EQ(FilesIn(folder.path),
              (std::vector<std::string>{"link.vmq", "map.dbf", "map.shp", "map.shx", "real.vmq"}));

    // A name at the length limit leaves no room for a longer temporary name.
    const std::string longName = std::string(251, 'm') + ".shp";
    ASSERT_TRUE(Save(folder.File(longName), content));
    ASSERT_TRUE(Save(folder.File(longName), content));
    EXPECT_EQ(FilesIn(folder.path).size(), 8u);
}

TEST(Saving, VertexCountEstimatedFromTheFileSizeAlone) {
    TempFolder folder;
    C2DHoledPolyBaseSet world;
    const std::string shapefile = std::string(MARLO_DATA_DIR) + "/world-50m-countries.shp";
    ASSERT_TRUE(ReadMapFile(shapefile.c_str(), world, nullptr));
    std::size_t vertices = 0;
    for (unsigned i = 0; i < world.GetSize(); ++i) {
        vertices += world.GetAt(i)->GetTotalLineCount();
    }
    ASSERT_TRUE(Save(folder.File("world.vmq"), world));
    // Within a tenth of the true count in both formats.
    for (const std::string& path : {shapefile, folder.File("world.vmq")}) {
        const double estimate = static_cast<double>(EstimateVertexCount(path.c_str()));
        EXPECT_NEAR(estimate / static_cast<double>(vertices), 1.0, 0.1) << path;
    }
    // Nothing to estimate: a missing file, an unknown format, a file shorter
    // than a shapefile's header, a folder.
    EXPECT_EQ(EstimateVertexCount(folder.File("missing.shp").c_str()), 0u);
    EXPECT_EQ(
        EstimateVertexCount((std::string(MARLO_DATA_DIR) + "/world-50m-countries.dbf").c_str()),
        0u);
    ASSERT_TRUE(Save(folder.File("empty.shp"), C2DHoledPolyBaseSet()));
    EXPECT_EQ(EstimateVertexCount(folder.File("empty.shp").c_str()), 0u);
    std::filesystem::create_directory(folder.File("maps.shp"));
    EXPECT_EQ(EstimateVertexCount(folder.File("maps.shp").c_str()), 0u);
    EXPECT_EQ(EstimateVertexCount(nullptr), 0u);
}

TEST(Saving, FormatChosenByExtension) {
    EXPECT_EQ(ChooseMapFileFormat("a/b.vmq"), MapFileFormat::TextMap);
    EXPECT_EQ(ChooseMapFileFormat("a/b.shp"), MapFileFormat::Shapefile);
    EXPECT_EQ(ChooseMapFileFormat("maps.vmq/world.shp"), MapFileFormat::Shapefile);
    EXPECT_EQ(ChooseMapFileFormat("maps.shp/world.vmq"), MapFileFormat::TextMap);
    EXPECT_EQ(ChooseMapFileFormat("WORLD.SHP"), MapFileFormat::Shapefile);
    EXPECT_EQ(ChooseMapFileFormat("Map.VmQ"), MapFileFormat::TextMap);
    EXPECT_EQ(ChooseMapFileFormat("b.shp.bak"), MapFileFormat::Unknown);
    EXPECT_EQ(ChooseMapFileFormat("maps.shp/world"), MapFileFormat::Unknown);
    EXPECT_EQ(ChooseMapFileFormat("shp"), MapFileFormat::Unknown);
    EXPECT_EQ(ChooseMapFileFormat(nullptr), MapFileFormat::Unknown);

    TempFolder folder;
    C2DHoledPolyBaseSet content;
    FillContent(content);
    EXPECT_FALSE(Save(folder.File("map.txt"), content));
    EXPECT_TRUE(FilesIn(folder.path).empty());
    ASSERT_TRUE(Save(folder.File("map.vmq"), content));
    ASSERT_TRUE(Save(folder.File("map.shp"), content));
    C2DHoledPolyBaseSet fromText;
    C2DHoledPolyBaseSet fromShapefile;
    ASSERT_TRUE(ReadMapFile(folder.File("map.vmq").c_str(), fromText, nullptr));
    ASSERT_TRUE(ReadMapFile(folder.File("map.shp").c_str(), fromShapefile, nullptr));
    // The shapefile closes each ring with its first point; the text map does
    // not repeat it.
    std::vector<Ring> closedText;
    for (const Ring& ring : RingsOf(fromText)) {
        closedText.push_back(Closed(ring));
    }
    EXPECT_EQ(closedText, RingsOf(fromShapefile));
    CMapFileError error;
    EXPECT_FALSE(ReadMapFile(folder.File("map.txt").c_str(), fromText, nullptr, nullptr, &error));
    EXPECT_EQ(error.problem, MapFileProblem::UnknownFormat);
    // Neither reader takes a folder for a map.
    ASSERT_EQ(mkdir(folder.File("folder.vmq").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.File("folder.shp").c_str(), 0755), 0);
    EXPECT_FALSE(ReadMapFile(folder.File("folder.vmq").c_str(), fromText, nullptr));
    EXPECT_FALSE(ReadMapFile(folder.File("folder.shp").c_str(), fromText, nullptr));
}
