#include "support/TestSupport.h"

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "support/TestPaths.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <thread>

namespace velmar::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "velmar-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        ADD_FAILURE() << "cannot create a temporary directory";
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const
{
    return joinPath(path_, name);
}

std::string TempDir::write(std::string_view name, std::string_view content) const
{
    const std::string path = file(name);
    writeFile(path, content);
    return path;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, std::string_view content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

void appendFile(const std::string& path, std::string_view content)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        ADD_FAILURE() << "cannot append to " << path;
}

ScopedCurrentDir::ScopedCurrentDir(const std::string& path)
    : saved_(currentDirectory())
{
    if (!setCurrentDirectory(path))
        ADD_FAILURE() << "cannot change into " << path;
}

ScopedCurrentDir::~ScopedCurrentDir()
{
    setCurrentDirectory(saved_);
}

void copyDemo(const TempDir& dir)
{
    namespace fs = std::filesystem;
    for (const char* name :
        { "config", "english.lng", "russian.lng", "readme-english.txt", "readme-russian.txt", "new_line.log" })
        fs::copy_file(fs::path(VELMAR_SOURCE_DIR) / "demo" / name, fs::path(dir.path()) / name);
}

std::string utf8FromCp1251(std::string_view bytes)
{
    std::string out;
    for (char c : bytes) {
        const char32_t ch = CodePage::windows1251().toUnicode(static_cast<unsigned char>(c));
        if (ch < 0x80) {
            out += static_cast<char>(ch);
        } else if (ch < 0x800) {
            out += static_cast<char>(0xC0 | (ch >> 6));
            out += static_cast<char>(0x80 | (ch & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (ch >> 12));
            out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return out;
}

size_t crlfLineCount(std::string_view text)
{
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", at + 2))
        ++lines;
    return lines;
}

std::string cp1251(std::string_view utf8)
{
    const CodePage& page = CodePage::windows1251();
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        char32_t ch = c;
        int extra = 0;
        if (c >= 0xF0) {
            ch = c & 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            ch = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            ch = c & 0x1F;
            extra = 1;
        }
        ++i;
        for (int k = 0; k < extra && i < utf8.size(); ++k, ++i)
            ch = (ch << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
        out += static_cast<char>(page.fromUnicode(ch));
    }
    return out;
}

bool eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace velmar::test
