// Feeds arbitrary text to the text map reader in both versions, and writes
// whatever was read back out in both versions.
#include <cstdlib>

#include "fuzz/FuzzFiles.h"
#include "mapfiles/MapFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string input = FuzzFilePath("input.vmq");
    static const std::string output = FuzzFilePath("output.vmq");
    KeepPoolsAlive();
    WriteFuzzFile(input, data, size);

    for (const bool version2 : {false, true}) {
        useTextMapFormat2 = version2;
        CCheckedProgress progress;
        C2DHoledPolyBaseSet content;
        if (!ReadTextMap(input.c_str(), content, &progress)) {
            // Only text with no ring in it is refused, and nothing is added.
            if (content.GetSize() != 0) {
                std::abort();
            }
            continue;
        }
        CountRings(content);
        content.MakeClockwise();
        for (const bool writeVersion2 : {false, true}) {
            useTextMapFormat2 = writeVersion2;
            if (!WriteTextMap(output.c_str(), content, &progress)) {
                std::abort();
            }
        }
        C2DHoledPolyBaseSet again;
        ReadTextMap(output.c_str(), again, nullptr);
        CountRings(again);
    }
    useTextMapFormat2 = false;
    return 0;
}
