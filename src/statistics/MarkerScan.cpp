#include "statistics/MarkerScan.h"

#include <algorithm>
#include <atomic>
#include <bit>
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

// The first bytes of the texts a line is looked at for, each once: three of "CONNECT" and of each marker,
// which the other words of a log seldom begin with, and two of a line feed with a Ctrl+Z behind it.
struct Prefixes {
    static constexpr size_t kMost = kMarkerCount + 2;
    std::array<std::array<char, 3>, kMost> bytes {};
    std::array<size_t, kMost> size {};
    size_t count = 0;

    constexpr void add(std::string_view text, size_t n)
    {
        for (size_t k = 0; k < count; ++k) {
            if (size[k] == n && std::string_view(bytes[k].data(), n) == text.substr(0, n))
                return;
        }
        for (size_t i = 0; i < n; ++i)
            bytes[count][i] = text[i];
        size[count] = n;
        ++count;
    }

    // Whether the prefix k stands at p, where `left` bytes are left in the text.
    constexpr bool at(size_t k, const char* p, size_t left) const
    {
        return left >= size[k] && std::string_view(p, size[k]) == std::string_view(bytes[k].data(), size[k]);
    }
};

constexpr size_t kPrefixSize = 3;

constexpr Prefixes kSessionPrefixes = [] {
    Prefixes prefixes;
    for (std::string_view marker : kMarkers)
        prefixes.add(marker, kPrefixSize);
    return prefixes;
}();

constexpr Prefixes kConnectPrefixes = [] {
    Prefixes prefixes;
    prefixes.add(kConnect, kPrefixSize);
    return prefixes;
}();

// Which lines are looked for: those that may matter outside a session, inside one, or in either.
enum class Where { Outside, Inside, Either };

constexpr char kLineEndThenCtrlZ[] = { '\n', kCtrlZ };

// Over a run of lines read ahead, a Ctrl+Z behind a line feed is looked for in the same pass.
constexpr Prefixes kEitherPrefixes = [] {
    Prefixes prefixes;
    prefixes.add(kConnect, kPrefixSize);
    for (std::string_view marker : kMarkers)
        prefixes.add(marker, kPrefixSize);
    prefixes.add({ kLineEndThenCtrlZ, 2 }, 2);
    return prefixes;
}();

template <Where where> constexpr const Prefixes& prefixesFor()
{
    if constexpr (where == Where::Inside)
        return kSessionPrefixes;
    else if constexpr (where == Where::Outside)
        return kConnectPrefixes;
    else
        return kEitherPrefixes;
}

// Byte by byte: the first candidate in [from, end).
template <Where inSession> const char* findCandidateBytewise(const char* from, const char* end)
{
    constexpr const Prefixes& prefixes = prefixesFor<inSession>();
    for (const char* p = from; p < end; ++p) {
        const auto left = static_cast<size_t>(end - p);
        if (*p == '\r' && (left == 1 || p[1] != '\n'))
            return p;
        for (size_t k = 0; k < prefixes.count; ++k) {
            if (prefixes.at(k, p, left))
                return p;
        }
    }
    return end;
}

#if defined(__SSE2__)
// The bytes of 16 positions where prefix K stands: b0 the bytes there, b1 and b2 those one and two further.
template <Where inSession, size_t K> __m128i prefixAt(__m128i b0, __m128i b1, __m128i b2)
{
    constexpr const Prefixes& prefixes = prefixesFor<inSession>();
    const __m128i two = _mm_cmpeq_epi8(b0, _mm_set1_epi8(prefixes.bytes[K][0]))
        & _mm_cmpeq_epi8(b1, _mm_set1_epi8(prefixes.bytes[K][1]));
    if constexpr (prefixes.size[K] == 2)
        return two;
    else
        return two & _mm_cmpeq_epi8(b2, _mm_set1_epi8(prefixes.bytes[K][2]));
}

