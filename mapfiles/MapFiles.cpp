#include "mapfiles/MapFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <strings.h>
#include <system_error>

#include "mapfiles/MapFileProblems.h"
#include "mapfiles/MapFileStreams.h"

void ReportProblem(CMapFileError* error, MapFileProblem problem) {
    if (error != nullptr && error->problem == MapFileProblem::None) {
        error->problem = problem;
    }
}

void ReportOpenFailure(CMapFileError* error, int systemError) {
    if (error == nullptr || error->problem != MapFileProblem::None) {
        return;
    }
    const bool missing = systemError == ENOENT || systemError == ENOTDIR;
    error->problem = missing ? MapFileProblem::NoSuchFile : MapFileProblem::CannotOpen;
    error->systemError = systemError;
}

void ReportWriteFailure(CMapFileError* error, int systemError) {
    if (error == nullptr || error->problem != MapFileProblem::None) {
        return;
    }
    if (systemError == ENOSPC || systemError == EDQUOT) {
        error->problem = MapFileProblem::DiskFull;
    } else if (systemError == ENOENT || systemError == ENOTDIR) {
        error->problem = MapFileProblem::NoSuchFile;
    } else {
        error->problem = MapFileProblem::CannotWrite;
    }
    error->systemError = systemError;
}

std::string DescribeMapFileError(const CMapFileError& error) {
    const auto withSystemError = [&](const char* text) {
        if (error.systemError == 0) {
            return std::string(text);
        }
        return std::string(text) + " (" + std::strerror(error.systemError) + ")";
    };
    switch (error.problem) {
    case MapFileProblem::None:
        return {};
    case MapFileProblem::UnknownFormat:
        return "Unknown file type: the name must end in .shp or .vmq";
    case MapFileProblem::NoSuchFile:
        return "No such file";
    case MapFileProblem::CannotOpen:
        return withSystemError("The file cannot be opened");
    case MapFileProblem::NotAShapefile:
        return "Not a shapefile";
    case MapFileProblem::NotAPolygonShapefile:
        return "Not a polygon shapefile (shape type " + std::to_string(error.shapeType) + ")";
    case MapFileProblem::UnreadableRecord:
        return "Unreadable record " + std::to_string(error.record);
    case MapFileProblem::NoShapes:
        return "No shape could be read from the file";
    case MapFileProblem::DiskFull:
        return "Disk full";
    case MapFileProblem::CannotWrite:
        return withSystemError("The file cannot be written");
    }
    return {};
}

MapFileFormat ChooseMapFileFormat(const char* path) {
    if (path == nullptr) {
        return MapFileFormat::Unknown;
    }
    // Only the last name of the path counts: "maps.vmq/world.shp" is a
    // shapefile. Its extension is compared in any case.
    const char* name = std::strrchr(path, '/');
    name = name == nullptr ? path : name + 1;
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr) {
        return MapFileFormat::Unknown;
    }
    if (strcasecmp(dot, ".vmq") == 0) {
        return MapFileFormat::TextMap;
    }
    if (strcasecmp(dot, ".shp") == 0) {
        return MapFileFormat::Shapefile;
    }
    return MapFileFormat::Unknown;
}

std::size_t EstimateVertexCount(const char* path) {
    // A shapefile stores a point in two doubles after a 100-byte header; a
    // text map writes a vertex as a line of two numbers with ten decimals
    // (about 29 characters; an arc's vertex line is longer).
    constexpr uintmax_t ShapefileHeaderBytes = 100;
    constexpr uintmax_t ShapefileBytesPerVertex = 16;
    constexpr uintmax_t TextMapBytesPerVertex = 29;
    const MapFileFormat format = ChooseMapFileFormat(path);
    if (format == MapFileFormat::Unknown) {
        return 0;
    }
    std::error_code failure;
    const uintmax_t size = std::filesystem::file_size(path, failure);
    if (failure) {
        return 0;
    }
    const uintmax_t vertices =
        format == MapFileFormat::TextMap
            ? size / TextMapBytesPerVertex
            : (size > ShapefileHeaderBytes ? size - ShapefileHeaderBytes : 0) /
                  ShapefileBytesPerVertex;
    return vertices > SIZE_MAX ? SIZE_MAX : static_cast<std::size_t>(vertices);
}

bool ReadMapFile(const char* path, C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                 CMapAttributes* attributes, CMapFileError* error) {
    switch (ChooseMapFileFormat(path)) {
    case MapFileFormat::TextMap:
        if (attributes != nullptr) {
            attributes->Clear();
        }
        return ReadTextMap(path, content, progress, error);
    case MapFileFormat::Shapefile:
        return ReadShapefile(path, content, progress, attributes, error);
    case MapFileFormat::Unknown:
        break;
    }
    ReportProblem(error, MapFileProblem::UnknownFormat);
    return false;
}

bool WriteMapFile(const char* path, const C2DHoledPolyBaseSet& content, CProgressUpdater* progress,
                  const CMapSaveInfo* info, CMapFileError* error) {
    switch (ChooseMapFileFormat(path)) {
    case MapFileFormat::TextMap:
        return WriteTextMap(path, content, progress, error);
    case MapFileFormat::Shapefile:
        // Saving a shapefile reports no progress.
        return SaveShapefile(path, content, info, error);
    case MapFileFormat::Unknown:
        break;
    }
    ReportProblem(error, MapFileProblem::UnknownFormat);
    return false;
}

std::unique_ptr<CMapFileWriter> OpenMapFileWriter(const char* path, CMapFileError* error) {
    switch (ChooseMapFileFormat(path)) {
    case MapFileFormat::TextMap:
        return OpenTextMapWriter(path, error);
    case MapFileFormat::Shapefile:
        return OpenShapefileWriter(path, error);
    case MapFileFormat::Unknown:
        break;
    }
    ReportProblem(error, MapFileProblem::UnknownFormat);
    return nullptr;
}
