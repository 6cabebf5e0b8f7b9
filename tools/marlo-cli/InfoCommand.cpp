#include <cinttypes>
#include <cstdio>
#include <memory>

#include "mapfiles/MapFiles.h"
#include "tools/marlo-cli/MapCommandSupport.h"
#include "tools/marlo-cli/MapCommands.h"

namespace {

const char InfoUsage[] =
    "Usage: marlo-cli info FILE [--format2]\n"
    "\n"
    "Reads a map file (\".shp\" or \".vmq\", chosen by its extension in any case)\n"
    "and prints the number of holed polygons, rings, edges and arc edges, the\n"
    "bounds of the map as read, and the fields of a shapefile's attribute table.\n"
    "\n"
    "  --format2   read \".vmq\" files as text map version 2\n"
    "  --help      show this text\n";

struct CMapCounts {
    uint64_t holedPolygons = 0;
    uint64_t rims = 0;
    uint64_t holes = 0;
    uint64_t edges = 0;
    uint64_t arcEdges = 0;
};

void CountRing(const C2DPolyBase& ring, CMapCounts& counts) {
    const unsigned lines = ring.GetLineCount();
    counts.edges += lines;
    for (unsigned k = 0; k < lines; ++k) {
        if (ring.GetLine(k)->GetType() == GeometryType::Arc) {
            ++counts.arcEdges;
        }
    }
}

CMapCounts CountContent(const C2DHoledPolyBaseSet& content) {
    CMapCounts counts;
    for (unsigned i = 0; i < content.GetSize(); ++i) {
        const C2DHoledPolyBase& holedPolygon = *content.GetAt(i);
        ++counts.holedPolygons;
        if (holedPolygon.GetRim() != nullptr) {
            ++counts.rims;
            CountRing(*holedPolygon.GetRim(), counts);
        }
        for (unsigned h = 0; h < holedPolygon.GetHoleCount(); ++h) {
            ++counts.holes;
            CountRing(*holedPolygon.GetHole(h), counts);
        }
    }
    return counts;
}

} // namespace

int RunInfoCommand(const std::vector<std::string>& args) {
    CMapCommandOptions options;
    CMapCommandSwitches accepted;
    accepted.format2 = true;
    if (!ParseMapCommandOptions("info", args, accepted, options)) {
        return ExitUsage;
    }
    if (options.help) {
        std::fputs(InfoUsage, stdout);
        return ExitSuccess;
    }
    if (options.positional.size() != 1) {
        std::fputs(InfoUsage, stderr);
        return ExitUsage;
    }
    useTextMapFormat2 = options.format2;
    const std::string& path = options.positional[0];
    ReserveMemoryForMap(path);
    auto content = std::make_unique<C2DHoledPolyBaseSet>();
    CMapAttributes attributes;
    if (!LoadMapFile(path, *content, nullptr, &attributes)) {
        return ExitFileFailure;
    }
    const CMapCounts counts = CountContent(*content);
    C2DRect bounds(0.0, 0.0, 0.0, 0.0);
    content->GetBounds(bounds);
    const bool empty = content->IsEmpty();
    KeepUntilExit(std::move(content));
    std::printf("File:            %s\n", path.c_str());
    std::printf("Holed polygons:  %" PRIu64 "\n", counts.holedPolygons);
    std::printf("Rings:           %" PRIu64 " (%" PRIu64 " rims, %" PRIu64 " holes)\n",
                counts.rims + counts.holes, counts.rims, counts.holes);
    std::printf("Edges:           %" PRIu64 "\n", counts.edges);
    std::printf("Arc edges:       %" PRIu64 "\n", counts.arcEdges);
    if (empty) {
        std::printf("Bounds:          none (empty map)\n");
    } else {
        std::printf("Bounds:          x %.10g to %.10g, y %.10g to %.10g\n", bounds.topLeft.x,
                    bounds.bottomRight.x, bounds.bottomRight.y, bounds.topLeft.y);
    }
    if (attributes.HasTable()) {
        std::printf("Records:         %zu\n", attributes.records.size());
        std::string fields;
        for (const CAttributeField& field : attributes.fields) {
            fields += (fields.empty() ? "" : ", ") + field.name + " (" + field.type + " " +
                      std::to_string(field.width) + ")";
        }
        std::printf("Fields:          %s\n", fields.c_str());
    }
    return ExitSuccess;
}
