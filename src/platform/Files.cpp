#include "platform/Files.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void FileDescriptor::close()
{
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw InOutError::fromErrno(errno);
}

size_t writeAll(int fd, const char* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = retryInterrupted([&] { return ::write(fd, data + done, size - done); });
        if (n < 0)
            return done;
        if (n == 0) {
            // A device that takes nothing and reports nothing: treat it as full rather than loop for ever.
            errno = ENOSPC;
            return done;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

int openRegularFile(const std::string& path)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; for a regular file it changes nothing.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        ::close(fd);
        errno = err;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool fileExists(const std::string& path)
{
    struct stat st { };
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string currentDirectory()
{
    std::string buffer(4096, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(buffer.find('\0'));
    return buffer;
}

bool setCurrentDirectory(const std::string& path)
{
    return ::chdir(path.c_str()) == 0;
}

std::string joinPath(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return path;
}

bool matchesPattern(std::string_view name, std::string_view pattern)
{
    // Iterative wildcard match with one point of return for the last "*".
    size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || asciiLower(pattern[p]) == asciiLower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::string> listDirectory(const std::string& directory, std::string_view pattern)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (matchesPattern(name, pattern))
            names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string findFileIgnoringCase(const std::string& path)
{
    if (path.empty() || fileExists(path))
        return path;
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.find_first_of("*?") != std::string::npos)
        return path;
    for (const std::string& candidate : listDirectory(directory, name)) {
        const std::string full = slash == std::string::npos ? candidate : directory + candidate;
        if (fileExists(full))
            return full;
    }
    return path;
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa {
    }, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
        && sa.st_ino == sb.st_ino;
}

std::string resolveLink(const std::string& path)
{
    struct stat st { };
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool copyContent(int from, int to)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = retryInterrupted([&] { return ::read(from, buffer.data(), buffer.size()); });
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        const auto got = static_cast<size_t>(n);
        if (writeAll(to, buffer.data(), got) != got)
            return false;
    }
}

bool copyFile(const std::string& from, const std::string& to)
{
    FileDescriptor in(openRegularFile(from));
    if (in.get() < 0)
        return false;
    FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0)
        return false;
    if (!copyContent(in.get(), out.get()) || ::close(out.release()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

void deleteFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        throw InOutError::fromErrno(errno);
}

std::string readWholeFile(const std::string& path)
{
    bool more = false;
    return readFileStart(path, std::string::npos, more);
}

std::string readFileStart(const std::string& path, size_t most, bool& more)
{
    more = false;
    FileDescriptor fd(path.empty() ? -1 : openRegularFile(path));
    if (fd.get() < 0)
        throw FileOpenError(path);
    std::string content;
    char buffer[65536];
    for (;;) {
        // One byte beyond the most tells whether more follows.
        const size_t wanted
            = most == std::string::npos ? sizeof buffer : std::min(sizeof buffer, most + 1 - content.size());
        const ssize_t n = retryInterrupted([&] { return ::read(fd.get(), buffer, wanted); });
        if (n < 0)
            throw FileOpenError(path);
        if (n == 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
        if (most != std::string::npos && content.size() > most) {
            content.resize(most);
            more = true;
            break;
        }
    }
    return content;
}

} // namespace velmar
