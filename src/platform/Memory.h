#pragma once

#include <cstddef>
#include <memory>

namespace velmar {

/// Maps the whole pages of freshly allocated memory in one request, where the system offers that: it costs
/// far less than a fault on each page as it is first written. Only a hint.
void mapPagesAhead(void* data, size_t size) noexcept;

/// Memory of a megabyte or more that is written whole soon, such as a block of the log: from 2 MB on it is
/// aligned to 2 MB and marked for huge pages where the system offers them, so that it is mapped 2 MB at a
/// time instead of with a fault on every small page as it is first written; below that its pages are
/// mapped at once (mapPagesAhead). Raises std::bad_alloc.
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
