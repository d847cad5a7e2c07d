#include "statistics/ChartFigures.h"

#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Saturating.h"
#include "statistics/LogDate.h"
#include "statistics/Table.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

namespace velmar {

namespace {

// A month as one number, so that months sort and step in calendar order.
int64_t monthIndex(int year, int month)
{
    return static_cast<int64_t>(year) * 12 + (month - 1);
}

// The hour of a time of day given as a fraction of a day, rounded to the second as the tables show it.
int hourOf(double timeOfDay)
{
    const int64_t second = std::llround(timeOfDay * 86400.0);
    return static_cast<int>(std::clamp<int64_t>(second / 3600, 0, 23));
}

void addMonths(ChartFigures& figures, const std::map<int64_t, MonthFigure>& byMonth)
{
    if (byMonth.empty())
        return;
    const int64_t first = byMonth.begin()->first;
    const int64_t last = byMonth.rbegin()->first;
    if (last - first >= ChartFigures::kMaxMonthSpan) {
        for (const auto& entry : byMonth)
            figures.months.push_back(entry.second);
        return;
    }
    for (int64_t index = first; index <= last; ++index) {
        const auto found = byMonth.find(index);
        if (found != byMonth.end()) {
            figures.months.push_back(found->second);
        } else {
            MonthFigure empty;
            empty.year = static_cast<int>(index / 12);
            empty.month = static_cast<int>(index % 12) + 1;
            figures.months.push_back(empty);
        }
    }
}

void addAddresses(ChartFigures& figures, std::vector<AddressFigure> addresses)
{
    // Stable, so that addresses of equal money stay in the order the log first shows them.
    std::stable_sort(addresses.begin(), addresses.end(),
        [](const AddressFigure& a, const AddressFigure& b) { return a.money > b.money; });
    const size_t top = std::min(addresses.size(), ChartFigures::kTopAddresses);
    for (size_t i = top; i < addresses.size(); ++i) {
        figures.restMoney += addresses[i].money;
        figures.restSessions = addSaturating(figures.restSessions, addresses[i].sessions);
        ++figures.restAddresses;
    }
    addresses.resize(top);
    figures.topAddresses = std::move(addresses);
}

} // namespace

ChartFigures chartFigures(const Table& Str)
{
    ChartFigures figures;
    std::map<int64_t, MonthFigure> byMonth;
    std::vector<AddressFigure> addresses;
    std::unordered_map<std::string, size_t> addressIndex; // folded address -> its entry

    // Sessions of one day stand together in the log, so the date of the row before is usually the same.
    std::string lastDate;
    MonthFigure* lastMonth = nullptr;

    const int rows = Str.rowCount();
    std::array<std::string_view, 7> cells {};
    for (int r = 1; r < rows; ++r) {
        Str.rowCells(r, cells);
        if (cells[0].empty())
            continue; // the empty data row of a table without sessions
        if (lastMonth == nullptr || cells[0] != lastDate) {
            int year = 0, month = 0, day = 0;
            calendarDate(VelmarToDate(cells[0]), year, month, day);
            MonthFigure& entry = byMonth[monthIndex(year, month)];
            entry.year = year;
            entry.month = month;
            lastMonth = &entry;
            lastDate.assign(cells[0]);
        }
        const int64_t minutes = toInt64(cells[4]);
        const double money = toFloat(cells[6]);
        const int hour = hourOf(toTimeOfDay(cells[1]));

        lastMonth->money += money;
        lastMonth->minutes = addSaturating(lastMonth->minutes, minutes);
        lastMonth->sessions = addSaturating(lastMonth->sessions, 1);
        ++figures.sessionsByHour[static_cast<size_t>(hour)];
        ++figures.sessions;

        const auto [found, added] = addressIndex.try_emplace(foldCase(cells[3]), addresses.size());
        if (added)
            addresses.push_back(AddressFigure { std::string(cells[3]), 0.0, 0 });
        AddressFigure& address = addresses[found->second];
        address.money += money;
        address.sessions = addSaturating(address.sessions, 1);
    }

    addMonths(figures, byMonth);
    addAddresses(figures, std::move(addresses));
    return figures;
}

std::string monthLabel(int year, int month)
{
    return std::string(monthWord(month)) + " " + formatInt(year);
}

} // namespace velmar
