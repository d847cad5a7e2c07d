#include "settings/TConfRec.h"

#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace velmar {
namespace {

using Record = std::array<unsigned char, 816>;

std::string hex(const unsigned char* bytes, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

TEST(TConfRec, NeverReadRecordIsAllZero)
{
    const TConfRec rec;
    EXPECT_EQ(rec.OffsetSec, 0);
    EXPECT_EQ(rec.TarifPerMin, 0.0);
    EXPECT_EQ(rec.LogFile(), "");
    EXPECT_EQ(rec.LangName(), "");
    EXPECT_EQ(rec.toBytes(), Record {});
}

TEST(TConfRec, StoresOffsetAsLittleEndianTwosComplement)
{
    struct Case {
        const char* name;
        int32_t value;
        const char* bytes; // bytes 0..3, lowest byte first
    };
    const Case cases[] = {
        { "zero", 0, "00000000" },
        { "one", 1, "01000000" },
        { "minus one is all ones", -1, "ffffffff" },
        { "byte order", 0x12345678, "78563412" },
        { "lowest", std::numeric_limits<int32_t>::min(), "00000080" },
        { "highest", std::numeric_limits<int32_t>::max(), "ffffff7f" },
        { "minus 30 seconds: 2^32 - 30 = 0xFFFFFFE2", -30, "e2ffffff" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TConfRec rec;
        rec.OffsetSec = c.value;
        const Record bytes = rec.toBytes();
        EXPECT_EQ(hex(bytes.data(), 4), c.bytes);
        TConfRec back;
        back.fromBytes(bytes.data(), bytes.size());
        EXPECT_EQ(back.OffsetSec, c.value);
    }
}

TEST(TConfRec, StoresTariffAsLittleEndianBinary64)
{
    struct Case {
        const char* name;
        double value;
        const char* bytes; // bytes 8..15: the IEEE 754 pattern, lowest byte first
    };
    const Case cases[] = {
        { "4.79 = 0x401328F5C28F5C29", 4.79, "295c8fc2f5281340" },
        { "1.0 = 0x3FF0000000000000", 1.0, "000000000000f03f" },
        { "0.5 = 0x3FE0000000000000", 0.5, "000000000000e03f" },
        { "negative zero keeps its sign bit", -0.0, "0000000000000080" },
        { "1E308 = 0x7FE1CCF385EBC8A0", 1e308, "a0c8eb85f3cce17f" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TConfRec rec;
        rec.TarifPerMin = c.value;
        const Record bytes = rec.toBytes();
        EXPECT_EQ(hex(bytes.data() + 8, 8), c.bytes);
        EXPECT_EQ(hex(bytes.data() + 4, 4), "00000000"); // the gap stays zero
        TConfRec back;
        back.fromBytes(bytes.data(), bytes.size());
        EXPECT_EQ(std::memcmp(&back.TarifPerMin, &c.value, sizeof(double)), 0);
    }
}

TEST(TConfRec, KeepsTheBytesWithoutMeaningAsRead)
{
    // Every byte of the record set to a pattern, then real lengths laid over it: the gaps and the characters
    // behind every length hold noise that must come back unchanged.
    Record golden;
    for (size_t i = 0; i < golden.size(); ++i)
        golden[i] = static_cast<unsigned char>(i * 7 + 3);
    golden[16] = 3;
    golden[272] = 0;
    golden[528] = 255;
    golden[784] = 25;

    TConfRec rec;
    rec.fromBytes(golden.data(), golden.size());
    EXPECT_EQ(rec.LogFile().size(), 3u);
    EXPECT_EQ(rec.ExpFormat(), "");
    EXPECT_EQ(rec.Exp2Format().size(), 255u);
    EXPECT_EQ(rec.toBytes(), golden);

    // A shorter text replaces only its own characters; behind its length the old bytes stay.
    rec.setLogFile("ab");
    Record expected = golden;
    expected[16] = 2;
    expected[17] = 'a';
    expected[18] = 'b';
    EXPECT_EQ(rec.toBytes(), expected);
}

TEST(TConfRec, CutsTextsToTheirFields)
{
    struct Case {
        const char* name;
        size_t length; // of the text given
        size_t expectedLog; // min(length, 255)
        size_t expectedLang; // min(length, 25)
    };
    const Case cases[] = {
        { "empty", 0, 0, 0 },
        { "25 fits both", 25, 25, 25 },
        { "26 cuts the language", 26, 26, 25 },
        { "255 fits the path", 255, 255, 25 },
        { "256 cuts the path", 256, 255, 25 },
        { "very long", 5000, 255, 25 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        for (size_t i = 0; i < c.length; ++i)
            text += static_cast<char>('a' + i % 26);
        TConfRec rec;
        rec.setLogFile(text);
        rec.setExpFormat(text);
        rec.setExp2Format(text);
        rec.setLangName(text);
        EXPECT_EQ(rec.LogFile(), text.substr(0, c.expectedLog));
        EXPECT_EQ(rec.ExpFormat(), text.substr(0, c.expectedLog));
        EXPECT_EQ(rec.Exp2Format(), text.substr(0, c.expectedLog));
        EXPECT_EQ(rec.LangName(), text.substr(0, c.expectedLang));
        const Record bytes = rec.toBytes();
        EXPECT_EQ(bytes[16], c.expectedLog);
        EXPECT_EQ(bytes[784], c.expectedLang);
        // Nothing spills into the gap behind the language name.
        EXPECT_EQ(hex(bytes.data() + 810, 6), "000000000000");
    }
}

TEST(TConfRec, CutsALanguageLengthAbove25WhenRead)
{
    struct Case {
        const char* name;
        unsigned char length;
        size_t expected;
    };
    const Case cases[] = {
        { "25 is the field", 25, 25 },
        { "26 reaches into the gap", 26, 25 },
        { "255", 255, 25 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record golden {};
        golden[784] = c.length;
        for (size_t i = 785; i < 816; ++i)
            golden[i] = static_cast<unsigned char>(i < 810 ? 'L' : 'G'); // L inside the field, G in the gap
        TConfRec rec;
        rec.fromBytes(golden.data(), golden.size());
        EXPECT_EQ(rec.LangName(), std::string(c.expected, 'L'));
        EXPECT_EQ(rec.toBytes()[784], c.expected);
    }
}

TEST(TConfRec, PartialReadChangesOnlyWhatItReached)
{
    TConfRec rec;
    rec.OffsetSec = 7;
    rec.TarifPerMin = 4.79;
    rec.setLogFile("old.log");
    const Record before = rec.toBytes();

    // Ten bytes: OffsetSec -1, the gap, then the first two bytes of the tariff.
    const unsigned char piece[10] = { 0xff, 0xff, 0xff, 0xff, 1, 2, 3, 4, 0xaa, 0xbb };
    rec.fromBytes(piece, sizeof piece);
    Record expected = before;
    std::memcpy(expected.data(), piece, sizeof piece);
    EXPECT_EQ(rec.toBytes(), expected);
    EXPECT_EQ(rec.OffsetSec, -1);
    EXPECT_EQ(rec.LogFile(), "old.log");

    rec.fromBytes(nullptr, 0);
    EXPECT_EQ(rec.toBytes(), expected);
}

} // namespace
} // namespace velmar
