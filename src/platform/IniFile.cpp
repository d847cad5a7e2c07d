#include "platform/IniFile.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace velmar {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text)
{
    size_t begin = 0;
    while (begin < text.size() && isBlank(text[begin]))
        ++begin;
    size_t end = text.size();
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string_view unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

IniFile IniFile::load(const std::string& path)
{
    // A file that cannot be read (missing, locked, a directory) has no keys: every lookup gives its default.
    try {
        return parse(readWholeFile(path));
    } catch (const FileOpenError&) {
        return IniFile();
    }
}

IniFile IniFile::parse(std::string_view content)
{
    IniFile ini;
    // Keys of a section name met a second time go nowhere: the first section of a name is the one read.
    Keys* current = nullptr;
    size_t pos = 0;
    while (pos < content.size()) {
        // A line ends at LF, at CR LF, or at a lone CR (files that passed through old editors).
        size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = content.size();
        const std::string_view line = trimBlanks(content.substr(pos, end - pos));
        pos = end;
        if (pos < content.size() && content[pos] == '\r')
            ++pos;
        if (pos < content.size() && content[pos] == '\n')
            ++pos;

        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            if (close != std::string_view::npos) {
                const auto [it, added] = ini.sections_.try_emplace(foldCase(trimBlanks(line.substr(1, close - 1))));
                current = added ? &it->second : nullptr;
                continue;
            }
            // Without its "]" the line is no section header; it may still be a key line.
        }
        if (!current)
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string_view value = unquote(trimBlanks(line.substr(equals + 1)));
        if (value.size() > kMaxValueLength)
            value = value.substr(0, kMaxValueLength);
        current->try_emplace(foldCase(trimBlanks(line.substr(0, equals))), value);
    }
    return ini;
}

const std::string* IniFile::find(std::string_view section, std::string_view key) const
{
    const auto s = sections_.find(foldCase(section));
    if (s == sections_.end())
        return nullptr;
    const auto k = s->second.find(foldCase(key));
    return k == s->second.end() ? nullptr : &k->second;
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    const std::string* value = find(section, key);
    return value ? *value : std::string(defaultValue);
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const
{
    return find(section, key) != nullptr;
}

} // namespace velmar
