#include "tools/marlo-cli/MemoryTuning.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <memory>

#include "geometry/HugePages.h"
#include "mapfiles/MapFiles.h"

namespace {

// The content of the finished command, kept for the system to reclaim. A
// plain pointer: no destructor runs for it at exit.
C2DHoledPolyBaseSet* contentKeptUntilExit = nullptr;

// Memory per vertex of a map, measured on world maps (about 240 bytes of
// objects per shapefile vertex), with room to spare.
constexpr size_t MemoryPerShapefileVertex = 256;
constexpr size_t MemoryPerTextMapVertex = 290;
constexpr size_t MinLargePageReserve = size_t(64) << 20;
// Blocks from this size on are mapped one by one when converting piece by
// piece.
constexpr size_t StreamingMmapThreshold = size_t(256) << 10;

} // namespace

void ReserveMemoryForMap(const std::string& path) {
    const size_t vertices = EstimateVertexCount(path.c_str());
    const size_t perVertex = ChooseMapFileFormat(path.c_str()) == MapFileFormat::TextMap
                                 ? MemoryPerTextMapVertex
                                 : MemoryPerShapefileVertex;
    if (vertices > SIZE_MAX / perVertex / 2) {
        return;
    }
    const size_t bytes = vertices * perVertex;
    if (bytes < MinLargePageReserve) {
        return; // small maps fault in quickly enough
    }
    KeepFreedMemory();
    // Grow the heap once by the whole estimate and mark that range for large
    // pages; freeing the block leaves the range as free heap space that later
    // allocations are carved from. Untouched pages never become resident.
    void* block = std::malloc(bytes);
    if (block == nullptr) {
        return;
    }
    AdviseHugePages(block, bytes);
    std::free(block);
}

void TuneMemoryForStreaming() {
    // A fixed threshold also stops glibc from raising it each time such a
    // block is freed, which would send later large blocks to the heap.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(StreamingMmapThreshold));
}

void KeepUntilExit(std::unique_ptr<C2DHoledPolyBaseSet> content) {
    delete contentKeptUntilExit; // only one map is ever kept
    contentKeptUntilExit = content.release();
}
