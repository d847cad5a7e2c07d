#pragma once

#include <string_view>

namespace velmar {

class Table;

/// Builds the summary table from the detailed one: a row per remote address (letter case ignored, the
/// first spelling kept, in order of first appearance) with its minutes, bytes, money and sessions, then
/// an empty row and the total row captioned `totalCaption`. Row 0 of `StrFull` is not touched.
/// Sums are 64-bit and stop at the end of the range. Raises the integer conversion error for a detailed cell
/// that does not read back; the summary then holds the address rows summed before that cell's row, without
/// money, empty row or total.
void FillFull(const Table& Str, Table& StrFull, std::string_view totalCaption, double tarifPerMin);

} // namespace velmar
