#pragma once

#include <string>
#include <vector>

namespace velmar {

/// What the command line asks of the window.
class CommandLineTarget {
public:
    virtual ~CommandLineTarget() = default;
    /// Binds ExpText to the name and creates it; false (after showing label entry 15) when it cannot be created.
    virtual bool Rewr(const std::string& fileName) = 0;
    /// ExpStat of the detailed table (tagOffset 0, template of Exp) or the summary (3, Exp2) into ExpText.
    virtual void exportTable(int tagOffset) = 0;
    /// Closes ExpText (may raise InOutError).
    virtual void closeExport() = 0;
    /// Gives ExpText up after a failure, without raising: an older file of that name stays as it was.
    virtual void closeExportQuietly() noexcept = 0;
    /// Asks the application to end once start-up is over.
    virtual void requestEnd() = 0;
};

/// Processes the parameters (params[0] is parameter 1, the first after the program name) as the command
/// line does: "-d", "-g", "-a" with the next parameter as file name (empty when there is none: standard
/// output), "-e" ends; the index moves by one so a file name equal to a switch acts as it; a switch must
/// match exactly (case-sensitive). Stops at a Rewr that fails. An error while writing or closing propagates
/// after the file has been closed quietly.
void ComLine(const std::vector<std::string>& params, CommandLineTarget& target);

} // namespace velmar
