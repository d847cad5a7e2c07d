#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

/// Expects the statement to throw an exception of the type whose what() is exactly the message.
#define EXPECT_THROW_MSG(statement, type, message)                                                                     \
    do {                                                                                                               \
        bool velmarThrown = false;                                                                                     \
        try {                                                                                                          \
            statement;                                                                                                 \
        } catch (const type& velmarError) {                                                                            \
            velmarThrown = true;                                                                                       \
            EXPECT_EQ(std::string(velmarError.what()), std::string(message));                                          \
        }                                                                                                              \
        EXPECT_TRUE(velmarThrown) << #statement " did not throw " #type;                                               \
    } while (false)

namespace velmar::test {

/// A fresh directory under the system's temporary directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    /// The path of a name inside the directory.
    std::string file(std::string_view name) const;
    /// Writes bytes into a file of the directory and returns its path.
    std::string write(std::string_view name, std::string_view content) const;

private:
    std::string path_;
};

/// The whole content of a file; fails the test when it cannot be read.
std::string readFile(const std::string& path);

/// Writes bytes into a file, replacing it; fails the test when that fails.
void writeFile(const std::string& path, std::string_view content);
/// Adds the bytes at the end of the file, as a mailer writes its log.
void appendFile(const std::string& path, std::string_view content);

/// Makes a directory the current one for the lifetime of the guard.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& path);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    std::string saved_;
};

/// Copies the files of the demo start directory (settings, language files, readmes, the sample log)
/// into a test's directory.
void copyDemo(const TempDir& dir);

/// Windows-1251 bytes as UTF-8, as the program writes its messages to a terminal.
std::string utf8FromCp1251(std::string_view bytes);

/// The number of CR LF line ends in a text.
size_t crlfLineCount(std::string_view text);

/// UTF-8 text turned into Windows-1251 bytes (for texts of the tests written in Cyrillic).
std::string cp1251(std::string_view utf8);

/// Whether the condition comes to hold, asked every millisecond for at most 20 seconds: for what another
/// thread does, so that a slow machine still passes and a fault does not hang the run.
bool eventually(const std::function<bool()>& condition);

} // namespace velmar::test
