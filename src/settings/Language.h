#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

/// The texts of the charts page: section "Charts" of a language file, keys "0" to "8".
struct ChartTexts {
    std::string moneyByMonth = "Money by month"; ///< "0"
    std::string minutesByMonth = "Minutes by month"; ///< "1"
    std::string topAddresses = "Addresses with the most money"; ///< "2"
    std::string otherAddresses = "All others"; ///< "3", the bar of the addresses behind the top ten
    std::string sessionsByHour = "Sessions by hour of day"; ///< "4"
    std::string savePng = "Save as PNG..."; ///< "5"
    std::string saveSvg = "Save as SVG..."; ///< "6"
    std::string saveTitle = "Save the charts"; ///< "7", the title of the file dialog
    std::string noSessions = "No sessions to show."; ///< "8"
};

/// Every text that one language file sets, in the order the window applies them. A key the file lacks
/// gives an empty text, except the page captions, which default to "Page<n>".
struct Language {
    /// "Cols" keys "0" to "7": the detailed table takes 0 to 6, the summary 3 to 7.
    std::array<std::string, 8> cols;
    /// "Pages" keys "0" to "4", the captions of the five pages in page order.
    std::array<std::string, 5> pages;

    // "Preferences page"
    std::string prefBox; ///< "0"
    std::string label1; ///< "1", label of the offset
    std::string label1Hint; ///< "H1"
    std::string label2; ///< "3", label of the log path
    std::string label2Hint; ///< "H3"
    std::string label3; ///< "2", label of the tariff
    std::string label3Hint; ///< "H2"
    std::string saveB; ///< "4"
    std::string saveBHint; ///< "H4"
    std::string defB; ///< "5"
    std::string dateBox; ///< "6"
    std::string dat1L; ///< "7"
    std::string dat2L; ///< "8"
    std::string applyB; ///< "9"

    // "Export"
    std::string label5; ///< "0", label of the detailed template
    std::string label5Hint; ///< "H0"
    std::string label6; ///< "1", label of the summary template
    std::string label6Hint; ///< "H1"
    std::string expBox; ///< "2"
    std::string fullStat; ///< "3"
    std::string fullStat2; ///< "4"
    std::string allStat; ///< "5"
    std::string macInfo; ///< "10"
    std::string macInfoHint; ///< "H10"
    /// The tag list: keys "11" to "18" of "Export", each followed by a line feed.
    std::string label4;

    /// "Labels" keys "0" to "15": the messages and words that the program shows by index.
    std::array<std::string, 16> labels;
    /// "Readme" key "0": the name of the readme file, unchanged.
    std::string readme;

    /// "Pages" key "5": the caption of the charts page, which older language files do not have.
    std::string chartsPage;
    /// Section "Charts": the titles and words of the charts page, each with an English default.
    ChartTexts charts;
};

/// Reads a language file (its name matched ignoring letter case); a missing file gives every default.
Language readLanguage(const std::string& path);
/// Reads the language of that name (a file system name, "" for none) from the directory: the file
/// "<name>.lng" there.
Language readLanguage(const std::string& directory, const std::string& name);

/// The names of the "*.lng" entries of a directory without their last four characters, in name order.
/// Hidden entries and directories count too, and an entry named ".lng" gives the empty name.
std::vector<std::string> languageNames(const std::string& directory);

/// The whole text of a readme file; raises FileOpenError ("Cannot open file <name>") when it cannot be read.
/// A name without a directory resolves against the current directory; its letter case is matched loosely.
std::string loadReadme(const std::string& name);

/// The start of a readme as far as it is shown: at most `most` bytes; `cut` tells that more followed.
struct ReadmeText {
    std::string text;
    bool cut = false;
};

/// Reads at most `most` bytes of the readme at `path` (a path that findReadme gave); raises FileOpenError
/// ("Cannot open file <name>") when it cannot be read.
ReadmeText loadReadmeStart(const std::string& path, size_t most, std::string_view name);

/// Checks that the readme can be opened, without reading it, and returns its full path (the current
/// directory in front of a name without one, letter case matched loosely), so that it can be loaded later
/// wherever the current directory then is. Raises FileOpenError ("Cannot open file <name>") as loadReadme.
std::string findReadme(const std::string& name);

/// Checks that the readme a language file names can be opened and returns its full path (see findReadme).
/// The name is taken from the language file's code page into a file system name; raises FileOpenError with
/// the name as the language file gives it.
std::string findLanguageReadme(const Language& lang);

/// LabelList: the texts the program shows by number (its messages and a few words), from the language file
/// applied last.
class LabelList {
public:
    static constexpr int kCount = 16;

    /// Takes the texts of the language file being applied.
    void apply(const Language& lang);
    /// Forgets them, as at start-up.
    void clear();
    /// Entry `index` (empty outside 0 to 15): the applied language's text. Before a language is applied,
    /// the "russian" language file of startDir (the current directory when empty) lends its text, else a
    /// built-in English one says it.
    std::string text(int index, const std::string& startDir);
    /// The texts of the applied language; empty before one is applied.
    const std::vector<std::string>& entries() const { return labels_; }

private:
    std::vector<std::string> labels_;
    std::optional<Language> fallback_;
};

} // namespace velmar
