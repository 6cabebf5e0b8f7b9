#include <cstdio>
#include <memory>

#include "mapfiles/MapFiles.h"
#include "tools/marlo-cli/MapCommandSupport.h"
#include "tools/marlo-cli/MapCommands.h"
#include "tools/marlo-cli/SphereSupport.h"
#include "tools/marlo-cli/StreamingConversion.h"

namespace {

// A map on its way from IN to OUT: the content, the attributes read with it,
// and what its coordinates are after the transformations.
struct CMapInTransit {
    std::unique_ptr<C2DHoledPolyBaseSet> content = std::make_unique<C2DHoledPolyBaseSet>();
    CMapAttributes attributes;
    CMapCoordinateState coordinates;
};

const char ConvertUsage[] =
    "Usage: marlo-cli convert IN OUT [--rotate LAT,LON] [--projection NAME] [--format2]\n"
    "                                [--clip [--tolerance T]] [--whole-map]\n"
    "\n"
    "Reads IN, makes every ring clockwise, rotates the sphere so that (LAT, LON)\n"
    "comes to (0, 0), projects with the named projection and writes OUT, the same\n"
    "steps as the viewer's open, rotate, project and save. Each file's format is\n"
    "chosen by its extension, \".shp\" or \".vmq\" in any case. A shapefile is\n"
    "written with its .shx, its .dbf (the attributes of a shapefile IN, else an ID\n"
    "per shape), the .cpg of IN's table, and a .prj when the coordinates are\n"
    "longitude and latitude or projected without a rotation. The map goes through\n"
    "a record at a time, so a map far larger than memory converts too.\n"
    "\n"
    "  --rotate LAT,LON    rotation origin in degrees, e.g. --rotate 40,-100\n"
    "  --projection NAME   a display name as listed by \"marlo-cli list\",\n"
    "                      e.g. --projection Mollweide\n"
    "  --format2           read and write \".vmq\" files as text map version 2\n"
    "  --clip              write the map as the projection shows the sphere: cut\n"
    "                      where it tears, clipped where it folds, resampled; every\n"
    "                      piece a proper ring (a map in longitude and latitude)\n"
    "  --tolerance T       with --clip, resampled curves stay within T output units\n"
    "                      of the true ones (default 1e-4 of the sphere's radius)\n"
    "  --whole-map         hold the whole map in memory, as the viewer does, instead\n"
    "                      of converting it piece by piece; same output, for\n"
    "                      comparison\n"
    "  --help              show this text\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written (nothing is left\n"
    "at OUT), 2 a bad command line.\n";

// Reads the whole map, prepares it and writes it, as the viewer would.
int ConvertWholeMap(const std::string& inputPath, const std::string& outputPath,
                    const CMapTransformations& transformations, const CSphereOptions& sphere) {
    ReserveMemoryForMap(inputPath);
    CMapInTransit map;
    if (!LoadMapFile(inputPath, *map.content, StepsWhileLoading(sphere, transformations),
                     &map.attributes)) {
        return ExitFileFailure;
    }
    if (sphere.clip && !ClipToDisplayGeometry(*map.content, map.attributes.featureRecords,
                                              transformations, sphere)) {
        return ExitFileFailure;
    }
    map.coordinates = CoordinatesAfter(CoordinatesOfMapFile(inputPath.c_str()), transformations);
    CMapSaveInfo info;
    info.attributes = &map.attributes;
    info.coordinates = map.coordinates;
    const bool saved = SaveMapFile(outputPath, *map.content, &info);
    KeepUntilExit(std::move(map.content));
    return saved ? ExitSuccess : ExitFileFailure;
}

// Takes the word out of words; true when it was there.
bool TakeSwitch(std::vector<std::string>& words, const char* name) {
    bool found = false;
    std::vector<std::string> rest;
    for (std::string& word : words) {
        if (word == name) {
            found = true;
        } else {
            rest.push_back(std::move(word));
        }
    }
    words = std::move(rest);
    return found;
}

} // namespace

int RunConvertCommand(const std::vector<std::string>& args) {
    std::vector<std::string> words = args;
    const bool wholeMap = TakeSwitch(words, "--whole-map");
    CSphereOptions sphere;
    CSphereSwitches sphereSwitches;
    sphereSwitches.clip = true;
    if (!TakeSphereOptions("convert", words, sphereSwitches, sphere)) {
        return ExitUsage;
    }
    CMapCommandOptions options;
    CMapCommandSwitches accepted;
    accepted.rotate = accepted.projection = accepted.format2 = true;
    if (!ParseMapCommandOptions("convert", words, accepted, options)) {
        return ExitUsage;
    }
    if (options.help) {
        std::fputs(ConvertUsage, stdout);
        return ExitSuccess;
    }
    if (options.positional.size() != 2) {
        std::fputs(ConvertUsage, stderr);
        return ExitUsage;
    }
    CMapTransformations transformations;
    if (!MakeTransformations(options, transformations)) {
        return ExitUsage;
    }
    const std::string& inputPath = options.positional[0];
    const std::string& outputPath = options.positional[1];
    if (!CheckSavePath(outputPath)) {
        return ExitFileFailure;
    }
    useTextMapFormat2 = options.format2;
    if (!wholeMap) {
        return ConvertStreaming(inputPath, outputPath, transformations, sphere) ? ExitSuccess
                                                                                : ExitFileFailure;
    }
    return ConvertWholeMap(inputPath, outputPath, transformations, sphere);
}
