#include "viewer/MemoryWarmer.h"

#include "geometry/HugePages.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Touched between looks at the stop flag: one huge page.
constexpr std::size_t TouchStep = HugePageSize;
constexpr std::size_t PageSize = 4096;

// The calling thread gives way to every other thread of the machine.
void LowerThisThreadsPriority() {
#ifdef __linux__
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
#endif
}

} // namespace

CMemoryWarmer::~CMemoryWarmer() {
    Stop();
}

void CMemoryWarmer::Start(std::size_t bytes) {
    Stop();
    Begin(Allocate(bytes), bytes);
}

void CMemoryWarmer::Renew(std::size_t bytes) {
    // Taken while the old block is still held, the new one comes from
    // elsewhere in the heap and leaves the old one's touched pages to the
    // allocations that follow.
    char* next = Allocate(bytes);
    Stop();
    Begin(next, bytes);
}

char* CMemoryWarmer::Allocate(std::size_t bytes) {
    if (bytes == 0) {
        return nullptr;
    }
    KeepFreedMemory();
    return static_cast<char*>(std::malloc(bytes));
}

void CMemoryWarmer::Begin(char* newBlock, std::size_t bytes) {
    touched.store(0, std::memory_order_relaxed);
    if (newBlock == nullptr) {
        return;
    }
    block = newBlock;
    size = bytes;
    // Not advised to huge pages: the warmer runs while a map loads, and a
    // huge page fault can hold the heap's mapping for tens of milliseconds
    // (the kernel may compact memory to find the page), which stalls the
    // load each time its heap grows. Small pages fault in quickly and ready
    // the command's memory just as well.
    stopping.store(false, std::memory_order_relaxed);
    try {
        toucher = std::thread([this] { TouchPages(); });
    } catch (const std::system_error&) {
        Release(); // no thread, no warming
    }
}

void CMemoryWarmer::TouchPages() {
    LowerThisThreadsPriority();
    for (std::size_t offset = 0; offset < size; offset += TouchStep) {
        if (stopping.load(std::memory_order_relaxed)) {
            return;
        }
        const std::size_t end = std::min(size, offset + TouchStep);
        auto* bytes = static_cast<volatile char*>(block);
        for (std::size_t page = offset; page < end; page += PageSize) {
            bytes[page] = 0;
        }
        touched.store(end, std::memory_order_relaxed);
    }
}

void CMemoryWarmer::Stop() {
    stopping.store(true, std::memory_order_relaxed);
    Release();
}

void CMemoryWarmer::Finish() {
    Release();
}

void CMemoryWarmer::Release() {
    if (toucher.joinable()) {
        toucher.join();
    }
    std::free(block);
    block = nullptr;
    size = 0;
}
