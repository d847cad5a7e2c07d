#include "RecordingDialogs.h"
#include "Unit1/ReadmePage.h"
#include "Unit1/StatGrid.h"
#include "Unit1/TForm1.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "settings/ConfigFile.h"
#include "statistics/LogText.h"
#include "support/TestPaths.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/file.h>
#include <unistd.h>

using velmar::test::TempDir;

namespace {

class StartUp : public ::testing::Test {
protected:
    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    RecordingDialogs dialogs;
};

// Writes a "config" naming a log, a language and the default templates.
void writeConfig(const std::string& path, std::string_view log, std::string_view lang)
{
    velmar::TConfRec rec;
    velmar::ConfTexts texts { "4.79", "0", std::string(log), "%1 %2 %3 %4 %5 %6 %7", "%4 %5 %6 %7 %8",
        std::string(lang) };
    velmar::fillConfRec(rec, texts);
    velmar::writeConfRec(path, rec);
}

} // namespace

TEST_F(StartUp, DemoOpensOnTheDetailedPageWithBothTablesFilled)
{
    velmar::test::copyDemo(dir);
    TForm1 form(dialogs);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(QStringLiteral("; ")).toStdString();
    EXPECT_EQ(form.PageC->currentIndex(), TForm1::kDetailedPage);
    EXPECT_TRUE(form.PageC->isTabVisible(0));

    // The stored settings are in the edits, the language box offers both files and shows the stored one.
    EXPECT_EQ(form.tarif->text(), QStringLiteral("4.79"));
    EXPECT_EQ(form.Offset->text(), QStringLiteral("0"));
    EXPECT_EQ(form.FileN->text(), QStringLiteral("new_line.log"));
    EXPECT_EQ(form.Exp->text(), QStringLiteral("%1 %2 %3 %4 %5 %6 %7"));
    ASSERT_EQ(form.LangBox->count(), 2);
    EXPECT_EQ(form.LangBox->itemText(0), QStringLiteral("english"));
    EXPECT_EQ(form.LangBox->itemText(1), QStringLiteral("russian"));
    EXPECT_EQ(form.LangBox->currentText(), QStringLiteral("english"));

    // The language's texts are applied.
    EXPECT_EQ(form.PageC->tabText(0), QStringLiteral("Detailed"));
    EXPECT_EQ(form.Str->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Date"));
    EXPECT_EQ(form.StrFull->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Sessions"));
    ASSERT_EQ(form.LabelList().size(), 16u);
    // The readme is read when the Info page is first shown.
    EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
    form.PageC->setCurrentIndex(TForm1::kInfoPage);
    EXPECT_FALSE(form.Memo1->toPlainText().isEmpty());
    form.PageC->setCurrentIndex(TForm1::kDetailedPage);
    EXPECT_TRUE(form.Label4->text().startsWith(QStringLiteral("%1")));

    // Both tables hold the log's sessions; the summary ends with the empty row and the total row.
    const velmar::Table& str = form.StrData();
    const velmar::Table& full = form.StrFullData();
    EXPECT_GT(str.rowCount(), 100);
    EXPECT_EQ(form.Str->model()->rowCount(), str.rowCount() - 1);
    EXPECT_GT(full.rowCount(), 5);
    EXPECT_EQ(full.cell(0, full.rowCount() - 1), form.LabelList()[0]);
    EXPECT_EQ(full.cell(0, full.rowCount() - 2), "");
    EXPECT_EQ(std::stoi(std::string(full.cell(4, full.rowCount() - 1))), str.rowCount() - 1);
    // The date boxes offer the days of the log, both the same list.
    EXPECT_GT(form.Dat1->count(), 10);
    EXPECT_EQ(form.Dat1->count(), form.Dat2->count());
    EXPECT_EQ(form.Dat1->currentText(), QString());
}

TEST_F(StartUp, MissingLogShowsItsMessageAndTheSettingsPage)
{
    velmar::test::copyDemo(dir);
    ::unlink(dir.file("new_line.log").c_str());
    TForm1 form(dialogs);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].toStdString(), form.LabelList()[10]);
    EXPECT_EQ(form.PageC->currentIndex(), TForm1::kSettingsPage);
    EXPECT_FALSE(form.PageC->isTabVisible(0));
    EXPECT_FALSE(form.PageC->isTabVisible(1));
    EXPECT_EQ(form.StrData().rowCount(), 2);
}

