#include "settings/Language.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/IniFile.h"

namespace velmar {

Language readLanguage(const std::string& path)
{
    // Language files come from systems whose file names ignore letter case.
    const IniFile ini = IniFile::load(findFileIgnoringCase(path));
    Language lang;

    for (size_t i = 0; i < lang.cols.size(); ++i)
        lang.cols[i] = ini.readString("Cols", std::to_string(i), "");
    for (size_t i = 0; i < lang.pages.size(); ++i)
        lang.pages[i] = ini.readString("Pages", std::to_string(i), "Page" + std::to_string(i));

    const auto pref = [&ini](const char* key) { return ini.readString("Preferences page", key, ""); };
    lang.prefBox = pref("0");
    lang.label1 = pref("1");
    lang.label1Hint = pref("H1");
    lang.label2 = pref("3");
    lang.label2Hint = pref("H3");
    lang.label3 = pref("2");
    lang.label3Hint = pref("H2");
    lang.saveB = pref("4");
    lang.saveBHint = pref("H4");
    lang.defB = pref("5");
    lang.dateBox = pref("6");
    lang.dat1L = pref("7");
    lang.dat2L = pref("8");
    lang.applyB = pref("9");

    const auto exp = [&ini](const std::string& key) { return ini.readString("Export", key, ""); };
    lang.label5 = exp("0");
    lang.label5Hint = exp("H0");
    lang.label6 = exp("1");
    lang.label6Hint = exp("H1");
    lang.expBox = exp("2");
    lang.fullStat = exp("3");
    lang.fullStat2 = exp("4");
    lang.allStat = exp("5");
    lang.macInfo = exp("10");
    lang.macInfoHint = exp("H10");
    for (int key = 11; key <= 18; ++key) {
        lang.label4 += exp(std::to_string(key));
        // A line feed alone: a carriage return after it would start the next line with a blank.
        lang.label4 += '\n';
    }

    for (size_t i = 0; i < lang.labels.size(); ++i)
        lang.labels[i] = ini.readString("Labels", std::to_string(i), "");
    lang.readme = ini.readString("Readme", "0", "");

    lang.chartsPage = ini.readString("Pages", "5", "Charts");
    ChartTexts& charts = lang.charts;
    std::string* const chartKeys[]
        = { &charts.moneyByMonth, &charts.minutesByMonth, &charts.topAddresses, &charts.otherAddresses,
              &charts.sessionsByHour, &charts.savePng, &charts.saveSvg, &charts.saveTitle, &charts.noSessions };
    for (size_t key = 0; key < std::size(chartKeys); ++key)
        *chartKeys[key] = ini.readString("Charts", std::to_string(key), *chartKeys[key]);
    return lang;
}

std::vector<std::string> languageNames(const std::string& directory)
{
    std::vector<std::string> names;
    for (const std::string& entry : listDirectory(directory, "*.lng"))
        names.push_back(entry.substr(0, entry.size() - 4));
    return names;
}

std::string loadReadme(const std::string& name)
{
    return loadReadmeStart(findFileIgnoringCase(name), std::string::npos, name).text;
}

ReadmeText loadReadmeStart(const std::string& path, size_t most, std::string_view name)
{
    ReadmeText readme;
    try {
        readme.text = readFileStart(path, most, readme.cut);
    } catch (const FileOpenError&) {
        // The message names the file as the language file wrote it.
        throw FileOpenError(name);
    }
    return readme;
}

std::string findReadme(const std::string& name)
{
    std::string path = findFileIgnoringCase(name);
    FileDescriptor file(path.empty() ? -1 : openRegularFile(path));
    if (file.get() < 0)
        throw FileOpenError(name);
    if (path.front() != '/')
        path = joinPath(currentDirectory(), path);
    return path;
}

Language readLanguage(const std::string& directory, const std::string& name)
{
    return readLanguage(joinPath(directory, name + ".lng"));
}

std::string findLanguageReadme(const Language& lang)
{
    try {
        return findReadme(codePageToUtf8(lang.readme));
    } catch (const FileOpenError&) {
        throw FileOpenError(lang.readme);
    }
}

namespace {

// What a message says while no language file has been applied and the start directory holds no
// "russian" language file to borrow it from.
const std::array<const char*, LabelList::kCount> kBuiltInLabels = {
    "Total",
    "Period:",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "The log file does not exist. Choose the mailer's log on the settings page and save.",
    "The log file cannot be opened; its copy ~Log.tmp is read instead.",
    "There is no settings file \"config\" here. Check the settings and press Save.",
    "This is not a valid number.",
    "The export template holds a bad tag: every % must be followed by a digit.",
    "The export file cannot be created.",
};

} // namespace

void LabelList::apply(const Language& lang)
{
    labels_.assign(lang.labels.begin(), lang.labels.end());
}

void LabelList::clear()
{
    labels_.clear();
}

std::string LabelList::text(int index, const std::string& startDir)
{
    if (index < 0 || index >= kCount)
        return {};
    const auto at = static_cast<size_t>(index);
    if (!labels_.empty())
        return at < labels_.size() ? labels_[at] : std::string();
    if (!fallback_) {
        const std::string path = joinPath(startDir.empty() ? currentDirectory() : startDir, "russian.lng");
        fallback_ = fileExists(findFileIgnoringCase(path)) ? readLanguage(path) : Language {};
    }
    const std::string& borrowed = fallback_->labels[at];
    return borrowed.empty() ? std::string(kBuiltInLabels[at]) : borrowed;
}

} // namespace velmar
