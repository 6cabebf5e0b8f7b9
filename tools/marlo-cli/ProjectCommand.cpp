// marlo-cli project: a point filter in the spirit of PROJ's `proj`.
#include "tools/marlo-cli/Commands.h"

#include "projection/GeoRotation.h"
#include "projection/Projection.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

const char* const ProjectHelp =
    "Usage: marlo-cli project [--projection NAME] [--rotate LAT,LON] [--inverse]\n"
    "\n"
    "Reads lines \"lon lat\" (degrees, blanks or tabs between) from standard input\n"
    "and writes \"x y\" to standard output, one line per input line.\n"
    "\n"
    "  --projection NAME  project with NAME (see \"marlo-cli list\"; exact, case-sensitive)\n"
    "  --rotate LAT,LON   first rotate the sphere so that (LAT, LON) comes to (0, 0)\n"
    "  --inverse          read \"x y\" and write \"lon lat\": undo the projection,\n"
    "                     then the rotation\n"
    "\n"
    "Without --projection only the rotation (or nothing) is applied. A line that is\n"
    "not two numbers is reported with its line number and skipped (exit status 1).\n"
    "Non-finite results print as nan, inf or -inf.\n";

struct Options {
    const char* projectionName = nullptr;
    bool rotate = false;
    double originLat = 0;
    double originLon = 0;
    bool inverse = false;
};

// Parses a whole string as one finite number.
bool ParseFinite(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(value);
}

bool ParseOrigin(const char* text, Options& options) {
    const char* comma = std::strchr(text, ',');
    if (comma == nullptr) {
        return false;
    }
    const std::string lat(text, comma);
    return ParseFinite(lat.c_str(), options.originLat) &&
           ParseFinite(comma + 1, options.originLon) && std::fabs(options.originLat) <= 90;
}

// 0 on success, otherwise the exit status; sets help when --help was asked.
// Options take their value as the next word or after '=' (--rotate=10,20).
int ParseOptions(const std::vector<std::string>& args, Options& options, bool& help) {
    const size_t count = args.size();
    for (size_t i = 0; i < count; ++i) {
        const char* arg = args[i].c_str();
        auto value = [&](const char* option) -> const char* {
            const size_t n = std::strlen(option);
            if (std::strncmp(arg, option, n) == 0 && arg[n] == '=') {
                return arg + n + 1;
            }
            if (std::strcmp(arg, option) == 0 && i + 1 < count) {
                return args[++i].c_str();
            }
            return nullptr;
        };
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            help = true;
            return 0;
        }
        if (std::strcmp(arg, "--inverse") == 0) {
            options.inverse = true;
        } else if (std::strncmp(arg, "--projection", 12) == 0 &&
                   (arg[12] == '\0' || arg[12] == '=')) {
            options.projectionName = value("--projection");
            if (options.projectionName == nullptr) {
                std::fprintf(stderr, "marlo-cli project: --projection needs a NAME\n");
                return 2;
            }
        } else if (std::strncmp(arg, "--rotate", 8) == 0 && (arg[8] == '\0' || arg[8] == '=')) {
            const char* origin = value("--rotate");
            if (origin == nullptr || !ParseOrigin(origin, options)) {
                std::fprintf(
                    stderr, "marlo-cli project: --rotate needs LAT,LON in degrees (|LAT| <= 90)\n");
                return 2;
            }
            options.rotate = true;
        } else {
            std::fprintf(stderr, "marlo-cli project: unknown argument \"%s\" (try --help)\n", arg);
            return 2;
        }
    }
    return 0;
}

// Two numbers separated and optionally surrounded by blanks or tabs; nothing
// else on the line (a trailing carriage return is tolerated).
bool ParseLine(const std::string& line, double& a, double& b) {
    const char* p = line.c_str();
    auto skipBlanks = [&] {
        while (*p == ' ' || *p == '\t') {
            ++p;
        }
    };
    auto number = [&](double& out) {
        skipBlanks();
        if (*p == '\0') {
            return false;
        }
        char* end = nullptr;
        out = std::strtod(p, &end);
        if (end == p) {
            return false;
        }
        p = end;
        return true;
    };
    if (!number(a) || !(*p == ' ' || *p == '\t') || !number(b)) {
        return false;
    }
    skipBlanks();
    if (*p == '\r') {
        ++p;
    }
    return *p == '\0';
}

// %.17g, but NaN always as "nan" (glibc would print "-nan" for a negative one).
void PrintNumber(double v, char* buffer, size_t size) {
    if (std::isnan(v)) {
        std::snprintf(buffer, size, "nan");
    } else {
        std::snprintf(buffer, size, "%.17g", v);
    }
}

} // namespace

int RunProjectCommand(const std::vector<std::string>& args) {
    Options options;
    bool help = false;
    if (const int status = ParseOptions(args, options, help); status != 0) {
        return status;
    }
    if (help) {
        std::printf("%s", ProjectHelp);
        return 0;
    }

    std::unique_ptr<CProjection> projection;
    if (options.projectionName != nullptr) {
        projection.reset(CreateProjection(options.projectionName));
        if (!projection) {
            std::fprintf(stderr, "marlo-cli project: unknown projection \"%s\"; valid names are:\n",
                         options.projectionName);
            for (int code = 0; code < ProjectionCount; ++code) {
                std::fprintf(stderr, "  %s\n", ProjectionNameTable[code]);
            }
            return 2;
        }
    }
    std::unique_ptr<CGeoRotation> rotation;
    if (options.rotate) {
        rotation = std::make_unique<CGeoRotation>();
        rotation->SetOrigin(options.originLat, options.originLon);
    }

    int status = 0;
    std::string line;
    unsigned long lineNumber = 0;
    char xText[64];
    char yText[64];
    while (std::getline(std::cin, line)) {
        ++lineNumber;
        double x = 0;
        double y = 0;
        if (!ParseLine(line, x, y)) {
            std::fprintf(stderr, "marlo-cli project: line %lu: expected two numbers, got \"%s\"\n",
                         lineNumber, line.c_str());
            status = 1;
            continue;
        }
        if (!options.inverse) {
            if (rotation) {
                rotation->Transform(x, y);
            }
            if (projection) {
                projection->Transform(x, y);
            }
        } else {
            if (projection) {
                projection->InverseTransform(x, y);
            }
            if (rotation) {
                rotation->InverseTransform(x, y);
            }
        }
        PrintNumber(x, xText, sizeof xText);
        PrintNumber(y, yText, sizeof yText);
        std::printf("%s %s\n", xText, yText);
    }
    return status;
}
