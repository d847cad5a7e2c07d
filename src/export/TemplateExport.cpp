#include "export/TemplateExport.h"

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
    std::array<size_t, kWidthEntries> widths {};
    std::array<std::string_view, kWidthEntries> cells {};
    const auto rowCells = std::span(cells).first(static_cast<size_t>(usableColumns));
    for (int row = 0; row < rowCount; ++row) {
        table.rowCells(row, rowCells);
        for (size_t col = 0; col < rowCells.size(); ++col)
            widths[col] = std::max(widths[col], cells[col].size());
    }

    // The lines are gathered into large blocks, each written in one piece.
    std::string block;
    block.reserve(kBlockSize + 4096);
    for (int row = 0; row < rowCount; ++row) {
        table.rowCells(row, rowCells);
        for (const Piece& piece : pieces) {
            if (piece.column == kNoColumn) {
                block.append(piece.literal);
                continue;
            }
            const std::string_view text = cells[static_cast<size_t>(piece.column)];
            const size_t width = widths[static_cast<size_t>(piece.column)];
            if (text.size() < width)
                block.append(width - text.size(), ' ');
            block.append(text);
        }
        block.append(kLineEnd);
        if (block.size() >= kBlockSize) {
            out.write(block);
            block.clear();
        }
    }
    block.append(kLineEnd);
    out.write(block);
    return true;
}

} // namespace velmar
