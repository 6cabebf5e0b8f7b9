#pragma once

#include <cstddef>
#include <vector>

// A free-list allocator for the objects of one class. Polygon edges and their
// rectangles exist in millions on a large map; taking them from blocks of
// BlockSlots slots makes allocation a list pop and release a list push, and the
// whole pool goes back to the heap at once when its class has no live objects.
//
// A slot holds the object's bytes followed by one link word that chains the
// free slots; slots are rounded up to the object's alignment.
class CObjectPool {
public:
    static constexpr unsigned BlockSlots = 1000;

    CObjectPool(std::size_t objectSize, std::size_t objectAlignment);
    ~CObjectPool();
    CObjectPool(const CObjectPool&) = delete;
    CObjectPool& operator=(const CObjectPool&) = delete;

    void* Allocate();
    void Release(void* object);

    std::size_t GetBlockCount() const { return blocks.size(); }
    std::size_t GetSlotSize() const { return slotSize; }

private:
    void AddBlock();
    void*& LinkOf(void* slot) const;

    std::size_t linkOffset;
    std::size_t slotSize;
    std::size_t alignment;
    void* freeHead = nullptr;
    std::vector<void*> blocks;
};

// Class-wide pool state of one pooled class: the pool (null while it does not
// exist) and the number of live objects allocated from it. The state is not
// synchronised: pooled objects are created and deleted on one thread.
template <class T> class CPooledAllocation {
public:
    static void* Allocate(std::size_t size) {
        // A class derived from T without a pool of its own would arrive here with
        // a different size; it gets ordinary heap storage instead of a wrong slot.
        if (size != sizeof(T)) {
            return ::operator new(size);
        }
        if (pool == nullptr) {
            pool = new CObjectPool(sizeof(T), alignof(T));
        }
        ++liveCount;
        return pool->Allocate();
    }

    static void Release(void* object, std::size_t size) {
        if (object == nullptr) {
            return;
        }
        if (size != sizeof(T)) {
            ::operator delete(object);
            return;
        }
        if (pool == nullptr) {
            return;
        }
        pool->Release(object);
        if (--liveCount == 0) {
            delete pool;
            pool = nullptr;
        }
    }

    static const CObjectPool* GetPool() { return pool; }
    static std::size_t GetLiveCount() { return liveCount; }

private:
    inline static CObjectPool* pool = nullptr;
    inline static std::size_t liveCount = 0;
};

// Gives a class its own pool: `new` of the class takes a slot, and deleting an
// object (also through a base pointer, via the virtual destructor) returns it.
#define MARLO_POOLED_CLASS(Class)                                                                  \
public:                                                                                            \
    static void* operator new(std::size_t size) {                                                  \
        return CPooledAllocation<Class>::Allocate(size);                                           \
    }                                                                                              \
    static void operator delete(void* object, std::size_t size) {                                  \
        CPooledAllocation<Class>::Release(object, size);                                           \
    }                                                                                              \
    static const CObjectPool* GetPool() {                                                          \
        return CPooledAllocation<Class>::GetPool();                                                \
    }                                                                                              \
    static std::size_t GetPooledCount() {                                                          \
        return CPooledAllocation<Class>::GetLiveCount();                                           \
    }