// The candidates among 16 positions.
template <Where inSession, size_t... K>
unsigned candidateMask(__m128i b0, __m128i b1, __m128i b2, std::index_sequence<K...>)
{
    const __m128i lone
        = _mm_andnot_si128(_mm_cmpeq_epi8(b1, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(b0, _mm_set1_epi8('\r')));
    const __m128i hits = (lone | ... | prefixAt<inSession, K>(b0, b1, b2));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

template <Where inSession> const char* findCandidateSse2(const char* p, const char* end)
{
    for (; end - p >= 18; p += 16) {
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
        const unsigned mask
            = candidateMask<inSession>(b0, b1, b2, std::make_index_sequence<prefixesFor<inSession>().count>());
        if (mask != 0)
            return p + __builtin_ctz(mask);
    }
    return findCandidateBytewise<inSession>(p, end);
}
#endif

#if defined(VELMAR_HAVE_AVX2_PATH)
// The three-byte prefixes, at most eight, each given a bit. For each of their three bytes a table by the
// low four bits of a byte and one by its high four bits hold the bits of the prefixes whose byte there
// has those four bits: a byte sequence begins a prefix where the six looked-up entries share a bit. Two
// table look-ups and an AND per byte, whatever the number of prefixes.
struct NibbleTables {
    std::array<std::array<uint8_t, 16>, kPrefixSize> low {};
    std::array<std::array<uint8_t, 16>, kPrefixSize> high {};
    bool lineEndThenCtrlZ = false; // the two-byte prefix is looked for as well
};

template <Where where> constexpr NibbleTables nibbleTablesFor()
{
    constexpr const Prefixes& prefixes = prefixesFor<where>();
    NibbleTables tables;
    unsigned bucket = 0;
    for (size_t k = 0; k < prefixes.count; ++k) {
        if (prefixes.size[k] != kPrefixSize) {
            tables.lineEndThenCtrlZ = true;
            continue;
        }
        for (size_t i = 0; i < kPrefixSize; ++i) {
            const auto byte = static_cast<unsigned char>(prefixes.bytes[k][i]);
            tables.low[i][byte & 15] |= static_cast<uint8_t>(1u << bucket);
            tables.high[i][byte >> 4] |= static_cast<uint8_t>(1u << bucket);
        }
        ++bucket;
    }
    if (bucket > 8)
        throw "more than eight three-byte prefixes";
    return tables;
}

template <Where where> constexpr NibbleTables kNibbleTables = nibbleTablesFor<where>();

__attribute__((target("avx2"))) inline __m256i tableOf(const std::array<uint8_t, 16>& table)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
}

// The bits of the prefixes whose byte at one place the 32 bytes have, by the two tables of that place.
__attribute__((target("avx2"))) inline __m256i prefixBits(__m256i bytes, __m256i low, __m256i high)
{
    const __m256i nibble = _mm256_set1_epi8(15);
    return _mm256_and_si256(_mm256_shuffle_epi8(low, _mm256_and_si256(bytes, nibble)),
        _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble)));
}

template <Where inSession> __attribute__((target("avx2"))) const char* findCandidateAvx2(const char* p, const char* end)
{
    constexpr const NibbleTables& tables = kNibbleTables<inSession>;
    const __m256i low0 = tableOf(tables.low[0]), high0 = tableOf(tables.high[0]);
    const __m256i low1 = tableOf(tables.low[1]), high1 = tableOf(tables.high[1]);
    const __m256i low2 = tableOf(tables.low[2]), high2 = tableOf(tables.high[2]);
    for (; end - p >= 34; p += 32) {
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
        const __m256i b2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2));
        const __m256i bits = _mm256_and_si256(
            _mm256_and_si256(prefixBits(b0, low0, high0), prefixBits(b1, low1, high1)), prefixBits(b2, low2, high2));
        __m256i special = _mm256_andnot_si256(
            _mm256_cmpeq_epi8(b1, _mm256_set1_epi8('\n')), _mm256_cmpeq_epi8(b0, _mm256_set1_epi8('\r')));
        if constexpr (tables.lineEndThenCtrlZ) {
            special = _mm256_or_si256(special,
                _mm256_and_si256(
                    _mm256_cmpeq_epi8(b0, _mm256_set1_epi8('\n')), _mm256_cmpeq_epi8(b1, _mm256_set1_epi8(kCtrlZ))));
        }
        const unsigned none = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_andnot_si256(special, _mm256_cmpeq_epi8(bits, _mm256_setzero_si256()))));
        if (none != ~0u)
            return p + __builtin_ctz(~none);
    }
    return findCandidateSse2<inSession>(p, end);
}

