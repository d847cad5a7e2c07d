#include "export/UnattendedRun.h"
#include "platform/Memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The window is a program of its own, so that a run without a screen loads nothing of the toolkit: it lies
// beside this one in a build, and in the tool directory of an installation.
std::string windowProgram()
{
    std::string self(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size());
    if (n <= 0 || static_cast<size_t>(n) >= self.size())
        return {};
    self.resize(static_cast<size_t>(n));
    const std::string dir = self.substr(0, self.rfind('/') + 1);
    for (const std::string& candidate :
        { dir + "velmar-stat-window", dir + "../libexec/velmar-stat/velmar-stat-window" }) {
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    velmar::prepareHeap();
    // A run from cron or a script has no screen: it does its work with the core alone. So does a run whose
    // display nobody answers at, which the window's toolkit would end at once.
    const velmar::EnvironmentLookup environment = [](const char* name) { return std::getenv(name); };
    const velmar::Screen screen = velmar::screenOfRun(environment, velmar::systemDisplayChecks());
    if (screen != velmar::Screen::Window) {
        velmar::setUpFromEnvironment(stderr);
        if (screen == velmar::Screen::Unreachable)
            std::fputs(velmar::unreachableScreenNotice(environment).c_str(), stderr);
        const std::vector<std::string> params(argv + (argc > 0 ? 1 : 0), argv + argc);
        return velmar::runUnattended(params, stderr);
    }
    const std::string window = windowProgram();
    if (!window.empty())
        ::execv(window.c_str(), argv);
    std::fprintf(stderr, "velmar-stat: cannot start the window program velmar-stat-window%s%s\n",
        window.empty() ? " (not installed)" : ": ", window.empty() ? "" : std::strerror(errno));
    return 1;
}
