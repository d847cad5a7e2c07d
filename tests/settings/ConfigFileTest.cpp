#include "settings/ConfigFile.h"

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace velmar {
namespace {

namespace fs = std::filesystem;

// The record laid out by hand from the stored format: 0 offset, 8 tariff, 16/272/528 the three
// 255-character texts, 784 the language name; `noise` fills every byte without meaning.
std::string handRecord(uint32_t offset, uint64_t tariffBits, const std::string& log, const std::string& exp,
    const std::string& exp2, const std::string& lang, unsigned char noise)
{
    std::string bytes(816, static_cast<char>(noise));
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((offset >> (8 * i)) & 0xff);
    for (int i = 0; i < 8; ++i)
        bytes[8 + i] = static_cast<char>((tariffBits >> (8 * i)) & 0xff);
    const auto put = [&bytes](size_t at, const std::string& text) {
        bytes[at] = static_cast<char>(text.size());
        bytes.replace(at + 1, text.size(), text);
    };
    put(16, log);
    put(272, exp);
    put(528, exp2);
    put(784, lang);
    return bytes;
}

const uint64_t kTariff479 = 0x401328F5C28F5C29; // 4.79 as IEEE 754 binary64

ConfTexts demoTexts()
{
    return { "4.79", "0", "new_line.log", "%1 %2 %3 %4 %5 %6 %7", "%4 %5 %6 %7 %8", "english" };
}

const LocaleFormat kPoint { '.', ':' };
const LocaleFormat kComma { ',', ':' };

bool exists(const std::string& path)
{
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

TEST(ConfigFile, ReadsAndWritesBackByteForByte)
{
    test::TempDir dir;
    const std::string golden
        = handRecord(0xFFFFFFE2, kTariff479, "C:\\Mail\\LOG\\new_line.log", "%1 %2", "%4 %5", "russian", 0x5A);
    const std::string path = dir.write("config", golden);

    TConfRec rec;
    readConfRec(path, rec);
    EXPECT_EQ(rec.OffsetSec, -30);
    EXPECT_EQ(rec.TarifPerMin, 4.79);
    EXPECT_EQ(rec.LogFile(), "C:\\Mail\\LOG\\new_line.log");
    EXPECT_EQ(rec.ExpFormat(), "%1 %2");
    EXPECT_EQ(rec.Exp2Format(), "%4 %5");
    EXPECT_EQ(rec.LangName(), "russian");

    writeConfRec(path, rec);
    EXPECT_EQ(test::readFile(path), golden);
    EXPECT_FALSE(exists(path + ".tmp"));
}

TEST(ConfigFile, FixtureFromAnEarlierInstallationSurvivesASave)
{
    // The fixture: offset -30, tariff 4.79, the old built-in templates, language "russian"; every byte without
    // meaning is 0xCC, and ".old", " %8" and "-old" stand behind three of the texts as earlier values left them.
    test::TempDir dir;
    const std::string fixture = test::readFile(std::string(VELMAR_TEST_DATA_DIR) + "/settings/config-kept-bytes");
    ASSERT_EQ(fixture.size(), 816u);
    const std::string path = dir.write("config", fixture);
    TConfRec rec;
    readConfRec(path, rec);
    EXPECT_EQ(rec.OffsetSec, -30);
    EXPECT_EQ(rec.TarifPerMin, 4.79);
    EXPECT_EQ(rec.LogFile(), "C:\\Mail\\LOG\\new_line.log");
    EXPECT_EQ(rec.ExpFormat(), "%1 %2 %3 %4 %5 %6");
    EXPECT_EQ(rec.Exp2Format(), "%4 %5 %6 %7");
    EXPECT_EQ(rec.LangName(), "russian");

    // Saved again with the same texts, the file is unchanged; with a shorter log path only its length and
    // characters change.
    ScopedLocale comma(kComma);
    saveConfRec(
        path, rec, { "4,79", "-30", "C:\\Mail\\LOG\\new_line.log", "%1 %2 %3 %4 %5 %6", "%4 %5 %6 %7", "russian" });
    EXPECT_EQ(test::readFile(path), fixture);
    saveConfRec(path, rec, { "4,79", "-30", "D:\\x.log", "%1 %2 %3 %4 %5 %6", "%4 %5 %6 %7", "russian" });
    std::string expected = fixture;
    expected[16] = 8;
    expected.replace(17, 8, "D:\\x.log");
    EXPECT_EQ(test::readFile(path), expected);
}

TEST(ConfigFile, NeverReadRecordWritesZerosWhereNothingIsMeant)
{
    test::TempDir dir;
    const std::string path = dir.file("config");
    TConfRec rec;
    ScopedLocale point(kPoint);
    saveConfRec(path, rec, demoTexts());
    EXPECT_EQ(test::readFile(path),
        handRecord(0, kTariff479, "new_line.log", "%1 %2 %3 %4 %5 %6 %7", "%4 %5 %6 %7 %8", "english", 0));
}

TEST(ConfigFile, StoresTextsCutToTheirFields)
{
    test::TempDir dir;
    const std::string path = dir.file("config");
    const std::string longText(300, 'p');
    const std::string longLang = "a-language-name-of-thirty-two-ch";
    ConfTexts texts = demoTexts();
    texts.logFile = longText;
    texts.exp = longText + "e";
    texts.exp2 = longText + "f";
    texts.langName = longLang;
    TConfRec rec;
    ScopedLocale point(kPoint);
    saveConfRec(path, rec, texts);
    EXPECT_EQ(test::readFile(path),
        handRecord(0, kTariff479, longText.substr(0, 255), longText.substr(0, 255), longText.substr(0, 255),
            longLang.substr(0, 25), 0));
}

TEST(ConfigFile, LongerFileReadsItsFirstRecordAndIsSavedAsOne)
{
    test::TempDir dir;
    const std::string first = handRecord(60, kTariff479, "a.log", "%1", "%4", "english", 0);
    const std::string path = dir.write("config", first + std::string(500, 'X'));
    TConfRec rec;
    readConfRec(path, rec);
    EXPECT_EQ(rec.OffsetSec, 60);
    EXPECT_EQ(rec.LangName(), "english");
    writeConfRec(path, rec);
    EXPECT_EQ(test::readFile(path), first);
}

TEST(ConfigFile, ShortAndMissingFilesAreRefusedAndReadOnlyOnesRead)
{
    struct Case {
        const char* name;
        size_t size; // bytes of a valid record written, or npos for no file
        bool readOnly;
        const char* message; // empty: read without error
    };
    const size_t none = std::string::npos;
    const Case cases[] = {
        { "empty file", 0, false, "Read beyond end of file" },
        { "one byte short", 815, false, "Read beyond end of file" },
        { "missing", none, false, "File not found" },
        // Reading needs no write access: a read-only "config" starts the program (a save refuses it).
        { "read-only attribute", 816, true, "" },
        { "read-only and short", 10, true, "Read beyond end of file" },
    };
    const std::string full = handRecord(1, kTariff479, "x.log", "%1", "%4", "english", 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir.file("config");
        if (c.size != none)
            test::writeFile(path, full.substr(0, c.size));
        if (c.readOnly)
            ::chmod(path.c_str(), 0444);
        TConfRec rec;
        if (*c.message == '\0') {
            EXPECT_NO_THROW(readConfRec(path, rec));
            EXPECT_EQ(rec.LogFile(), "x.log");
        } else {
            EXPECT_THROW_MSG(readConfRec(path, rec), InOutError, c.message);
        }
    }
}

TEST(ConfigFile, ShortFileLeavesWhatCouldBeRead)
{
    test::TempDir dir;
    // Offset 300 (0x12C) and nothing else: the rest of the record keeps its earlier values.
    const std::string path = dir.write("config", std::string("\x2c\x01\x00\x00", 4));
    TConfRec rec;
    rec.TarifPerMin = 2.5;
    rec.setLangName("english");
    EXPECT_THROW_MSG(readConfRec(path, rec), InOutError, "Read beyond end of file");
    EXPECT_EQ(rec.OffsetSec, 300);
    EXPECT_EQ(rec.TarifPerMin, 2.5);
    EXPECT_EQ(rec.LangName(), "english");
}

TEST(ConfigFile, FailedSaveKeepsTheOldFile)
{
    const std::string old = handRecord(5, kTariff479, "old.log", "%1", "%4", "russian", 0x33);
    ConfTexts badTariff = demoTexts();
    badTariff.tarif = "4,79"; // a comma where the locale has a point
    ConfTexts badOffset = demoTexts();
    badOffset.offset = "ten";
    ConfTexts overflow = demoTexts();
    overflow.tarif = "1E400";
    struct Case {
        const char* name;
        void (*prepare)(const test::TempDir& dir); // makes the save fail
        ConfTexts texts;
        const char* message;
    };
    const Case cases[] = {
        { "refused tariff", nullptr, badTariff, "'4,79' is not a valid floating point value" },
        { "refused offset", nullptr, badOffset, "'ten' is not a valid integer value" },
        { "tariff beyond a double", nullptr, overflow, "Floating point overflow" },
        { "read-only config", [](const test::TempDir& dir) { ::chmod(dir.file("config").c_str(), 0444); }, demoTexts(),
            "File access denied" },
        // The temporary file cannot be made: a directory stands where it would go, as an unwritable
        // directory would refuse it to any user but root (EISDIR is 21).
        { "temporary path taken", [](const test::TempDir& dir) { fs::create_directory(dir.file("config.tmp")); },
            demoTexts(), "I/O error 21" },
    };
    ScopedLocale point(kPoint);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir.write("config", old);
        TConfRec rec;
        readConfRec(path, rec);
        if (c.prepare)
            c.prepare(dir);
        const bool tmpWasThere = exists(dir.file("config.tmp"));
        try {
            saveConfRec(path, rec, c.texts);
            ADD_FAILURE() << "the save did not fail";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
        ::chmod(path.c_str(), 0644);
        EXPECT_EQ(test::readFile(path), old);
        // A temporary file of the save's own never stays behind; what stood there before is not touched.
        EXPECT_EQ(exists(dir.file("config.tmp")), tmpWasThere);
    }
}

TEST(ConfigFile, SaveIntoAMissingDirectoryFails)
{
    test::TempDir dir;
    TConfRec rec;
    EXPECT_THROW_MSG(writeConfRec(dir.file("gone/config"), rec), InOutError, "File not found");
    EXPECT_FALSE(exists(dir.file("gone")));
}

TEST(ConfigFile, SaveReplacesAStaleTemporaryFileAndKeepsPermissions)
{
    test::TempDir dir;
    const std::string path = dir.write("config", std::string(816, 'o'));
    ::chmod(path.c_str(), 0600);
    dir.write("config.tmp", "left by a save that was cut off");
    TConfRec rec;
    writeConfRec(path, rec);
    EXPECT_EQ(test::readFile(path), std::string(816, '\0'));
    EXPECT_FALSE(exists(dir.file("config.tmp")));
    struct stat st { };
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(ConfigFile, FillConvertsNumbersUnderTheLocale)
{
    struct Case {
        const char* name;
        LocaleFormat locale;
        const char* tarif;
        const char* offset;
        double expectedTariff;
        int32_t expectedOffset;
    };
    const Case cases[] = {
        { "point locale", kPoint, "4.79", "0", 4.79, 0 },
        { "comma locale", kComma, "4,79", "0", 4.79, 0 },
        { "spaces around the tariff", kComma, "  5  ", "0", 5.0, 0 },
        { "signed exponent", kPoint, "-1.5e+2", "0", -150.0, 0 },
        { "capital E", kComma, "+2E-1", "0", 0.2, 0 },
        { "negative offset", kPoint, "1", "-30", 1.0, -30 },
        { "plus and leading spaces", kPoint, "1", "  +15", 1.0, 15 },
        { "hex with $: 0x1F = 31", kPoint, "1", "$1F", 1.0, 31 },
        { "hex with x", kPoint, "1", "x10", 1.0, 16 },
        { "hex with 0X", kPoint, "1", "0Xff", 1.0, 255 },
        { "lowest offset", kPoint, "1", "-2147483648", 1.0, -2147483647 - 1 },
        { "highest hex offset", kPoint, "1", "$7FFFFFFF", 1.0, 2147483647 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedLocale locale(c.locale);
        TConfRec rec;
        ConfTexts texts = demoTexts();
        texts.tarif = c.tarif;
        texts.offset = c.offset;
        fillConfRec(rec, texts);
        EXPECT_DOUBLE_EQ(rec.TarifPerMin, c.expectedTariff);
        EXPECT_EQ(rec.OffsetSec, c.expectedOffset);
    }
}

TEST(ConfigFile, FillRefusesTextsAndKeepsTheFieldsBehindTheFailure)
{
    struct Case {
        const char* name;
        LocaleFormat locale;
        const char* tarif;
        const char* offset;
        const char* message;
        bool tariffTaken; // the tariff is converted first, so a bad offset still lets it in
    };
    const Case cases[] = {
        { "point in a comma locale", kComma, "4.79", "0", "'4.79' is not a valid floating point value", false },
        { "comma in a point locale", kPoint, "4,79", "0", "'4,79' is not a valid floating point value", false },
        { "digit groups", kPoint, "1,000.5", "0", "'1,000.5' is not a valid floating point value", false },
        { "empty tariff", kPoint, "", "0", "'' is not a valid floating point value", false },
        { "empty offset", kPoint, "2", "", "'' is not a valid integer value", true },
        { "space after the offset", kPoint, "2", "5 ", "'5 ' is not a valid integer value", true },
        { "word", kPoint, "2", "abc", "'abc' is not a valid integer value", true },
        { "beyond 32 bits", kPoint, "2", "2147483648", "'2147483648' is not a valid integer value", true },
        { "hex beyond 32 bits", kPoint, "2", "$80000000", "'$80000000' is not a valid integer value", true },
        { "signed hex", kPoint, "2", "-$10", "'-$10' is not a valid integer value", true },
        { "decimal offset", kPoint, "2", "1.5", "'1.5' is not a valid integer value", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedLocale locale(c.locale);
        TConfRec rec;
        rec.OffsetSec = 99;
        rec.TarifPerMin = 9.5;
        rec.setLogFile("old.log");
        rec.setLangName("russian");
        ConfTexts texts { c.tarif, c.offset, "new.log", "%1", "%4", "english" };
        EXPECT_THROW_MSG(fillConfRec(rec, texts), ConvertError, c.message);
        EXPECT_EQ(rec.TarifPerMin, c.tariffTaken ? 2.0 : 9.5);
        EXPECT_EQ(rec.OffsetSec, 99);
        EXPECT_EQ(rec.LogFile(), "old.log");
        EXPECT_EQ(rec.LangName(), "russian");
    }
}

TEST(ConfigFile, ChoosesTheLanguage)
{
    struct Case {
        const char* name;
        std::vector<std::string> items;
        std::string langName;
        int expected;
    };
    const Case cases[] = {
        { "exact", { "english", "russian" }, "english", 0 },
        { "letter case ignored", { "english", "russian" }, "ENGLISH", 0 },
        { "first of two matches", { "russian", "English", "english" }, "english", 1 },
        { "unknown falls back to russian", { "english", "russian" }, "german", 1 },
        { "russian found ignoring case", { "english", "Russian" }, "german", 1 },
        { "empty name falls back", { "english", "russian" }, "", 1 },
        { "nothing fits", { "english", "german" }, "french", -1 },
        { "no items", {}, "english", -1 },
        { "an empty item matches the empty name", { "english", "" }, "", 1 },
        // A name cut to 25 characters on save matches only an item that has that cut name.
        { "cut name misses the long item", { "a-language-name-of-thirty-two-ch", "russian" },
            "a-language-name-of-thirty", 1 },
        // Cyrillic letters fold under the code page.
        { "cyrillic case", { test::cp1251("русский") }, test::cp1251("РУССКИЙ"), 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(chooseLanguage(c.items, c.langName), c.expected);
    }
}

TEST(ConfigFile, FirstRunLanguagePrefersRussianElseTheFirst)
{
    struct Case {
        const char* name;
        std::vector<std::string> items;
        int expected;
    };
    const Case cases[] = {
        // The installation ships "russian": it is chosen wherever it stands.
        { "russian second", { "english", "russian" }, 1 },
        { "russian in other case", { "english", "RUSSIAN" }, 1 },
        // Without it the first listed language, so that a save never applies the empty name.
        { "no russian", { "german", "english" }, 0 },
        { "one item", { "english" }, 0 },
        // Nothing listed: nothing chosen.
        { "no items", {}, -1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(firstRunLanguage(c.items), c.expected);
    }
}

TEST(ConfigFile, DemoConfigIsWhatASaveOfTheDemoSettingsWrites)
{
    test::TempDir dir;
    const std::string path = dir.file("config");
    ScopedLocale point(kPoint);
    TConfRec rec;
    saveConfRec(path, rec, demoTexts());
    EXPECT_EQ(test::readFile(std::string(VELMAR_SOURCE_DIR) + "/demo/config"), test::readFile(path));
}

// Runs the settings tool with arguments (quoted for the shell) and gives its exit status.
int runTool(const std::vector<std::string>& args)
{
    std::string command = VELMAR_MKCONFIG;
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ConfigFile, ToolWritesWhatASaveWrites)
{
    test::TempDir dir;
    ASSERT_EQ(runTool({ "--out", dir.file("defaults") }), 0);
    EXPECT_EQ(test::readFile(dir.file("defaults")), test::readFile(std::string(VELMAR_SOURCE_DIR) + "/demo/config"));

    // Every option, the tariff with a point whatever the locale of the test run.
    ASSERT_EQ(runTool({ "--out", dir.file("custom"), "--lang", "russian", "--log", "C:\\Mail\\LOG\\x.log", "--tarif",
                  "1.25", "--offset", "$1E", "--exp", "%4 %7", "--exp2", "%8 %4" }),
        0);
    TConfRec rec;
    ScopedLocale comma(kComma);
    saveConfRec(dir.file("expected"), rec, { "1,25", "30", "C:\\Mail\\LOG\\x.log", "%4 %7", "%8 %4", "russian" });
    EXPECT_EQ(test::readFile(dir.file("custom")), test::readFile(dir.file("expected")));
}

TEST(ConfigFile, ToolRefusesBadArguments)
{
    struct Case {
        const char* name;
        std::vector<std::string> args; // "OUT" is replaced by the file to write
        int status; // 2 for a usage error, 1 for a value that does not convert
    };
    const Case cases[] = {
        { "no arguments", {}, 2 },
        { "no output", { "--lang", "english" }, 2 },
        { "unknown option", { "--out", "OUT", "--colour", "red" }, 2 },
        { "option without value", { "--out", "OUT", "--tarif" }, 2 },
        { "comma tariff", { "--out", "OUT", "--tarif", "4,79" }, 1 },
        { "bad offset", { "--out", "OUT", "--offset", "1.5" }, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        std::vector<std::string> args = c.args;
        for (std::string& arg : args) {
            if (arg == "OUT")
                arg = dir.file("config");
        }
        EXPECT_EQ(runTool(args), c.status);
        EXPECT_FALSE(exists(dir.file("config")));
    }
}

// A FIFO opened for reading and writing never ends a read: it is refused before anything is read.
TEST(ConfigFile, AFifoIsNoSettingsFile)
{
    test::TempDir dir;
    const std::string config = dir.file("config");
    ASSERT_EQ(::mkfifo(config.c_str(), 0644), 0);
    TConfRec rec;
    EXPECT_THROW_MSG(readConfRec(config, rec), InOutError, "File access denied");
}

// A tariff stored as NaN or an infinity priced every session as "NAN" or "INF".
TEST(ConfigFile, AStoredTariffThatIsNoFiniteNumberIsRefused)
{
    const struct Case {
        const char* name;
        uint64_t bits;
        const char* message; // empty: read
    } cases[] = {
        { "quiet NaN", 0x7FF8000000000000, "'NAN' is not a valid floating point value" },
        { "NaN with a payload and the sign", 0xFFF0000000000001, "'NAN' is not a valid floating point value" },
        { "plus infinity", 0x7FF0000000000000, "'INF' is not a valid floating point value" },
        { "minus infinity", 0xFFF0000000000000, "'-INF' is not a valid floating point value" },
        { "the largest double", 0x7FEFFFFFFFFFFFFF, "" },
        { "the smallest subnormal", 0x0000000000000001, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir.write("config", handRecord(7, c.bits, "x.log", "%1", "%4", "english", 0));
        TConfRec rec;
        if (*c.message == '\0') {
            EXPECT_NO_THROW(readConfRec(path, rec));
            uint64_t bits = 0;
            std::memcpy(&bits, &rec.TarifPerMin, sizeof bits);
            EXPECT_EQ(bits, c.bits);
        } else {
            EXPECT_THROW_MSG(readConfRec(path, rec), ConvertError, c.message);
            // The rest of the record is read; the tariff is none of the refused value.
            EXPECT_EQ(rec.TarifPerMin, 0.0);
            EXPECT_EQ(rec.OffsetSec, 7);
            EXPECT_EQ(rec.LogFile(), "x.log");
        }
    }
}

// Whatever stands at the temporary name is never written through: a FIFO would hang the save, a link
// would let it write somewhere else.
TEST(ConfigFile, TheTemporaryFileIsAlwaysANewOneOfItsOwn)
{
    const struct Case {
        const char* name;
        void (*place)(const test::TempDir& dir);
    } cases[] = {
        { "a FIFO", [](const test::TempDir& dir) { ASSERT_EQ(::mkfifo(dir.file("config.tmp").c_str(), 0644), 0); } },
        { "a link to another file",
            [](const test::TempDir& dir) {
                ASSERT_EQ(::symlink(dir.write("victim", "not settings").c_str(), dir.file("config.tmp").c_str()), 0);
            } },
        { "a dangling link",
            [](const test::TempDir& dir) {
                ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dir.file("config.tmp").c_str()), 0);
            } },
        { "a file a crashed save left", [](const test::TempDir& dir) { dir.write("config.tmp", "half"); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        c.place(dir);
        TConfRec rec;
        saveConfRec(dir.file("config"), rec, demoTexts());
        EXPECT_EQ(fs::file_size(dir.file("config")), 816u);
        EXPECT_FALSE(exists(dir.file("config.tmp")));
        EXPECT_FALSE(exists(dir.file("nowhere")));
        if (exists(dir.file("victim"))) {
            EXPECT_EQ(test::readFile(dir.file("victim")), "not settings");
        }
    }
}

TEST(ConfigFile, ASaveThroughALinkReplacesTheFileItLeadsTo)
{
    test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("shared").c_str(), 0755), 0);
    const std::string real = dir.write("shared/config", handRecord(1, kTariff479, "old.log", "%1", "%4", "english", 0));
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("shared/config", dir.file("config").c_str()), 0);
    TConfRec rec;
    readConfRec(dir.file("config"), rec);
    ConfTexts texts = demoTexts();
    texts.logFile = "new.log";
    saveConfRec(dir.file("config"), rec, texts);
    // The link is still a link, and the file it leads to holds the new record with its mode kept.
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.file("config"))));
    TConfRec reread;
    readConfRec(real, reread);
    EXPECT_EQ(reread.LogFile(), "new.log");
    struct stat st { };
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_FALSE(exists(dir.file("config.tmp")));
    EXPECT_FALSE(exists(dir.file("shared/config.tmp")));
}

} // namespace
} // namespace velmar