const bool kHaveAvx2 = __builtin_cpu_supports("avx2");
const bool kHaveAvx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif

// The widest comparison the processor offers.
unsigned widestScan()
{
#if defined(VELMAR_HAVE_AVX2_PATH)
    if (kHaveAvx512 && kHaveAvx2)
        return 64;
    if (kHaveAvx2)
        return 32;
#endif
#if defined(__SSE2__)
    return 16;
#else
    return 1;
#endif
}

std::atomic<unsigned> scanWidth { widestScan() };

#if defined(VELMAR_HAVE_AVX2_PATH)

// What each bit of the three-byte prefixes of a run of lines stands for: the markers that begin with it,
// by their bits, and "CONNECT" as bit kMarkerCount.
constexpr unsigned kConnectBit = 1u << kMarkerCount;
constexpr std::array<unsigned, 8> kTextsOfPrefixBit = [] {
    std::array<unsigned, 8> texts {};
    unsigned bit = 0;
    for (size_t k = 0; k < kEitherPrefixes.count; ++k) {
        if (kEitherPrefixes.size[k] != kPrefixSize)
            continue;
        const std::string_view prefix(kEitherPrefixes.bytes[k].data(), kPrefixSize);
        if (kConnect.starts_with(prefix))
            texts[bit] |= kConnectBit;
        for (unsigned m = 0; m < kMarkerCount; ++m) {
            if (kMarkers[m].starts_with(prefix))
                texts[bit] |= 1u << m;
        }
        ++bit;
    }
    return texts;
}();

// The text of each bit of kTextsOfPrefixBit's entries.
constexpr std::string_view textOfBit(unsigned t)
{
    return t == kMarkerCount ? kConnect : kMarkers[t];
}

// The same by the number of the prefix bit, as the numbers of the texts: the prefixes are distinct, so
// at most one of them begins at a place. No prefix begins more than two texts; one that begins only one
// names it twice, so that a place is always compared with two texts.
constexpr std::array<std::array<uint8_t, 2>, 8> kTextPairOfPrefixBit = [] {
    std::array<std::array<uint8_t, 2>, 8> pairs {};
    for (size_t bit = 0; bit < pairs.size(); ++bit) {
        const unsigned texts = kTextsOfPrefixBit[bit];
        if (texts == 0)
            continue;
        if (std::popcount(texts) > 2)
            throw "a prefix that begins more than two texts";
        pairs[bit][0] = static_cast<uint8_t>(std::countr_zero(texts));
        pairs[bit][1] = static_cast<uint8_t>(std::bit_width(texts) - 1);
    }
    return pairs;
}();

// Each such text in 32 bytes, and the bits of its bytes among them.
constexpr size_t kPaddedSize = 32;
struct PaddedText {
    alignas(32) std::array<char, kPaddedSize> bytes {};
    unsigned mask = 0;
};
constexpr std::array<PaddedText, kMarkerCount + 1> kPaddedTexts = [] {
    std::array<PaddedText, kMarkerCount + 1> padded {};
    for (unsigned t = 0; t <= kMarkerCount; ++t) {
        const std::string_view text = textOfBit(t);
        if (text.size() > kPaddedSize)
            throw "a text longer than 32 bytes";
        for (size_t i = 0; i < text.size(); ++i)
            padded[t].bytes[i] = text[i];
        padded[t].mask = text.size() == kPaddedSize ? ~0u : (1u << text.size()) - 1;
    }
    return padded;
}();

