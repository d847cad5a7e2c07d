#include "export/StartUp.h"

#include "export/UnattendedRun.h"
#include "support/TestSupport.h"

#include <algorithm>
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

TEST(StartUp, TheScreenOfARunIsToldByTheEnvironment)
{
    using velmar::Screen;
    struct Case {
        const char* name;
        std::map<std::string, std::string> environment;
        std::vector<std::string> answering; // the displays a server takes connections at
        Screen screen;
    };
    const Case cases[] = {
        { "nothing set, as under cron", {}, {}, Screen::None },
        { "empty values count as unset", { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } }, {}, Screen::None },
        { "an X display", { { "DISPLAY", ":0" } }, { ":0" }, Screen::Window },
        { "an X display nobody answers at, as a stale one in a crontab", { { "DISPLAY", ":0" } }, {},
            Screen::Unreachable },
        { "a Wayland display", { { "WAYLAND_DISPLAY", "wayland-0" }, { "XDG_RUNTIME_DIR", "/run/user/1" } },
            { "/run/user/1/wayland-0" }, Screen::Window },
        { "a Wayland display nobody answers at", { { "WAYLAND_DISPLAY", "wayland-0" } }, {}, Screen::Unreachable },
        { "either display answering will do", { { "DISPLAY", ":1" }, { "WAYLAND_DISPLAY", "/tmp/w" } }, { "/tmp/w" },
            Screen::Window },
        { "neither answering", { { "DISPLAY", ":1" }, { "WAYLAND_DISPLAY", "/tmp/w" } }, {}, Screen::Unreachable },
        { "the offscreen platform chosen, even with a display",
            { { "DISPLAY", ":0" }, { "QT_QPA_PLATFORM", "offscreen" } }, { ":0" }, Screen::None },
        { "another platform chosen without a display: the window tries it", { { "QT_QPA_PLATFORM", "minimal" } }, {},
            Screen::Window },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lookup = [&](const char* name) -> const char* {
            const auto found = c.environment.find(name);
            return found == c.environment.end() ? nullptr : found->second.c_str();
        };
        const auto answers = [&](const std::string& where) {
            return std::find(c.answering.begin(), c.answering.end(), where) != c.answering.end();
        };
        const velmar::DisplayChecks checks { [&](std::string_view display) { return answers(std::string(display)); },
            [&](std::string_view name, std::string_view runtimeDir) {
                const std::string path = !name.empty() && name.front() == '/'
                    ? std::string(name)
                    : std::string(runtimeDir) + "/" + std::string(name);
                return answers(path);
            } };
        EXPECT_EQ(velmar::screenOfRun(lookup, checks), c.screen);
    }
}

TEST(StartUp, TheNoticeOfAnUnreachableScreenNamesTheDisplays)
{
    const std::map<std::string, std::string> environment { { "DISPLAY", ":5" }, { "WAYLAND_DISPLAY", "wayland-1" } };
    const auto lookup = [&](const char* name) -> const char* {
        const auto found = environment.find(name);
        return found == environment.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(velmar::unreachableScreenNotice(lookup),
        "velmar-stat: no display can be reached (DISPLAY=:5, WAYLAND_DISPLAY=wayland-1); the run goes on without "
        "the window\n");
}
