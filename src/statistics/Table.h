#pragma once

#include "platform/Memory.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// A statistics table: a fixed number of text columns, a header row 0 and data rows 1 to RowCount - 1.
///
/// The cells are held apart from RowCount: a cell written beyond the row count keeps its text and shows
/// when the count grows, and lowering the count forgets nothing. Each row is kept as one compact block of
/// length-prefixed texts in a shared arena of chunks, so a table of a million rows needs little more memory than
/// its texts.
class Table {
public:
    explicit Table(int colCount);

    int colCount() const { return colCount_; }

    /// The header row and the data rows together; never below 2.
    int rowCount() const { return rowCount_; }
    /// Sets the row count; values below 2 count as 2.
    void setRowCount(int rows);

    /// The text of cell (col, row); empty for a cell never written or outside the table.
    /// The view stays valid until the table is next changed.
    std::string_view cell(int col, int row) const;
    /// Writes a cell; columns outside 0 to colCount - 1 and negative rows are ignored.
    void setCell(int col, int row, std::string_view text);
    /// Writes a whole row at once: cell c gets texts[c], the columns behind the given texts become empty.
    void setRow(int row, std::span<const std::string_view> texts);
    /// Reads a whole row at once into texts[0..] (as many columns as texts holds); valid as cell() is.
    void rowCells(int row, std::span<std::string_view> texts) const;
    /// Empties every cell of the row.
    void clearRow(int row);
    /// Moves the rows first to first + count - 1 of another table of as many columns into this one, as the
    /// rows at, at + 1, ...: the memory that holds their texts changes hands, no text is copied. `from`
    /// is left empty. What was stored in those rows here before is let go.
    void takeRows(Table& from, int first, int count, int at);

    /// The data row (1 or more) that received the longest text of the column since the table was made or
    /// forgetLongest() was called; 0 when none did. Tracked as rows are written, so that the window can
    /// size its columns by measuring one text instead of every cell.
    int longestRow(int col) const;
    void forgetLongest();
    /// The sizes of the longest texts of the columns 0 to sizes.size() - 1 among the data rows 1 to
    /// RowCount - 1 (0 for a column the table lacks). Read off what was noted as rows were written where that
    /// tells it, else found in one pass over the rows, so an export sizes its columns without a pass over a
    /// table it just built.
    void longestTexts(std::span<size_t> sizes) const;
    /// The same for one column.
    size_t longestText(int col) const;

    /// Bytes held for the cells, for the benchmarks.
    size_t memoryUsed() const;

private:
    struct Slot {
        char* data = nullptr;
        uint32_t size = 0;
        uint32_t capacity = 0;
    };
    // The arena is a list of chunks that never move, so that it grows without copying what it holds.
    struct Chunk {
        LargeBuffer data;
        size_t size = 0;
        size_t used = 0;
        size_t ready = 0; // the bytes from the start whose pages are mapped already
    };

    void storeRow(int row, const std::string& block);
    bool notedLongest(size_t col, size_t& size) const;
    void noteLength(size_t col, int row, size_t length)
    {
        if (row > 0 && length > longest_[col].length)
            longest_[col] = { length, row };
    }
    char* allocate(size_t size);
    void compact();

    int colCount_;
    int rowCount_ = 2;
    // The slots by row, in pieces that never move: the index grows without copying itself.
    class SlotIndex {
    public:
        size_t size() const { return size_; }
        Slot& operator[](size_t row) { return pieces_[row / kPiece].get()[row % kPiece]; }
        const Slot& operator[](size_t row) const { return pieces_[row / kPiece].get()[row % kPiece]; }
        /// Makes room for rows 0 to size - 1 (it never shrinks); the new slots are empty.
        void grow(size_t size);

    private:
        // 128 KB: a log is read in a dozen parts, each into a table of its own whose last piece is seldom
        // full, and what a piece leaves unused lies in huge pages that are mapped whole (pieces of 1 MB
        // left the reading of a large log with 6 MB more memory).
        static constexpr size_t kPiece = size_t { 1 } << 13;
        struct Free {
            void operator()(Slot* piece) const noexcept { std::free(piece); }
        };
        std::vector<std::unique_ptr<Slot, Free>> pieces_;
        size_t size_ = 0;
    };

    SlotIndex slots_;
    std::vector<Chunk> chunks_;
    size_t held_ = 0; // bytes of all chunks
    size_t waste_ = 0; // bytes of blocks that rows have left
    std::string scratch_;
    struct Longest {
        size_t length = 0;
        int row = 0;
    };
    std::vector<Longest> longest_;
    // Every text written since the table was made was noted: the longest noted is at least as long as any
    // text the column holds. forgetLongest() ends that.
    bool notedAll_ = true;
};

} // namespace velmar
