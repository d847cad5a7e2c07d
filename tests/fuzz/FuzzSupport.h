#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <type_traits>
#include <unistd.h>

/// Stops the run with the broken invariant and where it was checked; libFuzzer then saves the input.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition);                     \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

/// As FUZZ_CHECK, and prints the two sides when they differ.
#define FUZZ_CHECK_EQ(a, b)                                                                                            \
    do {                                                                                                               \
        const auto fuzzA = (a);                                                                                        \
        const auto fuzzB = (b);                                                                                        \
        if (!(fuzzA == fuzzB)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: invariant broken: %s == %s\n  left:  %s\n  right: %s\n", __FILE__, __LINE__,  \
                #a, #b, velmar::fuzz::show(fuzzA).c_str(), velmar::fuzz::show(fuzzB).c_str());                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace velmar::fuzz {

inline std::string show(std::string_view text)
{
    std::string out = "\"";
    for (char c : text.substr(0, 200)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        }
    }
    if (text.size() > 200)
        out += "...";
    return out + "\" (" + std::to_string(text.size()) + " bytes)";
}
inline std::string show(const std::string& text)
{
    return show(std::string_view(text));
}
inline std::string show(const char* text)
{
    return show(std::string_view(text));
}
template <typename T> std::string show(const T& value)
{
    if constexpr (std::is_floating_point_v<T>) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(value));
        return buffer;
    } else {
        return std::to_string(value);
    }
}

/// A file in memory that the core opens by name like any other: each input is written into it in turn,
/// so no input touches the disk.
class MemoryFile {
public:
    explicit MemoryFile(const char* name)
        : fd_(::memfd_create(name, MFD_CLOEXEC))
    {
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    /// Replaces the content of the file.
    void set(std::string_view bytes)
    {
        FUZZ_CHECK(::ftruncate(fd_, 0) == 0);
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            FUZZ_CHECK(n > 0);
            done += static_cast<size_t>(n);
        }
    }

    /// The name under which the core opens it.
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

} // namespace velmar::fuzz
