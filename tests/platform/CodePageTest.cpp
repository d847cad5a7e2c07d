#include "platform/CodePage.h"

#include "support/TestSupport.h"

using namespace velmar;

TEST(CodePage, Windows1251IsTheDefault)
{
    EXPECT_EQ(CodePage::current().name(), "windows-1251");
    EXPECT_EQ(CodePage::windows1251().toUnicode(0xC0), U'\u0410'); // А
    EXPECT_EQ(CodePage::windows1251().toUnicode(0xFF), U'\u044F'); // я
    EXPECT_EQ(CodePage::windows1251().toUnicode(0xA8), U'\u0401'); // Ё
    EXPECT_EQ(CodePage::windows1251().toUnicode(0xB9), U'\u2116'); // №
}

TEST(CodePage, EveryByteSurvivesTheRoundTrip)
{
    for (const char* name : { "windows-1251", "cp866", "koi8-r", "koi8-u", "iso-8859-5", "windows-1252", "latin1" }) {
        SCOPED_TRACE(name);
        const CodePage* page = CodePage::byName(name);
        ASSERT_NE(page, nullptr);
        for (int b = 0; b < 256; ++b)
            EXPECT_EQ(page->fromUnicode(page->toUnicode(static_cast<unsigned char>(b))), b);
    }
    EXPECT_EQ(CodePage::windows1251().fromUnicode(U'\u4E00'), '?');
    EXPECT_EQ(CodePage::byName("no-such-page"), nullptr);
    EXPECT_EQ(CodePage::byName("CP1251"), &CodePage::windows1251());
}

TEST(CodePage, CaseInsensitiveComparison)
{
    struct Case {
        const char* name;
        std::string a, b;
        bool same;
    } const cases[] = {
        { "ASCII letters", "2:5020/Abc", "2:5020/aBC", true },
        { "Cyrillic letters", test::cp1251("Привет"), test::cp1251("пРИВЕТ"), true },
        { "Yo", test::cp1251("Ё"), test::cp1251("ё"), true },
        { "Ukrainian I and Ghe", test::cp1251("ІҐЄЇ"), test::cp1251("іґєї"), true },
        { "different letters", "abc", "abd", false },
        { "different length", "abc", "abcd", false },
        { "digits and signs are themselves", "1-2", "1-2", true },
        { "empty texts", "", "", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sameTextIgnoringCase(c.a, c.b), c.same);
    }
    EXPECT_EQ(foldCase(test::cp1251("АБВ xyZ")), test::cp1251("абв xyz"));
}

TEST(CodePage, FoldCaseIntoReplacesWhatTheTargetHeld)
{
    // The summary folds every address into one reused string: a shorter text must not keep the tail of a
    // longer one before it.
    std::string out = "a much longer text held before";
    foldCaseInto(test::cp1251("2:5020/ДОМ"), out);
    EXPECT_EQ(out, test::cp1251("2:5020/дом"));
    foldCaseInto("", out);
    EXPECT_EQ(out, "");
}

TEST(CodePage, AsciiLowerChangesOnlyTheAsciiCapitals)
{
    struct Case {
        const char* name;
        char in, out;
    } const cases[] = {
        { "first capital", 'A', 'a' },
        { "last capital", 'Z', 'z' },
        { "small letter stays", 'q', 'q' },
        { "the byte before A", '@', '@' },
        { "the byte after Z", '[', '[' },
        { "digit", '7', '7' },
        // Cyrillic capital A in Windows-1251 (0xC0) is no ASCII letter: names keep it.
        { "byte of the upper half", '\xC0', '\xC0' },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(asciiLower(c.in), c.out);
    }
}

TEST(CodePage, TextsCrossToUtf8AndBack)
{
    struct Case {
        const char* name;
        std::string codePage; // bytes of Windows-1251
        std::string utf8;
    };
    // The UTF-8 bytes are those of the characters the Windows-1251 table gives for each byte.
    const Case cases[] = {
        { "ascii stays as it is", "new_line.log", "new_line.log" },
        { "cyrillic takes two bytes a letter", "\xF0\xF3\xF1", "\xD1\x80\xD1\x83\xD1\x81" }, // рус
        { "numero sign takes three bytes", "\xB9", "\xE2\x84\x96" }, // № U+2116
        { "control bytes and NUL stay", std::string("a\0\x1A", 3), std::string("a\0\x1A", 3) },
        { "empty", "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(codePageToUtf8(c.codePage), c.utf8);
        EXPECT_EQ(utf8ToCodePage(c.utf8), c.codePage);
    }
}

TEST(CodePage, Utf8ThatTheCodePageCannotHoldBecomesQuestionMarks)
{
    struct Case {
        const char* name;
        std::string utf8;
        std::string codePage;
    };
    const Case cases[] = {
        { "a character Windows-1251 lacks", "x\xE4\xB8\x80y", "x?y" }, // U+4E00
        { "a four-byte character", "\xF0\x9F\x98\x80", "?" }, // U+1F600
        { "a lone continuation byte",
            "a\x80"
            "b",
            "a?b" },
        { "a lead byte cut short at the end", "ab\xD1", "ab?" },
        { "a lead byte followed by no continuation",
            "\xD1"
            "a",
            "?a" },
        { "an overlong slash", "\xC0\xAF", "??" },
        { "a surrogate", "\xED\xA0\x80", "???" },
        { "beyond U+10FFFF", "\xF4\x90\x80\x80", "????" },
        { "a byte no UTF-8 uses", "\xFF", "?" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf8ToCodePage(c.utf8), c.codePage);
    }
}