TEST_F(StartUp, WithoutLanguageFilesStartUpEndsAtTheReadme)
{
    dir.write("new_line.log", "");
    writeConfig(dir.file("config"), "new_line.log", "english");
    TForm1 form(dialogs);
    // No "*.lng": the box is empty and disabled, the empty name is applied and its readme cannot be opened.
    EXPECT_FALSE(form.LangBox->isEnabled());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("Cannot open file "));
    EXPECT_EQ(form.PageC->tabText(2), QStringLiteral("Page2"));
    EXPECT_EQ(form.LabelList().size(), 16u);
    EXPECT_FALSE(form.LogText().bound()); // the log was not opened
}

TEST_F(StartUp, ShortConfigStopsWithItsMessageAndKeepsTheBuiltInTexts)
{
    velmar::test::copyDemo(dir);
    const std::string config = velmar::test::readFile(dir.file("config"));
    dir.write("config", config.substr(0, 100));
    TForm1 form(dialogs);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("Read beyond end of file"));
    EXPECT_EQ(form.tarif->text(), QStringLiteral("4.79")); // built in, with the locale's decimal point
    EXPECT_EQ(form.FileN->text(), QStringLiteral("C:\\Mail\\LOG\\new_line.log"));
}

TEST_F(StartUp, StoredLanguageFallsBackToRussian)
{
    velmar::test::copyDemo(dir);
    writeConfig(dir.file("config"), "new_line.log", "klingon");
    TForm1 form(dialogs);
    EXPECT_EQ(form.LangBox->currentText(), QStringLiteral("russian"));
    EXPECT_EQ(form.PageC->tabText(0), QStringLiteral("Подробно"));
}

TEST_F(StartUp, LockedLogIsReadFromItsCopyWhichCloseRemoves)
{
    velmar::test::copyDemo(dir);
    // The mailer holds the log with an exclusive lock.
    const int fd = ::open(dir.file("new_line.log").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    {
        TForm1 form(dialogs);
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].toStdString(), form.LabelList()[11]);
        EXPECT_EQ(form.LogText().path(), dir.file("~Log.tmp"));
        EXPECT_GT(form.StrData().rowCount(), 100);
        EXPECT_TRUE(velmar::test::readFile(dir.file("~Log.tmp")) == velmar::test::readFile(dir.file("new_line.log")));

        // The current directory may change meanwhile; the copy is still removed from the start directory.
        TempDir elsewhere;
        velmar::test::ScopedCurrentDir moved(elsewhere.path());
        form.close();
        EXPECT_FALSE(velmar::fileExists(dir.file("~Log.tmp")));
    }
    ::close(fd);
}

TEST_F(StartUp, CloseKeepsALogThatIsNamedLikeTheCopy)
{
    velmar::test::copyDemo(dir);
    std::filesystem::rename(dir.file("new_line.log"), dir.file("~Log.tmp"));
    writeConfig(dir.file("config"), "~Log.tmp", "english");
    {
        TForm1 form(dialogs);
        EXPECT_TRUE(dialogs.messages.isEmpty());
        EXPECT_GT(form.StrData().rowCount(), 100);
        form.close();
    }
    EXPECT_TRUE(velmar::fileExists(dir.file("~Log.tmp")));
}

