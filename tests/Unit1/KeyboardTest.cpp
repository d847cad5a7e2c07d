// The window from the keyboard: accelerators of both shipped languages, buddies, tab order, and tool buttons
// pressed by their accelerator without taking the focus.
#include "RecordingDialogs.h"
#include "Unit1/TForm1.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <map>

using velmar::test::TempDir;

namespace {

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override { velmar::test::copyDemo(dir); }

    TForm1& open(const char* language)
    {
        form = std::make_unique<TForm1>(dialogs);
        if (QString::fromLatin1(language) != form->LangBox->currentText()) {
            form->LangBox->setCurrentIndex(form->LangBox->findText(QLatin1String(language)));
            form->REadIni(form->LangBox->currentText());
        }
        EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(QStringLiteral("; ")).toStdString();
        return *form;
    }

    // Shows the window on the settings page and waits until it has the focus.
    void activate()
    {
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->PageC->setCurrentIndex(TForm1::kSettingsPage);
    }

    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    RecordingDialogs dialogs;
    std::unique_ptr<TForm1> form;
};

// The letter after the single "&" of a caption, or 0 when there is none.
QChar accelerator(const QString& text)
{
    const qsizetype at = text.indexOf(QLatin1Char('&'));
    if (at < 0 || at + 1 >= text.size())
        return {};
    return text.at(at + 1).toLower();
}

} // namespace

TEST_F(Keyboard, EveryCaptionOfBothLanguagesHasAnAcceleratorOfItsOwnOnItsPage)
{
    for (const char* language : { "english", "russian" }) {
        SCOPED_TRACE(language);
        TForm1& f = open(language);
        struct Page {
            QWidget* page;
            std::vector<QString> captions;
        };
        const Page pages[] = {
            { f.Tab3,
                { f.Label1->text(), f.Label2->text(), f.Label3->text(), f.Dat1L->text(), f.Dat2L->text(),
                    f.ApplyB->text(), f.SaveB->text(), f.DefB->text() } },
            { f.Tab4,
                { f.Label5->text(), f.Label6->text(), f.FullStat->text(), f.FullStat2->text(), f.AllStat->text() } },
        };
        for (const Page& page : pages) {
            std::map<QChar, QString> taken;
            for (const QString& caption : page.captions) {
                SCOPED_TRACE(caption.toStdString());
                const QChar letter = accelerator(caption);
                ASSERT_FALSE(letter.isNull());
                EXPECT_TRUE(taken.emplace(letter, caption).second) << "also in " << taken[letter].toStdString();
            }
        }
    }
}

TEST_F(Keyboard, EveryEditIsTheBuddyOfItsLabelAndNamedByIt)
{
    TForm1& f = open("english");
    struct Pair {
        QLabel* label;
        QWidget* edit;
        const char* name; // the label's text without its "&", as a screen reader says it
    };
    const Pair pairs[] = {
        { f.Label1, f.Offset, "Offset, s:" },
        { f.Label3, f.tarif, "Tariff:" },
        { f.Label2, f.FileN, "Log file:" },
        { f.Dat1L, f.Dat1, "From" },
        { f.Dat2L, f.Dat2, "To" },
        { f.Label5, f.Exp, "Template of the detailed table" },
        { f.Label6, f.Exp2, "Template of the summary table" },
    };
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.label->buddy(), p.edit);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(p.edit);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(p.name));
    }
    // The language box has no label of its own: a screen reader finds it inside its named group.
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(f.LangBox);
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->parent(), nullptr);
    EXPECT_EQ(box->parent()->text(QAccessible::Name).trimmed(), QStringLiteral("Language (Язык)"));
}

TEST_F(Keyboard, TabFollowsTheLayoutOfTheSettingsPage)
{
    TForm1& f = open("english");
    activate();
    f.Offset->setFocus();
    QApplication::processEvents();
    // Left to right along the options, then the date range, the language and the save button.
    const QWidget* expected[] = { f.tarif, f.FileN, f.Dat1, f.Dat2, f.LangBox, f.SaveB };
    for (const QWidget* next : expected) {
        SCOPED_TRACE(next->objectName().toStdString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Keyboard, AcceleratorPressesAToolButtonWithoutMovingTheFocus)
{
    TForm1& f = open("english");
    activate();
    f.tarif->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(f.tarif->hasFocus());
    f.tarif->setText(QStringLiteral("abc")); // would be refused if the focus left the edit
    QTest::keyClick(&f, Qt::Key_D, Qt::AltModifier); // "&Defaults"
    // The accelerator clicks the button after its short animation.
    EXPECT_TRUE(QTest::qWaitFor([&f] { return f.FileN->text() == QStringLiteral("C:\\Mail\\LOG\\NEW_LINE.LOG"); }))
        << f.FileN->text().toStdString();
    EXPECT_TRUE(f.tarif->hasFocus());
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(QStringLiteral("; ")).toStdString();
}

TEST_F(Keyboard, AcceleratorOfALabelMovesToItsEditAndRunsTheCheckOfTheEditLeft)
{
    TForm1& f = open("english");
    activate();
    f.Offset->setFocus();
    QApplication::processEvents();
    QTest::keyClick(&f, Qt::Key_A, Qt::AltModifier); // "T&ariff:"
    EXPECT_TRUE(f.tarif->hasFocus());
    f.tarif->setText(QStringLiteral("abc"));
    QTest::keyClick(&f, Qt::Key_O, Qt::AltModifier); // "&Offset, s:": leaving the refused tariff
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].toStdString(), f.LabelList()[13]);
    EXPECT_TRUE(f.tarif->hasFocus());
}

TEST_F(Keyboard, OpenLogIsPressedWithCtrlO)
{
    TForm1& f = open("english");
    activate();
    dialogs.answers.push_back(QStringLiteral("/var/log/other.log"));
    QTest::keyClick(&f, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&f] { return f.FileN->text() == QStringLiteral("/var/log/other.log"); }))
        << f.FileN->text().toStdString();
    EXPECT_EQ(dialogs.lastTitle, QStringLiteral("Открыть Log-File"));
}
