#include "platform/Memory.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

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

namespace {

// The regions pieces are cut from: 4 MB, each starting on a multiple of its size, so that the region of a
// piece is found from the piece's address. A piece of more than a megabyte has a region of its own, of as
// many huge pages as it needs.
constexpr size_t kRegion = size_t { 4 } << 20;
constexpr size_t kLargestCut = kRegion / 4;
constexpr size_t kPieceAlignment = 64;
// Regions all of whose pieces were freed are kept for the next tables up to this many (64 MB): a table
// built again is written into memory that is mapped already, as the heap would have it.
constexpr size_t kRegionsKept = 16;

struct alignas(kPieceAlignment) Region {
    std::atomic<size_t> holds { 0 }; // the pieces not freed, and the thread that cuts pieces from it
    size_t bytes = 0; // mapped from the region's start
};

// Maps a region of `bytes` (a multiple of the huge page size), marked for huge pages.
Region* mapRegion(size_t bytes)
{
    // Mapped with room to spare and cut down to a start on a multiple of kRegion.
    const size_t span = bytes + kRegion;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto begin = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t at = (begin + kRegion - 1) & ~uintptr_t { kRegion - 1 };
    if (at != begin)
        ::munmap(raw, at - begin);
    if (const uintptr_t end = at + bytes; end != begin + span)
        ::munmap(reinterpret_cast<void*>(end), begin + span - end);
#if defined(MADV_HUGEPAGE)
    ::madvise(reinterpret_cast<void*>(at), bytes, MADV_HUGEPAGE); // may fail: only a hint
#endif
    auto* region = new (reinterpret_cast<void*>(at)) Region;
    region->bytes = bytes;
    return region;
}

// The regions kept for reuse. Made once and never destroyed: a piece may be freed while the program's
// static objects are destroyed.
class KeptRegions {
public:
    static KeptRegions& instance()
    {
        static auto* kept = new KeptRegions;
        return *kept;
    }

    // A region to cut pieces from, held once: a kept one, else a new one.
    Region* take()
    {
        Region* region = nullptr;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!regions_.empty()) {
                region = regions_.back();
                regions_.pop_back();
            }
        }
        if (region == nullptr)
            region = mapRegion(kRegion);
        region->holds.store(1, std::memory_order_relaxed);
        return region;
    }

    // False when enough are kept already.
    bool keep(Region* region) noexcept
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (regions_.size() >= kRegionsKept)
            return false;
        regions_.push_back(region); // never grows beyond the room reserved below
        return true;
    }

private:
    KeptRegions() { regions_.reserve(kRegionsKept); }

    std::mutex mutex_;
    std::vector<Region*> regions_;
};

// Drops one hold of the region; the last one lets the region go.
void release(Region* region) noexcept
{
    if (region->holds.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    if (region->bytes == kRegion && KeptRegions::instance().keep(region))
        return;
    ::munmap(region, region->bytes);
}

// The region a thread cuts its pieces from, and how much of it is cut.
struct Cutter {
    Region* region = nullptr;
    size_t used = 0;

    ~Cutter()
    {
        if (region != nullptr)
            release(region);
    }
};

thread_local Cutter cutter;

} // namespace

void* allocateLarge(size_t size)
{
    if (size > (size_t { 1 } << 48))
        throw std::bad_alloc();
    const size_t piece = (std::max<size_t>(size, 1) + kPieceAlignment - 1) & ~(kPieceAlignment - 1);
    if (piece > kLargestCut) {
        const size_t bytes = (sizeof(Region) + piece + kHugePage - 1) & ~(kHugePage - 1);
        Region* region = mapRegion(bytes);
        region->holds.store(1, std::memory_order_relaxed);
        return region + 1;
    }
    Cutter& own = cutter;
    if (own.region == nullptr || own.used + piece > kRegion) {
        Region* next = KeptRegions::instance().take();
        if (own.region != nullptr)
            release(own.region);
        own.region = next;
        own.used = sizeof(Region);
    }
    char* const at = reinterpret_cast<char*>(own.region) + own.used;
    own.used += piece;
    // Only this thread adds holds, and it holds the region itself meanwhile: the count cannot reach 0 here.
    own.region->holds.fetch_add(1, std::memory_order_relaxed);
    return at;
}

void freeLarge(void* data) noexcept
{
    if (data == nullptr)
        return;
    release(reinterpret_cast<Region*>(reinterpret_cast<uintptr_t>(data) & ~uintptr_t { kRegion - 1 }));
}

} // namespace velmar
