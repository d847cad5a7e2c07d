#pragma once

#include <array>
#include <string>
#include <string_view>

namespace velmar {

/// A single-byte code page: the texts of the core are bytes in it, the window shows them as Unicode.
/// Windows-1251 is the default, since the settings and language files of our users are written in it.
class CodePage {
public:
    /// The code page of the given name ("windows-1251", "cp1251", "koi8-r", ...), or nullptr when unknown.
    static const CodePage* byName(std::string_view name);
    static const CodePage& windows1251();

    /// The code page in effect for the process.
    static const CodePage& current();
    static void setCurrent(const CodePage& page);
    /// Chooses the code page named by VELMAR_CODEPAGE, else Windows-1251. Returns false when the variable
    /// names a code page the program does not know (Windows-1251 is then used).
    static bool selectFromEnvironment();

    std::string_view name() const { return name_; }
    char32_t toUnicode(unsigned char byte) const { return toUnicode_[byte]; }
    /// The byte of a character, or '?' for a character the code page lacks.
    unsigned char fromUnicode(char32_t ch) const;
    /// The lower-case byte of a letter (ASCII and the letters of the code page), other bytes unchanged.
    unsigned char fold(unsigned char byte) const { return fold_[byte]; }

    CodePage(std::string_view name, const std::array<char16_t, 128>& upperHalf);

private:
    std::string_view name_;
    std::array<char32_t, 256> toUnicode_ {};
    std::array<unsigned char, 256> fold_ {};
};

/// The ASCII letter in lower case, every other byte unchanged: for names, whatever the code page.
constexpr char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

/// Bytes of the current code page as UTF-8: how a text of the settings or of a language file names a file
/// here, and how a message reaches a terminal or a cron mail.
std::string codePageToUtf8(std::string_view bytes);
/// UTF-8, such as a file system name, as bytes of the current code page: a character the code page lacks,
/// and every byte of a sequence that is no UTF-8, becomes '?'.
std::string utf8ToCodePage(std::string_view utf8);

/// Equal texts ignoring the letter case of the current code page.
bool sameTextIgnoringCase(std::string_view a, std::string_view b);

/// The text with every letter folded to lower case under the current code page.
std::string foldCase(std::string_view text);
/// The same into out (what it held is replaced), so that a loop folds without allocating for every text.
void foldCaseInto(std::string_view text, std::string& out);

} // namespace velmar
