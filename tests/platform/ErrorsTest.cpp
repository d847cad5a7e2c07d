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

// A text with a NUL was cut short wherever the message is shown as a C string (standard error, the box).
TEST(Errors, ConversionMessagesShowControlBytesEscaped)
{
    const struct Case {
        const char* name;
        std::string text;
        const char* message;
    } cases[] = {
        { "a NUL inside", std::string("12-M\0r-2003", 11), "'12-M\\x00r-2003' is not a valid date" },
        { "a NUL at the start", std::string("\0", 1), "'\\x00' is not a valid date" },
        { "line ends", "1\r\n2", "'1\\x0d\\x0a2' is not a valid date" },
        { "escape and delete", "\x1b[0m\x7f", "'\\x1b[0m\\x7f' is not a valid date" },
        // Bytes of the code page above 127 are letters, not control bytes; a backslash stays as it is.
        { "Cyrillic and a backslash", "\xc4\xe0\\", "'\xc4\xe0\\' is not a valid date" },
        { "a tab", "a\tb", "'a\\x09b' is not a valid date" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::string(ConvertError::invalidDate(c.text).what()), c.message);
    }
    // The limit counts the bytes of the text, not of their escaped form.
    const std::string nuls(1025, '\0');
    std::string shown;
    for (int i = 0; i < 1024; ++i)
        shown += "\\x00";
    EXPECT_EQ(
        std::string(ConvertError::invalidInteger(nuls).what()), "'" + shown + "...' is not a valid integer value");
}
