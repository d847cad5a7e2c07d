#include "Unit1/ChartsPage.h"

#include "Unit1/Texts.h"
#include "platform/Errors.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>
#include <QScrollArea>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

namespace {

constexpr int kChartHeight = 240;
// A month or hour bar needs about this much room for its caption.
constexpr int kPixelsPerCategory = 26;
constexpr int kMaxLabelledBars = 36;

// What a chart shows, for a screen reader: each caption with its value, in the order of the bars.
QString describe(const QStringList& categories, const QList<qreal>& values, int decimals)
{
    QStringList parts;
    for (qsizetype i = 0; i < categories.size() && i < values.size(); ++i)
        parts.append(categories[i] + QStringLiteral(": ") + QString::number(values[i], 'f', decimals));
    return parts.join(QStringLiteral("; "));
}

QChart* barChart(const QString& title, const QStringList& categories, const QList<qreal>& values, bool horizontal)
{
    auto* set = new QBarSet(title);
    set->append(values);
    QAbstractBarSeries* series = horizontal ? static_cast<QAbstractBarSeries*>(new QHorizontalBarSeries)
                                            : static_cast<QAbstractBarSeries*>(new QBarSeries);
    series->append(set);
    // Every number in sight while the bars leave room for it.
    series->setLabelsVisible(categories.size() <= kMaxLabelledBars);
    series->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
    series->setLabelsFormat(QStringLiteral("@value"));

    auto* chart = new QChart;
    chart->setTitle(title);
    chart->addSeries(series);
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(4, 4, 4, 4));

    auto* categoryAxis = new QBarCategoryAxis;
    categoryAxis->append(categories);
    auto* valueAxis = new QValueAxis;
    valueAxis->setMin(0);
    valueAxis->setLabelFormat(QStringLiteral("%.0f"));
    const qreal top = values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
    valueAxis->setMax(top > 0 ? top : 1);
    valueAxis->applyNiceNumbers();
    chart->addAxis(categoryAxis, horizontal ? Qt::AlignLeft : Qt::AlignBottom);
    chart->addAxis(valueAxis, horizontal ? Qt::AlignBottom : Qt::AlignLeft);
    series->attachAxis(categoryAxis);
    series->attachAxis(valueAxis);
    return chart;
}

} // namespace

ChartsPage::ChartsPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ChartsPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("ChartsScroll"));
    scroll_->setWidgetResizable(true);
    layout->addWidget(scroll_);

    content_ = new QWidget;
    content_->setObjectName(QStringLiteral("ChartsContent"));
    contentLayout_ = new QVBoxLayout(content_);
    contentLayout_->setContentsMargins(2, 2, 2, 2);
    empty_ = new QLabel(content_);
    empty_->setObjectName(QStringLiteral("ChartsEmpty"));
    empty_->setTextFormat(Qt::PlainText);
    empty_->setAlignment(Qt::AlignCenter);
    contentLayout_->addWidget(empty_);
    for (int i = 0; i < 4; ++i)
        views_.append(addView());
    contentLayout_->addStretch();
    scroll_->setWidget(content_);
    setTexts(texts_);
}

QChartView* ChartsPage::addView()
{
    auto* view = new QChartView(content_);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(kChartHeight);
    // The page's own menu saves all charts at once.
    view->setContextMenuPolicy(Qt::NoContextMenu);
    contentLayout_->addWidget(view);
    return view;
}

void ChartsPage::setTexts(const velmar::ChartTexts& texts)
{
    texts_ = texts;
    empty_->setText(fromCodePage(texts_.noSessions));
    redraw();
}

void ChartsPage::setFigures(const velmar::ChartFigures& figures)
{
    figures_ = figures;
    redraw();
}

