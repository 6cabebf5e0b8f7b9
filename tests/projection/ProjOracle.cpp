#include "ProjOracle.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

namespace proj_oracle {

bool IsAvailable() {
    return std::system("command -v proj >/dev/null 2>&1") == 0;
}

namespace {

std::string TempPath(const char* tag) {
    return std::string(MARLO_BINARY_DIR) + "/proj-oracle-" + std::to_string(getpid()) + "-" + tag;
}

double ParseField(const std::string& field) {
    if (field == "*") {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return std::strtod(field.c_str(), nullptr);
}

} // namespace

bool Run(const std::string& definition, bool inverse, const PointList& in, PointList& out) {
    const std::string inPath = TempPath("in");
    const std::string outPath = TempPath("out");
    {
        std::ofstream file(inPath);
        file.precision(17);
        for (const auto& [a, b] : in) {
            file << a << ' ' << b << '\n';
        }
    }
    // -f prints decimal numbers for both directions; -I inverts.
    const std::string command = std::string("proj ") + (inverse ? "-I " : "") + "-f %.17g " +
                                definition + " < " + inPath + " > " + outPath + " 2>/dev/null";
    const int status = std::system(command.c_str());
    out.clear();
    std::ifstream result(outPath);
    std::string line;
    while (std::getline(result, line)) {
        std::istringstream fields(line);
        std::string first;
        std::string second;
        fields >> first >> second;
        out.emplace_back(ParseField(first), ParseField(second));
    }
    std::remove(inPath.c_str());
    std::remove(outPath.c_str());
    return status == 0 && out.size() == in.size();
}

} // namespace proj_oracle
