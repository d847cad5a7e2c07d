// The first day with the program: a start directory without "config", the defaults, the first save.
#include "RecordingDialogs.h"
#include "Unit1/TForm1.h"
#include "Unit1/Texts.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "settings/ConfigFile.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <filesystem>

using velmar::test::TempDir;

namespace {

class FirstRun : public ::testing::Test {
protected:
    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    RecordingDialogs dialogs;
};

const velmar::LocaleFormat kPoint { '.', ':' };
const velmar::LocaleFormat kComma { ',', ':' };

} // namespace

TEST_F(FirstRun, StartWithoutConfigOffersTheLanguagesAndPreselectsRussian)
{
    struct Case {
        const char* name;
        std::vector<const char*> files;
        QString expected;
    };
    const Case cases[] = {
        // The installation ships both; "russian" is the language every old setup fell back to.
        { "both", { "english.lng", "russian.lng" }, QStringLiteral("russian") },
        // Without it the one listed (the box would otherwise apply the empty name ".lng").
        { "english only", { "english.lng" }, QStringLiteral("english") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir start;
        const velmar::test::ScopedCurrentDir in(start.path());
        for (const char* file : c.files)
            start.write(file, "[Labels]\r\n12=no config\r\n");
        RecordingDialogs shown;
        TForm1 form(shown);
        EXPECT_EQ(form.LangBox->count(), static_cast<int>(c.files.size()));
        EXPECT_TRUE(form.LangBox->isEnabled());
        EXPECT_EQ(form.LangBox->currentText(), c.expected);
        ASSERT_EQ(shown.messages.size(), 1);
        EXPECT_EQ(form.PageC->currentIndex(), TForm1::kSettingsPage);
        EXPECT_FALSE(form.PageC->isTabVisible(TForm1::kDetailedPage));
    }
}

TEST_F(FirstRun, BuiltInAndDefaultTariffUseTheLocalesSeparator)
{
    struct Case {
        const char* name;
        velmar::LocaleFormat locale;
        QString expected;
    };
    const Case cases[] = {
        { "point", kPoint, QStringLiteral("4.79") },
        { "comma", kComma, QStringLiteral("4,79") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const velmar::ScopedLocale locale(c.locale);
        RecordingDialogs shown;
        TForm1 form(shown);
        EXPECT_EQ(form.tarif->text(), c.expected);
        form.tarif->setText(QStringLiteral("1"));
        form.DefB->click();
        EXPECT_EQ(form.tarif->text(), c.expected);
    }
}

// The first save of a new start directory under either locale: "config" is written with the built-in
// settings and the chosen language is applied, so the window shows the language's texts, not empty ones.
TEST_F(FirstRun, FirstSaveWritesConfigAndAppliesTheChosenLanguageInEveryLocale)
{
    const velmar::LocaleFormat locales[] = { kPoint, kComma };
    for (const velmar::LocaleFormat& locale : locales) {
        SCOPED_TRACE(locale.decimalSeparator);
        const velmar::ScopedLocale scoped(locale);
        // The demo without its "config": what a sysop has after unpacking the language files beside a log.
        TempDir start;
        const velmar::test::ScopedCurrentDir in(start.path());
        velmar::test::copyDemo(start);
        std::filesystem::remove(start.file("config"));
        RecordingDialogs shown;
        TForm1 form(shown);
        ASSERT_EQ(shown.messages.size(), 1);
        form.FileN->setText(QStringLiteral("new_line.log")); // as the open dialog would put it
        form.SaveB->click();
        EXPECT_EQ(shown.messages.size(), 1) << shown.messages.join(QStringLiteral("; ")).toStdString();
        ASSERT_TRUE(std::filesystem::exists(start.file("config")));
        velmar::TConfRec saved;
        velmar::readConfRec(start.file("config"), saved);
        EXPECT_DOUBLE_EQ(saved.TarifPerMin, 4.79);
        EXPECT_EQ(saved.LangName(), "russian");
        // The texts are the Russian file's, every one of them real.
        EXPECT_EQ(form.PageC->tabText(0), QStringLiteral("Подробно"));
        EXPECT_FALSE(form.SaveB->text().isEmpty());
        EXPECT_EQ(form.LabelList().size(), 16u);
        EXPECT_TRUE(form.PageC->isTabVisible(TForm1::kDetailedPage));
        EXPECT_GT(form.StrData().rowCount(), 100);
    }
}

TEST_F(FirstRun, DefaultsThenSaveWorkInEveryLocale)
{
    const velmar::LocaleFormat locales[] = { kPoint, kComma };
    for (const velmar::LocaleFormat& locale : locales) {
        SCOPED_TRACE(locale.decimalSeparator);
        const velmar::ScopedLocale scoped(locale);
        TempDir start;
        const velmar::test::ScopedCurrentDir in(start.path());
        velmar::test::copyDemo(start);
        RecordingDialogs shown;
        TForm1 form(shown);
        form.tarif->setText(QStringLiteral("2"));
        form.DefB->click();
        form.SaveB->click();
        // Only the message that the default log "C:\Mail\LOG\NEW_LINE.LOG" is missing; no conversion error.
        ASSERT_EQ(shown.messages.size(), 1);
        EXPECT_EQ(shown.messages[0].toStdString(), form.LabelList()[10]);
        velmar::TConfRec saved;
        velmar::readConfRec(start.file("config"), saved);
        EXPECT_DOUBLE_EQ(saved.TarifPerMin, 4.79);
        EXPECT_EQ(saved.ExpFormat(), "%1 %2 %3 %4 %5 %6 %7");
    }
}

TEST_F(FirstRun, TagListLinesEndWithALineFeedOnly)
{
    velmar::test::copyDemo(dir);
    TForm1 form(dialogs);
    const QStringList lines = form.Label4->text().split(QLatin1Char('\n'));
    // Eight tag lines and the empty text after the last line feed.
    ASSERT_EQ(lines.size(), 9);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("%%1").arg(i + 1))) << lines[i].toStdString();
    }
    EXPECT_FALSE(form.Label4->text().contains(QLatin1Char('\r')));
}

