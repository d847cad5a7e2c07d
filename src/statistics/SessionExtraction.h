#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class DayList;
class LogText;
class Table;
struct Charge;

/// The date-times of the session being read, which the charging reads (kept between rebuilds).
struct SessionTimes {
    double SessionStart = 0;
    double SessionEnd = 0;
};

/// Rebuilds the detailed table from the log: one row for every session that begins at a "CONNECT" line and
/// is closed by "Session completed successfully" or "Aborting due to carrier loss", restricted to the days
/// dat1Text..dat2Text when both texts are given. An address is kept to its first 255 characters.
/// dat1: the day list of Dat1 (only grows); dat2Items: replaced by a copy of dat1's items at the end of a
/// completed rebuild. Raises the conversion or input/output error at the line that fails (rows counted so
/// far stay, log closed, dat2Items untouched). Hiding, showing and scrolling the table are the caller's.
void FillTabl(LogText& log, std::string_view dat1Text, std::string_view dat2Text, const Charge& charge, Table& Str,
    DayList& dat1, std::vector<std::string>& dat2Items, SessionTimes& times);

} // namespace velmar
