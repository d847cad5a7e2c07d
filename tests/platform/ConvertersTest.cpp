#include "platform/Converters.h"

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "support/TestSupport.h"

#include <cmath>
#include <limits>
#include <optional>

using namespace velmar;

namespace {

struct IntCase {
    const char* name;
    const char* text;
    std::optional<int64_t> decimal; // toInt32; nullopt: refused
    std::optional<int64_t> offset; // offsetToInt32; nullopt: refused
};

// Decimal integers take spaces in front and a sign; offsets also take the hexadecimal forms.
const IntCase kIntCases[] = {
    { "plain", "42", 42, 42 },
    { "leading spaces", "   7", 7, 7 },
    { "plus sign", "+5", 5, 5 },
    { "minus sign", "-100", -100, -100 },
    { "trailing space refused", "5 ", std::nullopt, std::nullopt },
    { "space after sign refused", "- 5", std::nullopt, std::nullopt },
    { "empty refused", "", std::nullopt, std::nullopt },
    { "only spaces refused", "   ", std::nullopt, std::nullopt },
    { "lone sign refused", "-", std::nullopt, std::nullopt },
    { "comma refused", "1,000", std::nullopt, std::nullopt },
    { "int32 max", "2147483647", 2147483647, 2147483647 },
    { "int32 min", "-2147483648", -2147483648LL, -2147483648LL },
    { "one past max", "2147483648", std::nullopt, std::nullopt },
    { "one past min", "-2147483649", std::nullopt, std::nullopt },
    { "leading zeros", "0000012", 12, 12 },
    { "dollar hex", "$FF", std::nullopt, 255 },
    { "x hex lower digits", "x1f", std::nullopt, 31 },
    { "X hex", "X10", std::nullopt, 16 },
    { "0x hex", "0x7FFFFFFF", std::nullopt, 2147483647 },
    { "0X hex with spaces in front", "  0X10", std::nullopt, 16 },
    { "hex beyond int32 refused", "$80000000", std::nullopt, std::nullopt },
    { "signed hex refused", "-$10", std::nullopt, std::nullopt },
    { "hex without digits refused", "$", std::nullopt, std::nullopt },
    { "0x without digits refused", "0x", std::nullopt, std::nullopt },
    { "hex with trailing space refused", "$10 ", std::nullopt, std::nullopt },
    { "bad hex digit refused", "$1G", std::nullopt, std::nullopt },
    { "word refused", "abc", std::nullopt, std::nullopt },
};

} // namespace

TEST(Converters, IntegerSyntaxes)
{
    for (const IntCase& c : kIntCases) {
        SCOPED_TRACE(c.name);
        const std::string message = std::string("'") + c.text + "' is not a valid integer value";
        if (c.decimal)
            EXPECT_EQ(toInt32(c.text), *c.decimal);
        else
            EXPECT_THROW_MSG(toInt32(c.text), ConvertError, message);
        if (c.offset)
            EXPECT_EQ(offsetToInt32(c.text), *c.offset);
        else
            EXPECT_THROW_MSG(offsetToInt32(c.text), ConvertError, message);
    }
}

TEST(Converters, Int64Range)
{
    // Up to 18 plain digits are read at once, longer or other texts by the general rules: both must agree.
    const struct {
        const char* name;
        const char* text;
        std::optional<int64_t> value; // nullopt: refused
    } cases[] = {
        { "beyond 32 bits", "4294967296", 4294967296LL },
        { "zero", "0", 0 },
        { "leading zeros", "007", 7 },
        { "18 digits, the most read at once", "999999999999999999", 999999999999999999LL },
        { "19 digits", "1000000000000000000", 1000000000000000000LL },
        { "int64 max", "9223372036854775807", std::numeric_limits<int64_t>::max() },
        { "int64 min", "-9223372036854775808", std::numeric_limits<int64_t>::min() },
        { "one past max", "9223372036854775808", std::nullopt },
        { "leading space", " 12", 12 },
        { "plus sign", "+12", 12 },
        { "trailing space refused", "12 ", std::nullopt },
        { "comma refused", "1,000", std::nullopt },
        { "empty refused", "", std::nullopt },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.value)
            EXPECT_EQ(toInt64(c.text), *c.value);
        else
            EXPECT_THROW_MSG(
                toInt64(c.text), ConvertError, std::string("'") + c.text + "' is not a valid integer value");
    }
}

