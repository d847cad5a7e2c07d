#include "platform/Memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace velmar {

namespace {

constexpr uintptr_t kPage = 4096;
constexpr size_t kHugePage = size_t { 2 } << 20;

} // namespace

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
