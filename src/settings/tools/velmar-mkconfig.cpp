// Writes a settings file "config" from the command line, for installations and the demo directory.

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "settings/ConfigFile.h"
#include "settings/TConfRec.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const std::string kUsage
    = std::string("usage: velmar-mkconfig --out FILE [--lang NAME] [--log PATH] [--tarif TEXT] [--offset TEXT]\n"
                  "                       [--exp TEMPLATE] [--exp2 TEMPLATE]\n"
                  "Writes a settings file of one 816-byte record.\n"
                  "  --out FILE        the file to write (required)\n"
                  "  --lang NAME       language name, the language file without \".lng\" (default english)\n"
                  "  --log PATH        path of the mailer's log (default new_line.log)\n"
                  "  --tarif TEXT      money per minute, with a point as decimal separator (default 4.79)\n"
                  "  --offset TEXT     seconds added to every session, decimal or $hex/0x hex (default 0)\n"
                  "  --exp TEMPLATE    template of the detailed export (default \"")
    + std::string(velmar::kDefaultExpFormat) + "\")\n  --exp2 TEMPLATE   template of the summary export (default \""
    + std::string(velmar::kDefaultExp2Format) + "\")\n";

int usageError(const std::string& problem)
{
    std::fprintf(stderr, "velmar-mkconfig: %s\n%s", problem.c_str(), kUsage.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string out;
    velmar::ConfTexts texts { "4.79", "0", "new_line.log", std::string(velmar::kDefaultExpFormat),
        std::string(velmar::kDefaultExp2Format), "english" };
    const struct {
        const char* name;
        std::string* value;
    } options[] = {
        { "--out", &out },
        { "--lang", &texts.langName },
        { "--log", &texts.logFile },
        { "--tarif", &texts.tarif },
        { "--offset", &texts.offset },
        { "--exp", &texts.exp },
        { "--exp2", &texts.exp2 },
    };

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage.c_str(), stdout);
            return 0;
        }
        std::string* target = nullptr;
        for (const auto& option : options) {
            if (arg == option.name)
                target = option.value;
        }
        if (!target)
            return usageError("unknown argument '" + arg + "'");
        if (i + 1 >= argc)
            return usageError(arg + " needs a value");
        *target = argv[++i];
    }
    if (out.empty())
        return usageError("--out FILE is required");

    try {
        // A script must get the same file on every machine, whatever decimal separator the locale has.
        velmar::LocaleFormat pointLocale;
        pointLocale.decimalSeparator = '.';
        const velmar::ScopedLocale locale(pointLocale);
        velmar::TConfRec rec;
        velmar::saveConfRec(out, rec, texts);
    } catch (const velmar::Error& error) {
        std::fprintf(stderr, "velmar-mkconfig: %s: %s\n", out.c_str(), error.what());
        return 1;
    }
    return 0;
}