// What a pass learns from 64 bytes: where a prefix begins; where a lone carriage return stands or a line
// feed with a Ctrl+Z behind it, which seldom happens; where the line feeds stand: a bit for each. The
// prefix bits of each byte go to an array beside.
struct Found64 {
    uint64_t prefixes;
    uint64_t seldom;
    uint64_t lineFeeds;
};

// Looks at 64 bytes as two halves of 32 (AVX2).
class Look32 {
public:
    __attribute__((target("avx2"))) Look32()
    {
        const NibbleTables& tables = kNibbleTables<Where::Either>;
        for (size_t i = 0; i < kPrefixSize; ++i) {
            low_[i] = tableOf(tables.low[i]);
            high_[i] = tableOf(tables.high[i]);
        }
    }

    __attribute__((target("avx2"))) Found64 operator()(const char* p, uint8_t* bitsAt) const
    {
        const Half first = half(p, bitsAt);
        const Half second = half(p + 32, bitsAt + 32);
        return { first.prefixes | uint64_t { second.prefixes } << 32, first.seldom | uint64_t { second.seldom } << 32,
            first.lineFeeds | uint64_t { second.lineFeeds } << 32 };
    }

private:
    struct Half {
        unsigned prefixes;
        unsigned seldom;
        unsigned lineFeeds;
    };

    __attribute__((target("avx2"), always_inline)) Half half(const char* p, uint8_t* bitsAt) const
    {
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
        const __m256i b2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2));
        const __m256i bits
            = _mm256_and_si256(_mm256_and_si256(prefixBits(b0, low_[0], high_[0]), prefixBits(b1, low_[1], high_[1])),
                prefixBits(b2, low_[2], high_[2]));
        _mm256_store_si256(reinterpret_cast<__m256i*>(bitsAt), bits);
        const __m256i lineFeed = _mm256_cmpeq_epi8(b0, _mm256_set1_epi8('\n'));
        const __m256i lone = _mm256_andnot_si256(
            _mm256_cmpeq_epi8(b1, _mm256_set1_epi8('\n')), _mm256_cmpeq_epi8(b0, _mm256_set1_epi8('\r')));
        const __m256i ctrlZ = _mm256_and_si256(lineFeed, _mm256_cmpeq_epi8(b1, _mm256_set1_epi8(kCtrlZ)));
        Half found;
        found.prefixes = ~static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bits, _mm256_setzero_si256())));
        found.seldom = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_or_si256(lone, ctrlZ)));
        found.lineFeeds = static_cast<unsigned>(_mm256_movemask_epi8(lineFeed));
        return found;
    }

    __m256i low_[kPrefixSize];
    __m256i high_[kPrefixSize];
};

// Looks at 64 bytes at once (AVX-512 with its byte operations): the same tables and comparisons, whose
// results come as bit masks without being gathered.
class Look64 {
public:
    __attribute__((target("avx512f,avx512bw"))) Look64()
    {
        const NibbleTables& tables = kNibbleTables<Where::Either>;
        for (size_t i = 0; i < kPrefixSize; ++i) {
            low_[i] = inEachLane(tables.low[i]);
            high_[i] = inEachLane(tables.high[i]);
        }
    }

