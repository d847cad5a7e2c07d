#pragma once

#include "export/CommandLine.h"
#include "export/StartUp.h"
#include "platform/TextFile.h"
#include "settings/Language.h"
#include "settings/TConfRec.h"
#include "statistics/ChartFigures.h"
#include "statistics/DayList.h"
#include "statistics/LogText.h"
#include "statistics/SessionExtraction.h"
#include "statistics/Summary.h"
#include "statistics/Table.h"

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ColumnFitter;
class LogFollower;
class ChartsPage;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class ReadmePage;
class SortedRowsModel;
class StatGrid;
class StatTableModel;
class UserDialogs;

/// The program's one window. It owns every piece of state (the two tables, the settings record, the label
/// texts, the log and the export file) and calls into the core for all the work; its handlers hold no
/// statistics of their own. An error that escapes a handler is shown through Mess and the window goes on.
class TForm1 : public QWidget, private velmar::CommandLineTarget, private velmar::StartUpSteps {
    Q_OBJECT
public:
    /// Builds the window and runs its start-up. `params` are the command-line parameters after the
    /// program name; every message and file dialog goes through `dialogs`.
    explicit TForm1(UserDialogs& dialogs, std::vector<std::string> params = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    /// True once "-e" asked the program to end after start-up.
    bool endRequested() const { return endRequested_; }
    /// How many messages and errors were shown so far.
    int messageCount() const { return messageCount_; }
    /// Removes the copy of a locked log when this run made it (the way out by "-e" skips FormClose).
    void removeOwnLogCopy();

    // The window's pages, by index.
    static constexpr int kDetailedPage = 0;
    static constexpr int kSummaryPage = 1;
    static constexpr int kSettingsPage = 2;
    static constexpr int kExportPage = 3;
    static constexpr int kInfoPage = 4;
    static constexpr int kChartsPage = 5;

    // Start-up and shutdown.
    void FormCreate();
    void FormClose();

    // Window helpers.
    void PageV(bool visible);
    void StrFullMouseUp();
    void Mess(std::string_view text);

    // Settings and language.
    void LangActivate() override;
    void REadIni(const QString& name);
    void ReadConf() override;
    void WriteConf();

    // Statistics.
    bool FreeLog() override;
    void FillTabl() override;
    void FillFull() override;

    // Export.
    void ComLine() override;
    void ExpStat(int tagOffset, const velmar::Table& table, const QString& templateText);

    // Handlers of the controls.
    void Dat1Select(int index);
    void ApplyBClick();
    void DefBClick();
    void SaveBClick();
    void OffsetExit();
    void tarifExit();
    void OpenLogClick();
    void FullStatClick();
    void FullStat2Click();
    void AllStatClick();

    // The state the handlers work on; read by tests.
    const velmar::Table& StrData() const { return strData_; }
    const velmar::Table& StrFullData() const { return strFullData_; }
    const velmar::TConfRec& ConfRec() const { return confRec_; }
    const std::vector<std::string>& LabelList() const { return labels_.entries(); }
    const std::string& StartDir() const { return startDir_; }
    const velmar::LogText& LogText() const { return logText_; }
    /// What watches the log while the window is shown.
    LogFollower& Follower() const { return *follower_; }
    /// Takes in what the mailer wrote into the log since the last read: the appended sessions, or the whole
    /// log again when it was rotated. Does nothing while a box or dialog waits for the user.
    void followLog();

    /// The text of a label entry; while no language is applied, the entry of the "russian" language file
    /// of the start directory, else a built-in text of ours.
    std::string labelText(int index);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildWindow();
    void buildSettingsPage(QWidget* page);
    void buildExportPage(QWidget* page);
    /// Runs a handler under the general rule: whatever escapes it is shown and the window goes on.
    template <typename Handler> void guarded(Handler&& handler);
    void showException();
    void onFocusChanged(QWidget* old, QWidget* now);
    void exportToChosenFile(bool detailed, bool summary);
    void syncDayBoxes(bool withDat2);
    std::vector<std::string> langBoxItems() const;
    /// Refuses a number edit whose text the converter rejects: the message, the saved value back, the focus.
    template <typename Convert> void checkNumberEdit(QLineEdit* edit, Convert&& convert, std::string_view saved);
    /// The files the program reads: no export may take the place of one of them.
    std::vector<std::string> inputFiles() const;
    /// Draws the charts from the detailed table when they are in sight and the table changed since.
    void refreshCharts();
    void saveCharts(int format);
    /// Watches the log read last, once the window is in sight (a window never shown never follows).
    void startFollowing();
    void takeInAppended();
    /// Writes the summary from its tally, after adding the detailed rows it does not hold yet.
    void tallySummary();
    /// Binds the log, or a copy of it when the mailer holds it (telling so with `tellCopy`).
    void bindLog(const std::string& path, bool tellCopy);

    // The steps of start-up that only the window has.
    void applyChosenLanguage() override;
    void showTables() override;
    void firstStart() override;

    // What the command line asks of the window.
    bool Rewr(const std::string& fileName) override;
    void exportTable(int tagOffset) override;
    void closeExport() override;
    void closeExportQuietly() noexcept override;
    void requestEnd() override;

    UserDialogs& dialogs_;
    std::vector<std::string> params_;

    velmar::Table strData_ { 7 };
    velmar::Table strFullData_ { 5 };
    velmar::TConfRec confRec_ {};
    velmar::LabelList labels_;
    velmar::LogText logText_;
    velmar::TextFile expText_;
    std::string startDir_;
    velmar::SessionTimes sessionTimes_;
    velmar::DayList dat1Days_;
    std::vector<std::string> dat2Days_;
    QString lastExportName_;
    std::unique_ptr<ReadmePage> readme_;
    std::unique_ptr<ColumnFitter> strFitter_;
    std::unique_ptr<ColumnFitter> strFullFitter_;
    QString lastChartsName_;
    bool chartsStale_ = true;
    // The read the log is followed from, and the tallies the summary and the charts add appended rows to.
    std::optional<velmar::LogContinuation> continuation_;
    std::string followedLog_; // the log as configured, also while its copy is read
    velmar::SummaryTally summaryTally_;
    int summaryTallied_ = 1;
    velmar::ChartTally chartTally_;
    int chartTallied_ = 1;
    std::string lastFollowError_; // shown once, until following succeeds again
    LogFollower* follower_ = nullptr;
    bool endRequested_ = false;
    int messageCount_ = 0;

public:
    // The controls, named as the program has always named them (each also carries its name as objectName).
    QTabWidget* PageC = nullptr;
    QWidget* Tab1 = nullptr;
    QWidget* Tab2 = nullptr;
    QWidget* Tab3 = nullptr;
    QWidget* Tab4 = nullptr;
    QWidget* TabSheet1 = nullptr;
    StatGrid* Str = nullptr;
    StatGrid* StrFull = nullptr;
    StatTableModel* StrModel = nullptr;
    StatTableModel* StrFullModel = nullptr;
    SortedRowsModel* StrOrder = nullptr; // the order the detailed page shows
    SortedRowsModel* StrFullOrder = nullptr; // the order the summary page shows
    QGroupBox* PrefBox = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Offset = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* tarif = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* FileN = nullptr;
    QToolButton* OpenLog = nullptr;
    QGroupBox* DateBox = nullptr;
    QLabel* Dat1L = nullptr;
    QComboBox* Dat1 = nullptr;
    QLabel* Dat2L = nullptr;
    QComboBox* Dat2 = nullptr;
    QToolButton* ApplyB = nullptr;
    QGroupBox* Lang = nullptr;
    QComboBox* LangBox = nullptr;
    QPushButton* SaveB = nullptr;
    QToolButton* DefB = nullptr;
    QGroupBox* MacInfo = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Exp = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* Exp2 = nullptr;
    QGroupBox* ExpBox = nullptr;
    QToolButton* FullStat = nullptr;
    QToolButton* FullStat2 = nullptr;
    QToolButton* AllStat = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QWidget* TabCharts = nullptr;
    ChartsPage* Charts = nullptr;
};
