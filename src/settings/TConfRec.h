#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmar {

/// The template of the detailed export that the default button of the settings page and a first "config" get.
inline constexpr std::string_view kDefaultExpFormat = "%1 %2 %3 %4 %5 %6 %7";
/// The template of the summary export that the default button of the settings page and a first "config" get.
inline constexpr std::string_view kDefaultExp2Format = "%4 %5 %6 %7 %8";

/// The settings record: exactly the 816-byte record of "config". The bytes without meaning (the two
/// alignment gaps and the characters behind each string's length) keep what the last read put there, so a
/// record that is read and written back comes out unchanged; in a record never read they are zero.
class TConfRec {
public:
    static constexpr size_t kMaxText = 255;
    static constexpr size_t kMaxLangName = 25;

    // Offsets in the stored record.
    static constexpr size_t kOffsetSecAt = 0;
    static constexpr size_t kGapAfterOffsetAt = kOffsetSecAt + sizeof(int32_t);
    static constexpr size_t kGapAfterOffsetSize = 4;
    static constexpr size_t kTarifPerMinAt = kGapAfterOffsetAt + kGapAfterOffsetSize;
    static constexpr size_t kLogFileAt = kTarifPerMinAt + sizeof(double);
    static constexpr size_t kExpFormatAt = kLogFileAt + 1 + kMaxText;
    static constexpr size_t kExp2FormatAt = kExpFormatAt + 1 + kMaxText;
    static constexpr size_t kLangNameAt = kExp2FormatAt + 1 + kMaxText;
    static constexpr size_t kGapAtEndAt = kLangNameAt + 1 + kMaxLangName;
    static constexpr size_t kGapAtEndSize = 6;
    /// The size of the record in "config".
    static constexpr size_t kSize = kGapAtEndAt + kGapAtEndSize;

    /// Seconds added to every session before it is turned into minutes.
    int32_t OffsetSec = 0;
    /// Money per charged minute.
    double TarifPerMin = 0.0;

    /// Path of the mailer's log.
    std::string_view LogFile() const { return text(logFile_); }
    /// Template of the detailed export.
    std::string_view ExpFormat() const { return text(expFormat_); }
    /// Template of the summary export.
    std::string_view Exp2Format() const { return text(exp2Format_); }
    /// Name of the chosen language (the language file's name without ".lng").
    std::string_view LangName() const { return text(langName_); }

    /// Sets the log path, cut to 255 characters; the bytes behind the new length keep what was there.
    void setLogFile(std::string_view value) { setText(logFile_, value); }
    /// Sets the detailed template, cut to 255 characters.
    void setExpFormat(std::string_view value) { setText(expFormat_, value); }
    /// Sets the summary template, cut to 255 characters.
    void setExp2Format(std::string_view value) { setText(exp2Format_, value); }
    /// Sets the language name, cut to 25 characters.
    void setLangName(std::string_view value) { setText(langName_, value); }

    /// The record as it is stored, little-endian.
    std::array<unsigned char, kSize> toBytes() const;
    /// Takes the first `size` bytes of a stored record over the record; a shorter piece (a partial read)
    /// leaves the fields and bytes behind it as they were. A language length above 25 is taken as 25.
    void fromBytes(const unsigned char* data, size_t size);

private:
    template <size_t N> static std::string_view text(const std::array<unsigned char, N>& field)
    {
        return { reinterpret_cast<const char*>(field.data()) + 1, field[0] };
    }
    template <size_t N> static void setText(std::array<unsigned char, N>& field, std::string_view value)
    {
        const size_t length = value.size() < N - 1 ? value.size() : N - 1;
        field[0] = static_cast<unsigned char>(length);
        for (size_t i = 0; i < length; ++i)
            field[1 + i] = static_cast<unsigned char>(value[i]);
    }

    // Each string field: its length byte followed by its character bytes, as stored.
    std::array<unsigned char, kGapAfterOffsetSize> gapAfterOffset_ {};
    std::array<unsigned char, 1 + kMaxText> logFile_ {};
    std::array<unsigned char, 1 + kMaxText> expFormat_ {};
    std::array<unsigned char, 1 + kMaxText> exp2Format_ {};
    std::array<unsigned char, 1 + kMaxLangName> langName_ {};
    std::array<unsigned char, kGapAtEndSize> gapAtEnd_ {};
};

static_assert(TConfRec::kSize == 816, "the settings record of \"config\" is 816 bytes");
static_assert(TConfRec::kLogFileAt == 16 && TConfRec::kExpFormatAt == 272 && TConfRec::kExp2FormatAt == 528
    && TConfRec::kLangNameAt == 784 && TConfRec::kGapAtEndAt == 810);

} // namespace velmar