    __attribute__((target("avx512f,avx512bw"))) Found64 operator()(const char* p, uint8_t* bitsAt) const
    {
        const __m512i b0 = _mm512_loadu_si512(p);
        const __m512i b1 = _mm512_loadu_si512(p + 1);
        const __m512i b2 = _mm512_loadu_si512(p + 2);
        // a AND b AND c in one instruction: the truth table 0x80.
        const __m512i bits = _mm512_ternarylogic_epi32(prefixBits(b0, 0), prefixBits(b1, 1), prefixBits(b2, 2), 0x80);
        _mm512_store_si512(bitsAt, bits);
        const __mmask64 lineFeeds = _mm512_cmpeq_epi8_mask(b0, _mm512_set1_epi8('\n'));
        const __mmask64 lone
            = _mm512_cmpeq_epi8_mask(b0, _mm512_set1_epi8('\r')) & ~_mm512_cmpeq_epi8_mask(b1, _mm512_set1_epi8('\n'));
        const __mmask64 ctrlZ = lineFeeds & _mm512_cmpeq_epi8_mask(b1, _mm512_set1_epi8(kCtrlZ));
        return { _mm512_test_epi8_mask(bits, bits), lone | ctrlZ, lineFeeds };
    }

private:
    // A table of 16 bytes in each of the four lanes, where the byte shuffle looks it up.
    __attribute__((target("avx512f,avx512bw"))) static __m512i inEachLane(const std::array<uint8_t, 16>& table)
    {
        alignas(64) std::array<uint8_t, 64> lanes {};
        for (size_t lane = 0; lane < 4; ++lane)
            std::copy(table.begin(), table.end(), lanes.begin() + static_cast<std::ptrdiff_t>(16 * lane));
        return _mm512_load_si512(lanes.data());
    }

    __attribute__((target("avx512f,avx512bw"), always_inline)) __m512i prefixBits(__m512i bytes, size_t i) const
    {
        const __m512i nibble = _mm512_set1_epi8(15);
        return _mm512_and_si512(_mm512_shuffle_epi8(low_[i], _mm512_and_si512(bytes, nibble)),
            _mm512_shuffle_epi8(high_[i], _mm512_and_si512(_mm512_srli_epi16(bytes, 4), nibble)));
    }

    __m512i low_[kPrefixSize];
    __m512i high_[kPrefixSize];
};

// scanCandidates in one pass over the run, 64 bytes at a time: the line feeds, the lone carriage returns
// and the places where a marker or "CONNECT" may begin, each with the bits of the prefixes that stand
// there, come out of the same comparisons. The run is taken a window of 16 KB at a time, in two steps:
// first the comparisons over the whole window, which note the line feeds of every 64 bytes and, packed
// together, the 64 bytes that hold a place where something begins; then those places in order, each line
// found around its place from the line feeds noted. Neither step branches on what the bytes hold, except
// for the places themselves: a branch on where a place falls would be missed by the processor for most of
// them. The comparisons are made 32 or 64 bytes at once; all else is the same.
class BlockPass {
public:
    BlockPass(std::string_view lines, std::vector<CandidateLine>& out)
        : base_(lines.data())
        , size_(lines.size())
        , out_(out)
    {
    }

    // Every call below is compiled into these two, so that each runs with the instructions it was made for.
    __attribute__((target("avx2"), flatten)) size_t run32() { return run(Look32()); }
    __attribute__((target("avx512f,avx512bw"), flatten)) size_t run64() { return run(Look64()); }

private:
    static constexpr size_t kStep = 64;
    static constexpr size_t kWindowSteps = 256;

    template <class Look> size_t run(const Look& look)
    {
        if (size_ != 0 && base_[0] == kCtrlZ)
            return 0;
        size_t at = 0;
        // A step reads two bytes beyond its 64.
        while (size_ - at >= kStep + 2) {
            const size_t steps = std::min(kWindowSteps, (size_ - at - 2) / kStep);
            compare(look, base_ + at, steps, [](size_t) { return ~uint64_t { 0 }; });
            if (visit(at))
                return stop_;
            at += steps * kStep;
        }
        // The last bytes from a copy with zeros behind them, which begin no prefix and end no line; a
        // carriage return as the very last byte is the line end of a last line without its line feed.
        alignas(64) char tail[3 * kStep] = {};
        const size_t left = size_ - at;
        std::memcpy(tail, base_ + at, left);
        const size_t steps = (left + kStep - 1) / kStep;
        compare(look, tail, steps, [&](size_t step) {
            const size_t from = step * kStep;
            const size_t here = std::min(left - from, kStep);
            uint64_t valid = here == kStep ? ~uint64_t { 0 } : (uint64_t { 1 } << here) - 1;
            if (from + here == left && tail[left - 1] == '\r')
                valid &= ~(uint64_t { 1 } << (here - 1));
            return valid;
        });
        if (visit(at))
            return stop_;
        finish();
        return size_;
    }

