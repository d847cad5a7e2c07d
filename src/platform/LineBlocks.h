#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string_view>

namespace velmar {

/// Reads a stretch of an open file a block at a time and hands it out as runs of whole lines: each run ends
/// behind the last line feed read so far, so no line is ever cut in two. A line longer than a block is
/// gathered whole, so memory grows with the longest line, never with the size of the file. The last run
/// ends where the stretch ends, without a line feed when the file ends in a line without one. Reads with
/// pread on the caller's thread: several readers may share one descriptor, each on a thread of its own.
class LineBlocks {
public:
    /// A stretch that goes on to wherever the file ends, also behind what it held when the read began.
    static constexpr uint64_t kToTheEnd = std::numeric_limits<uint64_t>::max();

    /// Reads `fd`, which must stay open while the reader is used, from `from` up to `to` (or the end of the
    /// file), in blocks of `blockSize` bytes (at least 1).
    LineBlocks(int fd, uint64_t from, uint64_t to, size_t blockSize);
    ~LineBlocks();
    LineBlocks(LineBlocks&&) noexcept;
    LineBlocks& operator=(LineBlocks&&) noexcept;

    /// The next run of whole lines; false when the stretch is read (then `run` is empty). The view stays
    /// valid until the next call. Raises InOutError when reading fails; the reader is then at its end.
    bool next(std::string_view& run);
    /// Where the run handed out last begins in the file.
    uint64_t runOffset() const { return runOffset_; }
    /// Where the bytes handed out so far end in the file.
    uint64_t handedUpTo() const { return runOffset_ + handed_; }
    /// True once a read met the end of the file: the stretch ended there (at `to` or before it).
    bool fileEnded() const { return fileEnded_; }
    /// Runs before each block is read (tests change the file there).
    void setBlockHook(std::function<void()> hook) { blockHook_ = std::move(hook); }

private:
    struct Free {
        void operator()(char* p) const noexcept;
    };

    bool readBlock();

    int fd_;
    uint64_t at_; // where the next block is read from
    uint64_t to_;
    size_t blockSize_;
    std::unique_ptr<char, Free> buffer_;
    size_t capacity_ = 0;
    size_t filled_ = 0; // bytes in the buffer
    size_t handed_ = 0; // the run handed out last: the first bytes of the buffer
    uint64_t runOffset_; // where the buffer's first byte stands in the file
    bool fileEnded_ = false;
    bool failed_ = false;
    std::function<void()> blockHook_;
};

} // namespace velmar
