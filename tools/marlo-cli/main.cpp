// marlo-cli COMMAND [ARGS...]: dispatches to the command's own file.
#include "tools/marlo-cli/Commands.h"
#include "tools/marlo-cli/MapCommands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);
};

// One row per command.
const Command commands[] = {
    {"list", "print the names of the 24 projections", RunListCommand},
    {"project", "project or inverse-project points read from standard input", RunProjectCommand},
    {"info", "print the counts of polygons, rings and edges of a map file", RunInfoCommand},
    {"convert", "read a map file, rotate and project it, write it again", RunConvertCommand},
    {"render", "draw a map file as the viewer does into a 1000 x 750 PNG", RunRenderCommand},
};

void PrintUsage(FILE* out) {
    std::fprintf(out, "Usage: marlo-cli COMMAND [ARGS...]\n\nCommands:\n");
    for (const Command& command : commands) {
        std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
    }
    std::fprintf(out, "\n\"marlo-cli COMMAND --help\" describes a command.\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    for (const Command& command : commands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            return command.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "marlo-cli: unknown command \"%s\"\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
