#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmar {

/// True for the decimal digits "0" to "9" only, whatever the locale.
constexpr bool isDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// A size as the mailer and the tables write it: decimal digits with commas anywhere among them, 1 to `most`
/// digits (at most 19, which always fit), read in one pass into value; false for any other text, which is
/// then left to the general rules. The sum is unsigned, so that a longer run cannot overflow it before it
/// is refused.
inline bool readDigitsAndCommas(std::string_view text, size_t most, uint64_t& value)
{
    uint64_t quick = 0;
    size_t digits = 0;
    for (const char c : text) {
        if (isDecimalDigit(c)) {
            quick = quick * 10 + static_cast<unsigned>(c - '0');
            ++digits;
        } else if (c != ',') {
            return false;
        }
    }
    if (digits == 0 || digits > most)
        return false;
    value = quick;
    return true;
}

/// Reads the run of decimal digits that starts at text[pos] into value and moves pos behind what it took.
/// A further digit is taken only while the value is below 1000, so a longer run stops with a digit left at
/// pos that no later rule of a date or time accepts. Returns the number of digits taken (0: none at pos).
size_t readSmallNumber(std::string_view text, size_t& pos, int& value);

/// A decimal integer: optional leading spaces, an optional "+" or "-", decimal digits and nothing after them,
/// within the signed 32-bit range. Anything else raises "'<text>' is not a valid integer value".
int32_t toInt32(std::string_view text);

/// The same syntax within the signed 64-bit range.
int64_t toInt64(std::string_view text);

/// An offset in seconds: optional leading spaces, then a signed decimal integer or an unsigned hexadecimal
/// number introduced by "$", "x", "X", "0x" or "0X"; nothing may follow. Within the signed 32-bit range.
int32_t offsetToInt32(std::string_view text);

/// A number in the locale's notation: optional spaces, an optional sign, digits with at most one decimal
/// separator, an optional exponent ("E" or "e", optional sign, digits), optional spaces.
/// Raises "'<text>' is not a valid floating point value", or "Floating point overflow" beyond a double.
double toFloat(std::string_view text, char decimalSeparator);
/// As above with the decimal separator of the current locale.
double toFloat(std::string_view text);

/// A time of day: hours, then optionally minutes and then seconds, joined by the time separator, spaces
/// allowed before each number and separator and at the end; hours 0-23, minutes and seconds 0-59.
/// Returns the fraction of a day; raises "'<text>' is not a valid time".
double toTimeOfDay(std::string_view text, char timeSeparator);
/// As above with the time separator of the current locale.
double toTimeOfDay(std::string_view text);

/// The plain decimal text of an integer, with "-" for a negative one.
std::string formatInt(int64_t value);

/// A number in general form: rounded to 15 significant digits without trailing zeros; fixed notation from
/// 0.0001 up to (not including) 1E15, else scientific ("1,5E20", "1E-5"); the given decimal separator.
std::string formatFloat(double value, char decimalSeparator);
/// As above with the decimal separator of the current locale.
std::string formatFloat(double value);

} // namespace velmar
