#include "statistics/HashIndex.h"

#include <algorithm>
#include <cstring>

namespace velmar {

namespace {

uint64_t load64(const char* at)
{
    uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
}

uint32_t load32(const char* at)
{
    uint32_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
}

} // namespace

uint64_t hashOfText(std::string_view text)
{
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
    const char* const data = text.data();
    const size_t size = text.size();
    uint64_t hash = size * kMultiplier;
    const auto mix = [&](uint64_t word) {
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    };
    size_t i = 0;
    for (; i + 8 <= size; i += 8)
        mix(load64(data + i));
    // The bytes left, 1 to 7, in loads of fixed size (a copy of a varying size would call the C library):
    // the last eight bytes of a text of at least eight, else the first and last four, or the first, the
    // middle and the last byte. The size mixed in first tells apart texts that the overlap would not.
    if (i < size) {
        if (size >= 8) {
            mix(load64(data + size - 8));
        } else if (size >= 4) {
            mix(uint64_t { load32(data) } << 32 | load32(data + size - 4));
        } else {
            mix(uint64_t { static_cast<unsigned char>(data[0]) } << 16
                | uint64_t { static_cast<unsigned char>(data[size / 2]) } << 8
                | static_cast<unsigned char>(data[size - 1]));
        }
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
