#include "statistics/SizeText.h"

#include "platform/Errors.h"
#include "support/TestSupport.h"

#include <limits>

using namespace velmar;

namespace {

struct SizeCase {
    const char* name;
    int64_t count;
    const char* text;
};

// Comma before the last six digits, then before the last three; never a third one.
const SizeCase kSizeCases[] = {
    { "nothing", 0, "-" },
    { "one", 1, "1" },
    { "three digits", 999, "999" },
    { "four digits", 1000, "1,000" },
    { "six digits", 100000, "100,000" },
    { "six digits mixed", 123456, "123,456" },
    { "seven digits", 1000000, "1,000,000" },
    { "nine digits", 123456789, "123,456,789" },
    { "ten digits keep four in front", 1234567890, "1234,567,890" },
    { "32-bit maximum", 2147483647, "2147,483,647" },
    { "2^32 no longer wraps", 4294967296, "4294,967,296" },
    { "64-bit maximum", std::numeric_limits<int64_t>::max(), "9223372036854,775,807" },
    // Negative counts are the magnitude's text behind a "-".
    { "minus one", -1, "-1" },
    { "negative four digits", -1000, "-1,000" },
    { "negative seven digits", -1234567, "-1,234,567" },
    { "64-bit minimum", std::numeric_limits<int64_t>::min(), "-9223372036854,775,808" },
};

} // namespace

TEST(SizeText, CountsAndTextsRoundTrip)
{
    for (const SizeCase& c : kSizeCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SizeToStr(c.count), c.text);
        EXPECT_EQ(StrToSize(c.text), c.count);
    }
}

TEST(SizeText, ReadsOtherIntegerTexts)
{
    struct ReadCase {
        const char* name;
        const char* text;
        int64_t count;
    };
    const ReadCase cases[] = {
        { "plain integer while summing", "1234567", 1234567 },
        { "commas anywhere", "1,2,3", 123 },
        { "leading spaces", "  1,000", 1000 },
        { "plus sign", "+5", 5 },
        { "zero", "0", 0 },
        { "beyond 32 bits", "99999999999", 99999999999 },
        // Up to 18 digits are read in one pass, more by the general rules.
        { "eighteen digits", "999999,999999,999,999", 999999999999999999 },
        { "nineteen digits", "1000000000000000,000", 1000000000000000000 },
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(StrToSize(c.text), c.count);
    }
}

TEST(SizeText, RefusesNonNumbers)
{
    struct BadCase {
        const char* name;
        const char* text;
        const char* quoted; // the text without its commas
    };
    const BadCase cases[] = {
        { "empty", "", "" },
        { "two hyphens", "--", "--" },
        { "a word", "abc", "abc" },
        { "trailing space", "1,000 ", "1000 " },
        { "only commas", ",,", "" },
        { "hyphen with a space", " -", " -" },
        { "beyond 64 bits", "9223372036854,775,808", "9223372036854775808" },
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW_MSG(
            StrToSize(c.text), ConvertError, std::string("'") + c.quoted + "' is not a valid integer value");
    }
}

TEST(SizeText, LongTextsAreReadWhole)
{
    // Longer than any size text: leading spaces still count, and the refusal quotes the whole text.
    const std::string spaced = std::string(100, ' ') + "1,234";
    EXPECT_EQ(StrToSize(spaced), 1234);
    const std::string digits = std::string(80, '1') + ",x";
    EXPECT_THROW_MSG(StrToSize(digits), ConvertError, "'" + std::string(80, '1') + "x' is not a valid integer value");
}
