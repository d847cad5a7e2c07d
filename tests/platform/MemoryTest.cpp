#include "platform/Memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using namespace velmar;

namespace {

constexpr size_t kRegion = size_t { 4 } << 20; // what pieces are cut from, each on a multiple of its size

uintptr_t regionOf(const void* piece)
{
    return reinterpret_cast<uintptr_t>(piece) & ~uintptr_t { kRegion - 1 };
}

// The byte a piece holds at i: from its number and the place, so that a piece written over by another shows.
char patternByte(size_t piece, size_t i)
{
    return static_cast<char>(piece * 131 + i * 7 + (i >> 8));
}

} // namespace

// Pieces on both sides of the sizes where the kind of memory changes (a piece of more than a megabyte has
// a region of its own; pieces are cut in steps of 64 bytes) hold every byte written to them, start on a
// multiple of 64 bytes and overlap none of the others alive at the same time.
TEST(Memory, LargeBuffersHoldTheirBytes)
{
    const size_t mb = size_t { 1 } << 20;
    const std::vector<size_t> sizes = { 0, 1, 63, 64, 65, 4096, mb - 64, mb, mb + 1, 2 * mb, 3 * mb + 5 };
    std::vector<LargeBuffer> buffers;
    for (const size_t size : sizes) {
        buffers.push_back(makeLargeBuffer(size));
        ASSERT_NE(buffers.back().get(), nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffers.back().get()) % 64, 0u) << size;
        for (size_t i = 0; i < size; ++i)
            buffers.back()[i] = patternByte(buffers.size(), i);
    }
    for (size_t k = 0; k < sizes.size(); ++k) {
        SCOPED_TRACE(std::to_string(sizes[k]));
        size_t wrong = 0;
        for (size_t i = 0; i < sizes[k]; ++i)
            wrong += buffers[k][i] != patternByte(k + 1, i);
        EXPECT_EQ(wrong, 0u);
    }
}

// Four threads cut pieces at once, each writes its pieces, and every piece is checked and freed by the
// next thread, while that one goes on cutting: no piece is written over, and freeing on another thread
// than the one that cut it is safe (the thread sanitizer build runs this too).
TEST(Memory, PiecesOfSeveralThreadsAreFreedOnOthers)
{
    constexpr size_t kThreads = 4;
    constexpr size_t kPieces = 300;
    struct Piece {
        char* data;
        size_t size;
        size_t number;
    };
    std::vector<std::vector<Piece>> cut(kThreads);
    std::vector<size_t> wrong(kThreads, 0);
    const auto cutAndWrite = [&](size_t t) {
        for (size_t k = 0; k < kPieces; ++k) {
            // First four of a megabyte, the largest cut from a region: the fourth no longer fits into the
            // region of the first three beside its bookkeeping. Then sizes from 1 byte to a quarter
            // megabyte, as a table's chunks grow, and one of a few megabytes.
            const size_t size = k < 4 ? (size_t { 1 } << 20)
                : k == kPieces / 2    ? (size_t { 3 } << 20)
                                      : (size_t { 1 } << (k % 19)) + k;
            const size_t number = t * kPieces + k;
            auto* data = static_cast<char*>(allocateLarge(size));
            for (size_t i = 0; i < size; i += 61)
                data[i] = patternByte(number, i);
            data[size - 1] = patternByte(number, size - 1);
            cut[t].push_back({ data, size, number });
        }
    };
    const auto checkAndFree = [&](size_t t) {
        for (const Piece& piece : cut[(t + 1) % kThreads]) {
            for (size_t i = 0; i < piece.size; i += 61)
                wrong[t] += piece.data[i] != patternByte(piece.number, i);
            wrong[t] += piece.data[piece.size - 1] != patternByte(piece.number, piece.size - 1);
            freeLarge(piece.data);
        }
    };
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kThreads; ++t)
        threads.emplace_back(cutAndWrite, t);
    for (std::thread& thread : threads)
        thread.join();
    threads.clear();
    // No two pieces overlap, and a piece cut from a region lies wholly inside it.
    std::vector<Piece> all;
    for (const std::vector<Piece>& pieces : cut)
        all.insert(all.end(), pieces.begin(), pieces.end());
    std::sort(all.begin(), all.end(), [](const Piece& a, const Piece& b) { return a.data < b.data; });
    for (size_t k = 0; k < all.size(); ++k) {
        if (k + 1 < all.size()) {
            EXPECT_LE(all[k].data + all[k].size, all[k + 1].data)
                << "pieces " << all[k].number << ", " << all[k + 1].number;
        }
        if (all[k].size <= (size_t { 1 } << 20)) {
            EXPECT_LE(reinterpret_cast<uintptr_t>(all[k].data) + all[k].size, regionOf(all[k].data) + kRegion);
        }
    }
    for (size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            checkAndFree(t);
            // Cutting goes on in a region whose other pieces another thread freed meanwhile.
            LargeBuffer more = makeLargeBuffer(1000);
            std::memset(more.get(), 1, 1000);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (size_t t = 0; t < kThreads; ++t)
        EXPECT_EQ(wrong[t], 0u) << "pieces of thread " << (t + 1) % kThreads;
}

// Whether the page that holds the address is mapped (mincore).
bool mapped(const void* at)
{
    unsigned char vector = 0;
    const auto page = reinterpret_cast<uintptr_t>(at) & ~uintptr_t { 4095 };
    return ::mincore(reinterpret_cast<void*>(page), 1, &vector) == 0 && (vector & 1) != 0;
}

// A table built again on a new thread is written into the regions of the one freed before: they are
// kept, not given back to the system, so its memory is mapped already before it is written (a region
// mapped anew would have no page mapped there). 128 pieces of 256 KB fill nine regions (fifteen pieces
// each beside the region's own bookkeeping), fewer than are kept. The last byte of the eighth piece of
// each region is looked at: the first byte of its second 2 MB, which no write before maps, not even one
// that maps a huge page.
TEST(Memory, RegionsFreedWhollyAreTakenAgain)
{
    const auto buildATable = [](size_t& mappedBeforeWritten) {
        std::set<uintptr_t> regions;
        mappedBeforeWritten = 0;
        std::thread([&] {
            std::vector<LargeBuffer> pieces;
            for (int k = 0; k < 128; ++k) {
                pieces.push_back(makeLargeBuffer(size_t { 256 } << 10));
                char* last = pieces.back().get() + (size_t { 256 } << 10) - 1;
                mappedBeforeWritten += k % 15 == 7 && mapped(last) ? 1 : 0;
                *last = 1;
                regions.insert(regionOf(pieces.back().get()));
            }
        }).join();
        return regions;
    };
    size_t mappedFirst = 0;
    size_t mappedAgain = 0;
    const std::set<uintptr_t> first = buildATable(mappedFirst);
    EXPECT_EQ(first.size(), 9u);
    EXPECT_EQ(buildATable(mappedAgain), first);
    EXPECT_EQ(mappedAgain, 9u);
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