namespace {

struct FloatCase {
    const char* name;
    const char* text;
    char separator;
    std::optional<double> value;
};

const FloatCase kFloatCases[] = {
    { "comma locale, comma", "4,79", ',', 4.79 },
    { "point locale, point", "4.79", '.', 4.79 },
    { "point refused under comma locale", "4.79", ',', std::nullopt },
    { "comma refused under point locale", "4,79", '.', std::nullopt },
    { "whole number", "5", ',', 5.0 },
    { "spaces around", "  2,5  ", ',', 2.5 },
    { "signs", "-0,5", ',', -0.5 },
    { "no digits before separator", ",5", ',', 0.5 },
    { "separator at the end", "5,", ',', 5.0 },
    { "exponent", "1,5E3", ',', 1500.0 },
    { "lower-case exponent with sign", "25e-1", '.', 2.5 },
    { "exponent without digits refused", "1E", '.', std::nullopt },
    { "two separators refused", "1,2,3", ',', std::nullopt },
    { "group separator refused", "1 000", ',', std::nullopt },
    { "only separator refused", ",", ',', std::nullopt },
    { "empty refused", "", ',', std::nullopt },
    { "exponent alone refused", "E5", '.', std::nullopt },
    { "word refused", "abc", '.', std::nullopt },
    { "tiny value becomes zero", "1E-400", '.', 0.0 },
};

} // namespace

TEST(Converters, FloatSyntax)
{
    for (const FloatCase& c : kFloatCases) {
        SCOPED_TRACE(c.name);
        if (c.value)
            EXPECT_DOUBLE_EQ(toFloat(c.text, c.separator), *c.value);
        else
            EXPECT_THROW_MSG(toFloat(c.text, c.separator), ConvertError,
                std::string("'") + c.text + "' is not a valid floating point value");
    }
    EXPECT_THROW_MSG(toFloat("1E400", '.'), ConvertError, "Floating point overflow");
}

TEST(Converters, FloatUsesCurrentLocale)
{
    ScopedLocale comma({ ',', ':' });
    EXPECT_DOUBLE_EQ(toFloat("4,79"), 4.79);
    EXPECT_EQ(formatFloat(4.79), "4,79");
}

namespace {

struct FormatCase {
    const char* name;
    double value;
    const char* text; // under a comma locale
};

// Fifteen significant digits, fixed notation from 1E-4 up to 1E15, else scientific.
const FormatCase kFormatCases[] = {
    { "zero", 0.0, "0" },
    { "negative zero", -0.0, "0" },
    { "whole number has no separator", 6.0, "6" },
    { "tariff", 4.79, "4,79" },
    { "4.79 * 3 rounds away the binary tail (14.370000000000001)", 4.79 * 3, "14,37" },
    { "4.79 * 5", 4.79 * 5, "23,95" },
    { "below one gets a leading zero", 0.5, "0,5" },
    { "smallest fixed value", 0.0001, "0,0001" },
    { "just below it is scientific", 0.00001, "1E-5" },
    { "negative", -2.25, "-2,25" },
    { "largest fixed magnitude", 999999999999999.0, "999999999999999" },
    { "1E15 is scientific", 1e15, "1E15" },
    { "scientific with digits", 1.5e20, "1,5E20" },
    { "rounds to 15 digits: 0.1 + 0.2", 0.1 + 0.2, "0,3" },
    { "16 digits round up into scientific", 9999999999999999.0, "1E16" },
    { "thousands are not grouped", 1234567.5, "1234567,5" },
    { "negative scientific", -2.5e-7, "-2,5E-7" },
};

} // namespace

