#include "statistics/Table.h"

#include "platform/Memory.h"
#include "platform/ShortCopy.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace velmar {

// A row block is, for each column from 0 on, the length of its text as a base-128 number (low seven bits
// first, the top bit marking that more follow) and then the text. Columns behind the last one written may
// be missing: they read as empty. An empty row is a block of size 0.

namespace {

size_t readLength(const char*& p)
{
    size_t length = 0;
    int shift = 0;
    for (;;) {
        const auto byte = static_cast<unsigned char>(*p++);
        length |= static_cast<size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            return length;
        shift += 7;
    }
}

// Writes the length at `out`; returns where its bytes end.
char* putLength(char* out, size_t length)
{
    while (length >= 0x80) {
        *out++ = static_cast<char>((length & 0x7F) | 0x80);
        length >>= 7;
    }
    *out++ = static_cast<char>(length);
    return out;
}

// How many bytes putLength writes.
size_t lengthBytes(size_t length)
{
    size_t bytes = 1;
    for (; length >= 0x80; length >>= 7)
        ++bytes;
    return bytes;
}

void appendLength(std::string& out, size_t length)
{
    char bytes[10];
    out.append(bytes, putLength(bytes, length));
}

} // namespace

Table::Table(int colCount)
    : colCount_(colCount)
    , longest_(static_cast<size_t>(std::max(colCount, 0)))
{
}

int Table::longestRow(int col) const
{
    if (col < 0 || col >= colCount_)
        return 0;
    return longest_[static_cast<size_t>(col)].row;
}

void Table::forgetLongest()
{
    std::fill(longest_.begin(), longest_.end(), Longest {});
    notedAll_ = false;
}

// The longest text of the column as noted, when what was noted tells it: no text of the column is longer
// than the longest noted, so when that row still holds it and lies in the table, it is the longest there.
bool Table::notedLongest(size_t col, size_t& size) const
{
    const Longest noted = longest_[col];
    if (!notedAll_)
        return false;
    if (noted.row == 0) {
        size = 0;
        return true;
    }
    if (noted.row < rowCount_ && cell(static_cast<int>(col), noted.row).size() == noted.length) {
        size = noted.length;
        return true;
    }
    return false;
}

void Table::longestTexts(std::span<size_t> sizes) const
{
    const size_t columns = std::min(sizes.size(), static_cast<size_t>(std::max(colCount_, 0)));
    std::fill(sizes.begin(), sizes.end(), 0);
    std::vector<bool> unknown(columns);
    bool anyUnknown = false;
    for (size_t col = 0; col < columns; ++col) {
        unknown[col] = !notedLongest(col, sizes[col]);
        anyUnknown = anyUnknown || unknown[col];
    }
    if (!anyUnknown)
        return;
    std::vector<std::string_view> cells(columns);
    for (int row = 1; row < rowCount_; ++row) {
        rowCells(row, cells);
        for (size_t col = 0; col < columns; ++col) {
            if (unknown[col])
                sizes[col] = std::max(sizes[col], cells[col].size());
        }
    }
}

size_t Table::longestText(int col) const
{
    if (col < 0 || col >= colCount_)
        return 0;
    std::vector<size_t> sizes(static_cast<size_t>(col) + 1);
    longestTexts(sizes);
    return sizes.back();
}

void Table::setRowCount(int rows)
{
    rowCount_ = std::max(rows, 2);
}

std::string_view Table::cell(int col, int row) const
{
    if (col < 0 || col >= colCount_ || row < 0 || static_cast<size_t>(row) >= slots_.size())
        return {};
    const Slot& slot = slots_[static_cast<size_t>(row)];
    const char* p = slot.data;
    const char* end = p + slot.size;
    for (int c = 0; p < end; ++c) {
        const size_t length = readLength(p);
        if (c == col)
            return { p, length };
        p += length;
    }
    return {};
}

void Table::setCell(int col, int row, std::string_view text)
{
    if (col < 0 || col >= colCount_ || row < 0)
        return;
    noteLength(static_cast<size_t>(col), row, text.size());
    if (static_cast<size_t>(row) >= slots_.size()) {
        if (text.empty())
            return;
        slots_.grow(static_cast<size_t>(row) + 1);
    }
    // Build the new block aside: the text may itself point into the arena. Trailing empty cells are not kept.
    scratch_.clear();
    size_t keep = 0;
    const Slot& slot = slots_[static_cast<size_t>(row)];
    const char* p = slot.data;
    const char* end = p + slot.size;
    for (int c = 0; c < colCount_; ++c) {
        std::string_view old;
        if (p < end) {
            const size_t length = readLength(p);
            old = { p, length };
            p += length;
        } else if (c > col) {
            break;
        }
        const std::string_view value = c == col ? text : old;
        appendLength(scratch_, value.size());
        scratch_.append(value);
        if (!value.empty())
            keep = scratch_.size();
    }
    scratch_.resize(keep);
    storeRow(row, scratch_);
}