void ChartsPage::redraw()
{
    const bool none = figures_.sessions == 0;
    empty_->setVisible(none);

    QStringList months;
    QList<qreal> money;
    QList<qreal> minutes;
    for (const velmar::MonthFigure& m : figures_.months) {
        months.append(fromCodePage(velmar::monthLabel(m.year, m.month)));
        money.append(m.money);
        minutes.append(static_cast<qreal>(m.minutes));
    }

    // Most money on top: a horizontal bar chart draws its first category at the bottom.
    QStringList addresses;
    QList<qreal> addressMoney;
    if (figures_.restAddresses > 0) {
        addresses.append(fromCodePage(texts_.otherAddresses) + QStringLiteral(" (%1)").arg(figures_.restAddresses));
        addressMoney.append(figures_.restMoney);
    }
    for (auto it = figures_.topAddresses.rbegin(); it != figures_.topAddresses.rend(); ++it) {
        addresses.append(fromCodePage(it->address));
        addressMoney.append(it->money);
    }

    QStringList hours;
    QList<qreal> sessions;
    for (size_t hour = 0; hour < figures_.sessionsByHour.size(); ++hour) {
        hours.append(QString::number(hour));
        sessions.append(static_cast<qreal>(figures_.sessionsByHour[hour]));
    }

    const QString titles[] = { fromCodePage(texts_.moneyByMonth), fromCodePage(texts_.minutesByMonth),
        fromCodePage(texts_.topAddresses), fromCodePage(texts_.sessionsByHour) };
    QChart* charts[] = { barChart(titles[0], months, money, false), barChart(titles[1], months, minutes, false),
        barChart(titles[2], addresses, addressMoney, true), barChart(titles[3], hours, sessions, false) };
    // The addresses most money first, as they stand from the top.
    QStringList addressesFromTop = addresses;
    QList<qreal> addressMoneyFromTop = addressMoney;
    std::reverse(addressesFromTop.begin(), addressesFromTop.end());
    std::reverse(addressMoneyFromTop.begin(), addressMoneyFromTop.end());
    const QString descriptions[] = { describe(months, money, 2), describe(months, minutes, 0),
        describe(addressesFromTop, addressMoneyFromTop, 2), describe(hours, sessions, 0) };
    const int monthWidth = static_cast<int>(months.size()) * kPixelsPerCategory + 80;
    const int widths[] = { monthWidth, monthWidth, 0, 24 * kPixelsPerCategory / 2 + 80 };
    const int heights[]
        = { kChartHeight, kChartHeight, std::max(kChartHeight, 24 * int(addresses.size()) + 80), kChartHeight };

    for (int i = 0; i < views_.size(); ++i) {
        QChartView* view = views_[i];
        QChart* old = view->chart();
        view->setChart(charts[i]);
        delete old;
        view->setMinimumSize(widths[i], heights[i]);
        view->setVisible(!none);
        // A screen reader cannot read the bars: the name says what the chart shows, the description its figures.
        view->setAccessibleName(titles[i]);
        view->setAccessibleDescription(descriptions[i]);
    }
}

QList<QChart*> ChartsPage::charts() const
{
    QList<QChart*> out;
    for (QChartView* view : views_)
        out.append(view->chart());
    return out;
}

void ChartsPage::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* png = menu.addAction(fromCodePage(texts_.savePng));
    QAction* svg = menu.addAction(fromCodePage(texts_.saveSvg));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == png)
        emit saveRequested(Format::Png);
    else if (chosen == svg)
        emit saveRequested(Format::Svg);
}

void ChartsPage::save(const QString& fileName, Format format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    bool drawn = false;
    if (format == Format::Png) {
        drawn = content_->grab().save(&buffer, "PNG");
    } else {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(content_->size());
        svg.setViewBox(content_->rect());
        svg.setTitle(windowTitle());
        QPainter painter;
        if (painter.begin(&svg)) {
            content_->render(&painter);
            drawn = painter.end();
        }
    }

    // Written whole or not at all, so that a full disk never leaves half a picture behind.
    QSaveFile file(fileName);
    if (!drawn || !file.open(QIODevice::WriteOnly) || file.write(buffer.data()) != buffer.size() || !file.commit())
        throw velmar::Error(toCodePage(QStringLiteral("Cannot create file ") + fileName));
}
