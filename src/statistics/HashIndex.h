#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velmar {

/// A hash of a text, eight bytes at a time.
uint64_t hashOfText(std::string_view text);

/// Numbered items by a key: open addressing over a table whose size is a power of two, each entry the key's
/// hash and the item's number. The items themselves stay with the caller, who tells whether an item has the
/// key; no key is copied or allocated for a look-up.
class HashIndex {
public:
    static constexpr size_t kNone = ~size_t { 0 };

    /// The item whose key hashes to `hash` and for which `isKey(item)` holds, or kNone.
    template <class IsKey> size_t find(uint64_t hash, IsKey isKey) const
    {
        if (entries_.empty())
            return kNone;
        const size_t mask = entries_.size() - 1;
        for (size_t at = hash & mask;; at = (at + 1) & mask) {
            const Entry& entry = entries_[at];
            if (entry.item == kNone)
                return kNone;
            if (entry.hash == hash && isKey(entry.item))
                return entry.item;
        }
    }
    /// Adds an item not in the index; `items` is how many the index will hold then.
    void add(uint64_t hash, size_t item, size_t items);

private:
    struct Entry {
        uint64_t hash = 0;
        size_t item = kNone;
    };
    std::vector<Entry> entries_;
};

} // namespace velmar
