// Times the work of an unattended start on one log: the build of the detailed table, the summary, and the
// export of both tables into a file, and reports the peak memory of the process. Nobody's test runs it;
// bench/compare puts its figures beside grep and the whole program.

#include "BenchSupport.h"
#include "export/TemplateExport.h"
#include "platform/Locale.h"
#include "platform/Memory.h"
#include "platform/TextFile.h"
#include "settings/Language.h"
#include "statistics/Charging.h"
#include "statistics/ChartFigures.h"
#include "statistics/DayList.h"
#include "statistics/LogText.h"
#include "statistics/SessionExtraction.h"
#include "statistics/Summary.h"
#include "statistics/Table.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::Clock;
using bench::median;
using bench::peakRssKb;
using bench::secondsSince;

const char kUsage[] = "usage: velmar-bench LOG [--export FILE] [--repeat N] [--lang FILE]\n"
                      "Builds the detailed table and the summary from LOG and exports both into FILE\n"
                      "(default /tmp/velmar-bench-export.txt), N times (default 1), and prints the median\n"
                      "seconds of each phase, the peak resident memory and the memory of the tables.\n"
                      "The column headers and the total-row caption come from the language file FILE when\n"
                      "given (then the export equals that of the program run with it, tariff 4.79, offset 0),\n"
                      "else they are English words. MB are 1,000,000 bytes.\n";

constexpr std::string_view kDetailedTemplate = "%1 %2 %3 %4 %5 %6 %7";
constexpr std::string_view kSummaryTemplate = "%4 %5 %6 %7 %8";
constexpr double kTarifPerMin = 4.79;

// The header texts in tag order: the detailed table takes 0 to 6, the summary 3 to 7.
struct Captions {
    std::array<std::string, 8> cols { "Date", "Start", "End", "Address", "Minutes", "Received", "Money", "Sessions" };
    std::string total = "Total";
};

// The processor time of the whole process, all its threads together: the log is read ahead on a thread
// of its own, so the wall time of the table build is less than the work done.
double processCpuSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Counts the bytes and lines of the log in one untimed pass, which also brings it into the page cache.
bool measureLog(const std::string& path, uint64_t& bytes, uint64_t& lines)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::vector<char> block(size_t { 1 } << 20);
    bytes = 0;
    lines = 0;
    bool lastWasFeed = true;
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        bytes += static_cast<uint64_t>(got);
        lines += static_cast<uint64_t>(std::count(block.data(), block.data() + got, '\n'));
        lastWasFeed = block[static_cast<size_t>(got) - 1] == '\n';
    }
    if (!lastWasFeed)
        ++lines;
    ::close(fd);
    return true;
}