    // The comparisons over `steps` steps from `p`: the line feeds of each step, and of each step that holds
    // a place where something begins, its places and the prefix bits of its bytes, packed in order. Only
    // the bits of `validOf(step)` count.
    template <class Look, class Valid> void compare(const Look& look, const char* p, size_t steps, Valid validOf)
    {
        size_t packed = 0;
        lineFeeds_[0] = 0;
        for (size_t s = 0; s < steps; ++s) {
            const Found64 found = look(p + s * kStep, bitsAt_[packed].data());
            const uint64_t valid = validOf(s);
            const uint64_t prefixes = found.prefixes & valid;
            const uint64_t seldom = found.seldom & valid;
            lineFeeds_[s + 1] = found.lineFeeds & valid;
            places_[packed] = { prefixes | seldom, seldom, static_cast<uint32_t>(s) };
            packed += (prefixes | seldom) != 0 ? 1 : 0;
        }
        lineFeeds_[steps + 1] = 0;
        packed_ = packed;
        steps_ = steps;
    }

    // The places of the window compared last, which stands at `window` in the run, in order. True when a
    // Ctrl+Z at the start of a line ended the text (at stop_).
    __attribute__((target("avx2"))) bool visit(size_t window)
    {
        // A line begun in an earlier window ends at the first line feed of this one.
        if (open_ && lineEnd_ == kNotYet)
            lineEnd_ = firstLineFeed(window, 0);
        for (size_t k = 0; k < packed_; ++k) {
            const Places& step = places_[k];
            const size_t offset = window + step.step * kStep;
            for (uint64_t events = step.all; events != 0; events &= events - 1) {
                const auto i = static_cast<unsigned>(__builtin_ctzll(events));
                const size_t at = offset + i;
                if (((step.seldom >> i) & 1) != 0) [[unlikely]] {
                    if (base_[at] == '\n') {
                        finish();
                        stop_ = at + 1;
                        return true;
                    }
                    if (!open_ || at > lineEnd_)
                        open(window, at);
                    plain_ = false;
                    continue;
                }
                if (!open_ || at > lineEnd_)
                    open(window, at);
                match(at, bitsAt_[k][i]);
            }
        }
        // Where a line that begins in a later window but has no line feed in front of it there begins.
        startAfterWindows_ = startFarBefore(window, steps_);
        return false;
    }

    // Begins to gather the line that holds the place `at` of the window at `window`: it starts behind the
    // last line feed before, and ends at the first line feed behind (or the end of the run), which may lie
    // in a later window. Both come from the 64 line feed bits in front of the place and the 64 from it on,
    // unless the line is longer.
    __attribute__((always_inline)) void open(size_t window, size_t at)
    {
        finish();
        const size_t s = (at - window) / kStep; // the step of the place; its line feeds are lineFeeds_[s + 1]
        const unsigned j = static_cast<unsigned>((at - window) % kStep);
        // Bit 63 stands for the byte in front of the place.
        const uint64_t before = ((lineFeeds_[s + 1] << 1) << (63 - j)) | (lineFeeds_[s] >> j);
        if (before != 0) [[likely]]
            lineStart_ = at - static_cast<size_t>(__builtin_clzll(before));
        else
            lineStart_ = startFarBefore(window, s);
        // Bit 0 stands for the place.
        const uint64_t behind = (lineFeeds_[s + 1] >> j) | ((lineFeeds_[s + 2] << 1) << (63 - j));
        if (behind != 0) [[likely]]
            lineEnd_ = at + static_cast<size_t>(__builtin_ctzll(behind));
        else
            lineEnd_ = endFarBehind(window, s, j);
        open_ = true;
        plain_ = true;
        found_ = 0;
    }

