// marlo-cli list: the projection names, one per line, in table order.
#include "tools/marlo-cli/Commands.h"

#include "projection/Projection.h"

#include <cstdio>

int RunListCommand(const std::vector<std::string>& args) {
    if (args.size() == 1 && args[0] == "--help") {
        std::printf("Usage: marlo-cli list\n\n"
                    "Prints the display names of the projections, one per line, in the order\n"
                    "of their type codes (0 to 23). Any of them is a valid --projection NAME.\n");
        return 0;
    }
    if (!args.empty()) {
        std::fprintf(stderr, "marlo-cli list: unexpected argument \"%s\"\n", args[0].c_str());
        return 2;
    }
    for (int code = 0; code < ProjectionCount; ++code) {
        std::printf("%s\n", ProjectionNameTable[code]);
    }
    return 0;
}
