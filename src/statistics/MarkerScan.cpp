#include "statistics/MarkerScan.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELMAR_HAVE_AVX2_PATH 1
#endif

namespace velmar {

namespace {

static_assert(std::ranges::all_of(kMarkers, [](std::string_view m) { return m.size() >= 4; }));

// The bytes the markers begin with, each once.
struct FirstBytes {
    std::array<char, kMarkerCount> bytes {};
    size_t count = 0;
};
constexpr FirstBytes kFirstBytes = [] {
    FirstBytes first;
    for (std::string_view marker : kMarkers) {
        if (std::find(first.bytes.begin(), first.bytes.begin() + first.count, marker.front())
            == first.bytes.begin() + first.count)
            first.bytes[first.count++] = marker.front();
    }
    return first;
}();

// Looks for the markers in a line. Where the processor compares 16 bytes at once, the bytes that may start
// a marker are picked out 16 at a time; the rest of the line goes byte by byte.
class LineScan {
public:
    LineScan()
    {
        for (unsigned m = 0; m < kMarkerCount; ++m) {
            byFirstByte_[static_cast<unsigned char>(kMarkers[m].front())] |= static_cast<uint16_t>(1u << m);
            std::memcpy(&prefix_[m], kMarkers[m].data(), sizeof prefix_[m]);
        }
    }

    void find(std::string_view line, MarkerPositions& out) const
    {
        unsigned found = 0;
        size_t i = 0;
#if defined(__SSE2__)
        if (line.size() >= 16) {
            const auto starts = [&](size_t at) {
                return firstByteMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + at)),
                    std::make_index_sequence<kFirstBytes.count>());
            };
            for (; i + 16 <= line.size(); i += 16) {
                for (unsigned mask = starts(i); mask != 0; mask &= mask - 1)
                    found |= matchAt(line, i + static_cast<size_t>(__builtin_ctz(mask)), found, out.first);
            }
            // The last 16 bytes once more, without the ones already looked at.
            if (i < line.size()) {
                const size_t last = line.size() - 16;
                for (unsigned mask = starts(last) & (~0u << (i - last)); mask != 0; mask &= mask - 1)
                    found |= matchAt(line, last + static_cast<size_t>(__builtin_ctz(mask)), found, out.first);
                i = line.size();
            }
        }
#endif
        for (; i < line.size(); ++i) {
            if (byFirstByte_[static_cast<unsigned char>(line[i])] != 0)
                found |= matchAt(line, i, found, out.first);
        }
        out.markers = found;
    }

private:
#if defined(__SSE2__)
    // The bit of each of 16 bytes that may begin a marker.
    template <size_t... K> static unsigned firstByteMask(__m128i bytes, std::index_sequence<K...>)
    {
        const __m128i equal = (_mm_setzero_si128() | ... | _mm_cmpeq_epi8(bytes, _mm_set1_epi8(kFirstBytes.bytes[K])));
        return static_cast<unsigned>(_mm_movemask_epi8(equal));
    }
#endif

    // The markers not found yet that start at position i; notes where they stand.
    unsigned matchAt(std::string_view line, size_t i, unsigned found, std::array<size_t, kMarkerCount>& first) const
    {
        unsigned matches = 0;
        const char* at = line.data() + i;
        for (unsigned candidates = byFirstByte_[static_cast<unsigned char>(*at)] & ~found; candidates != 0;
             candidates &= candidates - 1) {
            const auto m = static_cast<unsigned>(__builtin_ctz(candidates));
            const std::string_view marker = kMarkers[m];
            if (line.size() - i < marker.size())
                continue;
            uint32_t prefix = 0;
            std::memcpy(&prefix, at, sizeof prefix);
            if (prefix == prefix_[m] && std::memcmp(at, marker.data(), marker.size()) == 0) {
                matches |= 1u << m;
                first[m] = i;
            }
        }
        return matches;
    }

    std::array<uint16_t, 256> byFirstByte_ {};
    std::array<uint32_t, kMarkerCount> prefix_ {}; // the first four bytes of each marker
};

const LineScan kLineScan;

// The first two bytes of the texts a line is looked at for, each pair once.
struct Pairs {
    std::array<char, kMarkerCount + 2> first {};
    std::array<char, kMarkerCount + 2> second {};
    size_t count = 0;

    constexpr void add(std::string_view text)
    {
        for (size_t k = 0; k < count; ++k) {
            if (first[k] == text[0] && second[k] == text[1])
                return;
        }
        first[count] = text[0];
        second[count] = text[1];
        ++count;
    }
};

constexpr Pairs kSessionPairs = [] {
    Pairs pairs;
    for (std::string_view marker : kMarkers)
        pairs.add(marker);
    return pairs;
}();

constexpr Pairs kConnectPairs = [] {
    Pairs pairs;
    pairs.add(kConnect);
    return pairs;
}();

// Which lines are looked for: those that may matter outside a session, inside one, or in either.
enum class Where { Outside, Inside, Either };

constexpr char kCtrlZ = 26;
constexpr char kLineEndThenCtrlZ[] = { '\n', kCtrlZ };

// Over a run of lines read ahead, a Ctrl+Z behind a line feed is looked for in the same pass.
constexpr Pairs kEitherPairs = [] {
    Pairs pairs;
    pairs.add(kConnect);
    for (std::string_view marker : kMarkers)
        pairs.add(marker);
    pairs.add({ kLineEndThenCtrlZ, 2 });
    return pairs;
}();

