#include "statistics/DayList.h"

#include "platform/CodePage.h"
#include "statistics/LogDate.h"

#include <algorithm>

namespace velmar {

size_t DayList::find(std::string_view day, uint64_t foldedHash) const
{
    return index_.find(foldedHash, [&](size_t item) { return sameTextIgnoringCase(items_[item], day); });
}

bool DayList::contains(std::string_view day) const
{
    return find(day, hashOfText(foldCase(day))) != HashIndex::kNone;
}

bool DayList::add(std::string_view day)
{
    foldCaseInto(day, folded_);
    const uint64_t hash = hashOfText(folded_);
    if (find(day, hash) != HashIndex::kNone)
        return false;
    items_.emplace_back(day);
    index_.add(hash, items_.size() - 1, items_.size());
    return true;
}

namespace {

// The index of the first item equal to the text ignoring letter case, or -1.
int indexOf(const std::vector<std::string>& items, std::string_view text)
{
    const auto found = std::find_if(
        items.begin(), items.end(), [text](const std::string& item) { return sameTextIgnoringCase(item, text); });
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

} // namespace

void Dat1Select(const std::vector<std::string>& dat1, int picked, std::vector<std::string>& dat2)
{
    if (picked < 0 || static_cast<size_t>(picked) >= dat1.size())
        return;

    // Drop the days in front of the picked one.
    const int k = indexOf(dat2, dat1[static_cast<size_t>(picked)]);
    if (k > 0)
        dat2.erase(dat2.begin(), dat2.begin() + k);

    // Put back the days from the picked one up to where the list now begins. An empty list begins after
    // the last day, so it gets every day from the picked one on.
    const int j = dat2.empty() ? static_cast<int>(dat1.size()) : indexOf(dat1, dat2.front());
    if (j - 1 >= picked)
        dat2.insert(dat2.begin(), dat1.begin() + picked, dat1.begin() + j);
}

RangeAction ApplyRange(std::string_view dat1Text, std::string_view dat2Text)
{
    if (dat1Text.empty() || dat2Text.empty())
        return RangeAction::Clear;
    const double first = VelmarToDate(dat1Text);
    const double last = VelmarToDate(dat2Text);
    return last >= first ? RangeAction::Rebuild : RangeAction::Clear;
}

} // namespace velmar
