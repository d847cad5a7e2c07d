#include "platform/Memory.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmar;

// Buffers on both sides of the sizes where the kind of memory changes (2 MB and its multiples) hold every
// byte written to them; from 2 MB on they start on a 2 MB boundary, so that they can lie in huge pages.
TEST(Memory, LargeBuffersHoldTheirBytes)
{
    const size_t huge = size_t { 2 } << 20;
    for (const size_t size : { size_t { 0 }, size_t { 1 }, size_t { 4096 }, huge - 1, huge, huge + 1, 3 * huge }) {
        SCOPED_TRACE(std::to_string(size));
        LargeBuffer buffer = makeLargeBuffer(size);
        ASSERT_NE(buffer.get(), nullptr);
        if (size >= huge) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.get()) % huge, 0u);
        }
        for (size_t i = 0; i < size; ++i)
            buffer[i] = static_cast<char>(i * 7);
        size_t wrong = 0;
        for (size_t i = 0; i < size; ++i)
            wrong += buffer[i] != static_cast<char>(i * 7);
        EXPECT_EQ(wrong, 0u);
    }
}

// A vector that grows through the allocator from a few entries past a million keeps every entry, while its
// arrays change from ordinary memory to large memory (and the sanitizer builds see each array given back
// the way it was taken).
TEST(Memory, AVectorGrowsThroughEveryKindOfArray)
{
    std::vector<uint64_t, PagesAheadAllocator<uint64_t>> values;
    for (uint64_t i = 0; i < 1'100'000; ++i)
        values.push_back(i * 3);
    size_t wrong = 0;
    for (uint64_t i = 0; i < values.size(); ++i)
        wrong += values[i] != i * 3;
    EXPECT_EQ(wrong, 0u);
    values.shrink_to_fit();
    values.resize(10);
    values.shrink_to_fit();
    EXPECT_EQ(values.back(), 27u);
}
