#pragma once

#include "platform/Memory.h"

#include <array>
#include <cstddef>
#include <functional>
#include <memory>

namespace velmar {

/// Reads an open file from where it stands, a block at a time, the next block being read ahead on a second
/// thread while the caller works on the one it took. Work given to the reader runs on that thread on each
/// block as soon as it is read, so the caller finds it done when it takes the block.
class BlockReader {
public:
    /// What runs on the reading thread on each block read: the slot the block lies in (0 to 2) and its
    /// bytes; size 0 at the end of the file and after a failed read, so that whoever waits for the work of a
    /// block learns that there is none. It touches nothing the caller uses while a block is being read.
    using Work = std::function<void(size_t slot, const char* bytes, size_t size)>;

    /// Reads `fd`, which must stay open while the reader exists, in blocks of `blockSize` bytes (at least 1).
    BlockReader(int fd, size_t blockSize, Work work);
    /// Waits for the block being read.
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    /// Takes the block read ahead (reading it first when none is read ahead) and returns its slot; a block
    /// of size 0 is the end of the file. The block taken before stays as it is until the next take. Raises
    /// InOutError when reading failed; the next take reads that block again.
    size_t take();
    /// Starts reading the block after the one taken last.
    void readAhead();

    /// The slot of the block being read ahead, or -1 when none is.
    int readingSlot() const { return reading_ ? static_cast<int>(ahead_) : -1; }
    /// The slot the next readAhead reads into.
    size_t aheadSlot() const { return ahead_; }

    const char* bytes(size_t slot) const { return blocks_[slot].bytes.get(); }
    size_t size(size_t slot) const { return blocks_[slot].size; }

private:
    struct Block {
        LargeBuffer bytes;
        size_t size = 0;
        int error = 0; // errno of a failed read
    };
    class Thread;

    void read(size_t slot) noexcept;

    int fd_;
    size_t blockSize_;
    Work work_;
    // The block taken last, the one before it and the one read ahead.
    std::array<Block, 3> blocks_;
    size_t current_ = 0;
    size_t before_ = 1;
    size_t ahead_ = 2;
    bool reading_ = false; // blocks_[ahead_] is being read
    std::unique_ptr<Thread> thread_; // last: it ends first
};

} // namespace velmar
