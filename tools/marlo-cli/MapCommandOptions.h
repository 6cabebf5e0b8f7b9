#pragma once

#include <string>
#include <vector>

// The command line of the map commands (info, convert, render).

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
