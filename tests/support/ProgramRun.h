#pragma once

#include <string>
#include <vector>

namespace velmar::test {

/// What a finished program left behind.
struct ProgramResult {
    int exitCode = -1; ///< the exit status, or -1 when it was killed or did not exit normally
    bool timedOut = false;
    std::string out; ///< its standard output
    std::string err; ///< its standard error
};

/// What a run is limited to besides its time.
struct RunLimits {
    long fileSizeLimit = -1; ///< the most bytes the program may write into one file (RLIMIT_FSIZE), or -1
    bool asOrdinaryUser = false; ///< run as the user "nobody" (uid and gid 65534) when the tests run as root
};

/// Runs a program in a directory with extra environment entries ("NAME=value"; "NAME=" removes NAME) and
/// no display, collecting both output streams. A run that takes longer than the timeout is killed, so a
/// test never hangs on a program that waits for a user.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& directory,
    const std::vector<std::string>& environment = {}, int timeoutSeconds = 30, const RunLimits& limits = {});

} // namespace velmar::test
