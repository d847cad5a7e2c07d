#include "platform/Memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace velmar {

namespace {

constexpr uintptr_t kPage = 4096;
constexpr size_t kHugePage = size_t { 2 } << 20;

// The heap grows by at least this much at a time.
constexpr size_t kHeapStep = size_t { 64 } << 20;

} // namespace

void prepareHeap() noexcept
{
#if defined(__GLIBC__) && defined(M_TOP_PAD) && defined(MADV_HUGEPAGE)
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20); // the most the C library allows
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    ::mallopt(M_TOP_PAD, static_cast<int>(kHeapStep));
    // Every thread allocates from this one heap: a heap of a thread's own is fresh memory, mapped a small
    // page at a time as it is first written, and the threads that read the parts of a log allocate seldom.
    ::mallopt(M_ARENA_MAX, 1);
    // Grow the heap now by a step, and mark it for huge pages from the first one this block leaves whole
    // (below). A C library that took no notice, or an allocator of its own (as a sanitizer has), leaves the
    // block elsewhere than below the end of the heap: nothing is marked then.
    void* probe = std::malloc(kHugePage);
    const auto at = reinterpret_cast<uintptr_t>(probe);
    const auto end = reinterpret_cast<uintptr_t>(::sbrk(0));
    // The C library wrote the size of what follows the block right behind it, before the marking: the huge
    // page around that word is mapped in small pages for good. The first whole huge page behind it is
    // where the program's memory is to begin.
    const uintptr_t first = ((at + kHugePage + sizeof(size_t)) & ~uintptr_t { kHugePage - 1 }) + kHugePage;
    const uintptr_t to = end & ~uintptr_t { kHugePage - 1 };
    if (probe == nullptr || at >= end || end - at > 2 * kHeapStep || to <= first) {
        std::free(probe);
        return;
    }
    ::madvise(reinterpret_cast<void*>(first), to - first, MADV_HUGEPAGE); // may fail: only a hint
    std::free(probe);
    // The bytes up to there are kept out of use (never written, they take no memory): what the program
    // allocates next comes from the first whole huge page on. A block of n bytes takes n + 8, rounded up to
    // 16, from where the freed one began, so the next one begins right at `first`. (Held in a volatile,
    // which the compiler may not leave out together with the allocation.)
    static void* volatile unmarked = nullptr;
    if (unmarked == nullptr)
        unmarked = std::malloc(first - at - sizeof(size_t));
#endif
}

void mapPagesAhead(void* data, size_t size) noexcept
{
#if defined(MADV_POPULATE_WRITE)
    const auto begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t from = (begin + kPage - 1) & ~(kPage - 1);
    const uintptr_t to = (begin + size) & ~(kPage - 1);
    if (to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE); // may fail: only a hint
#else
    (void)data;
    (void)size;
#endif
}

void* allocateLarge(size_t size)
{
    void* data = nullptr;
    if (size < kHugePage) {
        data = std::malloc(size == 0 ? 1 : size);
        if (data == nullptr)
            throw std::bad_alloc();
        mapPagesAhead(data, size);
        return data;
    }
    const size_t whole = (size + kHugePage - 1) & ~(kHugePage - 1);
    data = std::aligned_alloc(kHugePage, whole);
    if (data == nullptr)
        throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    ::madvise(data, whole, MADV_HUGEPAGE); // may fail: only a hint
#endif
    return data;
}

void freeLarge(void* data) noexcept
{
    std::free(data);
}

} // namespace velmar
