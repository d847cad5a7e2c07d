#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class LogText;
class Table;
class TextFile;
struct Language;

/// The settings file of the start directory.
inline constexpr std::string_view kConfigName = "config";

/// The steps of start-up. The window carries them out with its controls, an unattended run with the
/// core alone; FormCreate puts them in their order.
class StartUpSteps {
public:
    virtual ~StartUpSteps() = default;
    /// Lists the language files of the start directory.
    virtual void LangActivate() = 0;
    /// Reads "config" and chooses the language it names.
    virtual void ReadConf() = 0;
    /// Applies the language chosen.
    virtual void applyChosenLanguage() = 0;
    /// Binds the log the settings name; false (after its message) when start-up ends there.
    virtual bool FreeLog() = 0;
    /// Builds the detailed table, then the summary.
    virtual void FillTabl() = 0;
    virtual void FillFull() = 0;
    /// The tables are built: the window brings the detailed page to the front.
    virtual void showTables() = 0;
    /// Runs the export switches of the command line.
    virtual void ComLine() = 0;
    /// A start without "config": says so and offers the settings.
    virtual void firstStart() = 0;
};

/// Start-up in the current directory, the start directory: with "config" there, the languages, the
/// settings, the language, the log, both tables and, when the first parameter is not empty, the command
/// line; without it, the first start. An error raised by a step ends start-up there and reaches the caller.
void FormCreate(StartUpSteps& steps, const std::vector<std::string>& params);

/// The header rows of both tables from a language file: "Cols" 0 to 6 head the detailed table, 3 to 7 the
/// summary.
void setTableHeaders(const Language& lang, Table& Str, Table& StrFull);

/// Binds `log` to the log at `path` for reading: the log itself under a shared lock, or, while another
/// program holds it to itself, a copy of it made now in startDir (LogText::bindCopyOf), after `beforeCopy`
/// (when given) has told the user so.
void bindLog(
    LogText& log, const std::string& path, const std::string& startDir, const std::function<void()>& beforeCopy);

/// The files an export must never take the place of: the settings, the log the settings name and the one
/// being read (it may be the copy), the copy's name, the readme and every language file of startDir.
std::vector<std::string> exportInputs(
    const std::string& startDir, const std::string& logSetting, const std::string& readmePath, const LogText& log);

/// Binds the export file to the name and creates it; false when it cannot be created (the caller shows
/// label entry 15). See TextFile::rewrite for the inputs.
bool createExport(TextFile& file, const std::string& name, const std::vector<std::string>& inputs);

} // namespace velmar
