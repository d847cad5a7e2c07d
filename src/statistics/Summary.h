#pragma once

#include <string_view>

namespace velmar {

class Table;

/// Builds the summary table from the detailed one: a row per remote address (letter case ignored, the
/// first spelling kept, in order of first appearance) with its minutes, bytes, money and sessions, then
/// an empty row and the total row captioned `totalCaption`. Row 0 of `StrFull` is not touched.
/// Raises the integer conversion error for a detailed cell that does not read back.
void FillFull(const Table& Str, Table& StrFull, std::string_view totalCaption, double tarifPerMin);

} // namespace velmar
