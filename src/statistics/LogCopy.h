#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmar {

/// The name of the copy of a locked log.
inline constexpr std::string_view kLogCopyName = "~Log.tmp";

/// The copy of a log that the mailer holds, read in its place.
///
/// It is written into a new file of this run in the start directory, which takes the name "~Log.tmp" only
/// once it is complete (replacing an older copy), and it is held open through the descriptor it was written
/// with: it is never opened again by name, so another run replacing or removing "~Log.tmp" cannot change
/// what this one reads. A log that is itself that "~Log.tmp" is copied into a file without a name, and
/// stays as it is.
class LogCopy {
public:
    LogCopy() = default;
    ~LogCopy();
    LogCopy(const LogCopy&) = delete;
    LogCopy& operator=(const LogCopy&) = delete;

    /// Copies the log as it stands now, letting go of a copy held before. Raises InOutError with the reason
    /// when the log cannot be read ("File access denied", ...) or the copy cannot be made ("File access
    /// denied" for a start directory without write access, "Disk full"); nothing is held then.
    void make(const std::string& logPath, const std::string& startDir);
    /// Brings the copy held up to the log it was made of, when that log only grew since: what was appended
    /// is added to the copy. False (nothing changed) when nothing is held, the log is another file now or
    /// shorter than the copy. Raises InOutError when reading or writing fails.
    bool extend(const std::string& logPath);
    /// Closes the copy held; its file stays (see removeOwn).
    void letGo();
    /// The descriptor of the copy held, or -1.
    int descriptor() const { return held_; }
    /// The log the copy held was made of.
    uint64_t logDevice() const { return logDevice_; }
    uint64_t logInode() const { return logInode_; }
    /// The name of the copy made last: "~Log.tmp" in the start directory.
    const std::string& path() const { return path_; }
    /// Removes "~Log.tmp" when it is still the copy made last (the same device and inode); a file another
    /// run or the user put there stays. Raises InOutError when the deletion fails.
    void removeOwn();

private:
    int held_ = -1;
    std::string path_;
    uint64_t logDevice_ = 0;
    uint64_t logInode_ = 0;
    // The copy made last under the name, to be removed at the end only while it is still that file.
    std::string ownPath_;
    uint64_t ownDevice_ = 0;
    uint64_t ownInode_ = 0;
};

} // namespace velmar
