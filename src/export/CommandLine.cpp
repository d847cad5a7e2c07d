#include "export/CommandLine.h"

#include <initializer_list>

namespace velmar {

namespace {

constexpr int kDetailedOffset = 0;
constexpr int kSummaryOffset = 3;

// Creates the file, writes the tables into it in order and closes it. False when it cannot be created.
bool exportInto(CommandLineTarget& target, const std::string& fileName, std::initializer_list<int> tagOffsets)
{
    if (!target.Rewr(fileName))
        return false;
    try {
        for (const int tagOffset : tagOffsets)
            target.exportTable(tagOffset);
        target.closeExport();
    } catch (...) {
        // The unfinished export is given up; the failure itself is the caller's to show.
        target.closeExportQuietly();
        throw;
    }
    return true;
}

} // namespace

void ComLine(const std::vector<std::string>& params, CommandLineTarget& target)
{
    const size_t n = params.size();
    for (size_t i = 0; i < n; ++i) {
        const std::string& p = params[i];
        // Without a name after the switch the export goes to standard output.
        static const std::string noName;
        const std::string& fileName = i + 1 < n ? params[i + 1] : noName;
        if (p == "-d") {
            if (!exportInto(target, fileName, { kDetailedOffset }))
                return;
        } else if (p == "-g") {
            if (!exportInto(target, fileName, { kSummaryOffset }))
                return;
        } else if (p == "-a") {
            if (!exportInto(target, fileName, { kDetailedOffset, kSummaryOffset }))
                return;
        } else if (p == "-e") {
            target.requestEnd();
        }
    }
}

} // namespace velmar
