// Times the order the window shows when a header is clicked: the detailed table and the summary of one log
// sorted by each column, ascending and descending, through the same core call the window makes (the keys
// of the column read once, then a list of row numbers sorted by them). Nobody's test runs it.

#include "BenchSupport.h"
#include "platform/Locale.h"
#include "platform/Memory.h"
#include "statistics/Charging.h"
#include "statistics/DayList.h"
#include "statistics/LogText.h"
#include "statistics/RowOrder.h"
#include "statistics/SessionExtraction.h"
#include "statistics/Summary.h"
#include "statistics/Table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

const char kUsage[] = "usage: velmar-bench-sort LOG [--repeat N]\n"
                      "Builds both tables from LOG (tariff 4.79, offset 0) and prints, for every column, the\n"
                      "median seconds of N sorts (default 5) in each direction and the slowest of them.\n";

const char* const kDetailedNames[] = { "date", "start", "end", "address", "minutes", "received", "money" };
const char* const kSummaryNames[] = { "address", "minutes", "received", "money", "sessions" };

struct Result {
    double median = 0;
    double max = 0;
};

Result timeSorts(const velmar::Table& table, int column, velmar::SortKind kind, int last, bool descending, int repeat)
{
    std::vector<double> times;
    size_t rows = 0;
    for (int i = 0; i < repeat; ++i) {
        const bench::Clock::time_point start = bench::Clock::now();
        const std::vector<int> order = velmar::sortedRows(table, column, kind, 1, last, descending);
        times.push_back(bench::secondsSince(start));
        rows = order.size();
    }
    if (rows != static_cast<size_t>(last))
        std::fprintf(stderr, "velmar-bench-sort: %zu rows sorted of %d\n", rows, last);
    return { bench::median(times), *std::max_element(times.begin(), times.end()) };
}

} // namespace

int main(int argc, char** argv)
{
    // The heap is set up as the program sets up its own.
    velmar::prepareHeap();
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int repeat = 5;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
    }
    velmar::setCurrentLocale({ '.', ':' });
    try {
        velmar::Table Str(7);
        velmar::Table StrFull(5);
        velmar::DayList dat1;
        std::vector<std::string> dat2Items;
        velmar::SessionTimes times;
        velmar::LogText log;
        log.bind(argv[1]);
        velmar::FillTabl(log, {}, {}, velmar::Charge { 0, 4.79 }, Str, dat1, dat2Items, times);
        velmar::FillFull(Str, StrFull, "Total", 4.79);

        const int detailedRows = Str.rowCount() - 1;
        // The summary's empty row and total row stay last: they are not sorted, as in the window.
        const int summaryRows = StrFull.rowCount() - 3;
        std::printf("log %s: %d sessions, %d addresses; %d sorts each\n", argv[1], detailedRows, summaryRows, repeat);
        std::printf("%-10s %-10s %14s %14s %14s\n", "table", "column", "asc median s", "desc median s", "max s");
        double slowest = 0;
        for (int c = 0; c < 7; ++c) {
            const Result up = timeSorts(Str, c, velmar::detailedColumnKind(c), detailedRows, false, repeat);
            const Result down = timeSorts(Str, c, velmar::detailedColumnKind(c), detailedRows, true, repeat);
            const double max = std::max(up.max, down.max);
            slowest = std::max(slowest, max);
            std::printf(
                "%-10s %-10s %14.4f %14.4f %14.4f\n", "detailed", kDetailedNames[c], up.median, down.median, max);
        }
        for (int c = 0; c < 5; ++c) {
            const Result up = timeSorts(StrFull, c, velmar::summaryColumnKind(c), summaryRows, false, repeat);
            const Result down = timeSorts(StrFull, c, velmar::summaryColumnKind(c), summaryRows, true, repeat);
            const double max = std::max(up.max, down.max);
            slowest = std::max(slowest, max);
            std::printf("%-10s %-10s %14.4f %14.4f %14.4f\n", "summary", kSummaryNames[c], up.median, down.median, max);
        }
        std::printf("slowest sort: %.4f s (goal: under 0.5 s) %s\n", slowest, slowest < 0.5 ? "PASS" : "FAIL");
        return slowest < 0.5 ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "velmar-bench-sort: %s\n", error.what());
        return 1;
    }
}
