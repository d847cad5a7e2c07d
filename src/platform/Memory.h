#pragma once

#include <cstddef>
#include <memory>

namespace velmar {

/// Sets up the heap of this process for tables of tens of megabytes. Memory that is fresh to a process is
/// mapped by a fault on each small page as it is first written, which costs microseconds a page on a
/// virtual machine: a rebuild spent a tenth of its time there. So blocks of up to 32 MB come from the heap
/// rather than from mappings of their own, and freed memory stays in it for the next use instead of going
/// back to the system; and the heap grows in steps of 64 MB, marked for huge pages where the system offers
/// them, so that what is written first is mapped 2 MB at a time. The other threads allocate from the same
/// heap rather than from heaps of their own, whose memory would be fresh.
/// Call it first in main, before any thread starts. Only a hint: where the C library or the system lacks
/// these settings, nothing changes.
void prepareHeap() noexcept;

/// Maps the whole pages of freshly allocated memory in one request, where the system offers that: it costs
/// far less than a fault on each page as it is first written. Only a hint.
void mapPagesAhead(void* data, size_t size) noexcept;

/// Memory for the texts of a table as it is filled, in pieces of a few kilobytes to many megabytes, each
/// starting on a multiple of 64 bytes. Each thread cuts its pieces from regions of 4 MB of its own, marked
/// for huge pages where the system offers them; a piece of more than a megabyte has a region of its own.
/// So threads that fill tables at once never wait for each other: a block from the shared heap of the C
/// library is taken under a lock, and when taking it maps a new huge page (milliseconds on a virtual
/// machine whose host took the memory back), every other thread that allocates waits. A piece may be freed
/// on any thread; a region goes once all its pieces are freed, and a few such regions are kept for the next
/// tables. The pages are mapped as they are first written (see mapPagesAhead). Raises std::bad_alloc.
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

} // namespace velmar
