#include "statistics/SizeText.h"

#include "platform/Converters.h"

#include <charconv>
#include <cstdint>

namespace velmar {

std::string SizeToStr(int64_t count)
{
    if (count == 0)
        return "-";
    // The magnitude as unsigned, so that the lowest count has one too.
    const uint64_t magnitude = count < 0 ? 0 - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
    char digits[24];
    const auto size = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
    // Only the last two groups are separated; a longer count keeps all its leading digits in one group.
    char text[32];
    char* out = text;
    if (count < 0)
        *out++ = '-';
    size_t from = 0;
    for (const size_t groupsBehind : { size_t { 6 }, size_t { 3 } }) {
        if (size > groupsBehind) {
            const size_t to = size - groupsBehind;
            out = std::copy(digits + from, digits + to, out);
            *out++ = ',';
            from = to;
        }
    }
    out = std::copy(digits + from, digits + size, out);
    return std::string(text, out);
}

int64_t StrToSize(std::string_view text)
{
    if (text == "-")
        return 0;
    // A size as SizeToStr writes it is read in one pass; anything else takes the general rules once its
    // commas are dropped.
    if (uint64_t quick = 0; readDigitsAndCommas(text, 18, quick))
        return static_cast<int64_t>(quick);
    // Size texts are short: strip the commas on the stack and keep the heap for the odd long text.
    char buffer[64];
    size_t length = 0;
    for (char c : text) {
        if (c == ',')
            continue;
        if (length == sizeof buffer) {
            std::string plain;
            for (char d : text) {
                if (d != ',')
                    plain += d;
            }
            return toInt64(plain);
        }
        buffer[length++] = c;
    }
    return toInt64(std::string_view(buffer, length));
}

} // namespace velmar
