#include "platform/CodePage.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace velmar {

namespace {

struct Table {
    const char* name;
    std::array<char16_t, 128> upper;
};

const Table kTables[] = {
#include "platform/CodePageTables.inc"
};

struct Alias {
    std::string_view alias;
    std::string_view name;
};

const Alias kAliases[] = {
    { "cp1251", "windows-1251" },
    { "1251", "windows-1251" },
    { "win1251", "windows-1251" },
    { "866", "cp866" },
    { "ibm866", "cp866" },
    { "koi8r", "koi8-r" },
    { "koi8u", "koi8-u" },
    { "iso8859-5", "iso-8859-5" },
    { "cp1252", "windows-1252" },
    { "1252", "windows-1252" },
    { "latin1", "iso-8859-1" },
    { "iso8859-1", "iso-8859-1" },
};

std::string normalName(std::string_view name)
{
    std::string result;
    for (char c : name)
        result += asciiLower(c == '_' ? '-' : c);
    return result;
}

// Simple lower-case mapping for the scripts that single-byte code pages carry.
char32_t lowerOf(char32_t ch)
{
    if (ch >= U'A' && ch <= U'Z')
        return ch + 0x20;
    if (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7)
        return ch + 0x20;
    if (ch >= 0x410 && ch <= 0x42F)
        return ch + 0x20;
    if (ch >= 0x400 && ch <= 0x40F)
        return ch + 0x50;
    if (ch >= 0x490 && ch <= 0x4BF && (ch % 2) == 0)
        return ch + 1;
    return ch;
}

std::vector<CodePage>& pages()
{
    static std::vector<CodePage> all = [] {
        std::vector<CodePage> list;
        for (const Table& t : kTables)
            list.emplace_back(t.name, t.upper);
        return list;
    }();
    return all;
}

const CodePage*& currentPage()
{
    static const CodePage* page = &CodePage::windows1251();
    return page;
}

} // namespace

CodePage::CodePage(std::string_view name, const std::array<char16_t, 128>& upperHalf)
    : name_(name)
{
    for (int b = 0; b < 128; ++b)
        toUnicode_[b] = static_cast<char32_t>(b);
    for (int b = 0; b < 128; ++b)
        toUnicode_[128 + b] = upperHalf[b];
    for (int b = 0; b < 256; ++b) {
        const char32_t lower = lowerOf(toUnicode_[b]);
        fold_[b] = static_cast<unsigned char>(b);
        if (lower != toUnicode_[b]) {
            for (int c = 0; c < 256; ++c) {
                if (toUnicode_[c] == lower) {
                    fold_[b] = static_cast<unsigned char>(c);
                    break;
                }
            }
        }
    }
}

unsigned char CodePage::fromUnicode(char32_t ch) const
{
    if (ch < 0x80)
        return static_cast<unsigned char>(ch);
    for (int b = 0x80; b < 256; ++b) {
        if (toUnicode_[b] == ch)
            return static_cast<unsigned char>(b);
    }
    return '?';
}

const CodePage* CodePage::byName(std::string_view name)
{
    std::string wanted = normalName(name);
    for (const Alias& a : kAliases) {
        if (wanted == a.alias) {
            wanted = std::string(a.name);
            break;
        }
    }
    for (const CodePage& page : pages()) {
        if (page.name() == wanted)
            return &page;
    }
    return nullptr;
}

const CodePage& CodePage::windows1251()
{
    return pages().front();
}

const CodePage& CodePage::current()
{
    return *currentPage();
}

void CodePage::setCurrent(const CodePage& page)
{
    currentPage() = &page;
}

bool CodePage::selectFromEnvironment()
{
    const char* name = std::getenv("VELMAR_CODEPAGE");
    if (!name || !*name) {
        setCurrent(windows1251());
        return true;
    }
    const CodePage* page = byName(name);
    setCurrent(page ? *page : windows1251());
    return page != nullptr;
}

std::string codePageToUtf8(std::string_view bytes)
{
    const CodePage& page = CodePage::current();
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const char c : bytes) {
        const char32_t ch = page.toUnicode(static_cast<unsigned char>(c));
        if (ch < 0x80) {
            utf8 += static_cast<char>(ch);
        } else if (ch < 0x800) {
            utf8 += static_cast<char>(0xC0 | (ch >> 6));
            utf8 += static_cast<char>(0x80 | (ch & 0x3F));
        } else if (ch < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (ch >> 12));
            utf8 += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (ch & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (ch >> 18));
            utf8 += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return utf8;
}

namespace {

// The character of the UTF-8 sequence at the start of `text` and its length; length 0 when the bytes there
// are no valid sequence (cut short, overlong, a surrogate or beyond U+10FFFF).
std::pair<char32_t, size_t> decodeUtf8(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80)
        return { lead, 1 };
    size_t length = 0;
    char32_t ch = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        ch = lead & 0x1F;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        ch = lead & 0x0F;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        ch = lead & 0x07;
        least = 0x10000;
    } else {
        return { 0, 0 };
    }
    if (text.size() < length)
        return { 0, 0 };
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[k]);
        if ((next & 0xC0) != 0x80)
            return { 0, 0 };
        ch = (ch << 6) | (next & 0x3F);
    }
    if (ch < least || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF))
        return { 0, 0 };
    return { ch, length };
}

} // namespace

std::string utf8ToCodePage(std::string_view utf8)
{
    const CodePage& page = CodePage::current();
    std::string bytes;
    bytes.reserve(utf8.size());
    while (!utf8.empty()) {
        const auto [ch, length] = decodeUtf8(utf8);
        bytes += length == 0 ? '?' : static_cast<char>(page.fromUnicode(ch));
        utf8.remove_prefix(std::max<size_t>(length, 1));
    }
    return bytes;
}

bool sameTextIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const CodePage& page = CodePage::current();
    for (size_t i = 0; i < a.size(); ++i) {
        if (page.fold(static_cast<unsigned char>(a[i])) != page.fold(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string foldCase(std::string_view text)
{
    std::string result;
    foldCaseInto(text, result);
    return result;
}

void foldCaseInto(std::string_view text, std::string& out)
{
    const CodePage& page = CodePage::current();
    out.assign(text);
    for (char& c : out)
        c = static_cast<char>(page.fold(static_cast<unsigned char>(c)));
}

} // namespace velmar
