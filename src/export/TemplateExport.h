#pragma once

#include "platform/TextFile.h"
#include "statistics/Table.h"

#include <functional>
#include <string_view>

namespace velmar {

/// The heading of an export block: the texts of the two date boxes and the heading word (label entry 1).
struct ExportHeading {
    std::string_view dat1Text;
    std::string_view dat2Text;
    std::string_view headingWord;
};

/// Appends one block for the table: heading (only when both date texts are non-empty), one line per row
/// 0..RowCount-1 expanded from the template, an empty line; CR LF line ends. Tag "%n" names column
/// n - 1 - tagOffset, right-aligned to the widest text of that column; a tag naming no column of the table
/// gives nothing. On a bad tag (a "%" not followed by a digit) it calls onBadTag and returns false at once,
/// without writing any row. Write failures of the OutText propagate.
bool ExpStat(OutText& out, int tagOffset, const Table& table, std::string_view templateText,
    const ExportHeading& heading, const std::function<void()>& onBadTag);

} // namespace velmar
