#pragma once

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmar {

/// Where `what` first stands in `text`, as std::string_view::find gives it (npos when nowhere; 0 for an
/// empty `what`). The lines of a log are short and searched for a few short texts each, millions of times
/// a read: this search is compiled into its callers and looks at 16 places at once, where a general search
/// would call the C library for every first byte it meets.
inline size_t findText(std::string_view text, std::string_view what)
{
    const size_t n = what.size();
    if (n == 0)
        return 0;
    if (n > text.size())
        return std::string_view::npos;
    const size_t last = text.size() - n; // the last place it may begin
    const char* const data = text.data();
    size_t i = 0;
#if defined(__SSE2__)
    // The places where the first two bytes of `what` stand (the first alone when it has one byte), 16
    // places at a time while 17 bytes are left to load.
    const __m128i first = _mm_set1_epi8(what[0]);
    const __m128i second = _mm_set1_epi8(n > 1 ? what[1] : 0);
    for (; i + 17 <= text.size() && i <= last; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i hits = _mm_cmpeq_epi8(here, first);
        if (n > 1) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
            hits = _mm_and_si128(hits, _mm_cmpeq_epi8(next, second));
        }
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
            const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
            if (at > last)
                return std::string_view::npos;
            size_t k = 2;
            while (k < n && data[at + k] == what[k])
                ++k;
            if (k >= n)
                return at;
        }
    }
#endif
    for (; i <= last; ++i) {
        size_t k = 0;
        while (k < n && data[i + k] == what[k])
            ++k;
        if (k == n)
            return i;
    }
    return std::string_view::npos;
}

/// Where the byte first stands in `text`, or npos.
inline size_t findText(std::string_view text, char what)
{
    return findText(text, std::string_view(&what, 1));
}

} // namespace velmar
