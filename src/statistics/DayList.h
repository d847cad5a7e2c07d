#pragma once

#include "statistics/HashIndex.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// The days the date boxes offer: date texts in the order they were first counted, each once (letter case
/// ignored), with a hashed look-up so that counting a session never scans the list.
class DayList {
public:
    const std::vector<std::string>& items() const { return items_; }
    bool contains(std::string_view day) const;
    /// Appends the day unless it is already listed; true when it was appended.
    bool add(std::string_view day);

private:
    size_t find(std::string_view day, uint64_t foldedHash) const;

    std::vector<std::string> items_;
    HashIndex index_; // the items by the hash of their folded text
    std::string folded_; // the day being added, folded
};

/// Makes the list of last days begin at the first day picked: `picked` is the index of the chosen item of
/// `dat1`; `dat2` is trimmed in front of that day, or extended with the `dat1` days from it on.
void Dat1Select(const std::vector<std::string>& dat1, int picked, std::vector<std::string>& dat2);

/// What the apply button does with the two texts of the date boxes.
enum class RangeAction {
    Rebuild, ///< both texts are dates and the last is not before the first: rebuild the tables
    Clear, ///< a text is empty or the last day lies before the first: empty both texts, no rebuild
};

/// Decides the apply button; raises the date conversion error for a text that is not a log date.
RangeAction ApplyRange(std::string_view dat1Text, std::string_view dat2Text);

} // namespace velmar
