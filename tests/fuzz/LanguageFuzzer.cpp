// Language file bytes through the INI reader and the language reader, compared with a plain look-up
// that reads the text line by line for every key.
#include "FuzzSupport.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "settings/Language.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace velmar;

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return lines;
}

// The value of a key as the documented rules give it: the first section of that name, the first line of
// the key in it, blanks and one pair of quotes removed, at most 2047 bytes. Nothing when it is missing.
std::optional<std::string> lookUp(
    const std::vector<std::string_view>& lines, std::string_view section, std::string_view key)
{
    bool inSection = false;
    bool sectionSeen = false;
    for (std::string_view raw : lines) {
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[' && line.find(']') != std::string_view::npos) {
            const bool named = sameTextIgnoringCase(trimmed(line.substr(1, line.find(']') - 1)), section);
            if (inSection)
                return std::nullopt; // the section of that name is over
            inSection = named && !sectionSeen;
            sectionSeen = sectionSeen || named;
            continue;
        }
        if (!inSection)
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || !sameTextIgnoringCase(trimmed(line.substr(0, equals)), key))
            continue;
        std::string_view value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value.substr(0, IniFile::kMaxValueLength));
    }
    return std::nullopt;
}

void checkValue(const std::string& value)
{
    FUZZ_CHECK(value.size() <= IniFile::kMaxValueLength);
    FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos);
}

void checkKey(const IniFile& ini, const std::vector<std::string_view>& lines, std::string_view section,
    std::string_view key, const std::string& read, std::string_view defaultValue)
{
    const std::optional<std::string> expected = lookUp(lines, section, key);
    FUZZ_CHECK_EQ(ini.hasKey(section, key), expected.has_value());
    FUZZ_CHECK_EQ(ini.readString(section, key, defaultValue), expected.value_or(std::string(defaultValue)));
    FUZZ_CHECK_EQ(read, expected.value_or(std::string(defaultValue)));
    checkValue(read);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    CodePage::setCurrent(CodePage::windows1251());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::MemoryFile file("language");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    file.set(bytes);

    const IniFile ini = IniFile::parse(bytes);
    const Language lang = readLanguage(file.path());
    const std::vector<std::string_view> lines = linesOf(bytes);

    FUZZ_CHECK_EQ(lang.labels.size(), size_t { 16 });
    for (size_t i = 0; i < lang.labels.size(); ++i)
        checkKey(ini, lines, "Labels", std::to_string(i), lang.labels[i], "");
    for (size_t i = 0; i < lang.cols.size(); ++i)
        checkKey(ini, lines, "Cols", std::to_string(i), lang.cols[i], "");
    for (size_t i = 0; i < lang.pages.size(); ++i)
        checkKey(ini, lines, "Pages", std::to_string(i), lang.pages[i], "Page" + std::to_string(i));
    checkKey(ini, lines, "Preferences page", "0", lang.prefBox, "");
    checkKey(ini, lines, "Preferences page", "H3", lang.label2Hint, "");
    checkKey(ini, lines, "Preferences page", "9", lang.applyB, "");
    checkKey(ini, lines, "Export", "H10", lang.macInfoHint, "");
    checkKey(ini, lines, "Readme", "0", lang.readme, "");

    // The tag list: eight lines, each ended by LF CR, from keys 11 to 18 of "Export".
    std::string label4;
    for (int key = 11; key <= 18; ++key)
        label4 += lookUp(lines, "Export", std::to_string(key)).value_or("") + "\n";
    FUZZ_CHECK_EQ(lang.label4, label4);
    return 0;
}
