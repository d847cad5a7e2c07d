#include "export/TemplateExport.h"

#include "export/TwoThreadFormat.h"
#include "platform/ShortCopy.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmar {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The export is written in blocks of about this size.
constexpr size_t kBlockSize = size_t { 1 } << 20;

// The column numbers 0 to 7 that the tags of both tables reach.
constexpr int kWidthEntries = 8;

// One piece of the template: literal text, or a tag naming a column (kNoColumn when it names none).
struct Piece {
    std::string_view literal;
    int column;
};

constexpr int kNoColumn = -1;

// Splits the template into literal runs and tags; false on a "%" that no digit follows.
// A "%" that a cell text brings in never passes through here, so it stays as it is.
bool parseTemplate(std::string_view text, int tagOffset, int usableColumns, std::vector<Piece>& pieces)
{
    size_t start = 0;
    for (;;) {
        const size_t p = text.find('%', start);
        if (p == std::string_view::npos) {
            if (start < text.size())
                pieces.push_back({ text.substr(start), kNoColumn });
            return true;
        }
        if (p + 1 >= text.size() || text[p + 1] < '0' || text[p + 1] > '9')
            return false;
        if (p > start)
            pieces.push_back({ text.substr(start, p - start), kNoColumn });
        // 64-bit so that no offset a caller passes can overflow.
        const int64_t column = int64_t { text[p + 1] - '0' } - 1 - tagOffset;
        if (column >= 0 && column < usableColumns)
            pieces.push_back({ {}, static_cast<int>(column) });
        start = p + 2;
    }
}

// The widest text of each column the tags may name.
using Widths = std::array<size_t, kWidthEntries>;

// Formats the lines of rows from..to-1 onto the end of `text`. A line is its pieces in turn, each cell
// right-aligned in the width of its column (a longer one as it stands), then the line end. With every
// cell inside its width all lines have the same size: the room for them is made in one go, filled with
// the spaces in front of the cells, and each text is copied to its place.
class RowFormat {
public:
    RowFormat(const Table& table, const std::vector<Piece>& pieces, const Widths& widths, int usableColumns)
        : table_(table)
        , pieces_(pieces)
        , widths_(widths)
        , usableColumns_(static_cast<size_t>(usableColumns))
    {
        for (const Piece& piece : pieces_)
            lineSize_ += piece.column == kNoColumn ? piece.literal.size() : widths_[static_cast<size_t>(piece.column)];
    }

    // The bytes of a line whose cells all lie inside their widths.
    size_t lineSize() const { return lineSize_; }

    void append(int from, int to, std::string& text) const
    {
        std::array<std::string_view, kWidthEntries> cells {};
        const auto rowCells = std::span(cells).first(usableColumns_);
        size_t at = text.size();
        text.resize(at + lineSize_ * static_cast<size_t>(std::max(to - from, 0)), ' ');
        for (int row = from; row < to; ++row) {
            table_.rowCells(row, rowCells);
            size_t over = 0; // what cells longer than their columns add to the line
            for (const Piece& piece : pieces_) {
                if (piece.column != kNoColumn) {
                    const size_t size = cells[static_cast<size_t>(piece.column)].size();
                    const size_t width = widths_[static_cast<size_t>(piece.column)];
                    over += size > width ? size - width : 0;
                }
            }
            // Behind `at` there are only the spaces of the room made, so more of them may go at the end.
            if (over != 0)
                text.append(over, ' ');
            char* out = text.data() + at;
            for (const Piece& piece : pieces_) {
                if (piece.column == kNoColumn) {
                    copyShort(out, piece.literal.data(), piece.literal.size());
                    out += piece.literal.size();
                    continue;
                }
                const std::string_view cell = cells[static_cast<size_t>(piece.column)];
                const size_t field = std::max(widths_[static_cast<size_t>(piece.column)], cell.size());
                copyShort(out + field - cell.size(), cell.data(), cell.size());
                out += field;
            }
            copyShort(out, kLineEnd.data(), kLineEnd.size());
            at += lineSize_ + over;
        }
    }

private:
    const Table& table_;
    const std::vector<Piece>& pieces_;
    const Widths& widths_;
    size_t usableColumns_;
    size_t lineSize_ = kLineEnd.size();
};

// Below this many rows a second thread costs more than it saves.
constexpr int kTwoThreadRows = 20000;

} // namespace

bool ExpStat(OutText& out, int tagOffset, const Table& table, std::string_view templateText,
    const ExportHeading& heading, const std::function<void()>& onBadTag)
{
    std::string line;
    if (!heading.dat1Text.empty() && !heading.dat2Text.empty()) {
        line.append(heading.headingWord).append(" ").append(heading.dat1Text);
        if (heading.dat1Text != heading.dat2Text)
            line.append(" - ").append(heading.dat2Text);
        line.append(kLineEnd).append(kLineEnd);
        out.write(line);
    }

    // Columns beyond the width table cannot be named by a tag; columns the table lacks read as empty.
    const int usableColumns = std::clamp(table.colCount(), 0, kWidthEntries);
    std::vector<Piece> pieces;
    if (!parseTemplate(templateText, tagOffset, usableColumns, pieces)) {
        onBadTag();
        return false;
    }

    const int rowCount = table.rowCount();
    Widths widths {};
    table.longestTexts(std::span(widths).first(static_cast<size_t>(usableColumns)));
    for (int col = 0; col < usableColumns; ++col)
        widths[static_cast<size_t>(col)] = std::max(widths[static_cast<size_t>(col)], table.cell(col, 0).size());

    const RowFormat format(table, pieces, widths, usableColumns);
    // The lines are gathered into large blocks, each written in one piece.
    const int rowsPerBlock = static_cast<int>(std::clamp<size_t>(kBlockSize / format.lineSize(), 1, kBlockSize));
    const auto blocks = static_cast<size_t>((int64_t { rowCount } + rowsPerBlock - 1) / rowsPerBlock);
    const auto appendPiece = [&](size_t piece, std::string& text) {
        text.reserve(kBlockSize + 4096);
        // 64-bit, so that no count of rows can overflow.
        const int64_t from = static_cast<int64_t>(piece) * rowsPerBlock;
        format.append(static_cast<int>(from), static_cast<int>(std::min<int64_t>(from + rowsPerBlock, rowCount)), text);
    };
    std::string block;
    if (rowCount >= kTwoThreadRows) {
        TwoThreadFormat(blocks, appendPiece).run(out, block);
    } else {
        for (size_t piece = 0; piece < blocks; ++piece) {
            if (!block.empty()) {
                out.write(block);
                block.clear();
            }
            appendPiece(piece, block);
        }
    }
    block.append(kLineEnd);
    out.write(block);
    return true;
}

} // namespace velmar
