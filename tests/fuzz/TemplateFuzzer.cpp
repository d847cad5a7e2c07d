// Template text through the export of two small tables, compared with the expansion done the plain way:
// find a "%", put the padded cell in its place, search on behind it.
#include "FuzzSupport.h"
#include "export/TemplateExport.h"
#include "platform/TextFile.h"
#include "statistics/Table.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using namespace velmar;

namespace {

// Texts of every width, some empty, some holding a "%" of their own.
Table detailedTable()
{
    Table t(7);
    const char* const rows[][7] = {
        { "Date", "Start", "End", "Address", "Min", "Received", "Money" },
        { "12-Mar-2003", "10:15:30", "10:20:30", "2:5020/1234", "5", "12,345", "23,95" },
        { "1-Sen-03", "1:2:3", "", "", "61", "-", "0" },
        { "", "", "", "100% %1 %", "", "2147,483,647", "1,5E20" },
    };
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 7; ++c)
            t.setCell(c, r, rows[r][c]);
    t.setRowCount(4);
    return t;
}

Table summaryTable()
{
    Table t(5);
    const char* const rows[][5] = {
        { "Address", "Minutes", "Received", "Money", "Sessions" },
        { "2:5020/1234", "5", "12,345", "23,95", "1" },
        { "", "", "", "", "" },
        { "Total %", "5", "12,345", "23,95", "1" },
    };
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c)
            t.setCell(c, r, rows[r][c]);
    t.setRowCount(4);
    return t;
}

// The block as the plain expansion gives it; false for a bad tag. A tag naming no column of the table (or
// one past the eight the tags can reach) gives nothing; a template without any tag is written unchanged.
std::string headingOf(const ExportHeading& heading)
{
    std::string out;
    if (!heading.dat1Text.empty() && !heading.dat2Text.empty()) {
        out.append(heading.headingWord).append(" ").append(heading.dat1Text);
        if (heading.dat1Text != heading.dat2Text)
            out.append(" - ").append(heading.dat2Text);
        out.append("\r\n\r\n");
    }
    return out;
}

bool expand(
    const Table& table, int tagOffset, std::string_view templateText, const ExportHeading& heading, std::string& out)
{
    out = headingOf(heading);
    const int columns = std::min(table.colCount(), 8);
    std::array<size_t, 8> widths {};
    for (int r = 0; r < table.rowCount(); ++r)
        for (int c = 0; c < columns; ++c)
            widths[static_cast<size_t>(c)] = std::max(widths[static_cast<size_t>(c)], table.cell(c, r).size());
    for (int r = 0; r < table.rowCount(); ++r) {
        std::string line(templateText);
        for (size_t p = line.find('%'); p != std::string::npos; p = line.find('%', p)) {
            if (p + 1 >= line.size() || line[p + 1] < '0' || line[p + 1] > '9')
                return false;
            const int c = line[p + 1] - '0' - 1 - tagOffset;
            std::string cell;
            if (c >= 0 && c < columns) {
                cell = table.cell(c, r);
                cell.insert(0, widths[static_cast<size_t>(c)] - cell.size(), ' ');
            }
            line.replace(p, 2, cell);
            p += cell.size(); // a "%" that a cell brings in is its own text
        }
        out.append(line).append("\r\n");
    }
    out.append("\r\n");
    return true;
}

void exportOnce(const Table& table, int tagOffset, std::string_view templateText, const ExportHeading& heading)
{
    StringOutText out;
    int badTags = 0;
    const bool written = ExpStat(out, tagOffset, table, templateText, heading, [&] { ++badTags; });
    std::string expected;
    const bool sound = expand(table, tagOffset, templateText, heading, expected);
    FUZZ_CHECK_EQ(written, sound);
    FUZZ_CHECK_EQ(badTags, written ? 0 : 1);
    if (!written) {
        FUZZ_CHECK_EQ(out.text(), headingOf(heading)); // only the heading went out
        return;
    }
    FUZZ_CHECK_EQ(out.text(), expected);
    if (templateText.find_first_of("\r\n") != std::string_view::npos)
        return; // a template holding line ends of its own makes lines of its own

    // Every line of the table has the same length, whatever the template, and a line per row.
    std::vector<std::string_view> lines;
    std::string_view text = out.text();
    text.remove_prefix(headingOf(heading).size());
    for (size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n")) {
        lines.push_back(text.substr(0, at));
        text.remove_prefix(at + 2);
    }
    FUZZ_CHECK(text.empty());
    FUZZ_CHECK_EQ(lines.size(), static_cast<size_t>(table.rowCount()) + 1);
    FUZZ_CHECK(lines.back().empty());
    for (size_t i = 1; i + 1 < lines.size(); ++i)
        FUZZ_CHECK_EQ(lines[i].size(), lines[0].size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Table detailed = detailedTable();
    static const Table summary = summaryTable();
    const std::string_view templateText(reinterpret_cast<const char*>(data), size);
    exportOnce(detailed, 0, templateText, {});
    exportOnce(summary, 3, templateText, { "1-Sen-2003", "30-Nob-2003", "Period:" });
    exportOnce(summary, 3, templateText, { "1-Sen-2003", "1-Sen-2003", "Period:" });
    return 0;
}