uint64_t fileSize(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

int countedSessions(const velmar::Table& Str)
{
    return Str.cell(0, 1).empty() ? 0 : Str.rowCount() - 1;
}

struct Round {
    double fillTabl = 0;
    double fillFull = 0;
    double exportBoth = 0;
    double charts = 0; // the figures of the charts page
    double cpuBoth = 0; // processor time of FillTabl and FillFull, all threads
};

struct Outcome {
    int sessions = 0;
    int summaryRows = 0;
    std::string totalReceived;
    std::string totalMinutes;
    std::string totalSessions;
    size_t detailedMemory = 0;
    size_t summaryMemory = 0;
    uint64_t exportLines = 0;
};

// One unattended start: fresh tables, as the program has them at start-up.
Round runOnce(const std::string& logPath, const std::string& exportPath, const Captions& captions, Outcome& outcome)
{
    velmar::Table Str(7);
    velmar::Table StrFull(5);
    for (int c = 0; c < 7; ++c)
        Str.setCell(c, 0, captions.cols[static_cast<size_t>(c)]);
    for (int c = 0; c < 5; ++c)
        StrFull.setCell(c, 0, captions.cols[static_cast<size_t>(c + 3)]);
    velmar::DayList dat1;
    std::vector<std::string> dat2Items;
    velmar::SessionTimes times;
    const velmar::Charge charge { 0, kTarifPerMin };
    velmar::LogText log;
    log.bind(logPath);

    Round round;
    const double cpuStart = processCpuSeconds();
    Clock::time_point start = Clock::now();
    velmar::FillTabl(log, {}, {}, charge, Str, dat1, dat2Items, times);
    round.fillTabl = secondsSince(start);

    start = Clock::now();
    velmar::FillFull(Str, StrFull, captions.total, kTarifPerMin);
    round.fillFull = secondsSince(start);
    round.cpuBoth = processCpuSeconds() - cpuStart;

    start = Clock::now();
    const velmar::ChartFigures figures = velmar::chartFigures(Str);
    round.charts = secondsSince(start);
    if (figures.sessions != countedSessions(Str))
        throw std::runtime_error("the chart figures do not count every session");

    bool badTag = false;
    start = Clock::now();
    velmar::TextFile out;
    out.assign(exportPath);
    out.rewrite();
    const velmar::ExportHeading heading { {}, {}, "Period" };
    velmar::ExpStat(out, 0, Str, kDetailedTemplate, heading, [&] { badTag = true; });
    velmar::ExpStat(out, 3, StrFull, kSummaryTemplate, heading, [&] { badTag = true; });
    out.close();
    round.exportBoth = secondsSince(start);
    if (badTag)
        throw std::runtime_error("a template was refused as holding a bad tag");

    outcome.sessions = countedSessions(Str);
    outcome.summaryRows = StrFull.rowCount() >= 4 ? StrFull.rowCount() - 3 : 0;
    const int total = StrFull.rowCount() - 1;
    outcome.totalMinutes = std::string(StrFull.cell(1, total));
    outcome.totalReceived = std::string(StrFull.cell(2, total));
    outcome.totalSessions = std::string(StrFull.cell(4, total));
    outcome.detailedMemory = Str.memoryUsed();
    outcome.summaryMemory = StrFull.memoryUsed();
    // Each block: its rows from the header on, then an empty line.
    outcome.exportLines = static_cast<uint64_t>(Str.rowCount()) + 1 + static_cast<uint64_t>(StrFull.rowCount()) + 1;
    return round;
}

// A phase that reads no bytes of its own (bytes < 0) shows "-" for its MB/s.
void printRow(const char* phase, double seconds, double bytes, double lines, int sessions)
{
    const double s = seconds > 0 ? seconds : 1e-9;
    char rate[32] = "-";
    if (bytes >= 0)
        std::snprintf(rate, sizeof rate, "%.1f", bytes / 1e6 / s);
    std::printf("%-18s %10.4f %10s %12.0f %10d\n", phase, seconds, rate, lines / s, sessions);
}

bool readCount(const char* text, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || end == text || v < 1 || v > 1000)
        return false;
    value = static_cast<int>(v);
    return true;
}

