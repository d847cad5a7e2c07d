// Times the window on a large log: from the start of the process until the window stands with both tables
// filled and the detailed table drawn, then jumps of the detailed table to rows all over the log, each
// until the rows it lands on are drawn. Runs on the offscreen platform, so it needs no display; messages
// go to standard error. Nobody's test runs it; bench/compare reports its figures.

#include "BenchSupport.h"
#include "Unit1/Application.h"
#include "Unit1/ConsoleDialogs.h"
#include "Unit1/StatGrid.h"
#include "Unit1/TForm1.h"
#include "platform/CodePage.h"
#include "platform/Locale.h"
#include "platform/Memory.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QPixmap>
#include <QScrollBar>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using bench::Clock;
using bench::secondsSince;

const char kUsage[] = "usage: velmar-bench-window START-DIR [--jumps N]\n"
                      "Starts the window in START-DIR (which holds the settings naming the log) on the\n"
                      "offscreen platform and prints the seconds until both tables are filled and the\n"
                      "detailed table is drawn; then scrolls the detailed table to N rows spread over the\n"
                      "whole table (default 200; the first and the last row among them), each until drawn,\n"
                      "and prints the median and the slowest jump; then clicks each header of the detailed\n"
                      "table three times (up, down, log order), each until drawn, and prints the median and\n"
                      "the slowest click; and the peak resident memory.\n";

// Qt's remarks about the missing desktop are no figures of the benchmark.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// Draws what the grid shows now, as the screen would get it after a scroll.
void draw(StatGrid& grid)
{
    QCoreApplication::processEvents();
    const QPixmap picture = grid.viewport()->grab();
    if (picture.isNull())
        std::fprintf(stderr, "velmar-bench-window: the grid could not be drawn\n");
}

// The rows of the jumps: the last, the first, and the rest spread over the table by a fixed sequence, so
// that every run jumps to the same rows.
std::vector<int> jumpRows(int rows, int jumps)
{
    std::vector<int> targets { rows - 1, 0 };
    uint64_t state = 88172645463325252ull;
    while (static_cast<int>(targets.size()) < jumps) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        targets.push_back(static_cast<int>(state % static_cast<uint64_t>(rows)));
    }
    targets.resize(static_cast<size_t>(std::min<int>(jumps, static_cast<int>(targets.size()))));
    return targets;
}

} // namespace

int main(int argc, char** argv)
{
    // The heap is set up as the program sets up its own.
    velmar::prepareHeap();
    const Clock::time_point processStart = Clock::now();
    const char* startDir = nullptr;
    int jumps = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--jumps" && i + 1 < argc) {
            jumps = std::atoi(argv[++i]);
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && startDir == nullptr) {
            startDir = argv[i];
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (startDir == nullptr || jumps < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (::chdir(startDir) != 0) {
        std::fprintf(stderr, "velmar-bench-window: cannot enter %s: %s\n", startDir, std::strerror(errno));
        return 1;
    }

    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(quietHandler);
    velmar::setCurrentLocale(velmar::localeFromEnvironment());
    velmar::CodePage::selectFromEnvironment();
    QApplication app(argc, argv);
    setUpApplication();

    ConsoleDialogs dialogs;
    TForm1 form(dialogs);
    if (form.messageCount() != 0) {
        std::fprintf(stderr, "velmar-bench-window: the start-up showed a message\n");
        return 1;
    }
    form.resize(900, 600);
    form.show();
    auto* grid = form.findChild<StatGrid*>(QStringLiteral("Str"));
    auto* summary = form.findChild<StatGrid*>(QStringLiteral("StrFull"));
    if (grid == nullptr || summary == nullptr || grid->model() == nullptr || summary->model() == nullptr) {
        std::fprintf(stderr, "velmar-bench-window: the window has no tables\n");
        return 1;
    }
    draw(*grid);
    const double startUp = secondsSince(processStart);
    const int rows = grid->model()->rowCount();
    const int summaryRows = summary->model()->rowCount();
    if (rows < 2) {
        std::fprintf(stderr, "velmar-bench-window: the detailed table is empty\n");
        return 1;
    }

    std::vector<double> times;
    for (const int row : jumpRows(rows, jumps)) {
        const Clock::time_point start = Clock::now();
        grid->scrollTo(grid->model()->index(row, 0), QAbstractItemView::PositionAtTop);
        draw(*grid);
        times.push_back(secondsSince(start));
    }
    const double median = bench::median(times);
    const double slowest = *std::max_element(times.begin(), times.end());

    // Header clicks on every column of the detailed table: ascending, descending, log order, each until the
    // rows it shows are drawn.
    std::vector<double> sorts;
    QHeaderView* header = grid->horizontalHeader();
    for (int column = 0; column < grid->model()->columnCount(); ++column) {
        for (int click = 0; click < 3; ++click) {
            const Clock::time_point start = Clock::now();
            emit header->sectionClicked(column);
            draw(*grid);
            sorts.push_back(secondsSince(start));
        }
    }

    std::printf("start dir          %s\n", startDir);
    std::printf("detailed rows      %d, summary rows %d (each without its header)\n", rows, summaryRows);
    std::printf("start-up           %.4f s to both tables filled and the detailed table drawn\n", startUp);
    std::printf("jumps              %zu, to the last row, the first and rows spread over the table\n", times.size());
    std::printf("jump median        %.6f s\n", median);
    std::printf("jump slowest       %.6f s\n", slowest);
    std::printf("header clicks      %zu, each column of the detailed table sorted up, down and back\n", sorts.size());
    std::printf("click median       %.6f s\n", bench::median(sorts));
    std::printf("click slowest      %.6f s\n", *std::max_element(sorts.begin(), sorts.end()));
    std::printf("peak RSS           %ld kB\n", bench::peakRssKb());
    return 0;
}
