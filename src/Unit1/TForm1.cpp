#include "Unit1/TForm1.h"

#include "Unit1/ChartsPage.h"
#include "Unit1/ColumnFitter.h"
#include "Unit1/ConsoleDialogs.h"
#include "Unit1/DayBox.h"
#include "Unit1/LogFollower.h"
#include "Unit1/ReadmePage.h"
#include "Unit1/SortedRowsModel.h"
#include "Unit1/StatGrid.h"
#include "Unit1/StatTableModel.h"
#include "Unit1/Texts.h"
#include "Unit1/UserDialogs.h"
#include "export/StartUp.h"
#include "export/TemplateExport.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "settings/ConfigFile.h"
#include "statistics/Charging.h"
#include "statistics/ChartFigures.h"
#include "statistics/Summary.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>
#include <exception>
#include <functional>

namespace {

// Shows the wait cursor for as long as a rebuild runs.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Holds a table model in its rebuild, and the view's drawing off, for a scope. However the scope is left the
// model is reset and the view drawn again; when an error leaves it, onError runs after that.
class ModelRebuild {
public:
    explicit ModelRebuild(StatTableModel& model, QWidget* view = nullptr, std::function<void()> onError = {})
        : model_(model)
        , view_(view)
        , onError_(std::move(onError))
        , exceptions_(std::uncaught_exceptions())
    {
        model_.beginRebuild();
        if (view_)
            view_->setUpdatesEnabled(false);
    }
    ~ModelRebuild()
    {
        model_.endRebuild();
        if (view_)
            view_->setUpdatesEnabled(true);
        if (onError_ && std::uncaught_exceptions() > exceptions_) {
            // The error on its way out is the one to report; a second one here could not be shown.
            try {
                onError_();
            } catch (...) {
            }
        }
    }
    ModelRebuild(const ModelRebuild&) = delete;
    ModelRebuild& operator=(const ModelRebuild&) = delete;

private:
    StatTableModel& model_;
    QWidget* view_;
    std::function<void()> onError_;
    int exceptions_;
};

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QToolButton* toolButton(QWidget* parent, const char* name, const QString& text, QRect geometry, bool flat = true)
{
    auto* button = named(new QToolButton(parent), name);
    button->setText(text);
    button->setGeometry(geometry);
    button->setAutoRaise(flat);
    // Tool buttons never take the focus, so pressing one never runs the check of the edit being left.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// The built-in tariff, written with the locale's decimal separator so that it always converts.
QString defaultTariffText()
{
    return fromCodePage(velmar::formatFloat(4.79));
}

// Texts of language files are shown as they stand, never read as markup.
QLabel* plainLabel(QWidget* parent, const char* name)
{
    auto* l = named(new QLabel(parent), name);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, QPoint at)
{
    auto* l = plainLabel(parent, name);
    l->setText(text);
    l->move(at);
    l->adjustSize();
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* e = named(new QLineEdit(text, parent), name);
    e->setGeometry(geometry);
    return e;
}

QGroupBox* groupBox(QWidget* parent, const char* name, const QString& title, QRect geometry)
{
    auto* box = named(new QGroupBox(title, parent), name);
    box->setGeometry(geometry);
    return box;
}

// Replaces the items of a date box, keeping the text it shows.
void setItemsKeepingText(QComboBox* box, const std::vector<std::string>& items)
{
    const QString text = box->currentText();
    const QSignalBlocker blocker(box);
    box->clear();
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items)
        list.append(fromCodePage(item));
    box->addItems(list);
    box->setCurrentIndex(-1);
    box->setEditText(text);
}

} // namespace