TEST(Converters, FormatFloatGeneral)
{
    for (const FormatCase& c : kFormatCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(formatFloat(c.value, ','), c.text);
    }
    EXPECT_EQ(formatFloat(4.79, '.'), "4.79");
    EXPECT_EQ(formatFloat(std::numeric_limits<double>::infinity(), '.'), "INF");
}

TEST(Converters, FormattedFloatReadsBack)
{
    const double values[] = { 4.79, 0.1, 1.0 / 3.0, 123456.789, 1e-4, 2.5e20 };
    for (double v : values) {
        SCOPED_TRACE(v);
        const std::string text = formatFloat(v, ',');
        EXPECT_EQ(formatFloat(toFloat(text, ','), ','), text);
    }
}

namespace {

struct TimeCase {
    const char* name;
    const char* text;
    std::optional<int> seconds;
};

const TimeCase kTimeCases[] = {
    { "full time", "10:15:30", 10 * 3600 + 15 * 60 + 30 },
    { "hours and minutes", "10:15", 10 * 3600 + 15 * 60 },
    { "hours only", "7", 7 * 3600 },
    { "midnight", "00:00:00", 0 },
    { "last second of the day", "23:59:59", 86399 },
    { "spaces before numbers and separators", " 1 : 2 : 3 ", 3723 },
    { "hour 24 refused", "24:00:00", std::nullopt },
    { "minute 60 refused", "10:60:00", std::nullopt },
    { "second 60 refused", "10:00:60", std::nullopt },
    { "separator without number refused", "10:", std::nullopt },
    { "four parts refused", "1:2:3:4", std::nullopt },
    { "other separator refused", "10.15.30", std::nullopt },
    { "empty refused", "", std::nullopt },
    { "five digits refused (a digit left over after 1000)", "10000", std::nullopt },
};

} // namespace

TEST(Converters, TimeOfDay)
{
    for (const TimeCase& c : kTimeCases) {
        SCOPED_TRACE(c.name);
        if (c.seconds)
            EXPECT_DOUBLE_EQ(toTimeOfDay(c.text, ':'), *c.seconds / 86400.0);
        else
            EXPECT_THROW_MSG(
                toTimeOfDay(c.text, ':'), ConvertError, std::string("'") + c.text + "' is not a valid time");
    }
    EXPECT_DOUBLE_EQ(toTimeOfDay("10.15.30", '.'), (10 * 3600 + 15 * 60 + 30) / 86400.0);
}

TEST(Converters, ReadSmallNumber)
{
    struct Case {
        const char* name;
        const char* text;
        size_t start;
        size_t digits; // taken
        int value;
    } const cases[] = {
        { "no digit at the start", "x12", 0, 0, 0 },
        { "a space is no digit", " 12", 0, 0, 0 },
        { "empty text", "", 0, 0, 0 },
        { "one digit", "7", 0, 1, 7 },
        { "stops at the separator", "23:59", 0, 2, 23 },
        { "from the middle", "23:59", 3, 2, 59 },
        { "leading zeros count as digits", "007", 0, 3, 7 },
        // 999 is below 1000, so a fourth digit is still taken: 9999.
        { "four digits after 999", "9999", 0, 4, 9999 },
        // After 1000 no digit more: the fifth stays behind for the caller to refuse.
        { "fifth digit left behind", "10000", 0, 4, 1000 },
        { "long run", "1234567", 0, 4, 1234 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t pos = c.start;
        int value = -1;
        EXPECT_EQ(readSmallNumber(c.text, pos, value), c.digits);
        EXPECT_EQ(pos, c.start + c.digits);
        EXPECT_EQ(value, c.value);
    }
}

TEST(Converters, FormatInt)
{
    EXPECT_EQ(formatInt(0), "0");
    EXPECT_EQ(formatInt(-15), "-15");
    EXPECT_EQ(formatInt(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}
