#include "export/UnattendedRun.h"

#include "export/CommandLine.h"
#include "export/StartUp.h"
#include "export/TemplateExport.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/Screen.h"
#include "platform/TextFile.h"
#include "settings/ConfigFile.h"
#include "settings/Language.h"
#include "settings/TConfRec.h"
#include "statistics/Charging.h"
#include "statistics/DayList.h"
#include "statistics/LogText.h"
#include "statistics/SessionExtraction.h"
#include "statistics/Summary.h"
#include "statistics/Table.h"

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

namespace velmar {

void setUpFromEnvironment(std::FILE* errors)
{
    setCurrentLocale(localeFromEnvironment());
    if (!CodePage::selectFromEnvironment()) {
        std::fprintf(errors, "velmar-stat: unknown code page in VELMAR_CODEPAGE (%s); using windows-1251\n",
            std::getenv("VELMAR_CODEPAGE"));
    }
}

DisplayChecks systemDisplayChecks()
{
    return { [](std::string_view display) { return xDisplayReachable(display); },
        [](std::string_view name, std::string_view runtimeDir) { return waylandDisplayReachable(name, runtimeDir); } };
}

namespace {

const char* valueOf(const EnvironmentLookup& environment, const char* name)
{
    const char* value = environment(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

} // namespace

Screen screenOfRun(const EnvironmentLookup& environment, const DisplayChecks& checks)
{
    if (const char* platform = valueOf(environment, "QT_QPA_PLATFORM"))
        return std::string_view(platform) == "offscreen" ? Screen::None : Screen::Window;
    const char* display = valueOf(environment, "DISPLAY");
    const char* wayland = valueOf(environment, "WAYLAND_DISPLAY");
    if (display == nullptr && wayland == nullptr)
        return Screen::None;
    if (display != nullptr && checks.x(display))
        return Screen::Window;
    if (wayland != nullptr) {
        const char* runtimeDir = valueOf(environment, "XDG_RUNTIME_DIR");
        if (checks.wayland(wayland, runtimeDir != nullptr ? runtimeDir : ""))
            return Screen::Window;
    }
    return Screen::Unreachable;
}

std::string unreachableScreenNotice(const EnvironmentLookup& environment)
{
    std::string named;
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY" }) {
        if (const char* value = valueOf(environment, name))
            named += std::string(named.empty() ? "" : ", ") + name + "=" + value;
    }
    return "velmar-stat: no display can be reached (" + named + "); the run goes on without the window\n";
}

namespace {

// Start-up as the window does it, with nothing to show: the settings, the language and the log give the
// two tables, and the command line exports them.
class UnattendedRun final : public StartUpSteps, public CommandLineTarget {
public:
    UnattendedRun(const std::vector<std::string>& params, std::FILE* errors)
        : params_(params)
        , errors_(errors)
    {
    }

    int run()
    {
        startDir_ = currentDirectory();
        guarded([this] { FormCreate(*this, params_); });
        guarded([this] { logText_.removeOwnCopy(); });
        return messageCount_ == 0 ? 0 : 1;
    }

private:
    template <typename Step> void guarded(Step&& step)
    {
        try {
            step();
        } catch (...) {
            Mess(currentErrorText());
        }
    }

    void Mess(std::string_view text)
    {
        ++messageCount_;
        const std::string line = "Error: " + codePageToUtf8(text) + "\n";
        std::fwrite(line.data(), 1, line.size(), errors_);
        std::fflush(errors_);
    }

    std::string label(int index) { return labels_.text(index, startDir_); }

    // The steps of start-up.

    void LangActivate() override { languages_ = languageNames(currentDirectory()); }

    void ReadConf() override
    {
        readConfRec(std::string(kConfigName), confRec_);
        std::vector<std::string> items;
        items.reserve(languages_.size());
        for (const std::string& name : languages_)
            items.push_back(utf8ToCodePage(name));
        const int chosen = chooseLanguage(items, confRec_.LangName());
        language_ = chosen < 0 ? std::string() : languages_[static_cast<size_t>(chosen)];
    }

    void applyChosenLanguage() override
    {
        const Language lang = readLanguage(startDir_, language_);
        setTableHeaders(lang, Str_, StrFull_);
        labels_.apply(lang);
        readme_ = findLanguageReadme(lang);
    }

    bool FreeLog() override
    {
        logPath_ = codePageToUtf8(confRec_.LogFile());
        if (!fileExists(logPath_)) {
            Mess(label(10));
            return false;
        }
        bindLog(logText_, logPath_, startDir_, [this] { Mess(label(11)); });
        return true;
    }

    void FillTabl() override
    {
        const Charge charge { confRec_.OffsetSec, confRec_.TarifPerMin };
        // No date range is chosen in a run without the window: every session counts.
        velmar::FillTabl(logText_, {}, {}, charge, Str_, dat1Days_, dat2Days_, sessionTimes_);
    }

    void FillFull() override { velmar::FillFull(Str_, StrFull_, label(0), confRec_.TarifPerMin); }

    void showTables() override { }

    void ComLine() override { velmar::ComLine(params_, *this); }

    void firstStart() override { Mess(label(12)); }

    // What the command line asks.

    bool Rewr(const std::string& fileName) override
    {
        if (createExport(expText_, fileName, exportInputs(startDir_, logPath_, readme_, logText_)))
            return true;
        Mess(label(15));
        return false;
    }

    void exportTable(int tagOffset) override
    {
        const bool detailed = tagOffset == 0;
        const std::string word = label(1);
        ExpStat(expText_, tagOffset, detailed ? Str_ : StrFull_,
            detailed ? confRec_.ExpFormat() : confRec_.Exp2Format(), ExportHeading { {}, {}, word },
            [this] { Mess(label(14)); });
    }

    void closeExport() override { expText_.close(); }
    void closeExportQuietly() noexcept override { expText_.discard(); }
    // The run ends after start-up in any case.
    void requestEnd() override { }

    const std::vector<std::string>& params_;
    std::FILE* errors_;
    int messageCount_ = 0;
    std::string startDir_;
    LabelList labels_;
    std::vector<std::string> languages_; // the language files' names as the file system gives them
    std::string language_; // the one chosen, "" for none
    TConfRec confRec_;
    std::string readme_;
    std::string logPath_;
    LogText logText_;
    Table Str_ { 7 };
    Table StrFull_ { 5 };
    DayList dat1Days_;
    std::vector<std::string> dat2Days_;
    SessionTimes sessionTimes_;
    TextFile expText_;
};

} // namespace

int runUnattended(const std::vector<std::string>& params, std::FILE* errors)
{
    UnattendedRun run(params, errors);
    return run.run();
}

} // namespace velmar
