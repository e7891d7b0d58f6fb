#pragma once

#include <cstddef>
#include <new>
#include <utility>

/// The process's memory: what it gives back, and how its large tables are mapped.
namespace platform {

/// Gives the heap memory freed so far back to the system. The allocator keeps freed pages
/// for reuse; after start-up, whose temporary data will not come back, they would only stay
/// resident.
void releaseFreedMemory();

/// Asks for huge pages for the whole 2 MB stretches of @p bytes at @p p, memory this process
/// has just allocated and is about to fill: one page fault each instead of 512. Only a block
/// that the allocator mapped for itself is advised; where the system has no huge pages, the
/// memory is mapped one small page at a time, as without it.
///
/// Huge pages make the first getinfo of a full entry file (32,767 entries) take about a
/// third of the time: 3,653 page faults become 942, and 90 ms about 30 ms.
void adviseHugePages(void *p, size_t bytes);

/// Room for a large table that is filled at once and let go as a whole. From 2 MB on it is a
/// mapping of its own, in whole huge pages (2 MB, aligned), asked to use them: filling it
/// then takes one page fault per 2 MB, and freeing it returns it to the system at once.
/// Smaller tables come from the heap. Null when there is no memory.
///
/// The entry file's bytes and line table come from here. Taken from the heap instead (huge
/// pages then only where a whole aligned 2 MB stretch falls inside a block), the first getinfo
/// of a full entry file takes 36 ms instead of 21 (2,123 page faults instead of 942), and a
/// later read of the changed file 54 ms instead of 9: once a large block has been freed, the
/// heap serves the next ones from its own pages, small ones, mapped afresh after each trim.
void *allocateLarge(size_t bytes);
/// Frees what allocateLarge() gave for @p bytes.
void freeLarge(void *p, size_t bytes);

/// allocateLarge() for standard containers. Elements made without a value are left
/// uninitialised, as with new T, so that resizing a byte buffer before reading into it
/// writes nothing.
template <class T> struct LargeAllocator
{
    using value_type = T;
    LargeAllocator() = default;
    template <class U> LargeAllocator(const LargeAllocator<U> &) {}
    T *allocate(size_t n)
    {
        if (void *p = allocateLarge(n * sizeof(T)))
            return static_cast<T *>(p);
        throw std::bad_alloc();
    }
    void deallocate(T *p, size_t n) { freeLarge(p, n * sizeof(T)); }
    template <class U> void construct(U *p) { ::new (static_cast<void *>(p)) U; }
    template <class U, class... Args> void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
    template <class U> bool operator==(const LargeAllocator<U> &) const { return true; }
};

} // namespace platform