void Table::setRow(int row, std::span<const std::string_view> texts)
{
    if (row < 0)
        return;
    const size_t columns = std::min(texts.size(), static_cast<size_t>(colCount_));
    // The block holds the columns up to the last one with text; its size is known before it is written.
    size_t kept = 0;
    size_t bytes = 0;
    for (size_t c = 0; c < columns; ++c) {
        const size_t length = texts[c].size();
        noteLength(c, row, length);
        bytes += lengthBytes(length) + length;
        if (length != 0)
            kept = bytes;
    }
    if (static_cast<size_t>(row) >= slots_.size()) {
        if (kept == 0)
            return;
        slots_.grow(static_cast<size_t>(row) + 1);
    }
    // The cells one after the other, each behind its length, into the `kept` bytes at `out`.
    const auto lay = [&](char* out) {
        const char* const end = out + kept;
        for (size_t c = 0; out != end; ++c) {
            out = putLength(out, texts[c].size());
            copyShort(out, texts[c].data(), texts[c].size());
            out += texts[c].size();
        }
    };
    Slot& slot = slots_[static_cast<size_t>(row)];
    if (slot.capacity == 0) {
        // A row that holds no room yet, as each new row of a rebuild: none of the texts can lie in it, so its
        // block is laid out where it stays. The chunks never move, so texts of other rows stay where they are.
        if (kept == 0) {
            slot.size = 0;
            return;
        }
        char* const at = allocate(kept);
        slot.data = at;
        slot.size = static_cast<uint32_t>(kept);
        slot.capacity = static_cast<uint32_t>(kept);
        lay(at);
        return;
    }
    scratch_.resize(kept);
    lay(scratch_.data());
    storeRow(row, scratch_);
}

void Table::rowCells(int row, std::span<std::string_view> texts) const
{
    size_t c = 0;
    if (row >= 0 && static_cast<size_t>(row) < slots_.size()) {
        const Slot& slot = slots_[static_cast<size_t>(row)];
        const char* p = slot.data;
        const char* end = p + slot.size;
        const size_t columns = std::min(texts.size(), static_cast<size_t>(colCount_));
        for (; c < columns && p < end; ++c) {
            const size_t length = readLength(p);
            texts[c] = { p, length };
            p += length;
        }
    }
    // The cells the row does not hold are empty.
    std::fill(texts.begin() + static_cast<std::ptrdiff_t>(c), texts.end(), std::string_view {});
}

void Table::clearRow(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= slots_.size())
        return;
    Slot& slot = slots_[static_cast<size_t>(row)];
    slot.size = 0;
}

void Table::takeRows(Table& from, int first, int count, int at)
{
    if (&from == this || count <= 0 || first < 0 || at < 0)
        return;
    const auto source = static_cast<size_t>(first);
    const auto target = static_cast<size_t>(at);
    const size_t rows = std::min(static_cast<size_t>(count), from.slots_.size() - std::min(source, from.slots_.size()));
    slots_.grow(target + rows);
    for (size_t k = 0; k < rows; ++k) {
        Slot& slot = slots_[target + k];
        waste_ += slot.capacity;
        slot = from.slots_[source + k];
    }
    // The rows of `from` that are not taken keep their room in its chunks, which is waste here.
    for (size_t row = 0; row < from.slots_.size(); ++row) {
        if (row < source || row >= source + rows)
            waste_ += from.slots_[row].capacity;
    }
    // This table's last chunk stays the one it goes on filling.
    chunks_.insert(
        chunks_.begin(), std::make_move_iterator(from.chunks_.begin()), std::make_move_iterator(from.chunks_.end()));
    held_ += from.held_;
    waste_ += from.waste_;
    notedAll_ = notedAll_ && from.notedAll_;
    for (size_t c = 0; c < longest_.size() && c < from.longest_.size(); ++c) {
        const Longest theirs = from.longest_[c];
        if (theirs.row >= first && static_cast<size_t>(theirs.row) < source + rows) {
            if (theirs.length > longest_[c].length)
                longest_[c] = { theirs.length, theirs.row - first + at };
        } else if (theirs.row != 0) {
            // Their longest text is not among the rows taken: the longest of those is looked for.
            for (size_t k = 0; k < rows; ++k)
                noteLength(c, at + static_cast<int>(k), cell(static_cast<int>(c), at + static_cast<int>(k)).size());
        }
    }
    from.chunks_.clear();
    from.slots_ = SlotIndex();
    from.held_ = from.waste_ = 0;
    from.forgetLongest();
    from.notedAll_ = true; // it holds no text any more
}

