#pragma once

#include <map>
#include <string>
#include <string_view>

namespace velmar {

/// A private-profile (INI) text file as the language files are written: read once, then looked up key by key.
class IniFile {
public:
    /// The longest value handed out; longer values are cut, as the readers of our users' systems do.
    static constexpr size_t kMaxValueLength = 2047;

    /// Reads a file; a missing or unreadable file gives an empty IniFile, in which every key is missing.
    static IniFile load(const std::string& path);
    /// Reads the text of a file.
    static IniFile parse(std::string_view content);

    /// The value of a key in a section; `defaultValue` when the key (or section) is missing, "" when the key
    /// is present with an empty value. Names match without regard to letter case.
    std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const;

    /// True when the section holds the key.
    bool hasKey(std::string_view section, std::string_view key) const;

private:
    using Keys = std::map<std::string, std::string, std::less<>>;
    const std::string* find(std::string_view section, std::string_view key) const;

    // Section and key names are kept folded to lower case.
    std::map<std::string, Keys, std::less<>> sections_;
};

} // namespace velmar
