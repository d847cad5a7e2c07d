#include "settings/TConfRec.h"

#include <algorithm>
#include <bit>

namespace velmar {

namespace {

void putUint32(unsigned char* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

void putUint64(unsigned char* out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t getUint32(const unsigned char* in)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

uint64_t getUint64(const unsigned char* in)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

template <size_t N> void putBytes(unsigned char* record, size_t at, const std::array<unsigned char, N>& field)
{
    std::copy(field.begin(), field.end(), record + at);
}

template <size_t N> void getBytes(const unsigned char* record, size_t at, std::array<unsigned char, N>& field)
{
    std::copy(record + at, record + at + N, field.begin());
}

} // namespace

std::array<unsigned char, TConfRec::kSize> TConfRec::toBytes() const
{
    std::array<unsigned char, kSize> record {};
    putUint32(record.data() + kOffsetSecAt, static_cast<uint32_t>(OffsetSec));
    putBytes(record.data(), kGapAfterOffsetAt, gapAfterOffset_);
    putUint64(record.data() + kTarifPerMinAt, std::bit_cast<uint64_t>(TarifPerMin));
    putBytes(record.data(), kLogFileAt, logFile_);
    putBytes(record.data(), kExpFormatAt, expFormat_);
    putBytes(record.data(), kExp2FormatAt, exp2Format_);
    putBytes(record.data(), kLangNameAt, langName_);
    putBytes(record.data(), kGapAtEndAt, gapAtEnd_);
    return record;
}

void TConfRec::fromBytes(const unsigned char* data, size_t size)
{
    // Lay the piece over the record as it stands, so that a partial read changes only what it reached.
    std::array<unsigned char, kSize> record = toBytes();
    std::copy(data, data + std::min(size, kSize), record.begin());

    OffsetSec = static_cast<int32_t>(getUint32(record.data() + kOffsetSecAt));
    getBytes(record.data(), kGapAfterOffsetAt, gapAfterOffset_);
    TarifPerMin = std::bit_cast<double>(getUint64(record.data() + kTarifPerMinAt));
    getBytes(record.data(), kLogFileAt, logFile_);
    getBytes(record.data(), kExpFormatAt, expFormat_);
    getBytes(record.data(), kExp2FormatAt, exp2Format_);
    getBytes(record.data(), kLangNameAt, langName_);
    getBytes(record.data(), kGapAtEndAt, gapAtEnd_);
    // The language field holds 25 characters; a longer length byte must not reach into the gap behind it.
    if (langName_[0] > kMaxLangName)
        langName_[0] = static_cast<unsigned char>(kMaxLangName);
}

} // namespace velmar
