#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

// Faults in memory for what comes next while a map is read and while the user
// looks at it.
//
// After a large map is read, the rest of the open (the copies the document
// and the view take) and then the first command (a projection, say) each
// need a few hundred megabytes beyond what the reading used. On a virtual
// machine whose host backs guest memory only when it is first touched,
// faulting that in can take longer than the work itself. The warmer takes a
// block of that size from the heap and touches its pages on a thread of the
// lowest priority (the load leaves one of two cores mostly idle); when the
// memory is wanted (the file is read, or the next command starts) it stops
// and hands the block back to the heap, where the allocations that follow
// find the touched pages ready. The heap is set to keep freed
// memory (KeepFreedMemory), or the block would go straight back to the
// system.
class CMemoryWarmer {
public:
    CMemoryWarmer() = default;
    ~CMemoryWarmer();
    CMemoryWarmer(const CMemoryWarmer&) = delete;
    CMemoryWarmer& operator=(const CMemoryWarmer&) = delete;

    // Stops any earlier warming, then starts touching a block of this many
    // bytes (nothing when it cannot be had). To be called from the thread
    // that allocates the content, so that the block comes from its heap.
    void Start(std::size_t bytes);
    // Frees the block and starts touching a new one of this many bytes, taken
    // while the old one is still held: the old one's touched pages go to
    // whatever is allocated next.
    void Renew(std::size_t bytes);
    // Stops touching and frees the block. Returns within one page's fault.
    void Stop();
    // Waits until every page of the block is touched, then frees it.
    void Finish();
    // Bytes touched by the last warming.
    std::size_t GetTouchedBytes() const { return touched.load(std::memory_order_relaxed); }
    bool IsRunning() const { return toucher.joinable(); }

private:
    static char* Allocate(std::size_t bytes);
    void Begin(char* newBlock, std::size_t bytes);
    void TouchPages();
    void Release();

    char* block = nullptr;
    std::size_t size = 0;
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> touched{0};
    std::thread toucher;
};
