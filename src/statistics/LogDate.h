#pragma once

#include <string_view>

namespace velmar {

/// The day of a log date text such as 12-Mar-2003 as a date value: days since 30 December 1899, no fraction.
/// The month word is one of Jan Feb Mar Apr May Jun Jul Aug Sen Okt Nob Dec (exact letter case); the date
/// is read day, month, year with "-" between them, the year optional (then the current year) and one or two
/// year digits taken within the hundred years that begin 50 years before the current year.
/// Raises "'<text>' is not a valid date", with the month word already replaced by its number.
double VelmarToDate(std::string_view text);

/// Days from 30 December 1899 to a calendar date (no check of the date).
double dateValue(int year, int month, int day);

/// The calendar date of a date value's day (its fraction ignored): the inverse of dateValue.
void calendarDate(double date, int& year, int& month, int& day);

/// The log's word for a month 1 to 12 ("Sen" for September); empty outside that range.
std::string_view monthWord(int month);

} // namespace velmar