    // Where a line begins that has no line feed in front of it in step s: behind the last line feed of the
    // steps before s, or of the windows before. For a place in step s with none in the 64 bytes in front of
    // it (so none in the bits of step s - 1 that were looked at), that is the start of its line.
    size_t startFarBefore(size_t window, size_t s) const
    {
        for (size_t t = s; t > 0; --t) {
            if (lineFeeds_[t] != 0)
                return window + (t - 1) * kStep + static_cast<size_t>(64 - __builtin_clzll(lineFeeds_[t]));
        }
        return startAfterWindows_;
    }

    // The end of a line with no line feed in the 64 bytes from its place, byte j of step s: the first line
    // feed of the rest of step s + 1 or of the steps behind it, or kNotYet.
    size_t endFarBehind(size_t window, size_t s, unsigned j) const
    {
        if (const uint64_t rest = lineFeeds_[s + 2] & (~uint64_t { 0 } << j); rest != 0)
            return window + (s + 1) * kStep + static_cast<size_t>(__builtin_ctzll(rest));
        return firstLineFeed(window, s + 2);
    }

    // Where the first line feed of the steps from `step` on in the window stands, or kNotYet.
    size_t firstLineFeed(size_t window, size_t step) const
    {
        for (size_t t = step; t < steps_; ++t) {
            if (lineFeeds_[t + 1] != 0)
                return window + t * kStep + static_cast<size_t>(__builtin_ctzll(lineFeeds_[t + 1]));
        }
        return kNotYet;
    }

    // Notes the texts not found yet in the line that begin at `at`, where prefixes of these bits stand.
    __attribute__((target("avx2"), always_inline)) void match(size_t at, unsigned prefixBits)
    {
        const std::array<uint8_t, 2>& texts = kTextPairOfPrefixBit[static_cast<size_t>(__builtin_ctz(prefixBits))];
        if (size_ - at >= kPaddedSize) {
            // Every text fits into 32 bytes: one comparison with each of the two, inline and without a
            // branch on how many there are.
            const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base_ + at));
            found_ |= bitIfAt(here, texts[0]) | bitIfAt(here, texts[1]);
            return;
        }
        for (const unsigned t : texts) {
            const std::string_view text = textOfBit(t);
            if (size_ - at >= text.size() && std::memcmp(base_ + at, text.data(), text.size()) == 0)
                found_ |= 1u << t;
        }
    }

    // The bit of text t when the 32 bytes begin with it, else 0.
    __attribute__((target("avx2"), always_inline)) static unsigned bitIfAt(__m256i here, unsigned t)
    {
        const PaddedText& text = kPaddedTexts[t];
        const auto same = static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(here, _mm256_load_si256(reinterpret_cast<const __m256i*>(text.bytes.data())))));
        return static_cast<unsigned>((same & text.mask) == text.mask) << t;
    }

    // The line being gathered is complete: it is handed out when it may matter.
    __attribute__((always_inline)) void finish()
    {
        if (!open_)
            return;
        open_ = false;
        if (lineEnd_ == kNotYet)
            lineEnd_ = size_;
        size_t bytes = lineEnd_ - lineStart_;
        if (bytes != 0 && base_[lineEnd_ - 1] == '\r')
            --bytes;
        if (plain_ && found_ == 0)
            return;
        // Made whole here and stored in one piece.
        CandidateLine line;
        line.start = static_cast<uint32_t>(lineStart_);
        line.size = static_cast<uint32_t>(bytes);
        line.plain = plain_;
        line.connect = plain_ && (found_ & kConnectBit) != 0;
        line.markers = static_cast<uint16_t>(plain_ ? found_ & (kConnectBit - 1) : 0);
        out_.push_back(line);
    }

    // A step of the window that holds a place where something begins.
    struct Places {
        uint64_t all; // the places: prefixes and the seldom ones
        uint64_t seldom; // a lone carriage return, or a line feed with a Ctrl+Z behind it
        uint32_t step;
    };

    const char* base_;
    size_t size_;
    std::vector<CandidateLine>& out_;
    static constexpr size_t kNotYet = ~size_t { 0 }; // the line feed lies beyond the windows taken so far

    // Of the window being visited: the line feeds of each step, with a step of none in front and behind;
    // the steps with places, packed, and the prefix bits of their bytes.
    std::array<uint64_t, kWindowSteps + 2> lineFeeds_;
    std::array<Places, kWindowSteps> places_;
    alignas(64) std::array<std::array<uint8_t, kStep>, kWindowSteps> bitsAt_;
    size_t packed_ = 0;
    size_t steps_ = 0;

    size_t startAfterWindows_ = 0; // behind the last line feed of the windows before
    size_t lineStart_ = 0;
    size_t lineEnd_ = 0; // where its line feed stands, the end of the run, or kNotYet
    bool open_ = false; // the line at lineStart_ is being gathered
    bool plain_ = true; // it holds no lone carriage return
    unsigned found_ = 0; // the texts found in it so far
    size_t stop_ = 0;
};
#endif