// The readme is read into the Info page when that page is first shown, never before; a huge one is shown
// in part with a note (the text view would take minutes over a megabyte in one line or a million lines).
TEST_F(StartUp, TheReadmeIsReadWhenTheInfoPageIsFirstShown)
{
    velmar::test::copyDemo(dir);
    const size_t most = ReadmePage::kMostShown;
    const auto longest = static_cast<size_t>(ReadmePage::kLongestLine);
    const auto mostLines = static_cast<size_t>(ReadmePage::kMostLines);
    const struct Case {
        const char* name;
        std::string unit; // repeated to make the readme; empty: the demo's readme
        size_t size;
        bool cut;
        size_t shownLines; // lines shown before the note
    } cases[] = {
        { "the demo's readme", "", 0, false, 0 },
        // 1 MB in lines of 1000 characters (the last one shorter): all of it.
        { "exactly the most bytes", std::string(longest - 1, 'x') + "\n", most, false, most / longest + 1 },
        // A line of 100 MB: its first megabyte in pieces of 1000 characters.
        { "one line of 100 MB", "x", 100u << 20, true, (most + longest - 1) / longest },
        // Ten million empty lines: the most lines, empty.
        { "ten million empty lines", "\r\n", 20'000'000, true, mostLines },
        { "lines of one letter", "a\n", 100u << 20, true, mostLines },
    };
    const QString note
        = QStringLiteral("\n\n[Only the start of the readme is shown here, at most 1 MB and 50000 lines.");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.unit.empty()) {
            std::string text;
            text.reserve(c.size);
            while (text.size() < c.size)
                text += c.unit;
            text.resize(c.size);
            velmar::test::writeFile(dir.file("readme-english.txt"), text);
        }
        TForm1 form(dialogs);
        EXPECT_TRUE(dialogs.messages.isEmpty());
        EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
        // Other pages do not read it.
        form.PageC->setCurrentIndex(TForm1::kSettingsPage);
        EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
        form.PageC->setCurrentIndex(TForm1::kInfoPage);
        const QString shown = form.Memo1->toPlainText();
        EXPECT_EQ(shown.contains(note), c.cut);
        if (!c.unit.empty()) {
            const QString part = c.cut ? shown.left(shown.indexOf(note)) : shown;
            EXPECT_EQ(static_cast<size_t>(part.count(QLatin1Char('\n'))) + 1, c.shownLines);
            for (const QString& line : part.split(QLatin1Char('\n')))
                ASSERT_LE(line.size(), ReadmePage::kLongestLine);
        }
        // Shown once, it is not read again when the page comes back.
        ::unlink(dir.file("readme-english.txt").c_str());
        form.PageC->setCurrentIndex(TForm1::kDetailedPage);
        form.PageC->setCurrentIndex(TForm1::kInfoPage);
        EXPECT_EQ(form.Memo1->toPlainText(), shown);
        EXPECT_TRUE(dialogs.messages.isEmpty());
        std::filesystem::copy_file(std::string(VELMAR_SOURCE_DIR) + "/lang/readme-english.txt",
            dir.file("readme-english.txt"), std::filesystem::copy_options::overwrite_existing);
    }
}

TEST_F(StartUp, AStoredTariffThatIsNoNumberShowsTheSettingsPage)
{
    velmar::test::copyDemo(dir);
    velmar::TConfRec rec;
    velmar::readConfRec("config", rec);
    rec.TarifPerMin = std::numeric_limits<double>::infinity();
    velmar::writeConfRec("config", rec);
    TForm1 form(dialogs);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages.front(), QStringLiteral("'INF' is not a valid floating point value"));
    EXPECT_EQ(form.PageC->currentIndex(), TForm1::kSettingsPage);
    EXPECT_FALSE(form.PageC->isTabVisible(TForm1::kDetailedPage));
    EXPECT_EQ(form.StrData().rowCount(), 2); // the header and the empty row: no session was read
    // The settings page puts a sound tariff back when the edit is refused: never "INF".
    EXPECT_EQ(form.ConfRec().TarifPerMin, 0.0);
}