template <Where where> constexpr const Pairs& pairsFor()
{
    if constexpr (where == Where::Inside)
        return kSessionPairs;
    else if constexpr (where == Where::Outside)
        return kConnectPairs;
    else
        return kEitherPairs;
}

// Byte by byte: the first candidate in [from, end).
template <Where inSession> const char* findCandidateBytewise(const char* from, const char* end)
{
    constexpr const Pairs& pairs = pairsFor<inSession>();
    for (const char* p = from; p < end; ++p) {
        const bool last = p + 1 == end;
        if (*p == '\r' && (last || p[1] != '\n'))
            return p;
        if (last)
            break;
        for (size_t k = 0; k < pairs.count; ++k) {
            if (*p == pairs.first[k] && p[1] == pairs.second[k])
                return p;
        }
    }
    return end;
}

#if defined(__SSE2__)
// The candidates among 16 positions: b0 the bytes there, b1 the bytes one further.
template <Where inSession, size_t... K> unsigned candidateMask(__m128i b0, __m128i b1, std::index_sequence<K...>)
{
    constexpr const Pairs& pairs = pairsFor<inSession>();
    const __m128i lone
        = _mm_andnot_si128(_mm_cmpeq_epi8(b1, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(b0, _mm_set1_epi8('\r')));
    const __m128i hits = (lone | ...
        | (_mm_cmpeq_epi8(b0, _mm_set1_epi8(pairs.first[K])) & _mm_cmpeq_epi8(b1, _mm_set1_epi8(pairs.second[K]))));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

template <Where inSession> const char* findCandidateSse2(const char* p, const char* end)
{
    for (; end - p >= 17; p += 16) {
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const unsigned mask = candidateMask<inSession>(b0, b1, std::make_index_sequence<pairsFor<inSession>().count>());
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
    return findCandidateBytewise<inSession>(p, end);
}
#endif

#if defined(VELMAR_HAVE_AVX2_PATH)
template <Where inSession, size_t... K>
__attribute__((target("avx2"))) unsigned candidateMaskAvx2(__m256i b0, __m256i b1, std::index_sequence<K...>)
{
    constexpr const Pairs& pairs = pairsFor<inSession>();
    const __m256i lone = _mm256_andnot_si256(
        _mm256_cmpeq_epi8(b1, _mm256_set1_epi8('\n')), _mm256_cmpeq_epi8(b0, _mm256_set1_epi8('\r')));
    const __m256i hits = (lone | ...
        | _mm256_and_si256(_mm256_cmpeq_epi8(b0, _mm256_set1_epi8(pairs.first[K])),
            _mm256_cmpeq_epi8(b1, _mm256_set1_epi8(pairs.second[K]))));
    return static_cast<unsigned>(_mm256_movemask_epi8(hits));
}

template <Where inSession> __attribute__((target("avx2"))) const char* findCandidateAvx2(const char* p, const char* end)
{
    for (; end - p >= 33; p += 32) {
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
        const unsigned mask
            = candidateMaskAvx2<inSession>(b0, b1, std::make_index_sequence<pairsFor<inSession>().count>());
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
    return findCandidateSse2<inSession>(p, end);
}

const bool kHaveAvx2 = __builtin_cpu_supports("avx2");
#endif

template <Where inSession> const char* findCandidateIn(const char* from, const char* end)
{
#if defined(VELMAR_HAVE_AVX2_PATH)
    if (kHaveAvx2)
        return findCandidateAvx2<inSession>(from, end);
#endif
#if defined(__SSE2__)
    return findCandidateSse2<inSession>(from, end);
#else
    return findCandidateBytewise<inSession>(from, end);
#endif
}

} // namespace

void findMarkers(std::string_view line, MarkerPositions& out)
{
    kLineScan.find(line, out);
}

const char* findCandidate(const char* from, const char* end, bool inSession)
{
    return inSession ? findCandidateIn<Where::Inside>(from, end) : findCandidateIn<Where::Outside>(from, end);
}

size_t scanCandidates(std::string_view lines, std::vector<CandidateLine>& out)
{
    const char* from = lines.data();
    const char* const end = from + lines.size();
    if (from < end && *from == kCtrlZ)
        return 0;
    while (from < end) {
        const char* hit = findCandidateIn<Where::Either>(from, end);
        if (hit == end)
            break;
        // No candidate stands in front of the line feed: the Ctrl+Z behind it ends the text.
        if (*hit == '\n')
            return static_cast<size_t>(hit + 1 - lines.data());
        const auto* before = static_cast<const char*>(::memrchr(from, '\n', static_cast<size_t>(hit - from)));
        const char* lineStart = before == nullptr ? from : before + 1;
        const auto* lineFeed = static_cast<const char*>(std::memchr(hit, '\n', static_cast<size_t>(end - hit)));
        const char* lineEnd = lineFeed == nullptr ? end : lineFeed;
        CandidateLine& line = out.emplace_back();
        line.start = static_cast<uint32_t>(lineStart - lines.data());
        std::string_view bytes(lineStart, static_cast<size_t>(lineEnd - lineStart));
        if (!bytes.empty() && bytes.back() == '\r')
            bytes.remove_suffix(1);
        line.size = static_cast<uint32_t>(bytes.size());
        line.plain = std::memchr(bytes.data(), '\r', bytes.size()) == nullptr;
        from = lineFeed == nullptr ? end : lineFeed + 1;
        if (from < end && *from == kCtrlZ)
            return static_cast<size_t>(from - lines.data());
    }
    return lines.size();
}

} // namespace velmar
