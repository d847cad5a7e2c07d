#include "statistics/LogDate.h"

#include "platform/Clock.h"
#include "platform/Converters.h"
#include "platform/Errors.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

namespace velmar {

namespace {

// The mailer writes September, October and November with these words; Sep, Oct and Nov are not its own.
constexpr std::array<std::string_view, 12> kMonthWords
    = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sen", "Okt", "Nob", "Dec" };
constexpr std::array<std::string_view, 12> kMonthNumbers
    = { "01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12" };

constexpr char kDateSeparator = '-';

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads "day-month[-year[-]]" with spaces allowed before every number and separator and at the end.
class DateReader {
public:
    explicit DateReader(std::string_view text)
        : text_(text)
    {
    }

    // A run of digits, of which a long one leaves a digit behind that no later rule accepts.
    bool number(int& value, int& digits)
    {
        skipSpaces();
        digits = static_cast<int>(readSmallNumber(text_, pos_, value));
        return digits > 0;
    }

    bool separator()
    {
        skipSpaces();
        if (pos_ < text_.size() && text_[pos_] == kDateSeparator) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool atEnd()
    {
        skipSpaces();
        return pos_ == text_.size();
    }

private:
    void skipSpaces()
    {
        while (pos_ < text_.size() && text_[pos_] == ' ')
            ++pos_;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// One or two year digits name the year within the hundred years that begin 50 years before now.
int expandYear(int year)
{
    const int windowStart = currentYear() - 50;
    int expanded = year + windowStart / 100 * 100;
    if (expanded < windowStart)
        expanded += 100;
    return expanded;
}

bool readDate(std::string_view text, double& result)
{
    DateReader reader(text);
    int day = 0, month = 0, year = 0, digits = 0;
    if (!reader.number(day, digits) || !reader.separator() || !reader.number(month, digits))
        return false;
    if (reader.separator()) {
        if (!reader.number(year, digits))
            return false;
        if (digits <= 2)
            year = expandYear(year);
        reader.separator();
    } else {
        year = currentYear();
    }
    if (!reader.atEnd())
        return false;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return false;
    result = dateValue(year, month, day);
    return true;
}

} // namespace

double VelmarToDate(std::string_view text)
{
    // The month word stands after the first hyphen, or at the start of a text without one.
    const size_t hyphen = text.find(kDateSeparator);
    const size_t monthAt = hyphen == std::string_view::npos ? 0 : hyphen + 1;
    const std::string_view word = text.substr(monthAt, 3);

    std::string rebuilt(text);
    for (size_t i = 0; i < kMonthWords.size(); ++i) {
        if (word == kMonthWords[i]) {
            rebuilt.replace(monthAt, word.size(), kMonthNumbers[i]);
            break;
        }
    }

    double value = 0;
    if (!readDate(rebuilt, value))
        throw ConvertError::invalidDate(rebuilt);
    return value;
}

double dateValue(int year, int month, int day)
{
    // Days from 1 March of year 0 of the proleptic Gregorian calendar, in 400-year eras of 146097 days.
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t m = month;
    const int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra;
    // 30 December 1899 is day 693899 of that count.
    return static_cast<double>(days - 693899);
}

void calendarDate(double date, int& year, int& month, int& day)
{
    // The steps of dateValue backwards, on the same count of days from 1 March of year 0.
    const int64_t days = static_cast<int64_t>(std::floor(date)) + 693899;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t m = (5 * dayOfYear + 2) / 153; // 0 is March
    day = static_cast<int>(dayOfYear - (153 * m + 2) / 5 + 1);
    month = static_cast<int>(m < 10 ? m + 3 : m - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

std::string_view monthWord(int month)
{
    return month >= 1 && month <= 12 ? kMonthWords[static_cast<size_t>(month - 1)] : std::string_view {};
}

} // namespace velmar
