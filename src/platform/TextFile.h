#pragma once

#include "platform/BackgroundSync.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// Where export text goes: a file, standard output, or a string in tests.
class OutText {
public:
    virtual ~OutText() = default;
    /// Appends the bytes as they stand; raises InOutError when they cannot be written.
    virtual void write(std::string_view bytes) = 0;
};

/// Collects everything written into one string.
class StringOutText : public OutText {
public:
    void write(std::string_view bytes) override;
    /// Everything written so far.
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

/// The export text-file variable: bound to a name, created anew, written, closed.
///
/// A regular file is written through a temporary file beside it, which takes the file's name only when the
/// export is complete: a failure (a full disk, a write error) leaves an older export of that name as it was.
/// Written directly, as they always were, are standard output, targets that are no regular file (a device,
/// a terminal, a FIFO: opened without waiting for a reader), a file with several hard links (all its names
/// keep showing one file) and a file the user may write in a folder where no new file may be created.
class TextFile : public OutText {
public:
    /// Bytes gathered before they go to the file; larger writes go straight through.
    static constexpr size_t kBufferSize = 256 * 1024;
    /// A temporary file is made durable in the background each time this many more bytes reached it, so
    /// that little is left for the sync before it takes the target's place.
    static constexpr uint64_t kSyncEvery = uint64_t { 1 } << 20;

    TextFile() = default;
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;
    /// Gives an unfinished export up (see discard).
    ~TextFile() override;

    /// Binds the variable to a name (an open file is closed quietly first); an empty name stands for standard output.
    void assign(std::string name);
    /// The name bound last.
    const std::string& name() const { return name_; }

    /// Creates the bound file for writing, replacing an existing one (mode 0644 for a new file; an existing
    /// one keeps its mode); raises InOutError. A target that is the same file as one of `inputs` (the same
    /// device and inode, whatever the spelling, links included) is refused with "File access denied"
    /// before anything is touched. A FIFO that nobody reads is refused at once ("I/O error 6").
    void rewrite(const std::vector<std::string>& inputs = {});
    /// Buffered; raises InOutError when the file is not open or the bytes cannot be written.
    void write(std::string_view bytes) override;
    /// Flushes and closes; a file written through a temporary one then takes its place. Raises InOutError
    /// (e.g. "Disk full") -- the file is closed all the same, and the temporary file removed.
    /// Closing a variable that is not open raises "File not open".
    void close();
    /// Closes without raising, keeping whatever could be written: a temporary file still takes the name.
    void closeQuietly() noexcept;
    /// Gives the export up after a failure, without raising: a temporary file is removed, so an older file
    /// of the name stays as it was; a file written directly keeps what reached it.
    void discard() noexcept;
    /// True between a successful rewrite and the next close.
    bool isOpen() const { return fd_ >= 0; }
    /// The temporary file being written, or empty when the target is written directly.
    const std::string& temporaryName() const { return temporary_; }

    /// Makes a temporary file durable in the background every `bytes` bytes, with `sync` instead of
    /// fdatasync when given: for the tests. Takes effect with the next rewrite.
    void syncInBackground(uint64_t bytes, BackgroundSync::Sync sync = {});
    /// The background syncs made of the file written last, for the tests.
    uint64_t backgroundSyncs() const { return backgroundSyncs_; }

    /// "File not open for output" (105): a write to a variable that was never created or is closed.
    static constexpr int kNotOpenForOutput = 105;

private:
    // Writes out the buffer; on a failure the bytes that did reach the file leave the buffer and the rest stays.
    void flush();
    // Counts bytes that reached a temporary file and asks for a background sync when enough did.
    void written(size_t bytes);
    // Ends the background syncs; returns the errno of one that failed, or 0.
    int endBackgroundSync() noexcept;
    // Releases the descriptor (standard output stays open); returns the errno of a failed close, or 0.
    int release() noexcept;
    // Opens the target itself (without waiting for a reader of a FIFO); raises InOutError.
    void openDirectly();
    // Puts the temporary file in the target's place; raises InOutError (the temporary file is then gone).
    void commit();

    std::string target_; // the file that a temporary file replaces
    std::string temporary_; // the temporary file, or empty

    std::string name_;
    int fd_ = -1;
    bool ownsFd_ = false;
    std::string buffer_;
    uint64_t syncEvery_ = kSyncEvery;
    BackgroundSync::Sync sync_; // empty: fdatasync
    std::unique_ptr<BackgroundSync> backgroundSync_;
    uint64_t unsynced_ = 0; // bytes written since the last background sync was asked for
    uint64_t backgroundSyncs_ = 0;
};

} // namespace velmar
