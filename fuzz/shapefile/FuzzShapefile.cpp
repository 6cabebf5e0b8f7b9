// Feeds arbitrary bytes to the shapefile reader. Whatever it reads is made
// clockwise, written back and read again: every ring must survive the round
// trip, each growing by at most its closing point.
#include <cstdlib>

#include "fuzz/FuzzFiles.h"
#include "mapfiles/MapFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string input = FuzzFilePath("input.shp");
    static const std::string output = FuzzFilePath("output.shp");
    KeepPoolsAlive();
    WriteFuzzFile(input, data, size);

    CCheckedProgress progress;
    C2DHoledPolyBaseSet content;
    if (!ReadShapefile(input.c_str(), content, &progress)) {
        return 0;
    }
    content.MakeClockwise();
    const CRingCount read = CountRings(content);
    if (!SaveShapefile(output.c_str(), content)) {
        std::abort();
    }
    C2DHoledPolyBaseSet again;
    if (!ReadShapefile(output.c_str(), again, nullptr)) {
        std::abort();
    }
    const CRingCount reread = CountRings(again);
    if (reread.rings != read.rings || reread.edges < read.edges ||
        reread.edges > read.edges + read.rings) {
        std::abort();
    }
    again.MakeClockwise();
    if (!SaveShapefile(output.c_str(), again)) {
        std::abort();
    }
    C2DHoledPolyBaseSet third;
    if (!ReadShapefile(output.c_str(), third, nullptr)) {
        std::abort();
    }
    // Making a ring clockwise reverses its edges, which recomputes each start
    // as start + direction: a closing point may then differ in its last bit
    // from the first and be closed once more.
    const CRingCount stable = CountRings(third);
    if (stable.rings != reread.rings || stable.edges < reread.edges ||
        stable.edges > reread.edges + reread.rings) {
        std::abort();
    }
    return 0;
}