TEST_F(FirstRun, LanguageTextsAreShownAsPlainText)
{
    velmar::test::copyDemo(dir);
    std::string lang = velmar::test::readFile(dir.file("english.lng"));
    lang.replace(lang.find("1=&Offset, s:"), 13, "1=<b>Offset</b>");
    const size_t at = lang.find("H1=Seconds");
    lang.replace(at, lang.find('\r', at) - at, "H1=<i>x</i> &amp; Seconds");
    dir.write("english.lng", lang);
    TForm1 form(dialogs);
    ASSERT_TRUE(dialogs.messages.isEmpty());
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }
    EXPECT_EQ(form.Label1->text(), QStringLiteral("<b>Offset</b>"));
    // The hint, rendered as Qt renders hints, reads letter for letter as the file has it.
    QTextDocument hint;
    hint.setHtml(form.Label1->toolTip());
    EXPECT_EQ(hint.toPlainText(), QStringLiteral("<i>x</i> &amp; Seconds"));
}

TEST(PlainToolTip, EveryTextReadsBackAsItStands)
{
    const QString cases[] = {
        QStringLiteral("Money charged for one minute"), // no markup: unchanged
        QStringLiteral("<b>bold</b>"),
        QStringLiteral("a < b && c > d"),
        QStringLiteral("<html>whole</html>"),
    };
    for (const QString& text : cases) {
        SCOPED_TRACE(text.toStdString());
        const QString tip = plainToolTip(text);
        if (!Qt::mightBeRichText(tip)) {
            EXPECT_EQ(tip, text);
            continue;
        }
        QTextDocument document;
        document.setHtml(tip);
        EXPECT_EQ(document.toPlainText(), text);
    }
}

TEST_F(FirstRun, ExportDialogOffersEveryFile)
{
    velmar::test::copyDemo(dir);
    TForm1 form(dialogs);
    dialogs.answers.push_back(std::nullopt);
    form.FullStat->click();
    // "*" and not "*.*": on this system a name without a dot (a "calls" file) must show as well.
    EXPECT_EQ(dialogs.lastFilter, QStringLiteral("Export text file (*)"));
}

TEST_F(FirstRun, SaveRefusesATextTheCodePageCannotHold)
{
    struct Case {
        const char* name;
        QLineEdit* TForm1::*edit;
        QString text;
        bool refused;
    };
    const Case cases[] = {
        // U+00E9 is not in Windows-1251: stored it would become "?".
        { "log path with e acute", &TForm1::FileN, QStringLiteral("/home/caf\u00e9/new_line.log"), true },
        { "check mark in a template", &TForm1::Exp, QStringLiteral("%1 \u2713"), true },
        // The euro sign and Cyrillic are in the code page (0x88 and above 0xC0).
        { "euro in a template", &TForm1::Exp2, QStringLiteral("%4 \u20ac %7"), false },
        { "cyrillic path", &TForm1::FileN, QStringLiteral("журнал.log"), false },
    };
    velmar::test::copyDemo(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = velmar::test::readFile(dir.file("config"));
        RecordingDialogs shown;
        TForm1 form(shown);
        (form.*c.edit)->setText(c.text);
        form.SaveB->click();
        if (c.refused) {
            ASSERT_EQ(shown.messages.size(), 1);
            EXPECT_TRUE(shown.messages[0].contains(QStringLiteral("cannot hold; nothing was saved")))
                << shown.messages[0].toStdString();
            EXPECT_EQ(velmar::test::readFile(dir.file("config")), before);
        } else {
            velmar::TConfRec saved;
            velmar::readConfRec(dir.file("config"), saved);
            EXPECT_EQ(fromCodePage(saved.LogFile()) + fromCodePage(saved.Exp2Format()),
                form.FileN->text() + form.Exp2->text());
            velmar::test::writeFile(dir.file("config"), before);
        }
    }
}
