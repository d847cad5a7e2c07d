#pragma once

#include "settings/Language.h"
#include "statistics/ChartFigures.h"

#include <QWidget>

class QChart;
class QChartView;
class QLabel;
class QScrollArea;
class QVBoxLayout;

/// The charts page: money and minutes by month, the addresses with the most money and the sessions by
/// hour, drawn from figures the core computes from the detailed table. The page only draws; it is told
/// its figures and texts, and asks to be saved through `saveRequested`, which the window answers.
class ChartsPage : public QWidget {
    Q_OBJECT
public:
    enum class Format { Png, Svg };

    explicit ChartsPage(QWidget* parent = nullptr);

    /// The texts of the language in use (code page bytes); the charts are drawn again with them.
    void setTexts(const velmar::ChartTexts& texts);
    /// Draws the figures.
    void setFigures(const velmar::ChartFigures& figures);

    /// Writes the charts as they are drawn into a PNG or SVG file; raises velmar::Error when that fails.
    void save(const QString& fileName, Format format);

    /// The charts in the order the page shows them (money, minutes, addresses, hours), for tests.
    QList<QChart*> charts() const;
    /// The title of each chart as the page shows it.
    const velmar::ChartTexts& texts() const { return texts_; }

signals:
    /// The user asked in the context menu to save the page.
    void saveRequested(ChartsPage::Format format);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void redraw();
    QChartView* addView();

    velmar::ChartTexts texts_;
    velmar::ChartFigures figures_;
    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;
    QVBoxLayout* contentLayout_ = nullptr;
    QLabel* empty_ = nullptr;
    QList<QChartView*> views_;
};