int usageError(const std::string& problem)
{
    std::fprintf(stderr, "velmar-bench: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // The heap is set up as the program sets up its own.
    velmar::prepareHeap();
    std::string logPath;
    std::string exportPath = "/tmp/velmar-bench-export.txt";
    std::string langPath;
    int repeat = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--export" || arg == "--repeat" || arg == "--lang") {
            if (i + 1 >= argc)
                return usageError("missing value after " + std::string(arg));
            const char* value = argv[++i];
            if (arg == "--export")
                exportPath = value;
            else if (arg == "--lang")
                langPath = value;
            else if (!readCount(value, repeat))
                return usageError("the repeat count must be 1 to 1000: " + std::string(value));
        } else if (!arg.empty() && arg.front() == '-') {
            return usageError("unknown option " + std::string(arg));
        } else if (logPath.empty()) {
            logPath = arg;
        } else {
            return usageError("more than one log given");
        }
    }
    if (logPath.empty())
        return usageError("no log given");
    if (exportPath.empty())
        return usageError("the export file needs a name");

    velmar::setCurrentLocale({ '.', ':' });

    uint64_t logBytes = 0;
    uint64_t logLines = 0;
    if (!measureLog(logPath, logBytes, logLines)) {
        std::fprintf(stderr, "velmar-bench: cannot read %s: %s\n", logPath.c_str(), std::strerror(errno));
        return 1;
    }

    std::vector<Round> rounds;
    Outcome outcome;
    long firstRoundRss = 0;
    try {
        Captions captions;
        if (!langPath.empty()) {
            if (::access(langPath.c_str(), R_OK) != 0) {
                std::fprintf(stderr, "velmar-bench: cannot read %s: %s\n", langPath.c_str(), std::strerror(errno));
                return 1;
            }
            const velmar::Language language = velmar::readLanguage(langPath);
            captions.cols = language.cols;
            captions.total = language.labels[0];
        }
        for (int r = 0; r < repeat; ++r) {
            rounds.push_back(runOnce(logPath, exportPath, captions, outcome));
            if (r == 0)
                firstRoundRss = peakRssKb();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmar-bench: %s\n", e.what());
        return 1;
    }

    std::vector<double> fillTabl, fillFull, both, exportBoth, charts, cpuBoth;
    for (const Round& round : rounds) {
        fillTabl.push_back(round.fillTabl);
        fillFull.push_back(round.fillFull);
        both.push_back(round.fillTabl + round.fillFull);
        exportBoth.push_back(round.exportBoth);
        charts.push_back(round.charts);
        cpuBoth.push_back(round.cpuBoth);
    }
    const uint64_t exportBytes = fileSize(exportPath);
    const double logMb = static_cast<double>(logBytes);
    const int sessions = outcome.sessions;

    std::printf("log        %s\n", logPath.c_str());
    std::printf("log size   %llu bytes, %llu lines\n", static_cast<unsigned long long>(logBytes),
        static_cast<unsigned long long>(logLines));
    std::printf("export     %s, %llu bytes, %llu lines\n", exportPath.c_str(),
        static_cast<unsigned long long>(exportBytes), static_cast<unsigned long long>(outcome.exportLines));
    std::printf("repeat     %d (medians)\n\n", repeat);
    std::printf("%-18s %10s %10s %12s %10s\n", "phase", "seconds", "MB/s", "lines/s", "sessions");
    printRow("FillTabl", median(fillTabl), logMb, static_cast<double>(logLines), sessions);
    // The summary reads the detailed rows, not the log: its lines are those rows.
    printRow("FillFull", median(fillFull), -1, sessions, sessions);
    printRow("FillTabl+FillFull", median(both), logMb, static_cast<double>(logLines), sessions);
    printRow("ExpStat-both", median(exportBoth), static_cast<double>(exportBytes),
        static_cast<double>(outcome.exportLines), sessions);
    // The charts read the detailed rows too.
    printRow("chartFigures", median(charts), -1, sessions, sessions);
    std::printf("\n");
    std::printf(
        "processor time     FillTabl+FillFull %.4f s, all threads (the log is read in parts on threads of their own)\n",
        median(cpuBoth));
    std::printf("counted sessions   %d\n", sessions);
    std::printf("addresses          %d\n", outcome.summaryRows);
    std::printf("total row          minutes %s, received %s, sessions %s\n", outcome.totalMinutes.c_str(),
        outcome.totalReceived.c_str(), outcome.totalSessions.c_str());
    std::printf("Str memoryUsed     %zu bytes\n", outcome.detailedMemory);
    std::printf("StrFull memoryUsed %zu bytes\n", outcome.summaryMemory);
    // Later rounds may raise the peak a little: the freed tables of a round are not all handed back.
    std::printf("peak RSS           %ld kB after the first round, %ld kB after all\n", firstRoundRss, peakRssKb());
    return 0;
}
