#include "tools/marlo-cli/MemoryTuning.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <memory>

#include "geometry/HugePages.h"
#include "mapfiles/MapFiles.h"

#ifdef MARLO_TCMALLOC
#include <gperftools/malloc_extension.h>
#endif

namespace {

// The content of the finished command, kept for the system to reclaim. A
// plain pointer: no destructor runs for it at exit.
C2DHoledPolyBaseSet* contentKeptUntilExit = nullptr;

// Memory per vertex of a map, measured on world maps (about 240 bytes of
// objects per shapefile vertex), with room to spare.
constexpr size_t MemoryPerShapefileVertex = 256;
constexpr size_t MemoryPerTextMapVertex = 290;
constexpr size_t MinLargePageReserve = size_t(64) << 20;
#ifdef MARLO_TCMALLOC
// What the threads' caches of small freed blocks may hold between them when
// converting piece by piece (tcmalloc's default is 32 MB): a record's
// thousands of small rings are freed by the thread that writes them, and
// blocks idle in its cache are memory the next record cannot use.
constexpr size_t StreamingThreadCaches = size_t(4) << 20;
#else
// Blocks from this size on are mapped one by one when converting piece by
// piece.
constexpr size_t StreamingMmapThreshold = size_t(256) << 10;
#endif

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
#ifndef MARLO_TCMALLOC
    KeepFreedMemory(); // tcmalloc keeps what is freed of its own accord
#endif
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
#ifdef MARLO_TCMALLOC
    MallocExtension::instance()->SetNumericProperty("tcmalloc.max_total_thread_cache_bytes",
                                                    StreamingThreadCaches);
#else
    // A fixed threshold also stops glibc from raising it each time such a
    // block is freed, which would send later large blocks to the heap.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(StreamingMmapThreshold));
#endif
}

void KeepUntilExit(std::unique_ptr<C2DHoledPolyBaseSet> content) {
    delete contentKeptUntilExit; // only one map is ever kept
    contentKeptUntilExit = content.release();
}
