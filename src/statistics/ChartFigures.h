#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmar {

class Table;

/// The sessions of one calendar month.
struct MonthFigure {
    int year = 0;
    int month = 0; // 1 to 12
    double money = 0.0;
    int64_t minutes = 0;
    int64_t sessions = 0;
};

/// The money of one remote address (letter case ignored, the first spelling kept).
struct AddressFigure {
    std::string address;
    double money = 0.0;
    int64_t sessions = 0;
};

/// What the charts show of the detailed table.
struct ChartFigures {
    /// Every month from the first to the last month with a session, in calendar order; months without a
    /// session between them are there with zeros, unless the span is so long that only months with sessions
    /// are listed.
    std::vector<MonthFigure> months;
    /// The addresses with the most money, at most `kTopAddresses`, most money first (ties in log order).
    std::vector<AddressFigure> topAddresses;
    /// The addresses behind the top ones summed; `restAddresses` is 0 when there are none.
    double restMoney = 0.0;
    int64_t restSessions = 0;
    int64_t restAddresses = 0;
    /// Sessions by the hour of their start time, 0 to 23.
    std::array<int64_t, 24> sessionsByHour {};
    int64_t sessions = 0;

    static constexpr size_t kTopAddresses = 10;
    /// The longest span of months that is listed with its empty months.
    static constexpr int kMaxMonthSpan = 1200;
};

/// The chart figures taken in a few detailed rows at a time, so that rows appended later are added to
/// what is known instead of reading the whole table again.
class ChartTally {
public:
    /// Adds the detailed rows first to end - 1 (an empty date marks the empty row of a table without
    /// sessions and is passed over). Raises the conversion error of a cell that does not read back; the
    /// rows before it stay added.
    void add(const Table& Str, int first, int end);
    /// The figures of every row added.
    ChartFigures figures() const;

private:
    struct MonthSums {
        double money = 0.0;
        int64_t minutes = 0;
        int64_t sessions = 0;
    };

    std::map<int64_t, MonthSums> byMonth_; // year * 12 + month - 1
    std::vector<AddressFigure> addresses_; // in the order the log first shows them
    std::unordered_map<std::string, size_t> addressIndex_; // folded address -> its entry
    std::array<int64_t, 24> byHour_ {};
    int64_t sessions_ = 0;
    // Sessions of one day stand together in the log, so the date of the row before is usually the same.
    std::string lastDate_;
    int64_t lastMonth_ = -1;
};

/// Computes the chart figures from the rows of the detailed table: date (column 0), start time (1),
/// address (3), minutes (4) and money (6), read back from their texts with the conversions of the tables.
/// Raises the conversion error of the first cell that does not read back.
ChartFigures chartFigures(const Table& Str);

/// The caption of a month bar: the log's month word and the year, such as "Sen 2003".
std::string monthLabel(int year, int month);

} // namespace velmar
