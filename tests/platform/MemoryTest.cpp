#include "platform/Memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <utility>

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

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

namespace {

// The first and the end address of the process heap: the mappings named "[heap]" in /proc/self/maps (the
// marking of a part cuts it into several); both 0 when it has none.
std::pair<uintptr_t, uintptr_t> heapRange()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    uintptr_t first = 0;
    uintptr_t end = 0;
    while (std::getline(maps, line)) {
        if (line.ends_with("[heap]")) {
            const size_t dash = line.find('-');
            const uintptr_t from = std::stoull(line.substr(0, dash), nullptr, 16);
            const uintptr_t to = std::stoull(line.substr(dash + 1, line.find(' ') - dash - 1), nullptr, 16);
            first = first == 0 ? from : std::min(first, from);
            end = std::max(end, to);
        }
    }
    return { first, end };
}

// The "VmFlags" of the mapping that holds the address, from /proc/self/smaps; empty when none does.
std::string vmFlagsAt(uintptr_t address)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        const size_t dash = line.find('-');
        const size_t space = line.find(' ');
        if (dash != std::string::npos && space != std::string::npos && dash < space
            && line.find_first_not_of("0123456789abcdef-") == space) {
            inside = std::stoull(line.substr(0, dash), nullptr, 16) <= address
                && address < std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16);
        } else if (inside && line.starts_with("VmFlags:")) {
            return line;
        }
    }
    return {};
}

} // namespace

// After prepareHeap, blocks of a few megabytes come from the heap itself (not from a mapping of their own,
// which would be fresh memory each time), and the heap where they lie is marked for huge pages ("hg") where
// the system has them. Without prepareHeap the C library maps every block of 128 KB and more apart. A
// block freed goes back to the heap: the next one of its size is taken from there again.
TEST(Memory, ThePreparedHeapServesLargeBlocksAndIsMarkedForHugePages)
{
    prepareHeap();
    const bool hugePages = std::filesystem::exists("/sys/kernel/mm/transparent_hugepage/enabled");
    struct Case {
        size_t megabytes;
        // A small block may be taken from memory the heap held before it was prepared (the other tests of
        // this process), which is not marked; one larger than any block freed before comes from the step
        // prepareHeap added.
        bool marked;
    };
    for (const Case& c : { Case { 1, false }, Case { 8, true }, Case { 30, true } }) {
        SCOPED_TRACE(std::to_string(c.megabytes) + " MB");
        const size_t size = c.megabytes << 20;
        void* block = std::malloc(size);
        ASSERT_NE(block, nullptr);
        const auto at = reinterpret_cast<uintptr_t>(block);
        auto [first, end] = heapRange();
        EXPECT_TRUE(first <= at && at + size <= end) << std::hex << at << " not in " << first << "-" << end;
        if (hugePages && c.marked) {
            EXPECT_NE(vmFlagsAt(at + size - 1).find(" hg"), std::string::npos) << vmFlagsAt(at + size - 1);
        }
        std::free(block);
        void* again = std::malloc(size);
        ASSERT_NE(again, nullptr);
        std::tie(first, end) = heapRange();
        const auto againAt = reinterpret_cast<uintptr_t>(again);
        EXPECT_TRUE(first <= againAt && againAt + size <= end);
        std::free(again);
    }
}

#endif