void Table::storeRow(int row, const std::string& block)
{
    Slot& slot = slots_[static_cast<size_t>(row)];
    if (block.size() <= slot.capacity) {
        if (!block.empty())
            std::memcpy(slot.data, block.data(), block.size());
        slot.size = static_cast<uint32_t>(block.size());
        return;
    }
    Chunk* last = chunks_.empty() ? nullptr : &chunks_.back();
    if (last && slot.capacity > 0 && slot.data + slot.capacity == last->data.get() + last->used
        && last->used - slot.capacity + block.size() <= last->size) {
        // The row is the last block of the arena: it grows in place.
        last->used += block.size() - slot.capacity;
    } else {
        waste_ += slot.capacity;
        slot.data = allocate(block.size());
    }
    std::memcpy(slot.data, block.data(), block.size());
    slot.size = static_cast<uint32_t>(block.size());
    slot.capacity = static_cast<uint32_t>(block.size());
    if (waste_ > (64u << 10) && waste_ > held_ / 4)
        compact();
}

char* Table::allocate(size_t size)
{
    // Chunks start small, for the many small tables, and double up to a quarter of a megabyte. The last
    // chunk of a table is seldom full, and a log is read in parts, each into a table of its own whose chunks
    // the rebuild's table takes over: larger chunks would only leave more memory unused. They are cut from
    // regions of the thread that fills the table (allocateLarge), mapped in huge pages where the system
    // offers them.
    constexpr size_t kFirst = 4 << 10;
    constexpr size_t kLargest = 256 << 10;
    if (chunks_.empty() || chunks_.back().size - chunks_.back().used < size) {
        const size_t next = chunks_.empty() ? kFirst : std::min(chunks_.back().size * 2, kLargest);
        Chunk chunk;
        chunk.size = std::max(next, size);
        chunk.data = makeLargeBuffer(chunk.size);
        held_ += chunk.size;
        chunks_.push_back(std::move(chunk));
    }
    Chunk& chunk = chunks_.back();
    char* at = chunk.data.get() + chunk.used;
    chunk.used += size;
    // A chunk is mapped a stretch at a time as it is filled: at once up to the largest size, in steps when
    // it was made larger for a row of many megabytes.
    constexpr size_t kStretch = kLargest;
    if (chunk.used > chunk.ready) {
        const size_t to = std::min(chunk.used + kStretch, chunk.size);
        mapPagesAhead(chunk.data.get() + chunk.ready, to - chunk.ready);
        chunk.ready = to;
    }
    return at;
}

void Table::compact()
{
    std::vector<Chunk> old;
    old.swap(chunks_);
    held_ = 0;
    waste_ = 0;
    for (size_t row = 0; row < slots_.size(); ++row) {
        Slot& slot = slots_[row];
        char* data = slot.size > 0 ? allocate(slot.size) : nullptr;
        if (data)
            std::memcpy(data, slot.data, slot.size);
        slot.data = data;
        slot.capacity = slot.size;
    }
}

void Table::SlotIndex::grow(size_t size)
{
    while (size_ < size) {
        const size_t at = size_ % kPiece;
        if (at == 0) {
            auto* memory = static_cast<Slot*>(std::malloc(kPiece * sizeof(Slot)));
            if (memory == nullptr)
                throw std::bad_alloc();
            pieces_.emplace_back(memory);
            mapPagesAhead(memory, kPiece * sizeof(Slot));
        }
        const size_t count = std::min(kPiece - at, size - size_);
        std::uninitialized_default_construct_n(pieces_.back().get() + at, count);
        size_ += count;
    }
}

size_t Table::memoryUsed() const
{
    return held_ + slots_.size() * sizeof(Slot);
}

} // namespace velmar
