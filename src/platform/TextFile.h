#pragma once

#include <string>
#include <string_view>

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
class TextFile : public OutText {
public:
    /// Bytes gathered before they go to the file; larger writes go straight through.
    static constexpr size_t kBufferSize = 256 * 1024;

    TextFile() = default;
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;
    /// Closes quietly.
    ~TextFile() override;

    /// Binds the variable to a name (an open file is closed quietly first); an empty name stands for standard output.
    void assign(std::string name);
    /// The name bound last.
    const std::string& name() const { return name_; }

    /// Creates the bound file for writing, replacing an existing one (mode 0644); raises InOutError.
    void rewrite();
    /// Buffered; raises InOutError when the file is not open or the bytes cannot be written.
    void write(std::string_view bytes) override;
    /// Flushes and closes; raises InOutError (e.g. "Disk full") -- the file is closed all the same.
    /// Closing a variable that is not open raises "File not open".
    void close();
    /// Closes without raising (after a failure), keeping whatever could be written.
    void closeQuietly() noexcept;
    /// True between a successful rewrite and the next close.
    bool isOpen() const { return fd_ >= 0; }

    /// "File not open for output" (105): a write to a variable that was never created or is closed.
    static constexpr int kNotOpenForOutput = 105;
    /// "File not open" (103): a close of a variable that is not open.
    static constexpr int kNotOpen = 103;

private:
    // Writes out the buffer; on a failure the bytes that did reach the file leave the buffer and the rest stays.
    void flush();
    // Releases the descriptor (standard output stays open); returns the errno of a failed close, or 0.
    int release() noexcept;

    std::string name_;
    int fd_ = -1;
    bool ownsFd_ = false;
    std::string buffer_;
};

} // namespace velmar
