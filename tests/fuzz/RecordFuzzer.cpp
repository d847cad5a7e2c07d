// Settings record bytes through the reader, the controls' texts and a save, as a settings file from
// another version or a damaged disk would bring them.
#include "FuzzSupport.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "settings/ConfigFile.h"
#include "settings/TConfRec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

using namespace velmar;

namespace {

using Bytes = std::array<unsigned char, TConfRec::kSize>;

// The record the reader must leave: the bytes read over a zero record, the language length at most 25.
Bytes expectedRecord(const uint8_t* data, size_t size)
{
    Bytes bytes {};
    std::copy(data, data + std::min(size, bytes.size()), bytes.begin());
    bytes[TConfRec::kLangNameAt] = std::min<unsigned char>(bytes[TConfRec::kLangNameAt], TConfRec::kMaxLangName);
    return bytes;
}

std::string_view field(const Bytes& bytes, size_t at)
{
    return { reinterpret_cast<const char*>(bytes.data()) + at + 1, bytes[at] };
}

std::string saveDirectory;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static const ScopedLocale locale({ ',', ':' });
    char pattern[] = "/dev/shm/velmar-record-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    saveDirectory = pattern;
    std::atexit([] {
        ::unlink((saveDirectory + "/config").c_str());
        ::rmdir(saveDirectory.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::MemoryFile file("config");
    file.set({ reinterpret_cast<const char*>(data), size });

    // Any 816 bytes are a record; fewer are "Read beyond end of file", with what could be read taken over.
    // A record whose tariff is no finite number is refused with the tariff's conversion message; it then
    // holds everything else and a tariff of 0.
    TConfRec rec;
    Bytes expected = expectedRecord(data, size);
    try {
        readConfRec(file.path(), rec);
        FUZZ_CHECK(size >= TConfRec::kSize);
    } catch (const InOutError& error) {
        FUZZ_CHECK(size < TConfRec::kSize);
        FUZZ_CHECK_EQ(std::string(error.what()), "Read beyond end of file");
        FUZZ_CHECK_EQ(error.code(), InOutError::kReadBeyondEnd);
    } catch (const ConvertError& error) {
        FUZZ_CHECK(size >= TConfRec::kSize);
        double stored = 0;
        std::memcpy(&stored, data + TConfRec::kTarifPerMinAt, sizeof stored);
        FUZZ_CHECK(!std::isfinite(stored));
        FUZZ_CHECK_EQ(std::string(error.what()), "'" + formatFloat(stored) + "' is not a valid floating point value");
        FUZZ_CHECK_EQ(rec.TarifPerMin, 0.0);
        std::fill(expected.begin() + TConfRec::kTarifPerMinAt,
            expected.begin() + TConfRec::kTarifPerMinAt + sizeof(double), static_cast<unsigned char>(0));
    }
    const Bytes read = rec.toBytes();
    FUZZ_CHECK(read == expected);

    // Every text lies inside its own field.
    FUZZ_CHECK_EQ(rec.LogFile(), field(read, TConfRec::kLogFileAt));
    FUZZ_CHECK_EQ(rec.ExpFormat(), field(read, TConfRec::kExpFormatAt));
    FUZZ_CHECK_EQ(rec.Exp2Format(), field(read, TConfRec::kExp2FormatAt));
    FUZZ_CHECK_EQ(rec.LangName(), field(read, TConfRec::kLangNameAt));
    FUZZ_CHECK(rec.LangName().size() <= TConfRec::kMaxLangName);

    // The stored form of a record read is the record again.
    TConfRec again;
    again.fromBytes(read.data(), read.size());
    FUZZ_CHECK(again.toBytes() == read);

    // What the settings page shows, saved as it stands, keeps every setting.
    ConfTexts texts;
    texts.tarif = formatFloat(rec.TarifPerMin);
    texts.offset = formatInt(rec.OffsetSec);
    texts.logFile = rec.LogFile();
    texts.exp = rec.ExpFormat();
    texts.exp2 = rec.Exp2Format();
    texts.langName = rec.LangName();
    TConfRec saved = rec;
    try {
        fillConfRec(saved, texts);
    } catch (const ConvertError& error) {
        // Only a tariff that no edit can hold: not a number, infinite, or rounded up past the largest double.
        const double t = rec.TarifPerMin;
        FUZZ_CHECK(!std::isfinite(t) || std::fabs(t) > 1.7976931348623e308);
        FUZZ_CHECK(saved.toBytes() == read); // the tariff is taken first: nothing changed
        return 0;
    }
    FUZZ_CHECK_EQ(saved.OffsetSec, rec.OffsetSec);
    const double t = rec.TarifPerMin;
    FUZZ_CHECK(std::fabs(saved.TarifPerMin - t) <= 1e-14 * std::fabs(t) + std::numeric_limits<double>::denorm_min());
    const Bytes savedBytes = saved.toBytes();
    for (size_t i = 0; i < savedBytes.size(); ++i) {
        if (i < TConfRec::kTarifPerMinAt || i >= TConfRec::kTarifPerMinAt + sizeof(double))
            FUZZ_CHECK_EQ(savedBytes[i], read[i]);
    }

    const std::string config = saveDirectory + "/config";
    writeConfRec(config, saved);
    TConfRec reread;
    readConfRec(config, reread);
    FUZZ_CHECK(reread.toBytes() == savedBytes);
    return 0;
}
