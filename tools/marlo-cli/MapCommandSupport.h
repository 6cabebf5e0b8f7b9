#pragma once

#include <memory>
#include <string>
#include <vector>

#include "geometry/HoledPolygons.h"
#include "mapfiles/MapFiles.h"
#include "mapfiles/ProgressUpdater.h"
#include "projection/GeoRotation.h"
#include "projection/Projection.h"

// Shared pieces of the map file commands (info, convert, render): option
// parsing, the terminal progress bar, and the viewer's road of a map (read,
// make clockwise, rotate, project).

// Exit status of the map commands.
enum MapCommandExit : int {
    ExitSuccess = 0,
    ExitFileFailure = 1, // a file could not be read or written
    ExitUsage = 2,       // bad command line
};

// What the command line asked for. Positional arguments keep their order.
struct CMapCommandOptions {
    std::vector<std::string> positional;
    bool help = false;
    bool format2 = false;
    bool hasRotation = false;
    double rotateLatDegrees = 0.0;
    double rotateLonDegrees = 0.0;
    std::string projectionName; // empty: no projection
};

// Which of the optional switches a command accepts.
struct CMapCommandSwitches {
    bool rotate = false;
    bool projection = false;
    bool format2 = false;
};

// Parses args (the words after the command name). On a bad command line it
// prints the reason on standard error and returns false.
bool ParseMapCommandOptions(const char* command, const std::vector<std::string>& args,
                            const CMapCommandSwitches& accepted, CMapCommandOptions& options);

// "LAT,LON" in degrees, both finite, latitude within [-90, 90].
bool ParseRotateOrigin(const std::string& text, double& latDegrees, double& lonDegrees);

// Prints the error for an unknown projection name with the list of valid
// display names.
void ReportUnknownProjection(const std::string& name);

// A progress bar on standard error, drawn only when standard error is a
// terminal: elsewhere (pipes, files, CI logs) nothing is printed and Get()
// returns null, so readers and writers skip their progress calls entirely.
class CTerminalProgress final : public CProgressUpdater {
public:
    explicit CTerminalProgress(std::string label);
    ~CTerminalProgress();
    CTerminalProgress(const CTerminalProgress&) = delete;
    CTerminalProgress& operator=(const CTerminalProgress&) = delete;

    CProgressUpdater* Get() { return enabled ? this : nullptr; }
    void UpdateProgress(unsigned percent) override;
    // Draws the full bar (a writer's last report is below 100) and ends the
    // line.
    void Complete();
    // Ends the line where the bar stands, for a failure; so does the destructor.
    void Abandon();

private:
    void Draw(unsigned percent);
    void EndLine();

    std::string label;
    bool enabled;
    bool drawn = false;
    int lastPercent = -1;
};

// The transformations a command applies, in the viewer's order: rotation
// first, then projection.
struct CMapTransformations {
    std::unique_ptr<CGeoRotation> rotation;
    std::unique_ptr<CProjection> projection;
};

// Builds the transformations of options; false (after reporting) for an
// unknown projection name.
bool MakeTransformations(const CMapCommandOptions& options, CMapTransformations& transformations);

// Reads path (its format chosen by its extension) into the empty content,
// with a progress bar on a terminal. Prints "Could not open file" with the
// path and the reason on failure. With prepare, every holed polygon is also
// taken down the viewer's road after a load (PrepareRing) while the file is
// still being read. attributes, when given, receive the shapefile's table.
bool LoadMapFile(const std::string& path, C2DHoledPolyBaseSet& content,
                 const CMapTransformations* prepare = nullptr,
                 CMapAttributes* attributes = nullptr);

// Writes content to path by the same rule, with what info gives beside it.
// Prints "Could not save file" with the path and the reason on failure.
bool SaveMapFile(const std::string& path, const C2DHoledPolyBaseSet& content,
                 const CMapSaveInfo* info = nullptr);

// What the coordinates are once the transformations were applied to content
// whose coordinates were loaded: projecting longitude and latitude gives the
// projection's coordinates; a rotation, or a projection of anything else,
// gives coordinates no coordinate system describes.
CMapCoordinateState CoordinatesAfter(const CMapCoordinateState& loaded,
                                     const CMapTransformations& transformations);

// True when path names a format the writers know; else prints "Could not save
// file" with the path, so a doomed conversion fails before the slow read.
bool CheckSavePath(const std::string& path);

// The viewer's road after a load for one ring (a rim or a hole): clockwise,
// then the rotation, then the projection. The viewer does each step for the
// whole content before the next; every step acts on each ring alone, so doing
// all of them ring by ring gives the same bits.
void PrepareRing(C2DPolyBase& ring, const CMapTransformations& transformations);

// Threads to use for preparing content: the machine's cores, at least one.
unsigned PreparationThreadCount();

// Makes the memory allocator take the memory for a map read from path in
// large pages. A big map is millions of small pooled objects; with ordinary
// pages, faulting their memory in costs about as much as reading the file.
// Call before anything big is allocated.
void ReserveMemoryForMap(const std::string& path);

// Keeps content alive until the process ends: freeing millions of edges one
// by one at exit only costs time, and the system takes the memory back at
// once. The content stays reachable, so leak checkers do not report it.
void KeepUntilExit(std::unique_ptr<C2DHoledPolyBaseSet> content);