template <Where inSession> const char* findCandidateIn(const char* from, const char* end)
{
    [[maybe_unused]] const unsigned width = scanWidth.load(std::memory_order_relaxed);
#if defined(VELMAR_HAVE_AVX2_PATH)
    if (width >= 32)
        return findCandidateAvx2<inSession>(from, end);
#endif
#if defined(__SSE2__)
    if (width >= 16)
        return findCandidateSse2<inSession>(from, end);
#endif
    return findCandidateBytewise<inSession>(from, end);
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
#if defined(VELMAR_HAVE_AVX2_PATH)
    const unsigned width = scanWidth.load(std::memory_order_relaxed);
    if (width >= 64)
        return BlockPass(lines, out).run64();
    if (width >= 32)
        return BlockPass(lines, out).run32();
#endif
    return scanCandidatesLineByLine(lines, out);
}

unsigned setScanWidth(unsigned bytes)
{
    const unsigned widest = widestScan();
    const unsigned width = bytes >= 64 ? 64 : bytes >= 32 ? 32 : bytes >= 16 ? 16 : 1;
    return scanWidth.exchange(std::min(width, widest));
}

size_t scanCandidatesLineByLine(std::string_view lines, std::vector<CandidateLine>& out)
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
        std::string_view bytes(lineStart, static_cast<size_t>(lineEnd - lineStart));
        if (!bytes.empty() && bytes.back() == '\r')
            bytes.remove_suffix(1);
        // The hit is the first place in the line where a marker, "CONNECT" or a lone carriage return may
        // begin: what it holds is looked for from there.
        const auto skip = static_cast<size_t>(hit - lineStart);
        const bool plain = std::memchr(hit, '\r', bytes.size() - std::min(skip, bytes.size())) == nullptr;
        MarkerPositions found;
        bool connect = false;
        if (plain) {
            const std::string_view rest = bytes.substr(std::min(skip, bytes.size()));
            findMarkers(rest, found);
            connect = rest.find(kConnect) != std::string_view::npos;
        }
        if (!plain || connect || found.markers != 0) {
            CandidateLine& line = out.emplace_back();
            line.start = static_cast<uint32_t>(lineStart - lines.data());
            line.size = static_cast<uint32_t>(bytes.size());
            line.plain = plain;
            line.connect = connect;
            line.markers = static_cast<uint16_t>(found.markers);
        }
        from = lineFeed == nullptr ? end : lineFeed + 1;
        if (from < end && *from == kCtrlZ)
            return static_cast<size_t>(from - lines.data());
    }
    return lines.size();
}

} // namespace velmar
