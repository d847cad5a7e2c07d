#include "statistics/ChartFigures.h"

#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Saturating.h"
#include "statistics/LogDate.h"
#include "statistics/Table.h"

#include <algorithm>
#include <cmath>

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

} // namespace

void ChartTally::add(const Table& Str, int first, int end)
{
    std::array<std::string_view, 7> cells {};
    for (int r = first; r < end; ++r) {
        Str.rowCells(r, cells);
        if (cells[0].empty())
            continue; // the empty data row of a table without sessions
        if (lastMonth_ < 0 || cells[0] != lastDate_) {
            int year = 0, month = 0, day = 0;
            calendarDate(VelmarToDate(cells[0]), year, month, day);
            lastMonth_ = monthIndex(year, month);
            lastDate_.assign(cells[0]);
        }
        const int64_t minutes = toInt64(cells[4]);
        const double money = toFloat(cells[6]);
        const int hour = hourOf(toTimeOfDay(cells[1]));

        MonthSums& month = byMonth_[lastMonth_];
        month.money += money;
        month.minutes = addSaturating(month.minutes, minutes);
        month.sessions = addSaturating(month.sessions, 1);
        ++byHour_[static_cast<size_t>(hour)];
        ++sessions_;

        const auto [found, added] = addressIndex_.try_emplace(foldCase(cells[3]), addresses_.size());
        if (added)
            addresses_.push_back(AddressFigure { std::string(cells[3]), 0.0, 0 });
        AddressFigure& address = addresses_[found->second];
        address.money += money;
        address.sessions = addSaturating(address.sessions, 1);
    }
}

ChartFigures ChartTally::figures() const
{
    ChartFigures figures;
    figures.sessions = sessions_;
    figures.sessionsByHour = byHour_;

    const auto monthOf = [](int64_t index, const MonthSums& sums) {
        MonthFigure m;
        m.year = static_cast<int>(index / 12);
        m.month = static_cast<int>(index % 12) + 1;
        m.money = sums.money;
        m.minutes = sums.minutes;
        m.sessions = sums.sessions;
        return m;
    };
    if (!byMonth_.empty()) {
        const int64_t firstMonth = byMonth_.begin()->first;
        const int64_t lastMonth = byMonth_.rbegin()->first;
        if (lastMonth - firstMonth >= ChartFigures::kMaxMonthSpan) {
            for (const auto& [index, sums] : byMonth_)
                figures.months.push_back(monthOf(index, sums));
        } else {
            for (int64_t index = firstMonth; index <= lastMonth; ++index) {
                const auto found = byMonth_.find(index);
                figures.months.push_back(monthOf(index, found != byMonth_.end() ? found->second : MonthSums {}));
            }
        }
    }

    // Stable, so that addresses of equal money stay in the order the log first shows them.
    std::vector<AddressFigure> addresses = addresses_;
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
    return figures;
}

ChartFigures chartFigures(const Table& Str)
{
    ChartTally tally;
    tally.add(Str, 1, Str.rowCount());
    return tally.figures();
}

std::string monthLabel(int year, int month)
{
    return std::string(monthWord(month)) + " " + formatInt(year);
}

} // namespace velmar
