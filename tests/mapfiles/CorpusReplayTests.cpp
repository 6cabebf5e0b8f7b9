// Replays every file of the fuzzing corpora (the seeds and every input that
// ever crashed a reader) through the readers and writers, as the fuzz targets
// do, so that a fixed crash stays fixed in every ordinary test run. Every
// folder of fuzz/corpus is replayed; one without a replay here fails.
#include <dirent.h>
#include <map>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "mapfiles/FeatureLocator.h"
#include "mapfiles/MapFiles.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

const std::string CorpusRoot = std::string(MARLO_SOURCE_DIR) + "/fuzz/corpus";

// The names in a folder, sorted; folders only, or files only.
std::vector<std::string> Entries(const std::string& folder, bool folders) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        struct stat info;
        const std::string path = folder + "/" + entry->d_name;
        if (entry->d_name[0] != '.' && stat(path.c_str(), &info) == 0 &&
            S_ISDIR(info.st_mode) == folders) {
            names.push_back(entry->d_name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

unsigned long CountEdges(const C2DHoledPolyBaseSet& content) {
    unsigned long edges = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        EXPECT_NE(content.GetAt(i)->GetRim(), nullptr);
        edges += content.GetAt(i)->GetTotalLineCount();
    }
    return edges;
}

void ReplayShapefile(const std::string& file, const TempFolder& folder) {
    const std::string output = folder.File("again.shp");
    C2DHoledPolyBaseSet content;
    RecordingProgress progress;
    if (!ReadShapefile(file.c_str(), content, &progress)) {
        return;
    }
    content.MakeClockwise();
    ASSERT_TRUE(SaveShapefile(output.c_str(), content));
    C2DHoledPolyBaseSet again;
    ASSERT_TRUE(ReadShapefile(output.c_str(), again, nullptr));
    EXPECT_EQ(CountEdges(again), CountEdges(content));
    for (const unsigned percent : progress.values) {
        EXPECT_LE(percent, 100u);
    }
}

void ReplayTextMap(const std::string& file, const TempFolder& folder) {
    const std::string output = folder.File("again.vmq");
    for (const bool version2 : {false, true}) {
        useTextMapFormat2 = version2;
        C2DHoledPolyBaseSet content;
        EXPECT_TRUE(ReadTextMap(file.c_str(), content, nullptr));
        CountEdges(content);
        content.MakeClockwise();
        EXPECT_TRUE(WriteTextMap(output.c_str(), content, nullptr));
        C2DHoledPolyBaseSet again;
        EXPECT_TRUE(ReadTextMap(output.c_str(), again, nullptr));
    }
    useTextMapFormat2 = false;
}

void ExpectWholeRows(const CMapAttributes& attributes, const C2DHoledPolyBaseSet& content) {
    EXPECT_EQ(attributes.featureRecords.size(), content.GetSize());
    for (const std::string& row : attributes.records) {
        EXPECT_EQ(row.size(), attributes.RecordLength());
    }
}

// A table beside a good main file (three squares, the middle one with a
// hole): the map always loads, and is saved and read again with what was
// read of the table.
void ReplayTable(const std::string& file, const TempFolder& folder) {
    const std::string main = folder.File("table.shp");
    C2DHoledPolyBaseSet squares;
    for (int i = 0; i < 3; ++i) {
        const double x = 10.0 * i;
        auto* holedPolygon = new C2DHoledPolygon;
        holedPolygon->SetRim(MakePolygon(Square(x, 0.0, x + 5.0, 5.0, true)));
        if (i == 1) {
            holedPolygon->AddHole(MakePolygon(Square(x + 1, 1.0, x + 2, 2.0, true)));
        }
        squares.Add(holedPolygon);
    }
    ASSERT_TRUE(SaveShapefile(main.c_str(), squares));
    WriteFile(folder.File("table.dbf"), ReadFile(file));

    C2DHoledPolyBaseSet content;
    CMapAttributes attributes;
    ASSERT_TRUE(ReadShapefile(main.c_str(), content, nullptr, &attributes));
    ExpectWholeRows(attributes, content);
    CFeatureLocator locator;
    locator.Build(attributes, content);
    locator.NameAt(2.5, 2.5);
    locator.NameAt(11.5, 1.5);

    const std::string output = folder.File("again.shp");
    CMapSaveInfo info;
    info.attributes = &attributes;
    ASSERT_TRUE(SaveShapefile(output.c_str(), content, &info));
    C2DHoledPolyBaseSet again;
    CMapAttributes reread;
    ASSERT_TRUE(ReadShapefile(output.c_str(), again, nullptr, &reread));
    ExpectWholeRows(reread, again);
    // The table comes back as it was, or, where shapelib would not create
    // its fields again, as an ID per record.
    if (attributes.HasTable()) {
        const bool sameFields = reread.fields.size() == attributes.fields.size();
        const bool idTable = reread.fields.size() == 1 && reread.fields[0].name == "ID";
        EXPECT_TRUE(sameFields || idTable);
        EXPECT_EQ(reread.records.size(), again.GetSize());
    }
}

} // namespace

TEST(CorpusReplay, EveryCorpusFolder) {
    using Replay = void (*)(const std::string&, const TempFolder&);
    const std::map<std::string, Replay> replays = {
        {"shapefile", ReplayShapefile}, {"textmap", ReplayTextMap}, {"dbf", ReplayTable}};
    const std::vector<std::string> folders = Entries(CorpusRoot, true);
    ASSERT_FALSE(folders.empty()) << CorpusRoot;
    for (const std::string& name : folders) {
        SCOPED_TRACE(name);
        const auto replay = replays.find(name);
        ASSERT_NE(replay, replays.end()) << "no replay for the corpus folder " << name;
        const std::string folder = CorpusRoot + "/" + name;
        const std::vector<std::string> files = Entries(folder, false);
        EXPECT_FALSE(files.empty());
        for (const std::string& file : files) {
            SCOPED_TRACE(file);
            TempFolder work;
            replay->second(folder + "/" + file, work);
        }
    }
}
