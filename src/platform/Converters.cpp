#include "platform/Converters.h"

#include "platform/Errors.h"
#include "platform/Locale.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace velmar {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads the integer syntaxes; false when the text is not one of them or lies outside [low, high].
bool parseInteger(std::string_view text, bool allowHex, int64_t low, int64_t high, int64_t& out)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size())
        return false;

    if (allowHex) {
        size_t digitsAt = std::string_view::npos;
        if (text[i] == '$' || text[i] == 'x' || text[i] == 'X')
            digitsAt = i + 1;
        else if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))
            digitsAt = i + 2;
        if (digitsAt != std::string_view::npos) {
            if (digitsAt == text.size())
                return false;
            uint64_t value = 0;
            for (size_t k = digitsAt; k < text.size(); ++k) {
                const int d = hexValue(text[k]);
                if (d < 0)
                    return false;
                value = value * 16 + static_cast<uint64_t>(d);
                if (value > static_cast<uint64_t>(high))
                    return false;
            }
            out = static_cast<int64_t>(value);
            return true;
        }
    }

    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    // Accumulate as a negative number so that the lowest value of the range is reachable.
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!isDecimalDigit(text[i]))
            return false;
        const int d = text[i] - '0';
        if (value < (std::numeric_limits<int64_t>::min() + d) / 10)
            return false;
        value = value * 10 - d;
    }
    if (!negative) {
        if (value < -high)
            return false;
        value = -value;
    } else if (value < low) {
        return false;
    }
    out = value;
    return true;
}

locale_t cLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

} // namespace

size_t readSmallNumber(std::string_view text, size_t& pos, int& value)
{
    const size_t start = pos;
    value = 0;
    while (pos < text.size() && isDecimalDigit(text[pos]) && value < 1000)
        value = value * 10 + (text[pos++] - '0');
    return pos - start;
}

namespace {

// A text of 1 to `most` decimal digits and nothing else, read at once; false for anything else. Sizes and
// minutes are such short runs of digits, and `most` digits always fit.
bool readDigits(std::string_view text, size_t most, int64_t& value)
{
    if (text.empty() || text.size() > most)
        return false;
    int64_t quick = 0;
    for (const char c : text) {
        if (!isDecimalDigit(c))
            return false;
        quick = quick * 10 + (c - '0');
    }
    value = quick;
    return true;
}

} // namespace

int32_t toInt32(std::string_view text)
{
    int64_t value = 0;
    if (readDigits(text, 9, value))
        return static_cast<int32_t>(value);
    if (!parseInteger(text, false, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), value))
        throw ConvertError::invalidInteger(text);
    return static_cast<int32_t>(value);
}

int64_t toInt64(std::string_view text)
{
    int64_t value = 0;
    if (readDigits(text, 18, value))
        return value;
    if (!parseInteger(text, false, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), value))
        throw ConvertError::invalidInteger(text);
    return value;
}

int32_t offsetToInt32(std::string_view text)
{
    int64_t value = 0;
    if (!parseInteger(text, true, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), value))
        throw ConvertError::invalidInteger(text);
    return static_cast<int32_t>(value);
}

double toFloat(std::string_view text, char decimalSeparator)
{
    // Check the syntax and rewrite the number with a point for the C library.
    std::string number;
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        number += text[i++];
    bool digits = false;
    bool separator = false;
    for (; i < text.size(); ++i) {
        if (isDecimalDigit(text[i])) {
            digits = true;
            number += text[i];
        } else if (text[i] == decimalSeparator && !separator) {
            separator = true;
            number += '.';
        } else {
            break;
        }
    }
    if (!digits)
        throw ConvertError::invalidFloat(text);
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        number += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            number += text[i++];
        bool exponentDigits = false;
        for (; i < text.size() && isDecimalDigit(text[i]); ++i) {
            exponentDigits = true;
            number += text[i];
        }
        if (!exponentDigits)
            throw ConvertError::invalidFloat(text);
    }
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i != text.size())
        throw ConvertError::invalidFloat(text);

    errno = 0;
    const double value = strtod_l(number.c_str(), nullptr, cLocale());
    if (std::isinf(value))
        throw ConvertError::floatOverflow();
    return value;
}

double toFloat(std::string_view text)
{
    return toFloat(text, currentLocale().decimalSeparator);
}

double toTimeOfDay(std::string_view text, char timeSeparator)
{
    // The log writes every time as hh:mm:ss; that form needs none of the general rules.
    if (text.size() == 8 && text[2] == timeSeparator && text[5] == timeSeparator && isDecimalDigit(text[0])
        && isDecimalDigit(text[1]) && isDecimalDigit(text[3]) && isDecimalDigit(text[4]) && isDecimalDigit(text[6])
        && isDecimalDigit(text[7])) {
        const int hours = (text[0] - '0') * 10 + (text[1] - '0');
        const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
        const int seconds = (text[6] - '0') * 10 + (text[7] - '0');
        if (hours <= 23 && minutes <= 59 && seconds <= 59)
            return (hours * 3600 + minutes * 60 + seconds) / 86400.0;
        throw ConvertError::invalidTime(text);
    }
    size_t i = 0;
    auto skipSpaces = [&] {
        while (i < text.size() && text[i] == ' ')
            ++i;
    };
    // A number is read from the left; a digit left behind it makes the text invalid.
    auto number = [&](int& out) {
        skipSpaces();
        return readSmallNumber(text, i, out) > 0 && !(i < text.size() && isDecimalDigit(text[i]));
    };
    auto separator = [&] {
        skipSpaces();
        if (i < text.size() && text[i] == timeSeparator) {
            ++i;
            return true;
        }
        return false;
    };

    int parts[3] = { 0, 0, 0 };
    bool ok = number(parts[0]);
    if (ok && separator()) {
        ok = number(parts[1]);
        if (ok && separator())
            ok = number(parts[2]);
    }
    skipSpaces();
    if (!ok || i != text.size() || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        throw ConvertError::invalidTime(text);
    return (parts[0] * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
}

double toTimeOfDay(std::string_view text)
{
    return toTimeOfDay(text, currentLocale().timeSeparator);
}

std::string formatInt(int64_t value)
{
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string formatFloat(double value, char decimalSeparator)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";

    // Fifteen significant digits, correctly rounded, in the form d.ddddddddddddddde[+-]x.
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14).ptr;
    const std::string_view sci(buffer, static_cast<size_t>(end - buffer));
    const size_t ePos = sci.find('e');
    bool negative = sci[0] == '-';
    std::string digits;
    for (char c : sci.substr(0, ePos)) {
        if (isDecimalDigit(c))
            digits += c;
    }
    int exponent = 0;
    std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string result = negative ? "-" : "";
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            result += '0';
            result += decimalSeparator;
            result.append(static_cast<size_t>(-exponent - 1), '0');
            result += digits;
        } else {
            const size_t intDigits = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                result += digits;
                result.append(intDigits - digits.size(), '0');
            } else {
                result.append(digits, 0, intDigits);
                result += decimalSeparator;
                result.append(digits, intDigits, std::string::npos);
            }
        }
    } else {
        result += digits[0];
        if (digits.size() > 1) {
            result += decimalSeparator;
            result.append(digits, 1, std::string::npos);
        }
        result += 'E';
        result += formatInt(exponent);
    }
    return result;
}

std::string formatFloat(double value)
{
    return formatFloat(value, currentLocale().decimalSeparator);
}

} // namespace velmar
