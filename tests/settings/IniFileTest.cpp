#include "platform/IniFile.h"

#include "platform/CodePage.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

struct LookupCase {
    const char* name;
    std::string content;
    const char* section;
    const char* key;
    std::string expected; // what readString gives with the default "<default>"
};

TEST(IniFile, ReadsValuesByTheRulesOfTheLanguageFiles)
{
    const std::string kDefault = "<default>";
    const LookupCase cases[] = {
        // The plain case: the text after "=".
        { "plain", "[Cols]\r\n0=Date\r\n", "Cols", "0", "Date" },
        // Blanks (spaces and tabs) around key, "=" and value are removed, inner ones kept.
        { "blanks", "[Cols]\r\n \t0 \t= \t Start  time \t\r\n", "Cols", "0", "Start  time" },
        // Only the first "=" separates; the rest belongs to the value.
        { "second equals", "[Cols]\r\n0=a=b\r\n", "Cols", "0", "a=b" },
        // One pair of enclosing quotes goes, of either kind; the blanks inside stay.
        { "double quotes", "[L]\r\n0=\"  x  \"\r\n", "L", "0", "  x  " },
        { "single quotes", "[L]\r\n0='y'\r\n", "L", "0", "y" },
        { "only one pair", "[L]\r\n0=\"\"z\"\"\r\n", "L", "0", "\"z\"" },
        { "mixed quotes stay", "[L]\r\n0=\"z'\r\n", "L", "0", "\"z'" },
        { "lone quote stays", "[L]\r\n0=\"\r\n", "L", "0", "\"" },
        { "empty quotes", "[L]\r\n0=\"\"\r\n", "L", "0", "" },
        // Names match without regard to ASCII letter case.
        { "section case", "[preferences PAGE]\r\nh1=hint\r\n", "Preferences page", "H1", "hint" },
        // Names in brackets are trimmed.
        { "trimmed section", "[  Pages \t]\r\n1=Summary\r\n", "Pages", "1", "Summary" },
        { "indented section", "   [Pages]\r\n1=Summary\r\n", "Pages", "1", "Summary" },
        // Present but empty is "", missing is the default.
        { "present empty", "[Pages]\r\n1=\r\n", "Pages", "1", "" },
        { "present blank", "[Pages]\r\n1=  \t \r\n", "Pages", "1", "" },
        { "missing key", "[Pages]\r\n0=Detailed\r\n", "Pages", "1", kDefault },
        { "missing section", "[Cols]\r\n1=x\r\n", "Pages", "1", kDefault },
        { "empty file", "", "Pages", "1", kDefault },
        // A key belongs to the section above it only.
        { "other section", "[Cols]\r\n1=x\r\n[Pages]\r\n0=y\r\n", "Pages", "1", kDefault },
        { "key before any section", "1=x\r\n[Pages]\r\n", "Pages", "1", kDefault },
        // Comment lines start with ";" after optional blanks; a ";" later in a value is text.
        { "comment", "[Pages]\r\n;1=x\r\n", "Pages", "1", kDefault },
        { "indented comment", "[Pages]\r\n  \t; 1=x\r\n", "Pages", "1", kDefault },
        { "semicolon in value", "[Pages]\r\n1=a ; b\r\n", "Pages", "1", "a ; b" },
        // Line ends: LF alone, CR LF, a lone CR, and no end on the last line.
        { "LF", "[Pages]\n0=a\n1=b\n", "Pages", "1", "b" },
        { "CR LF no CR in value", "[Pages]\r\n1=b\r\n", "Pages", "1", "b" },
        { "lone CR ends the line", "[Pages]\r1=b\r2=c", "Pages", "1", "b" },
        { "last line without end", "[Pages]\r\n1=b", "Pages", "1", "b" },
        // The first occurrence wins, for a key and for a section.
        { "first key wins", "[Pages]\r\n1=first\r\n1=second\r\n", "Pages", "1", "first" },
        { "first key wins ignoring case", "[Pages]\r\nh1=first\r\nH1=second\r\n", "Pages", "H1", "first" },
        { "first section wins", "[Pages]\r\n0=a\r\n[PAGES]\r\n1=b\r\n", "Pages", "1", kDefault },
        // A line without "=" is passed over; a "[" without "]" is not a header.
        { "line without equals", "[Pages]\r\njunk\r\n1=b\r\n", "Pages", "1", "b" },
        { "unclosed header", "[Pages]\r\n[Cols\r\n1=b\r\n", "Pages", "1", "b" },
        // Any byte is text: NUL inside a value, bytes beyond ASCII.
        { "NUL in value", std::string("[Pages]\r\n1=a\0b\r\n", 16), "Pages", "1", std::string("a\0b", 3) },
        { "high bytes", "[Pages]\r\n1=\xC8\xF2\xEE\xE3\xEE\r\n", "Pages", "1", "\xC8\xF2\xEE\xE3\xEE" },
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IniFile::parse(c.content).readString(c.section, c.key, kDefault), c.expected);
    }
}

TEST(IniFile, FoldsCyrillicNamesUnderTheCodePage)
{
    // "[Страница]" written in upper case in the file, asked for in lower case.
    const IniFile ini = IniFile::parse(test::cp1251("[СТРАНИЦА]\r\nКЛЮЧ=1\r\n"));
    EXPECT_EQ(ini.readString(test::cp1251("страница"), test::cp1251("ключ"), "-"), "1");
}

TEST(IniFile, CutsLongValuesTo2047Characters)
{
    struct Case {
        const char* name;
        size_t length; // of the value in the file
        size_t expected; // min(length, 2047)
    };
    const Case cases[] = {
        { "just fits", 2047, 2047 },
        { "one over", 2048, 2047 },
        { "ten thousand", 10000, 2047 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string value(c.length, 'v');
        value.back() = 'e'; // the end must be gone when cut
        const std::string got = IniFile::parse("[S]\r\nk=" + value + "\r\n").readString("S", "k", "");
        EXPECT_EQ(got, value.substr(0, c.expected));
    }
    // The quotes come off before the cut, so a quoted value of 2047 characters keeps them all.
    const std::string quoted(2047, 'q');
    EXPECT_EQ(IniFile::parse("[S]\nk=\"" + quoted + "\"\n").readString("S", "k", ""), quoted);
}

TEST(IniFile, SurvivesAnyBytes)
{
    // Every byte value, repeated in brackets, equals signs and line ends: the reader must simply not crash
    // or read past the input, and what it finds must be looked up without trouble.
    std::string content;
    for (int round = 0; round < 4; ++round) {
        for (int b = 0; b < 256; ++b) {
            content += static_cast<char>(b);
            if (b % 7 == 0)
                content += "[=\r";
        }
    }
    const IniFile ini = IniFile::parse(content);
    EXPECT_EQ(ini.readString("nothing", "here", "d"), "d");
    // A header cut off at the very end of the input.
    EXPECT_EQ(IniFile::parse("[").readString("", "", "d"), "d");
    EXPECT_EQ(IniFile::parse("[]\n=x").readString("", "", "d"), "x");
}

TEST(IniFile, LoadOfAMissingFileIsEmpty)
{
    test::TempDir dir;
    EXPECT_EQ(IniFile::load(dir.file("missing.lng")).readString("Cols", "0", "d"), "d");
    // A directory cannot be read as a file either.
    EXPECT_EQ(IniFile::load(dir.path()).readString("Cols", "0", "d"), "d");
    const std::string path = dir.write("x.lng", "[Cols]\r\n0=Date\r\n");
    EXPECT_EQ(IniFile::load(path).readString("cols", "0", "d"), "Date");
}

} // namespace
} // namespace velmar
