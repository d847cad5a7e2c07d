// Faults that only the window meets: the log going away between start-up and a rebuild, and a save that
// cannot be written. The handlers run as the user starts them (click()), so the general rule shows the
// error; the tests then check that nothing was lost and that the window goes on.
#include "RecordingDialogs.h"
#include "Unit1/TForm1.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using velmar::test::TempDir;

namespace {

using Cells = std::vector<std::vector<std::string>>;

Cells cellsOf(const velmar::Table& table)
{
    Cells cells;
    for (int r = 0; r < table.rowCount(); ++r) {
        cells.emplace_back();
        for (int c = 0; c < table.colCount(); ++c)
            cells.back().emplace_back(table.cell(c, r));
    }
    return cells;
}

// Root passes every permission check, so a test that needs a file to be refused runs its step as the
// unprivileged user "nobody" (effective ids only, put back at the end). Other users meet the permissions
// as they are.
class AsUnprivilegedUser {
public:
    AsUnprivilegedUser()
    {
        if (::geteuid() != 0)
            return;
        active_ = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~AsUnprivilegedUser()
    {
        // The tests after this one would run without root's rights and fail for no reason of their own.
        if (active_ && (::seteuid(0) != 0 || ::setegid(0) != 0))
            std::abort();
    }
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;
    /// False when running as root and the ids could not be changed: the permissions would not apply.
    bool applies() const { return ::geteuid() != 0; }

private:
    static constexpr uid_t kNobody = 65534;
    bool active_ = false;
};

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        velmar::test::copyDemo(dir);
        // Let "nobody" into the start directory; what it may do there each test decides.
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        form = std::make_unique<TForm1>(dialogs);
        ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(QStringLiteral("; ")).toStdString();
    }
    void TearDown() override { ::chmod(dir.path().c_str(), 0755); }

    // Chooses the range of the second to the fifth day of the log.
    void chooseRange()
    {
        ASSERT_GT(form->Dat1->count(), 5);
        form->Dat1->setEditText(form->Dat1->itemText(1));
        form->Dat2->setEditText(form->Dat1->itemText(4));
    }

    std::string config() const { return velmar::test::readFile(dir.file("config")); }

    TempDir dir;
    velmar::test::ScopedCurrentDir inside { dir.path() };
    RecordingDialogs dialogs;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(Faults, LogRemovedBeforeADateRangeRebuild)
{
    const Cells detailed = cellsOf(form->StrData());
    const Cells summary = cellsOf(form->StrFullData());
    const std::string log = velmar::test::readFile(dir.file("new_line.log"));
    ASSERT_EQ(::unlink(dir.file("new_line.log").c_str()), 0);

    chooseRange();
    form->ApplyB->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("File not found"));
    // Nothing was changed: both tables hold the sessions of the last build.
    EXPECT_EQ(cellsOf(form->StrData()), detailed);
    EXPECT_EQ(cellsOf(form->StrFullData()), summary);

    // The log is back: the same button now rebuilds for the range.
    velmar::test::writeFile(dir.file("new_line.log"), log);
    form->ApplyB->click();
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_LT(form->StrData().rowCount(), static_cast<int>(detailed.size()));
    EXPECT_EQ(QString::fromStdString(std::string(form->StrData().cell(0, 1))), form->Dat1->itemText(1));
}

TEST_F(Faults, LogMadeUnreadableBeforeADateRangeRebuild)
{
    const Cells detailed = cellsOf(form->StrData());
    const Cells summary = cellsOf(form->StrFullData());
    ASSERT_EQ(::chmod(dir.file("new_line.log").c_str(), 0), 0);

    chooseRange();
    {
        const AsUnprivilegedUser nobody;
        if (!nobody.applies())
            GTEST_SKIP() << "cannot give up root here, so the permissions would not apply";
        form->ApplyB->click();
    }
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("File access denied"));
    EXPECT_EQ(cellsOf(form->StrData()), detailed);
    EXPECT_EQ(cellsOf(form->StrFullData()), summary);

    ASSERT_EQ(::chmod(dir.file("new_line.log").c_str(), 0644), 0);
    form->ApplyB->click();
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_LT(form->StrData().rowCount(), static_cast<int>(detailed.size()));
}

TEST_F(Faults, SaveThatCannotBeWrittenKeepsTheOldConfigByteForByte)
{
    const std::string before = config();
    const Cells detailed = cellsOf(form->StrData());
    form->tarif->setText(QStringLiteral("2.5"));

    // The start directory without write access (as "nobody"): the temporary file cannot be created.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    {
        const AsUnprivilegedUser nobody;
        if (!nobody.applies())
            GTEST_SKIP() << "cannot give up root here, so the permissions would not apply";
        form->SaveB->click();
    }
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("File access denied"));
    EXPECT_EQ(config(), before);
    EXPECT_FALSE(velmar::fileExists(dir.file("config.tmp")));
    EXPECT_EQ(cellsOf(form->StrData()), detailed); // the save ended before the rebuild
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);

    // A directory standing where the save writes its temporary file: the system's error, root or not.
    ASSERT_EQ(::mkdir(dir.file("config.tmp").c_str(), 0755), 0);
    form->SaveB->click();
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.messages[1], QStringLiteral("I/O error 21"));
    EXPECT_EQ(config(), before);
    ASSERT_EQ(::rmdir(dir.file("config.tmp").c_str()), 0);

    // With the way clear the same save goes through and takes effect.
    form->SaveB->click();
    EXPECT_EQ(dialogs.messages.size(), 2);
    EXPECT_NE(config(), before);
    EXPECT_DOUBLE_EQ(form->ConfRec().TarifPerMin, 2.5);
    EXPECT_EQ(form->StrData().cell(6, 1), "5"); // a 2-minute session at the new tariff
}
