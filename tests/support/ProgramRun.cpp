#include "support/ProgramRun.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmar::test {

namespace {

std::vector<std::string> childEnvironment(const std::vector<std::string>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    // The program under test must find no display, whatever the test runner has.
    std::vector<std::string> all = { "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=" };
    all.insert(all.end(), changes.begin(), changes.end());
    for (const std::string& change : all) {
        const std::string name = change.substr(0, change.find('=') + 1);
        std::erase_if(env, [&](const std::string& entry) { return entry.compare(0, name.size(), name) == 0; });
        if (change.size() > name.size())
            env.push_back(change);
    }
    return env;
}

} // namespace

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& directory,
    const std::vector<std::string>& environment, int timeoutSeconds, const RunLimits& limits)
{
    ProgramResult result;
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
        return result;

    std::vector<std::string> env = childEnvironment(environment);
    std::vector<char*> argv { const_cast<char*>(program.c_str()) };
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0)
            ::dup2(devNull, 0);
        if (::chdir(directory.c_str()) != 0)
            ::_exit(126);
        if (limits.fileSizeLimit >= 0) {
            // A write beyond the limit then fails with EFBIG instead of ending the program by a signal.
            ::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit { };
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(limits.fileSizeLimit);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(125);
        }
        if (limits.asOrdinaryUser && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(124);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pollfd fds[2] = { { outPipe[0], POLLIN, 0 }, { errPipe[0], POLLIN, 0 } };
    std::string* sinks[2] = { &result.out, &result.err };
    int open = 2;
    while (open > 0) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& f : fds) {
        if (f.fd >= 0)
            ::close(f.fd);
    }
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        ::usleep(10000);
    }
    if (!result.timedOut && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

} // namespace velmar::test
