#include "statistics/HashIndex.h"

#include <algorithm>
#include <cstring>

namespace velmar {

uint64_t hashOfText(std::string_view text)
{
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
    uint64_t hash = text.size() * kMultiplier;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    if (i < text.size()) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, text.size() - i);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    return hash * kMultiplier;
}

void HashIndex::add(uint64_t hash, size_t item, size_t items)
{
    // At most half full, so that a look-up meets an empty entry soon.
    if (2 * items > entries_.size()) {
        std::vector<Entry> old(std::max<size_t>(64, entries_.size() * 2));
        old.swap(entries_);
        const size_t mask = entries_.size() - 1;
        for (const Entry& entry : old) {
            if (entry.item == kNone)
                continue;
            size_t at = entry.hash & mask;
            while (entries_[at].item != kNone)
                at = (at + 1) & mask;
            entries_[at] = entry;
        }
    }
    const size_t mask = entries_.size() - 1;
    size_t at = hash & mask;
    while (entries_[at].item != kNone)
        at = (at + 1) & mask;
    entries_[at] = { hash, item };
}

} // namespace velmar
