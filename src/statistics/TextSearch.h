#pragma once

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmar {

/// Where `what` first stands in `text`, as std::string_view::find gives it (npos when nowhere; 0 for an
/// empty `what`). The lines of a log are short and searched for a few short texts each, millions of times
/// a read: this search is compiled into its callers and looks at 32 or 16 places at once, where a general search
/// would call the C library for every first byte it meets. `before` bytes in front of the text may be read
/// too (it is the end part of a longer text), so that a text shorter than 16 bytes is looked at at once as
/// well; they are never searched.
inline size_t findText(std::string_view text, std::string_view what, size_t before = 0)
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
    // The first place of a match among those whose bits are set in `places`, a bit for each byte loaded
    // from `at` on; npos when none matches.
    const auto firstMatch = [&](std::ptrdiff_t at, unsigned places) {
        for (; places != 0; places &= places - 1) {
            const auto place = static_cast<size_t>(at + __builtin_ctz(places));
            size_t k = 2;
            while (k < n && data[place + k] == what[k])
                ++k;
            if (k >= n)
                return place;
        }
        return std::string_view::npos;
    };
    // Two loads of 16 at a time while 33 bytes are left: a line of a log is over in a step or two.
    const auto hitsAt = [&](size_t at) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        __m128i hits = _mm_cmpeq_epi8(here, first);
        if (n > 1) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
            hits = _mm_and_si128(hits, _mm_cmpeq_epi8(next, second));
        }
        return static_cast<unsigned>(_mm_movemask_epi8(hits));
    };
    // The first match among the `width` places from i on whose bits are set in `places`.
    const auto matchInStep = [&](unsigned places, size_t width) {
        if (places == 0)
            return std::string_view::npos;
        // A place behind the last cannot hold all of `what`.
        if (i + width - 1 > last)
            places &= (1u << (last - i + 1)) - 1;
        return firstMatch(static_cast<std::ptrdiff_t>(i), places);
    };
    for (; i + 33 <= text.size() && i <= last; i += 32) {
        if (const size_t found = matchInStep(hitsAt(i) | hitsAt(i + 16) << 16, 32); found != std::string_view::npos)
            return found;
    }
    for (; i + 17 <= text.size() && i <= last; i += 16) {
        if (const size_t found = matchInStep(hitsAt(i), 16); found != std::string_view::npos)
            return found;
    }
    // The places left, from the 16 bytes that end where the text ends: a byte's second comes from the same
    // load, shifted by a place (the last byte starts no match of two bytes).
    if (i <= last && text.size() + before >= 16) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(text.size()) - 16; // in front of a short text
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        auto places = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, first)));
        if (n > 1)
            places &= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, second))) >> 1;
        // Only the places from i to last: bit b stands for the place at + b.
        places &= (0xFFFFu << (static_cast<std::ptrdiff_t>(i) - at))
            & ((1u << (static_cast<std::ptrdiff_t>(last) - at + 1)) - 1);
        return firstMatch(at, places);
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

/// Where the byte first stands in `text`, or npos; `before` as above.
inline size_t findText(std::string_view text, char what, size_t before = 0)
{
    return findText(text, std::string_view(&what, 1), before);
}

} // namespace velmar
