// Replays every file of the fuzzing corpora (the seeds and every input that
// ever crashed a reader) through the readers and writers, as the fuzz targets
// do, so that a fixed crash stays fixed in every ordinary test run.
#include <dirent.h>

#include <gtest/gtest.h>

#include "mapfiles/MapFiles.h"
#include "tests/mapfiles/MapFileTestSupport.h"

using namespace mapfiles_test;

namespace {

std::vector<std::string> CorpusFiles(const std::string& reader) {
    std::vector<std::string> files;
    const std::string folder = std::string(MARLO_SOURCE_DIR) + "/fuzz/corpus/" + reader;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return files;
    }
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            files.push_back(folder + "/" + entry->d_name);
        }
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

unsigned long CountEdges(const C2DHoledPolyBaseSet& content) {
    unsigned long edges = 0;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        EXPECT_NE(content.GetAt(i)->GetRim(), nullptr);
        edges += content.GetAt(i)->GetTotalLineCount();
    }
    return edges;
}

} // namespace

TEST(CorpusReplay, Shapefiles) {
    const std::vector<std::string> files = CorpusFiles("shapefile");
    ASSERT_FALSE(files.empty());
    TempFolder folder;
    const std::string output = folder.File("again.shp");
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        C2DHoledPolyBaseSet content;
        RecordingProgress progress;
        if (!ReadShapefile(file.c_str(), content, &progress)) {
            continue;
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
}

TEST(CorpusReplay, TextMaps) {
    const std::vector<std::string> files = CorpusFiles("textmap");
    ASSERT_FALSE(files.empty());
    TempFolder folder;
    const std::string output = folder.File("again.vmq");
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
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
    }
    useTextMapFormat2 = false;
}
