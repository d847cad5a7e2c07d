#include "platform/Memory.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

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
