#pragma once

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// Owns a file descriptor: closes it on every way out of a scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : fd_(fd)
    {
    }
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    /// The descriptor; negative when the opening failed.
    int get() const { return fd_; }
    /// Gives the descriptor up without closing it.
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    /// Closes the file and raises the error of a failed close (InOutError).
    void close();

private:
    int fd_;
};

/// Calls a system function again for as long as a signal interrupts it (a negative result with EINTR), and
/// returns its last result.
template <typename Call> auto retryInterrupted(Call call)
{
    auto result = call();
    while (result < 0 && errno == EINTR)
        result = call();
    return result;
}

/// Writes the bytes, going on after interruptions and short writes. Returns how many were written: fewer
/// than asked only when writing failed, with errno telling why (a device that takes nothing and reports
/// nothing counts as full, ENOSPC).
size_t writeAll(int fd, const char* data, size_t size);

/// Opens a regular file for reading and returns its descriptor, or -1 with errno set. A FIFO, a device
/// or a directory is refused (EACCES, EISDIR) without waiting and without reading from it: the files
/// the program reads are texts, and a device such as /dev/zero would never end.
int openRegularFile(const std::string& path);

/// True when a file (not a directory) of that name exists.
bool fileExists(const std::string& path);

/// The current directory of the process, or empty text when it cannot be read.
std::string currentDirectory();

/// Makes a directory the current one; false when that fails.
bool setCurrentDirectory(const std::string& path);

/// The path of a name inside a directory, joined with the native separator.
std::string joinPath(std::string_view directory, std::string_view name);

/// The names of the entries of a directory that match a pattern of "*" and "?" (letter case ignored,
/// as the mailer's home system does), directories and hidden entries included, sorted by name so that
/// the result never depends on the file system. "." and ".." are never listed.
std::vector<std::string> listDirectory(const std::string& directory, std::string_view pattern);

/// The path of an existing file whose name equals `name` ignoring letter case: the name itself when it
/// exists as written, else the first match in its directory in name order, else the name unchanged.
/// Settings and language files from older systems name their files without regard to letter case.
std::string findFileIgnoringCase(const std::string& path);

/// True when both names lead to the same existing file (the same device and inode).
bool sameFile(const std::string& a, const std::string& b);

/// The file a symbolic link leads to (through every link on the way), or the path itself when it is no
/// link or leads nowhere.
std::string resolveLink(const std::string& path);

/// The directory part of a path: "." for a bare name, "/" for a name in the root.
std::string directoryOf(const std::string& path);

/// Copies everything that can be read from one descriptor to another, from their current positions. False
/// when reading or writing fails, with errno telling why.
bool copyContent(int from, int to);

/// Copies a regular file over another, replacing it. False when that fails; the target is then removed.
bool copyFile(const std::string& from, const std::string& to);

/// Deletes a file; raises the input/output error of the failure.
void deleteFile(const std::string& path);

/// The whole content of a regular file; raises FileOpenError ("Cannot open file <name>") when it cannot be
/// read.
std::string readWholeFile(const std::string& path);

/// At most `most` bytes from the start of a regular file; `more` tells whether the file held more. Raises
/// FileOpenError ("Cannot open file <name>") when it cannot be read.
std::string readFileStart(const std::string& path, size_t most, bool& more);

/// True when the pattern of "*" and "?" matches the name, ASCII letter case ignored.
bool matchesPattern(std::string_view name, std::string_view pattern);

} // namespace velmar