TForm1::TForm1(UserDialogs& dialogs, std::vector<std::string> params, QWidget* parent)
    : QWidget(parent)
    , dialogs_(dialogs)
    , params_(std::move(params))
{
    buildWindow();
    guarded([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    // The children are deleted after this destructor: focus moving among them must not reach a half-gone window.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    // Pages removed with their tab control must not reach the readme page that is already gone.
    disconnect(PageC, nullptr, this, nullptr);
    // The tables are members and go before the children: the grids, hidden as the window goes, must not
    // read them any more.
    Str->setModel(nullptr);
    StrFull->setModel(nullptr);
}

// ---------------------------------------------------------------------------------------------------
// The window

void TForm1::buildWindow()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmar statistic v" VELMAR_VERSION));
    setGeometry(223, 155, 429, 263);
    // The layout was drawn for Tahoma at 11 pixels; where it is missing a font of similar width stands in,
    // so that the texts fit the fixed places of the controls.
    QFont font;
    font.setFamilies({ QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
        QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans") });
    font.setPixelSize(11);
    setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    PageC = named(new QTabWidget(this), "PageC");
    PageC->setDocumentMode(true);
    layout->addWidget(PageC);

    Tab1 = named(new QWidget, "Tab1");
    Tab2 = named(new QWidget, "Tab2");
    Tab3 = named(new QWidget, "Tab3");
    Tab4 = named(new QWidget, "Tab4");
    TabSheet1 = named(new QWidget, "TabSheet1");
    PageC->addTab(Tab1, QStringLiteral("Подробная"));
    PageC->addTab(Tab2, QStringLiteral("Общая"));
    PageC->addTab(Tab3, QStringLiteral("Настройки"));
    PageC->addTab(Tab4, QStringLiteral("Экспорт"));
    PageC->addTab(TabSheet1, QStringLiteral("Инфо"));
    TabCharts = named(new QWidget, "TabCharts");
    PageC->addTab(TabCharts, QStringLiteral("Charts"));

    auto fill = [](QWidget* page, QWidget* content) {
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        pageLayout->addWidget(content);
    };

    Str = named(new StatGrid(Tab1), "Str");
    StrModel = new StatTableModel(strData_, this);
    StrOrder = new SortedRowsModel(strData_, velmar::detailedColumnKind, 0, this);
    StrOrder->setSourceModel(StrModel);
    Str->setSortedModel(StrOrder);
    Str->setColumnWidths({ 68, 53, 55, 66, 32, 60, 49 });
    strFitter_ = std::make_unique<ColumnFitter>(*Str, strData_, std::vector<int> { 68, 53, 55, 66, 32, 60, 49 });
    fill(Tab1, Str);

    StrFull = named(new StatGrid(Tab2), "StrFull");
    StrFullModel = new StatTableModel(strFullData_, this);
    // The empty row and the total row close the summary in every order.
    StrFullOrder = new SortedRowsModel(strFullData_, velmar::summaryColumnKind, 2, this);
    StrFullOrder->setSourceModel(StrFullModel);
    StrFull->setSortedModel(StrFullOrder);
    StrFull->setColumnWidths({ 97, 80, 72, 64, 91 });
    strFullFitter_ = std::make_unique<ColumnFitter>(*StrFull, strFullData_, std::vector<int> { 97, 80, 72, 64, 91 });
    fill(Tab2, StrFull);
    connect(StrFull, &StatGrid::mouseReleased, this, [this] { guarded([this] { StrFullMouseUp(); }); });

    buildSettingsPage(Tab3);
    buildExportPage(Tab4);

    Memo1 = named(new QPlainTextEdit(TabSheet1), "Memo1");
    Memo1->setReadOnly(true);
    fill(TabSheet1, Memo1);
    readme_ = std::make_unique<ReadmePage>(PageC, TabSheet1, Memo1);
    connect(PageC, &QTabWidget::currentChanged, this, [this] { guarded([this] { readme_->loadIfShown(); }); });

    Charts = new ChartsPage(TabCharts);
    fill(TabCharts, Charts);
    connect(PageC, &QTabWidget::currentChanged, this, [this] { guarded([this] { refreshCharts(); }); });
    connect(Charts, &ChartsPage::saveRequested, this,
        [this](ChartsPage::Format format) { guarded([this, format] { saveCharts(static_cast<int>(format)); }); });

    follower_ = new LogFollower(this);
    connect(follower_, &LogFollower::changed, this, &TForm1::followLog);

    connect(qApp, &QApplication::focusChanged, this, &TForm1::onFocusChanged);
}

void TForm1::buildSettingsPage(QWidget* page)
{
    PrefBox = groupBox(page, "PrefBox", QStringLiteral(" Опции "), { 6, 2, 343, 63 });
    Label1 = label(PrefBox, "Label1", QStringLiteral("Смещение:"), { 6, 18 });
    Label1->setToolTip(QStringLiteral("(в сек) время набора нормера и т.д."));
    Offset = edit(PrefBox, "Offset", QStringLiteral("0"), { 6, 32, 61, 21 });
    Label3 = label(PrefBox, "Label3", QStringLiteral("Тариф:"), { 74, 18 });
    Label3->setToolTip(QStringLiteral("Тариф за минуту звонка"));
    tarif = edit(PrefBox, "tarif", defaultTariffText(), { 74, 32, 59, 21 });
    Label2 = label(PrefBox, "Label2", QStringLiteral("Файл:"), { 138, 18 });
    Label2->setToolTip(QStringLiteral("Лог-файл Velmar"));
    FileN = edit(PrefBox, "FileN", QStringLiteral("C:\\Mail\\LOG\\new_line.log"), { 138, 32, 171, 21 });
    FileN->setReadOnly(true);
    OpenLog = toolButton(PrefBox, "OpenLog", QStringLiteral("..."), { 314, 32, 23, 21 });
    OpenLog->setToolTip(QStringLiteral("Открыть Log-файл"));
    connect(OpenLog, &QToolButton::clicked, this, [this] { guarded([this] { OpenLogClick(); }); });

    DateBox = groupBox(page, "DateBox", QString(), { 6, 68, 343, 45 });
    Dat1L = plainLabel(DateBox, "Dat1L");
    Dat1L->setGeometry(4, 20, 29, 13);
    Dat1L->setAlignment(Qt::AlignCenter);
    Dat1 = named(new QComboBox(DateBox), "Dat1");
    Dat1->setEditable(true);
    Dat1->setInsertPolicy(QComboBox::NoInsert);
    Dat1->setGeometry(36, 16, 89, Dat1->sizeHint().height());
    makeDayBox(*Dat1);
    connect(Dat1, &QComboBox::activated, this, [this](int index) { guarded([this, index] { Dat1Select(index); }); });
    Dat2L = plainLabel(DateBox, "Dat2L");
    Dat2L->setGeometry(128, 20, 29, 13);
    Dat2L->setAlignment(Qt::AlignCenter);
    Dat2 = named(new QComboBox(DateBox), "Dat2");
    Dat2->setEditable(true);
    Dat2->setInsertPolicy(QComboBox::NoInsert);
    Dat2->setGeometry(160, 16, 89, Dat2->sizeHint().height());
    makeDayBox(*Dat2);
    ApplyB = toolButton(DateBox, "ApplyB", QString(), { 256, 12, 81, 25 });
    connect(ApplyB, &QToolButton::clicked, this, [this] { guarded([this] { ApplyBClick(); }); });

    Lang = groupBox(page, "Lang", QStringLiteral(" Language (Язык) "), { 6, 120, 155, 45 });
    LangBox = named(new QComboBox(Lang), "LangBox");
    LangBox->setEditable(false);
    LangBox->setGeometry(8, 16, 137, LangBox->sizeHint().height());

    SaveB = named(new QPushButton(QStringLiteral("Сохранить"), page), "SaveB");
    SaveB->setGeometry(172, 128, 85, 33);
    SaveB->setToolTip(QStringLiteral("Что бы изменения вступили в силу их надо сохранить"));
    SaveB->setFocusPolicy(Qt::StrongFocus);
    connect(SaveB, &QPushButton::clicked, this, [this] { guarded([this] { SaveBClick(); }); });

    DefB = toolButton(page, "DefB", QStringLiteral("По дефолту"), { 264, 128, 85, 33 }, false);
    connect(DefB, &QToolButton::clicked, this, [this] { guarded([this] { DefBClick(); }); });

    // Alt and the marked letter of a label moves to its edit, and a screen reader names the edit by it.
    Label1->setBuddy(Offset);
    Label3->setBuddy(tarif);
    Label2->setBuddy(FileN);
    Dat1L->setBuddy(Dat1);
    Dat2L->setBuddy(Dat2);
    LangBox->setAccessibleName(Lang->title().trimmed());
    // The button without a caption is pressed with Ctrl+O, as an open dialog usually is.
    OpenLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    OpenLog->setAccessibleName(OpenLog->toolTip());
    QWidget::setTabOrder(Offset, tarif);
    QWidget::setTabOrder(tarif, FileN);
    QWidget::setTabOrder(FileN, Dat1);
    QWidget::setTabOrder(Dat1, Dat2);
    QWidget::setTabOrder(Dat2, LangBox);
    QWidget::setTabOrder(LangBox, SaveB);
}

void TForm1::buildExportPage(QWidget* page)
{
    MacInfo = groupBox(page, "MacInfo", QStringLiteral("Теги"), { 8, 4, 85, 125 });
    MacInfo->setToolTip(QStringLiteral("Пример: шаблон %1, %4 даёт строки из даты лога, запятой и адреса FidoNet"));
    Label4 = plainLabel(MacInfo, "Label4");
    Label4->setGeometry(6, 15, 76, 104);
    Label4->setAttribute(Qt::WA_TranslucentBackground);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4->setText(QStringLiteral("%1 - Дата\n%2 - Начало\n%3 - Конец\n%4 - Адрес\n%5 - Минуты\n"
                                   "%6 - Получено\n%7 - Деньги\n%8 - Сессий"));

    Label5 = label(page, "Label5", QStringLiteral("Формат для подробной статистики: "), { 104, 4 });
    Label5->setToolTip(QStringLiteral("Можно писать с %1 до %6"));
    Exp = edit(page, "Exp", QStringLiteral("%1 %2 %3 %4 %5 %6"), { 104, 18, 245, 21 });
    Label6 = label(page, "Label6", QStringLiteral("Формат для общей статистики: "), { 104, 40 });
    Label6->setToolTip(QStringLiteral("Можно писать с %4 до %7"));
    Exp2 = edit(page, "Exp2", QStringLiteral("%4 %5 %6 %7"), { 104, 54, 245, 21 });

    ExpBox = groupBox(page, "ExpBox", QStringLiteral("Экспортировать"), { 104, 76, 245, 53 });
    FullStat = toolButton(ExpBox, "FullStat", QStringLiteral("Подробную"), { 8, 16, 73, 29 });
    FullStat2 = toolButton(ExpBox, "FullStat2", QStringLiteral("Общую"), { 88, 16, 69, 28 });
    AllStat = toolButton(ExpBox, "AllStat", QStringLiteral("Все"), { 164, 16, 73, 28 });
    connect(FullStat, &QToolButton::clicked, this, [this] { guarded([this] { FullStatClick(); }); });
    connect(FullStat2, &QToolButton::clicked, this, [this] { guarded([this] { FullStat2Click(); }); });
    connect(AllStat, &QToolButton::clicked, this, [this] { guarded([this] { AllStatClick(); }); });

    Label5->setBuddy(Exp);
    Label6->setBuddy(Exp2);
    QWidget::setTabOrder(Exp, Exp2);
}

// ---------------------------------------------------------------------------------------------------
// The general rule and the messages

template <typename Handler> void TForm1::guarded(Handler&& handler)
{
    try {
        handler();
    } catch (...) {
        showException();
    }
}

namespace {

// Holds a model in its append for a scope: the views see the new rows once the scope is left, however.
class ModelAppend {
public:
    ModelAppend(StatTableModel& model, int tail, bool cellsChanged)
        : model_(model)
        , tail_(tail)
        , cellsChanged_(cellsChanged)
    {
        model_.beginAppend();
    }
    ~ModelAppend() { model_.endAppend(tail_, cellsChanged_); }
    ModelAppend(const ModelAppend&) = delete;
    ModelAppend& operator=(const ModelAppend&) = delete;

private:
    StatTableModel& model_;
    int tail_;
    bool cellsChanged_;
};

// A view scrolled to its last row stays there while rows are added; any other position is kept as it is.
class KeepAtEnd {
public:
    explicit KeepAtEnd(QAbstractItemView* view)
        : view_(view)
        , atEnd_(view->verticalScrollBar()->value() == view->verticalScrollBar()->maximum())
    {
    }
    ~KeepAtEnd()
    {
        if (atEnd_)
            view_->scrollToBottom();
    }
    KeepAtEnd(const KeepAtEnd&) = delete;
    KeepAtEnd& operator=(const KeepAtEnd&) = delete;

private:
    QAbstractItemView* view_;
    bool atEnd_;
};

} // namespace

void TForm1::showException()
{
    Mess(velmar::currentErrorText());
}

void TForm1::Mess(std::string_view text)
{
    ++messageCount_;
    const QString shown = fromCodePage(text);
    // After "-e" the program is on its way out: a box would close at once, so nobody waits for it.
    if (endRequested_)
        writeErrorLine(shown);
    else
        dialogs_.showError(this, shown);
}

std::string TForm1::labelText(int index)
{
    return labels_.text(index, startDir_);
}

// ---------------------------------------------------------------------------------------------------
// Start-up and shutdown

void TForm1::FormCreate()
{
    // Log dates are always read day first, with "-" between day, month and year (see VelmarToDate).
    labels_.clear();
    startDir_ = velmar::currentDirectory();
    velmar::FormCreate(*this, params_);
}

void TForm1::applyChosenLanguage()
{
    REadIni(LangBox->currentText());
}

void TForm1::showTables()
{
    PageC->setCurrentIndex(kDetailedPage);
}

void TForm1::firstStart()
{
    // The languages are offered on the first start too, so that the first save applies a real one.
    LangActivate();
    LangBox->setCurrentIndex(velmar::firstRunLanguage(langBoxItems()));
    Mess(labelText(12));
    PageC->setCurrentIndex(kSettingsPage);
    PageV(false);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    guarded([this] { FormClose(); });
    // Whatever happened to the copy, the window closes.
    event->accept();
}

void TForm1::FormClose()
{
    // Only the copy this run made is removed: never the log itself, nor a copy of another run.
    logText_.removeOwnCopy();
}

void TForm1::removeOwnLogCopy()
{
    guarded([this] { logText_.removeOwnCopy(); });
}

// ---------------------------------------------------------------------------------------------------
// Window helpers

void TForm1::PageV(bool visible)
{
    PageC->setTabVisible(kDetailedPage, visible);
    PageC->setTabVisible(kSummaryPage, visible);
    PageC->setTabVisible(kChartsPage, visible);
}

void TForm1::StrFullMouseUp()
{
    // The room the columns have is the viewport's, without the frame and the vertical scroll bar.
    int rest = StrFull->viewport()->width();
    for (int column = 0; column < 4; ++column)
        rest -= StrFull->columnWidth(column);
    // A last column that would vanish keeps the narrowest width, so the user can still grab it.
    StrFull->setColumnWidth(4, std::max(rest, StrFull->horizontalHeader()->minimumSectionSize()));
}

void TForm1::onFocusChanged(QWidget* old, QWidget* now)
{
    // Only leaving an edit for another control of this window runs its check; a message box or another
    // application taking the focus does not.
    if (!now || now->window() != this)
        return;
    if (old == Offset && now != Offset)
        guarded([this] { OffsetExit(); });
    else if (old == tarif && now != tarif)
        guarded([this] { tarifExit(); });
}

// ---------------------------------------------------------------------------------------------------
// Settings and language

void TForm1::LangActivate()
{
    const std::vector<std::string> names = velmar::languageNames(velmar::currentDirectory());
    for (const std::string& name : names)
        LangBox->addItem(fromNativePath(name));
    if (names.empty())
        LangBox->setEnabled(false);
}

void TForm1::REadIni(const QString& name)
{
    const velmar::Language lang = velmar::readLanguage(startDir_, toNativePath(name));

    velmar::setTableHeaders(lang, strData_, strFullData_);
    StrModel->headerChanged();
    StrFullModel->headerChanged();
    strFitter_->widen();
    strFullFitter_->widen();

    for (int page = 0; page < 5; ++page)
        PageC->setTabText(page, fromCodePage(lang.pages[static_cast<size_t>(page)]));
    PageC->setTabText(kChartsPage, fromCodePage(lang.chartsPage));
    Charts->setTexts(lang.charts);

    PrefBox->setTitle(fromCodePage(lang.prefBox));
    Label1->setText(fromCodePage(lang.label1));
    Label1->setToolTip(plainToolTip(fromCodePage(lang.label1Hint)));
    Label2->setText(fromCodePage(lang.label2));
    Label2->setToolTip(plainToolTip(fromCodePage(lang.label2Hint)));
    Label3->setText(fromCodePage(lang.label3));
    Label3->setToolTip(plainToolTip(fromCodePage(lang.label3Hint)));
    SaveB->setText(fromCodePage(lang.saveB));
    SaveB->setToolTip(plainToolTip(fromCodePage(lang.saveBHint)));
    DefB->setText(fromCodePage(lang.defB));
    DateBox->setTitle(fromCodePage(lang.dateBox));
    Dat1L->setText(fromCodePage(lang.dat1L));
    Dat2L->setText(fromCodePage(lang.dat2L));
    ApplyB->setText(fromCodePage(lang.applyB));
    for (QLabel* l : { Label1, Label2, Label3 })
        l->adjustSize();

    Label5->setText(fromCodePage(lang.label5));
    Label5->setToolTip(plainToolTip(fromCodePage(lang.label5Hint)));
    Label6->setText(fromCodePage(lang.label6));
    Label6->setToolTip(plainToolTip(fromCodePage(lang.label6Hint)));
    ExpBox->setTitle(fromCodePage(lang.expBox));
    FullStat->setText(fromCodePage(lang.fullStat));
    FullStat2->setText(fromCodePage(lang.fullStat2));
    AllStat->setText(fromCodePage(lang.allStat));
    MacInfo->setTitle(fromCodePage(lang.macInfo));
    MacInfo->setToolTip(plainToolTip(fromCodePage(lang.macInfoHint)));
    for (QLabel* l : { Label5, Label6 })
        l->adjustSize();
    Label4->setText(fromCodePage(lang.label4));

    labels_.apply(lang);

    // Only checked here; the Info page reads it when it is first shown.
    readme_->setSource(velmar::findLanguageReadme(lang), lang.readme);
}

void TForm1::ReadConf()
{
    try {
        velmar::readConfRec(std::string(velmar::kConfigName), confRec_);
    } catch (const velmar::ConvertError&) {
        // A stored tariff that is no number: the settings page comes to the front to mend it.
        PageC->setCurrentIndex(kSettingsPage);
        PageV(false);
        throw;
    }
    tarif->setText(fromCodePage(velmar::formatFloat(confRec_.TarifPerMin)));
    Offset->setText(fromCodePage(velmar::formatInt(confRec_.OffsetSec)));
    FileN->setText(fromCodePage(confRec_.LogFile()));
    Exp->setText(fromCodePage(confRec_.ExpFormat()));
    Exp2->setText(fromCodePage(confRec_.Exp2Format()));

    LangBox->setCurrentIndex(velmar::chooseLanguage(langBoxItems(), confRec_.LangName()));
}

std::vector<std::string> TForm1::langBoxItems() const
{
    std::vector<std::string> items;
    for (int i = 0; i < LangBox->count(); ++i)
        items.push_back(toCodePage(LangBox->itemText(i)));
    return items;
}

void TForm1::WriteConf()
{
    velmar::setCurrentDirectory(startDir_);
    velmar::ConfTexts texts;
    // A text the code page cannot hold is refused before anything is written.
    texts.tarif = toCodePageExactly(tarif->text());
    texts.offset = toCodePageExactly(Offset->text());
    texts.logFile = toCodePageExactly(FileN->text());
    texts.exp = toCodePageExactly(Exp->text());
    texts.exp2 = toCodePageExactly(Exp2->text());
    texts.langName = toCodePageExactly(LangBox->currentText());
    velmar::saveConfRec(velmar::joinPath(startDir_, velmar::kConfigName), confRec_, texts);
}

// ---------------------------------------------------------------------------------------------------
// Statistics

bool TForm1::FreeLog()
{
    const std::string path = toNativePath(FileN->text());
    if (!velmar::fileExists(path)) {
        // Nothing is followed until a log is read again.
        followedLog_.clear();
        continuation_.reset();
        follower_->watch(QString());
        Mess(labelText(10));
        PageC->setCurrentIndex(kSettingsPage);
        PageV(false);
        return false;
    }
    followedLog_ = path;
    startFollowing();
    bindLog(path, true);
    return true;
}

void TForm1::bindLog(const std::string& path, bool tellCopy)
{
    std::function<void()> tell;
    if (tellCopy)
        tell = [this] { Mess(labelText(11)); };
    velmar::bindLog(logText_, path, startDir_, tell);
}

// ---------------------------------------------------------------------------------------------------
// Following the log

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    startFollowing();
}

void TForm1::startFollowing()
{
    if (isVisible() && !followedLog_.empty() && follower_->path() != fromNativePath(followedLog_))
        follower_->watch(fromNativePath(followedLog_));
}

void TForm1::followLog()
{
    // Never under a box or dialog that waits for the user: the change is taken in at the next look after it.
    if (QApplication::activeModalWidget() != nullptr || followedLog_.empty())
        return;
    // What was looked at counts as seen now: whatever the mailer writes during the read is a change again.
    follower_->markSeen();
    try {
        takeInAppended();
        lastFollowError_.clear();
    } catch (...) {
        // The same error every second would bury the window under boxes: it is shown once.
        const std::string text = velmar::currentErrorText();
        if (text != lastFollowError_) {
            lastFollowError_ = text;
            Mess(text);
        }
    }
}

void TForm1::takeInAppended()
{
    // While the mailer rotates its log there may be no log for a moment: the next one is read when it comes.
    if (!velmar::fileExists(followedLog_))
        return;
    const bool hadSessions = velmar::sessionRowsEnd(strData_) > 1;
    const std::size_t days = dat1Days_.items().size();
    velmar::Continued continued = velmar::Continued::Rebuild;
    if (continuation_) {
        const KeepAtEnd keepDetailed(Str);
        const ModelAppend append(*StrModel, 0, !hadSessions);
        continued
            = velmar::continueFillTabl(followedLog_, *continuation_, strData_, dat1Days_, dat2Days_, sessionTimes_);
        if (continued == velmar::Continued::Locked) {
            // The mailer holds the log: what it appended is read from the copy, as at start-up; the copy read
            // last is brought up to date rather than made anew.
            if (!logText_.extendCopy(followedLog_))
                logText_.bindCopyOf(followedLog_, startDir_);
            continued
                = velmar::continueFillTabl(logText_, *continuation_, strData_, dat1Days_, dat2Days_, sessionTimes_);
        } else if (continued != velmar::Continued::Rebuild && logText_.readsCopy()) {
            // The log can be read again: a rebuild must read it rather than an older copy.
            logText_.bind(followedLog_);
        }
    }
    if (continued == velmar::Continued::Rebuild) {
        // Rotated, shortened or never read whole: read from the start, as a rebuild does.
        bindLog(followedLog_, false);
        FillTabl();
        FillFull();
        return;
    }
    if (continued != velmar::Continued::Read)
        return;
    strFitter_->widen();
    syncDayBoxes(dat1Days_.items().size() != days);
    {
        const KeepAtEnd keepSummary(StrFull);
        const ModelAppend append(*StrFullModel, 2, true);
        tallySummary();
    }
    strFullFitter_->widen();
    chartsStale_ = true;
    refreshCharts();
}

void TForm1::FillTabl()
{
    const WaitCursor wait;
    const std::string from = toCodePage(Dat1->currentText());
    const std::string to = toCodePage(Dat2->currentText());
    const velmar::Charge charge { confRec_.OffsetSec, confRec_.TarifPerMin };

    strData_.forgetLongest();
    chartsStale_ = true;
    chartTally_ = {};
    chartTallied_ = 1;
    {
        const ModelRebuild rebuild(*StrModel, Str, [this] { syncDayBoxes(false); });
        // Whatever happens, the log is then followed from this read (or read anew, when it failed).
        continuation_.emplace(from, to, charge);
        velmar::FillTabl(logText_, from, to, charge, strData_, dat1Days_, dat2Days_, sessionTimes_, &*continuation_);
    }
    strFitter_->widen();
    syncDayBoxes(true);
    Str->scrollToBottom();
    refreshCharts();
}

void TForm1::refreshCharts()
{
    // The charts are worked out only for a user who looks at them.
    if (!chartsStale_ || PageC->currentIndex() != kChartsPage)
        return;
    const WaitCursor wait;
    // Rows appended while the log is followed are added to what the charts know.
    const int end = velmar::sessionRowsEnd(strData_);
    try {
        chartTally_.add(strData_, chartTallied_, end);
    } catch (...) {
        chartTally_ = {};
        chartTallied_ = 1;
        throw;
    }
    chartTallied_ = end;
    chartsStale_ = false;
    Charts->setFigures(chartTally_.figures());
}

void TForm1::saveCharts(int format)
{
    const bool svg = static_cast<ChartsPage::Format>(format) == ChartsPage::Format::Svg;
    const std::optional<QString> chosen = dialogs_.saveFile(this, fromCodePage(Charts->texts().saveTitle),
        svg ? QStringLiteral("SVG image (*.svg)") : QStringLiteral("PNG image (*.png)"),
        svg ? QStringLiteral("svg") : QStringLiteral("png"), lastChartsName_);
    if (!chosen)
        return;
    lastChartsName_ = *chosen;
    Charts->save(*chosen, static_cast<ChartsPage::Format>(format));
}

void TForm1::tallySummary()
{
    try {
        velmar::FillFull(strData_, strFullData_, labelText(0), confRec_.TarifPerMin, summaryTally_, summaryTallied_);
    } catch (...) {
        // A failed tally holds part of a row: the next summary starts from the first row.
        summaryTally_ = {};
        summaryTallied_ = 1;
        throw;
    }
}

void TForm1::FillFull()
{
    const WaitCursor wait;
    strFullData_.forgetLongest();
    summaryTally_ = {};
    summaryTallied_ = 1;
    {
        const ModelRebuild rebuild(*StrFullModel);
        tallySummary();
    }
    strFullFitter_->widen();
}

void TForm1::syncDayBoxes(bool withDat2)
{
    if (static_cast<size_t>(Dat1->count()) != dat1Days_.items().size())
        setItemsKeepingText(Dat1, dat1Days_.items());
    if (withDat2)
        setItemsKeepingText(Dat2, dat2Days_);
}

void TForm1::Dat1Select(int index)
{
    velmar::Dat1Select(dat1Days_.items(), index, dat2Days_);
    setItemsKeepingText(Dat2, dat2Days_);
}

void TForm1::ApplyBClick()
{
    if (velmar::ApplyRange(toCodePage(Dat1->currentText()), toCodePage(Dat2->currentText()))
        == velmar::RangeAction::Rebuild) {
        FillTabl();
        FillFull();
        return;
    }
    Dat1->setEditText(QString());
    Dat2->setEditText(QString());
}

// ---------------------------------------------------------------------------------------------------
// Settings page actions

void TForm1::DefBClick()
{
    tarif->setText(defaultTariffText());
    Offset->setText(QStringLiteral("0"));
    FileN->setText(QStringLiteral("C:\\Mail\\LOG\\NEW_LINE.LOG"));
    Exp->setText(fromCodePage(velmar::kDefaultExpFormat));
    Exp2->setText(fromCodePage(velmar::kDefaultExp2Format));
}

void TForm1::SaveBClick()
{
    WriteConf();
    if (!FreeLog())
        return;
    REadIni(LangBox->currentText());
    FillTabl();
    FillFull();
    PageV(true);
}

template <typename Convert> void TForm1::checkNumberEdit(QLineEdit* edit, Convert&& convert, std::string_view saved)
{
    try {
        convert(toCodePage(edit->text()));
    } catch (const velmar::ConvertError&) {
        Mess(labelText(13));
        edit->setText(fromCodePage(saved));
        edit->setFocus();
    }
}

void TForm1::OffsetExit()
{
    checkNumberEdit(
        Offset, [](std::string_view text) { velmar::offsetToInt32(text); }, velmar::formatInt(confRec_.OffsetSec));
}

void TForm1::tarifExit()
{
    checkNumberEdit(
        tarif, [](std::string_view text) { velmar::toFloat(text); }, velmar::formatFloat(confRec_.TarifPerMin));
}

void TForm1::OpenLogClick()
{
    const std::optional<QString> name
        = dialogs_.openFile(this, QStringLiteral("Открыть Log-File"), QStringLiteral("Velmar Log-file (*.log)"));
    if (name)
        FileN->setText(*name);
}

// ---------------------------------------------------------------------------------------------------
// Export

void TForm1::ExpStat(int tagOffset, const velmar::Table& table, const QString& templateText)
{
    const std::string from = toCodePage(Dat1->currentText());
    const std::string to = toCodePage(Dat2->currentText());
    const std::string word = labelText(1);
    const velmar::ExportHeading heading { from, to, word };
    velmar::ExpStat(expText_, tagOffset, table, toCodePage(templateText), heading, [this] { Mess(labelText(14)); });
}

void TForm1::exportToChosenFile(bool detailed, bool summary)
{
    const std::optional<QString> chosen = dialogs_.saveFile(this, QStringLiteral("Экспортировать"),
        QStringLiteral("Export text file (*)"), QStringLiteral("txt"), lastExportName_);
    if (!chosen)
        return;
    lastExportName_ = *chosen;
    expText_.assign(toNativePath(*chosen));
    expText_.rewrite(inputFiles());
    try {
        if (detailed)
            ExpStat(0, strData_, Exp->text());
        // The summary template is taken only after the detailed block has been written.
        if (summary)
            ExpStat(3, strFullData_, Exp2->text());
        expText_.close();
    } catch (...) {
        // An export that failed never takes the place of an older file of that name.
        expText_.discard();
        throw;
    }
}

void TForm1::FullStatClick()
{
    exportToChosenFile(true, false);
}

void TForm1::FullStat2Click()
{
    exportToChosenFile(false, true);
}

void TForm1::AllStatClick()
{
    exportToChosenFile(true, true);
}

void TForm1::ComLine()
{
    velmar::ComLine(params_, *this);
}

bool TForm1::Rewr(const std::string& fileName)
{
    if (velmar::createExport(expText_, fileName, inputFiles()))
        return true;
    Mess(labelText(15));
    return false;
}

void TForm1::exportTable(int tagOffset)
{
    ExpStat(tagOffset, tagOffset == 0 ? strData_ : strFullData_, tagOffset == 0 ? Exp->text() : Exp2->text());
}

void TForm1::closeExport()
{
    expText_.close();
}

void TForm1::closeExportQuietly() noexcept
{
    expText_.discard();
}

std::vector<std::string> TForm1::inputFiles() const
{
    return velmar::exportInputs(startDir_, toNativePath(FileN->text()), readme_->path(), logText_);
}

void TForm1::requestEnd()
{
    endRequested_ = true;
}
