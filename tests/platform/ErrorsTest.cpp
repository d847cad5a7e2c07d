#include "platform/Errors.h"

#include "support/TestSupport.h"

#include <cerrno>

using namespace velmar;

TEST(Errors, InputOutputMessages)
{
    struct Case {
        int err;
        int code;
        const char* message;
    } const cases[] = {
        { ENOENT, 2, "File not found" },
        { EACCES, 5, "File access denied" },
        { EPERM, 5, "File access denied" },
        { ENOSPC, 101, "Disk full" },
        { EIO, EIO, "I/O error 5" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const InOutError error = InOutError::fromErrno(c.err);
        EXPECT_EQ(error.code(), c.code);
        EXPECT_STREQ(error.what(), c.message);
    }
    EXPECT_STREQ(InOutError::readBeyondEnd().what(), "Read beyond end of file");
    EXPECT_STREQ(FileOpenError("readme.txt").what(), "Cannot open file readme.txt");
    EXPECT_STREQ(FileOpenError("").what(), "Cannot open file ");
}

TEST(Errors, ConversionMessagesQuoteTheText)
{
    EXPECT_STREQ(ConvertError::invalidDate("5-Sep-2003").what(), "'5-Sep-2003' is not a valid date");
    EXPECT_STREQ(ConvertError::invalidTime("").what(), "'' is not a valid time");
    EXPECT_STREQ(ConvertError::invalidFloat("4.79").what(), "'4.79' is not a valid floating point value");
}

TEST(Errors, CodePageMessageNamesTheCharacterAndThePage)
{
    struct Case {
        const char* name;
        std::string text;
        char32_t character;
        const char* expected;
    };
    const Case cases[] = {
        // e with acute accent is U+00E9; the text arrives with it already shown as "?".
        { "latin letter", "/home/caf?/new_line.log", U'\u00E9',
            "'/home/caf?/new_line.log' holds the character U+00E9, which the code page windows-1251 cannot hold; "
            "nothing was saved" },
        // Beyond the first plane the code has more than four digits.
        { "emoji", "%1 ?", U'\U0001F600',
            "'%1 ?' holds the character U+1F600, which the code page windows-1251 cannot hold; nothing was saved" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(CodePageError(c.text, c.character, "windows-1251").what(), c.expected);
    }
}

// A line of many megabytes in a damaged log must not become a message of that size.
TEST(Errors, ConversionMessagesQuoteAtMost1024Bytes)
{
    const std::string exact(1024, '7');
    EXPECT_EQ(ConvertError::invalidInteger(exact).what(), "'" + exact + "' is not a valid integer value");
    const std::string longer = exact + "8";
    EXPECT_EQ(ConvertError::invalidInteger(longer).what(), "'" + exact + "...' is not a valid integer value");
    const std::string huge(50u << 20, 'x');
    EXPECT_EQ(std::string(ConvertError::invalidDate(huge).what()).size(), 1 + 1024 + 3 + 1 + 20u);
}
