// Feeds arbitrary bytes as the .dbf beside a good .shp. The load must never
// fail or crash for the table's sake; whatever table was read is written
// back with the map and read again, and the feature lookup is built on it.
#include <cstdlib>
#include <string>

#include "fuzz/FuzzFiles.h"
#include "mapfiles/FeatureLocator.h"
#include "mapfiles/MapFiles.h"

namespace {

// Three squares, the middle one with a hole, written once by our own writer.
void WriteMainFile(const std::string& path) {
    C2DHoledPolyBaseSet content;
    for (int i = 0; i < 3; ++i) {
        auto* holedPolygon = new C2DHoledPolygon;
        auto* rim = new C2DPolygon;
        const double x = 10.0 * i;
        const double points[] = {x, 0.0, x, 5.0, x + 5.0, 5.0, x + 5.0, 0.0};
        rim->Create(points, 4);
        holedPolygon->SetRim(rim);
        if (i == 1) {
            auto* hole = new C2DPolygon;
            const double inner[] = {x + 1, 1.0, x + 1, 2.0, x + 2, 2.0, x + 2, 1.0};
            hole->Create(inner, 4);
            holedPolygon->AddHole(hole);
        }
        content.Add(holedPolygon);
    }
    if (!SaveShapefile(path.c_str(), content)) {
        std::abort();
    }
}

void CheckAttributes(const CMapAttributes& attributes, const C2DHoledPolyBaseSet& content) {
    if (attributes.featureRecords.size() != content.GetSize()) {
        std::abort();
    }
    for (const std::string& row : attributes.records) {
        if (row.size() != attributes.RecordLength()) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string base = FuzzFilePath("table");
    static const std::string output = FuzzFilePath("output.shp");
    static const bool written = (WriteMainFile(base + ".shp"), true);
    (void)written;
    KeepPoolsAlive();
    WriteFuzzFile(base + ".dbf", data, size);

    C2DHoledPolyBaseSet content;
    CMapAttributes attributes;
    if (!ReadShapefile((base + ".shp").c_str(), content, nullptr, &attributes)) {
        std::abort(); // the main file is good whatever the table holds
    }
    CheckAttributes(attributes, content);
    CFeatureLocator locator;
    locator.Build(attributes, content);
    locator.NameAt(2.5, 2.5);
    locator.NameAt(11.5, 1.5);

    CMapSaveInfo info;
    info.attributes = &attributes;
    if (!SaveShapefile(output.c_str(), content, &info)) {
        std::abort();
    }
    C2DHoledPolyBaseSet again;
    CMapAttributes reread;
    if (!ReadShapefile(output.c_str(), again, nullptr, &reread)) {
        std::abort();
    }
    CheckAttributes(reread, again);
    // The table comes back as it was, or, where shapelib would not create
    // its fields again, as an ID per record.
    const bool sameFields = reread.fields.size() == attributes.fields.size();
    const bool idTable = reread.fields.size() == 1 && reread.fields[0].name == "ID";
    if (attributes.HasTable() &&
        (!(sameFields || idTable) || reread.records.size() != again.GetSize())) {
        std::abort();
    }
    return 0;
}
