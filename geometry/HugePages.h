#pragma once

// Memory backed by 2 MiB pages where the kernel can give them, and an
// allocator that keeps what it is given back. Big maps are millions of small
// objects or long arrays read sparsely; with 4 KiB pages, faulting their
// memory in and missing the address translation cache cost about as much as
// the work itself. On a virtual machine whose host takes back the memory the
// guest frees, a fresh 2 MiB page is much dearer to fault in than 512 small
// ones, so not every large array is advised (the viewer's drawing copy and
// the block its memory warmer readies are not).

#include <cstddef>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif
#ifdef __GLIBC__
#include <climits>
#include <malloc.h>
#endif

inline constexpr std::size_t HugePageSize = std::size_t(2) << 20;

// Asks for huge pages over the whole 2 MiB pages inside [block, block + bytes).
// Only advice: nothing happens where the system has no such pages.
inline void AdviseHugePages(void* block, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    const auto first = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t start = (first + HugePageSize - 1) & ~std::uintptr_t(HugePageSize - 1);
    const std::uintptr_t end = (first + bytes) & ~std::uintptr_t(HugePageSize - 1);
    if (end > start) {
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
#else
    (void)block;
    (void)bytes;
#endif
}

// Makes the allocator keep the memory it is given back: every block then
// comes from the one heap that grows by brk, and what is freed at its top is
// not returned to the system. On a machine where fresh memory is expensive to
// fault in (a virtual machine whose host takes back what the guest frees),
// the next command then reuses pages that are already backed. Only worth it
// for programs holding a large map; affects allocations made from now on.
inline void KeepFreedMemory() {
#ifdef __GLIBC__
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
#endif
}
