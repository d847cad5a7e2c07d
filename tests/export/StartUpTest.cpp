#include "export/StartUp.h"

#include "export/UnattendedRun.h"
#include "support/TestSupport.h"

#include <map>
#include <string>
#include <vector>

using velmar::test::ScopedCurrentDir;
using velmar::test::TempDir;

namespace {

// Writes down the steps start-up takes, in order.
class RecordingSteps : public velmar::StartUpSteps {
public:
    explicit RecordingSteps(bool logFound)
        : logFound_(logFound)
    {
    }
    std::string taken;

private:
    void note(const char* step) { taken += taken.empty() ? step : std::string(" ") + step; }
    void LangActivate() override { note("languages"); }
    void ReadConf() override { note("settings"); }
    void applyChosenLanguage() override { note("language"); }
    bool FreeLog() override
    {
        note("log");
        return logFound_;
    }
    void FillTabl() override { note("detailed"); }
    void FillFull() override { note("summary"); }
    void showTables() override { note("show"); }
    void ComLine() override { note("command-line"); }
    void firstStart() override { note("first-start"); }

    bool logFound_;
};

} // namespace

TEST(StartUp, TakesItsStepsInOrderAndOnlyThoseTheStartDirectoryAllows)
{
    struct Case {
        const char* name;
        bool config;
        bool logFound;
        std::vector<std::string> params;
        const char* taken;
    };
    const char* const whole = "languages settings language log detailed summary show";
    const Case cases[] = {
        { "no settings file: the first start alone", false, true, { "-a", "x", "-e" }, "first-start" },
        { "the log missing: start-up ends at the log", true, false, { "-a", "x", "-e" },
            "languages settings language log" },
        { "no parameters: no command line", true, true, {}, whole },
        { "an empty first parameter: no command line", true, true, { "", "-e" }, whole },
        { "parameters: the command line last", true, true, { "-e" },
            "languages settings language log detailed summary show command-line" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.config)
            dir.write("config", "");
        const ScopedCurrentDir inDir(dir.path());
        RecordingSteps steps(c.logFound);
        velmar::FormCreate(steps, c.params);
        EXPECT_EQ(steps.taken, c.taken);
    }
}

TEST(StartUp, ARunWithoutAScreenIsToldByTheEnvironment)
{
    struct Case {
        const char* name;
        std::map<std::string, std::string> environment;
        bool withoutScreen;
    };
    const Case cases[] = {
        { "nothing set, as under cron", {}, true },
        { "empty values count as unset", { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } }, true },
        { "an X display", { { "DISPLAY", ":0" } }, false },
        { "a Wayland display", { { "WAYLAND_DISPLAY", "wayland-0" } }, false },
        { "the offscreen platform chosen, even with a display",
            { { "DISPLAY", ":0" }, { "QT_QPA_PLATFORM", "offscreen" } }, true },
        { "another platform chosen without a display: the window tries it", { { "QT_QPA_PLATFORM", "minimal" } },
            false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lookup = [&](const char* name) -> const char* {
            const auto found = c.environment.find(name);
            return found == c.environment.end() ? nullptr : found->second.c_str();
        };
        EXPECT_EQ(velmar::runsWithoutScreen(lookup), c.withoutScreen);
    }
}
