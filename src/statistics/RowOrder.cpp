#include "statistics/RowOrder.h"

#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "statistics/LogDate.h"
#include "statistics/SizeText.h"
#include "statistics/Table.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <string>
#include <unordered_map>

namespace velmar {

namespace {

constexpr SortKind kDetailedKinds[] = { SortKind::Date, SortKind::Time, SortKind::Time, SortKind::Address,
    SortKind::Count, SortKind::Size, SortKind::Money };
constexpr SortKind kSummaryKinds[]
    = { SortKind::Address, SortKind::Count, SortKind::Size, SortKind::Money, SortKind::Count };

// The key of a text that does not read: before every number.
constexpr double kUnreadable = -std::numeric_limits<double>::infinity();

double numberOf(std::string_view text, SortKind kind)
{
    try {
        switch (kind) {
        case SortKind::Count:
            return static_cast<double>(toInt64(text));
        case SortKind::Size:
            return static_cast<double>(StrToSize(text));
        case SortKind::Money:
            return toFloat(text);
        case SortKind::Date:
            return VelmarToDate(text);
        case SortKind::Time:
            return toTimeOfDay(text);
        case SortKind::Address:
            break;
        }
    } catch (const ConvertError&) {
    }
    return kUnreadable;
}

template <typename Key> std::vector<int> orderByKeys(const std::vector<Key>& keys, int first, bool descending)
{
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    if (descending)
        std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) { return keys[b] < keys[a]; });
    else
        std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) { return keys[a] < keys[b]; });
    for (int& row : order)
        row += first;
    return order;
}

} // namespace

SortKind detailedColumnKind(int column)
{
    return column >= 0 && column < 7 ? kDetailedKinds[column] : SortKind::Address;
}

SortKind summaryColumnKind(int column)
{
    return column >= 0 && column < 5 ? kSummaryKinds[column] : SortKind::Address;
}

std::vector<int> sortedRows(const Table& table, int column, SortKind kind, int first, int last, bool descending)
{
    first = std::max(first, 0);
    if (last < first)
        return {};
    const size_t count = static_cast<size_t>(last - first) + 1;
    if (kind == SortKind::Address) {
        // A log calls few addresses many times: each distinct address (letter case folded) is compared
        // once, and the rows are sorted by the rank of theirs.
        std::unordered_map<std::string, int> ids;
        std::vector<int> idOfRow(count);
        for (size_t i = 0; i < count; ++i) {
            const auto inserted = ids.try_emplace(
                foldCase(table.cell(column, first + static_cast<int>(i))), static_cast<int>(ids.size()));
            idOfRow[i] = inserted.first->second;
        }
        std::vector<const std::string*> distinct(ids.size());
        for (const auto& entry : ids)
            distinct[static_cast<size_t>(entry.second)] = &entry.first;
        std::vector<int> byText(distinct.size());
        std::iota(byText.begin(), byText.end(), 0);
        std::sort(byText.begin(), byText.end(), [&distinct](int a, int b) { return *distinct[a] < *distinct[b]; });
        std::vector<int> rank(distinct.size());
        for (size_t r = 0; r < byText.size(); ++r)
            rank[static_cast<size_t>(byText[r])] = static_cast<int>(r);
        std::vector<int> keys(count);
        for (size_t i = 0; i < count; ++i)
            keys[i] = rank[static_cast<size_t>(idOfRow[i])];
        return orderByKeys(keys, first, descending);
    }
    std::vector<double> keys(count);
    // A log has many sessions a day: a date text equal to the one before is not read again.
    std::string_view previous;
    double previousKey = 0;
    bool havePrevious = false;
    for (size_t i = 0; i < count; ++i) {
        const std::string_view text = table.cell(column, first + static_cast<int>(i));
        if (havePrevious && text == previous) {
            keys[i] = previousKey;
            continue;
        }
        keys[i] = numberOf(text, kind);
        previous = text;
        previousKey = keys[i];
        havePrevious = true;
    }
    return orderByKeys(keys, first, descending);
}

} // namespace velmar

namespace velmar {

namespace {

// Inserts each new row behind the rows whose keys it does not come before: rows of equal keys stay in
// table order, and every new row stands behind all the rows of `order` in the table.
template <typename KeyOf>
void insertByKeys(std::vector<int>& order, int firstNew, int lastNew, bool descending, KeyOf&& keyOf)
{
    for (int row = firstNew; row <= lastNew; ++row) {
        const auto key = keyOf(row);
        const auto place = std::upper_bound(order.begin(), order.end(), key, [&](const auto& newKey, int other) {
            const auto otherKey = keyOf(other);
            return descending ? otherKey < newKey : newKey < otherKey;
        });
        order.insert(place, row);
    }
}

} // namespace

void insertSortedRows(
    const Table& table, int column, SortKind kind, std::vector<int>& order, int firstNew, int lastNew, bool descending)
{
    firstNew = std::max(firstNew, 0);
    if (kind == SortKind::Address)
        insertByKeys(order, firstNew, lastNew, descending, [&](int row) { return foldCase(table.cell(column, row)); });
    else
        insertByKeys(
            order, firstNew, lastNew, descending, [&](int row) { return numberOf(table.cell(column, row), kind); });
}

} // namespace velmar
