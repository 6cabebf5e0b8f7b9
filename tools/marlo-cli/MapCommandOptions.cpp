#include "tools/marlo-cli/MapCommandOptions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "projection/Projection.h"

namespace {

bool ParseFiniteNumber(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// Accepts "--name VALUE" and "--name=VALUE"; index moves past what was used.
bool TakeOptionValue(const char* command, const std::vector<std::string>& args, size_t& index,
                     const std::string& name, std::string& value) {
    const std::string& word = args[index];
    if (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
        word[name.size()] == '=') {
        value = word.substr(name.size() + 1);
        return true;
    }
    if (index + 1 >= args.size()) {
        std::fprintf(stderr, "marlo-cli %s: %s needs a value\n", command, name.c_str());
        return false;
    }
    value = args[++index];
    return true;
}

bool IsOption(const std::string& word, const std::string& name) {
    return word == name || (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
                            word[name.size()] == '=');
}

} // namespace

bool ParseRotateOrigin(const std::string& text, double& latDegrees, double& lonDegrees) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    double lat = 0.0;
    double lon = 0.0;
    if (!ParseFiniteNumber(text.substr(0, comma), lat) ||
        !ParseFiniteNumber(text.substr(comma + 1), lon)) {
        return false;
    }
    if (std::fabs(lat) > 90.0) {
        return false;
    }
    latDegrees = lat;
    lonDegrees = lon;
    return true;
}

bool ParseMapCommandOptions(const char* command, const std::vector<std::string>& args,
                            const CMapCommandSwitches& accepted, CMapCommandOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        std::string value;
        if (word == "--help" || word == "-h") {
            options.help = true;
        } else if (accepted.format2 && word == "--format2") {
            options.format2 = true;
        } else if (accepted.rotate && IsOption(word, "--rotate")) {
            if (!TakeOptionValue(command, args, i, "--rotate", value)) {
                return false;
            }
            if (!ParseRotateOrigin(value, options.rotateLatDegrees, options.rotateLonDegrees)) {
                std::fprintf(stderr,
                             "marlo-cli %s: --rotate needs LAT,LON in degrees (|LAT| <= 90), "
                             "not \"%s\"\n",
                             command, value.c_str());
                return false;
            }
            options.hasRotation = true;
        } else if (accepted.projection && IsOption(word, "--projection")) {
            if (!TakeOptionValue(command, args, i, "--projection", value)) {
                return false;
            }
            options.projectionName = value;
        } else if (word.size() > 1 && word[0] == '-' && word != "-") {
            std::fprintf(stderr, "marlo-cli %s: unknown option %s (see marlo-cli %s --help)\n",
                         command, word.c_str(), command);
            return false;
        } else {
            options.positional.push_back(word);
        }
    }
    return true;
}

void ReportUnknownProjection(const std::string& name) {
    std::fprintf(stderr, "marlo-cli: unknown projection \"%s\"; the projections are:\n",
                 name.c_str());
    for (int i = 0; i < ProjectionCount; ++i) {
        std::fprintf(stderr, "  %s\n", ProjectionNameTable[i]);
    }
}
