#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmar {

/// The size text of a byte count: "-" for 0, else its digits with "," before the last six and the last
/// three digits (never more than these two), so 1234567 gives 1,234,567 and 1234567890 gives 1234,567,890.
/// A negative count is "-" before the text of its magnitude, so that it reads back as itself.
std::string SizeToStr(int64_t count);

/// The count of a size text: "-" is 0, else the text with every "," removed, read as a decimal integer
/// (leading spaces and a sign allowed). Raises "'<text without commas>' is not a valid integer value".
int64_t StrToSize(std::string_view text);

} // namespace velmar
