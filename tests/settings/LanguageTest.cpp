#include "settings/Language.h"

#include "platform/Errors.h"
#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {
namespace {

const std::string kEightEmptyLines = "\n\n\n\n\n\n\n\n";

TEST(Language, MissingFileGivesEveryDefault)
{
    test::TempDir dir;
    const Language lang = readLanguage(dir.file(".lng"));
    for (size_t i = 0; i < lang.cols.size(); ++i)
        EXPECT_EQ(lang.cols[i], "") << "column " << i;
    const char* pages[] = { "Page0", "Page1", "Page2", "Page3", "Page4" };
    for (size_t i = 0; i < lang.pages.size(); ++i)
        EXPECT_EQ(lang.pages[i], pages[i]);
    EXPECT_EQ(lang.prefBox, "");
    EXPECT_EQ(lang.saveBHint, "");
    EXPECT_EQ(lang.macInfoHint, "");
    EXPECT_EQ(lang.label4, kEightEmptyLines);
    ASSERT_EQ(lang.labels.size(), 16u);
    for (const std::string& label : lang.labels)
        EXPECT_EQ(label, "");
    EXPECT_EQ(lang.readme, "");
}

TEST(Language, EveryTextComesFromItsKey)
{
    // Each key gets a value naming its own section and key, so a text taken from the wrong key shows.
    test::TempDir dir;
    const std::string path = dir.write("test.lng",
        "[Cols]\r\n0=c0\r\n1=c1\r\n2=c2\r\n3=c3\r\n4=c4\r\n5=c5\r\n6=c6\r\n7=c7\r\n"
        "[Pages]\r\n0=g0\r\n1=g1\r\n2=g2\r\n3=g3\r\n4=g4\r\n"
        "[Preferences page]\r\n0=p0\r\n1=p1\r\nH1=pH1\r\n2=p2\r\nH2=pH2\r\n3=p3\r\nH3=pH3\r\n4=p4\r\nH4=pH4\r\n"
        "5=p5\r\n6=p6\r\n7=p7\r\n8=p8\r\n9=p9\r\n"
        "[Export]\r\n0=e0\r\nH0=eH0\r\n1=e1\r\nH1=eH1\r\n2=e2\r\n3=e3\r\n4=e4\r\n5=e5\r\n6=e6\r\n10=e10\r\n"
        "H10=eH10\r\n"
        "[Labels]\r\n0=l0\r\n15=l15\r\n16=l16\r\n"
        "[Readme]\r\n0=readme.txt\r\n");
    const Language lang = readLanguage(path);
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(lang.cols[i], std::string(1, 'c') += std::to_string(i));
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(lang.pages[i], std::string(1, 'g') += std::to_string(i));

    struct Case {
        const char* member;
        const std::string& got;
        const char* expected; // the table of the window: Label2 is the log path ("3"), Label3 the tariff ("2")
    };
    const Case cases[] = {
        { "prefBox", lang.prefBox, "p0" },
        { "label1", lang.label1, "p1" },
        { "label1Hint", lang.label1Hint, "pH1" },
        { "label2", lang.label2, "p3" },
        { "label2Hint", lang.label2Hint, "pH3" },
        { "label3", lang.label3, "p2" },
        { "label3Hint", lang.label3Hint, "pH2" },
        { "saveB", lang.saveB, "p4" },
        { "saveBHint", lang.saveBHint, "pH4" },
        { "defB", lang.defB, "p5" },
        { "dateBox", lang.dateBox, "p6" },
        { "dat1L", lang.dat1L, "p7" },
        { "dat2L", lang.dat2L, "p8" },
        { "applyB", lang.applyB, "p9" },
        { "label5", lang.label5, "e0" },
        { "label5Hint", lang.label5Hint, "eH0" },
        { "label6", lang.label6, "e1" },
        { "label6Hint", lang.label6Hint, "eH1" },
        { "expBox", lang.expBox, "e2" },
        { "fullStat", lang.fullStat, "e3" },
        { "fullStat2", lang.fullStat2, "e4" },
        { "allStat", lang.allStat, "e5" },
        { "macInfo", lang.macInfo, "e10" },
        { "macInfoHint", lang.macInfoHint, "eH10" },
        { "labels[0]", lang.labels[0], "l0" },
        { "labels[1] is missing", lang.labels[1], "" },
        { "labels[15]", lang.labels[15], "l15" },
        { "readme", lang.readme, "readme.txt" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        EXPECT_EQ(c.got, c.expected);
    }
    // Keys 6 to 9 of "Export" are not part of the tag list, and a 17th label has nowhere to go.
    EXPECT_EQ(lang.label4, kEightEmptyLines);
    EXPECT_EQ(lang.labels.size(), 16u);
}

TEST(Language, TagListIsEightLinesEachEndedByLineFeedAndCarriageReturn)
{
    struct Case {
        const char* name;
        std::string section;
        std::string expected;
    };
    const Case cases[] = {
        // Keys 11..18 = A..H, each followed by a line feed alone, so every line starts at the left edge.
        { "all eight", "11=A\r\n12=B\r\n13=C\r\n14=D\r\n15=E\r\n16=F\r\n17=G\r\n18=H\r\n", "A\nB\nC\nD\nE\nF\nG\nH\n" },
        // Keys in the file out of order still come in key order.
        { "file order does not matter", "18=H\r\n11=A\r\n", "A\n\n\n\n\n\n\nH\n" },
        // A missing key is an empty line; key 19 is not read.
        { "gaps", "12=B\r\n19=I\r\n", "\nB\n\n\n\n\n\n\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        EXPECT_EQ(readLanguage(dir.write("t.lng", "[Export]\r\n" + c.section)).label4, c.expected);
    }
}

TEST(Language, PageCaptionMissingOrEmpty)
{
    struct Case {
        const char* name;
        std::string content;
        std::string expected; // caption of the summary page, key "1"
    };
    const Case cases[] = {
        { "key missing gives the default", "[Pages]\r\n0=Detailed\r\n2=Settings\r\n", "Page1" },
        { "key present but empty", "[Pages]\r\n1=\r\n", "" },
        { "section missing", "[Cols]\r\n1=Start\r\n", "Page1" },
        { "quoted", "[Pages]\r\n1=\" Summary \"\r\n", " Summary " },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        EXPECT_EQ(readLanguage(dir.write("t.lng", c.content)).pages[1], c.expected);
    }
}

TEST(Language, FileNameMatchesIgnoringLetterCase)
{
    test::TempDir dir;
    dir.write("English.LNG", "[Labels]\r\n0=Total\r\n");
    EXPECT_EQ(readLanguage(dir.file("english.lng")).labels[0], "Total");
}

TEST(Language, ListsTheLanguageFilesInNameOrder)
{
    test::TempDir dir;
    for (const char* name : { "russian.lng", "english.lng", ".lng", ".hidden.lng", "UPPER.LNG", "readme.txt", "config",
             "old.lng.bak", "lng" })
        dir.write(name, "");
    std::filesystem::create_directory(dir.file("folder.lng"));
    // Byte order of the names: ".hidden.lng" < ".lng" < "UPPER.LNG" < "english.lng" < "folder.lng" < ...
    const std::vector<std::string> expected = { ".hidden", "", "UPPER", "english", "folder", "russian" };
    EXPECT_EQ(languageNames(dir.path()), expected);

    test::TempDir empty;
    EXPECT_TRUE(languageNames(empty.path()).empty());
    EXPECT_TRUE(languageNames(empty.file("missing")).empty());
}

TEST(Language, LoadsTheReadme)
{
    test::TempDir dir;
    dir.write("Readme-English.TXT", "line one\r\nline two\r\n");
    std::filesystem::create_directory(dir.file("folder"));
    test::ScopedCurrentDir here(dir.path());
    struct Case {
        const char* name;
        std::string file;
        std::string expected; // the text, or the message of the error
        bool fails;
    };
    const Case cases[] = {
        { "relative to the current directory, case loosely", "readme-english.txt", "line one\r\nline two\r\n", false },
        { "full path", dir.file("Readme-English.TXT"), "line one\r\nline two\r\n", false },
        { "missing", "readme-russian.txt", "Cannot open file readme-russian.txt", true },
        { "no name at all", "", "Cannot open file ", true },
        { "a directory", "folder", "Cannot open file folder", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fails)
            EXPECT_THROW_MSG(loadReadme(c.file), FileOpenError, c.expected);
        else
            EXPECT_EQ(loadReadme(c.file), c.expected);
    }
}

// Applying a language only checks its readme; the window reads it later, wherever the current directory
// is by then, and shows at most a part of a huge one.
TEST(Language, FindsTheReadmeAndReadsItsStart)
{
    test::TempDir dir;
    dir.write("Readme-English.TXT", "line one\r\nline two\r\n");
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    std::string found;
    {
        test::ScopedCurrentDir here(dir.path());
        found = findReadme("readme-english.txt");
        EXPECT_THROW_MSG(findReadme("readme-russian.txt"), FileOpenError, "Cannot open file readme-russian.txt");
        EXPECT_THROW_MSG(findReadme(""), FileOpenError, "Cannot open file ");
        EXPECT_THROW_MSG(findReadme("folder"), FileOpenError, "Cannot open file folder");
    }
    // A full path, so the file is found again from anywhere.
    EXPECT_EQ(found, dir.file("Readme-English.TXT"));
    const struct Case {
        const char* name;
        size_t most;
        const char* text;
        bool cut;
    } cases[] = {
        { "all of it", 1000, "line one\r\nline two\r\n", false },
        { "exactly its size", 20, "line one\r\nline two\r\n", false },
        { "one byte less", 19, "line one\r\nline two\r", true },
        { "the first line", 8, "line one", true },
        { "nothing", 0, "", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadmeText readme = loadReadmeStart(found, c.most, "readme-english.txt");
        EXPECT_EQ(readme.text, c.text);
        EXPECT_EQ(readme.cut, c.cut);
    }
    ::unlink(found.c_str());
    EXPECT_THROW_MSG(
        loadReadmeStart(found, 1000, "readme-english.txt"), FileOpenError, "Cannot open file readme-english.txt");
}

TEST(Language, ShippedLanguageFilesAreComplete)
{
    const std::string langDir = std::string(VELMAR_SOURCE_DIR) + "/lang";
    for (const char* name : { "english", "russian" }) {
        SCOPED_TRACE(name);
        const std::string path = langDir + "/" + name + ".lng";
        ASSERT_TRUE(std::filesystem::exists(path));
        const Language lang = readLanguage(path);
        for (size_t i = 0; i < lang.cols.size(); ++i)
            EXPECT_NE(lang.cols[i], "") << "column " << i;
        for (size_t i = 0; i < lang.pages.size(); ++i) {
            EXPECT_NE(lang.pages[i], "") << "page " << i;
            EXPECT_NE(lang.pages[i], std::string("Page") += std::to_string(i)) << "page " << i;
        }
        for (size_t i : { 0, 1, 10, 11, 12, 13, 14, 15 })
            EXPECT_NE(lang.labels[i], "") << "label " << i;
        for (const std::string* text : { &lang.prefBox, &lang.label1, &lang.label2, &lang.label3, &lang.saveB,
                 &lang.defB, &lang.dateBox, &lang.dat1L, &lang.dat2L, &lang.applyB, &lang.label5, &lang.label6,
                 &lang.expBox, &lang.fullStat, &lang.fullStat2, &lang.allStat, &lang.macInfo })
            EXPECT_NE(*text, "");
        // Eight tag lines, "%1" to "%8" in order, each ended by a line feed.
        size_t at = 0;
        for (int tag = 1; tag <= 8; ++tag) {
            const std::string expected = std::string(1, '%') += std::to_string(tag);
            EXPECT_EQ(lang.label4.compare(at, 2, expected), 0) << "tag " << tag;
            at = lang.label4.find('\n', at);
            ASSERT_NE(at, std::string::npos);
            at += 1;
        }
        EXPECT_EQ(at, lang.label4.size());
        // The readme is named without a directory and lies next to the language file.
        EXPECT_EQ(lang.readme, std::string("readme-") + name + ".txt");
        test::ScopedCurrentDir here(langDir);
        EXPECT_GT(loadReadme(lang.readme).size(), 1000u);
    }
}

TEST(Language, DemoDirectoryLinksTheShippedFiles)
{
    namespace fs = std::filesystem;
    const fs::path demo = fs::path(VELMAR_SOURCE_DIR) / "demo";
    for (const char* name : { "english.lng", "russian.lng", "readme-english.txt", "readme-russian.txt" }) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::is_symlink(demo / name));
        EXPECT_EQ(fs::read_symlink(demo / name), fs::path("../lang") / name);
    }
    EXPECT_EQ(languageNames(demo.string()), (std::vector<std::string> { "english", "russian" }));
}

} // namespace
} // namespace velmar
