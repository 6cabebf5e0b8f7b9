#include "mapfiles/MapFiles.h"

#include <cstring>

MapFileFormat ChooseMapFileFormat(const char* path) {
    if (path == nullptr) {
        return MapFileFormat::Unknown;
    }
    if (std::strstr(path, ".vmq") != nullptr) {
        return MapFileFormat::TextMap;
    }
    if (std::strstr(path, ".shp") != nullptr) {
        return MapFileFormat::Shapefile;
    }
    return MapFileFormat::Unknown;
}

bool ReadMapFile(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress) {
    switch (ChooseMapFileFormat(path)) {
    case MapFileFormat::TextMap:
        return ReadTextMap(path, content, progress);
    case MapFileFormat::Shapefile:
        return ReadShapefile(path, content, progress);
    case MapFileFormat::Unknown:
        break;
    }
    return false;
}

bool WriteMapFile(const char* path, const C2DHoledPolyBaseSet& content,
                  CProgressUpdater* progress) {
    switch (ChooseMapFileFormat(path)) {
    case MapFileFormat::TextMap:
        return WriteTextMap(path, content, progress);
    case MapFileFormat::Shapefile:
        // Saving a shapefile reports no progress.
        return SaveShapefile(path, content);
    case MapFileFormat::Unknown:
        break;
    }
    return false;
}
