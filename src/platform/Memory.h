#pragma once

#include <cstddef>
#include <memory>

namespace velmar {

/// Maps the whole pages of freshly allocated memory in one request, where the system offers that: it costs
/// far less than a fault on each page as it is first written. Only a hint.
void mapPagesAhead(void* data, size_t size) noexcept;

/// Memory of a few megabytes, such as a block of the log or a piece of a big table: from 2 MB on it is
/// aligned to 2 MB and marked for huge pages where the system offers them, so that it is mapped 2 MB at a
/// time instead of with a fault on every small page as it is first written. Raises std::bad_alloc.
void* allocateLarge(size_t size);
void freeLarge(void* data) noexcept;

struct LargeDelete {
    void operator()(char* data) const noexcept { freeLarge(data); }
};
using LargeBuffer = std::unique_ptr<char[], LargeDelete>;

inline LargeBuffer makeLargeBuffer(size_t size)
{
    return LargeBuffer(static_cast<char*>(allocateLarge(size)));
}

/// An allocator for arrays that grow large (a vector of a million entries): each new array of some size is
/// large memory (see allocateLarge), or has its pages mapped before the old entries are copied over.
template <class T> struct PagesAheadAllocator {
    using value_type = T;
    static constexpr size_t kLeast = size_t { 256 } << 10;

    PagesAheadAllocator() = default;
    template <class U> PagesAheadAllocator(const PagesAheadAllocator<U>&) noexcept { }

    T* allocate(size_t count)
    {
        if (count * sizeof(T) >= kLeast)
            return static_cast<T*>(allocateLarge(count * sizeof(T)));
        return std::allocator<T>().allocate(count);
    }
    void deallocate(T* data, size_t count) noexcept
    {
        if (count * sizeof(T) >= kLeast)
            freeLarge(data);
        else
            std::allocator<T>().deallocate(data, count);
    }

    template <class U> bool operator==(const PagesAheadAllocator<U>&) const noexcept { return true; }
};

} // namespace velmar
