#include "geometry/ObjectPool.h"

#include <new>

namespace {

std::size_t RoundUp(std::size_t value, std::size_t step) {
    return (value + step - 1) / step * step;
}

} // namespace

CObjectPool::CObjectPool(std::size_t objectSize, std::size_t objectAlignment) {
    // The link word sits right behind the object's bytes; the slot as a whole
    // must keep the next slot aligned for both the object and the link.
    alignment = objectAlignment > alignof(void*) ? objectAlignment : alignof(void*);
    linkOffset = RoundUp(objectSize, alignof(void*));
    slotSize = RoundUp(linkOffset + sizeof(void*), alignment);
}

CObjectPool::~CObjectPool() {
    for (void* block : blocks) {
        ::operator delete(block, std::align_val_t(alignment));
    }
}

void*& CObjectPool::LinkOf(void* slot) const {
    return *reinterpret_cast<void**>(static_cast<char*>(slot) + linkOffset);
}

void CObjectPool::AddBlock() {
    // Room for the new block's pointer is made first, so the push below cannot
    // throw and leak the block; the list grows geometrically, not one by one.
    if (blocks.size() == blocks.capacity()) {
        blocks.reserve(2 * blocks.size() + 16);
    }
    char* block =
        static_cast<char*>(::operator new(slotSize* BlockSlots, std::align_val_t(alignment)));
    blocks.push_back(block);
    // Chain the slots in address order so that allocation walks the block
    // front to back.
    for (unsigned i = 0; i + 1 < BlockSlots; ++i) {
        LinkOf(block + i * slotSize) = block + (i + 1) * slotSize;
    }
    LinkOf(block + (BlockSlots - 1) * slotSize) = nullptr;
    freeHead = block;
}

void* CObjectPool::Allocate() {
    if (freeHead == nullptr) {
        AddBlock();
    }
    void* slot = freeHead;
    freeHead = LinkOf(slot);
    return slot;
}

void CObjectPool::Release(void* object) {
    // Last in, first out: the released slot is the next one handed out.
    LinkOf(object) = freeHead;
    freeHead = object;
}
