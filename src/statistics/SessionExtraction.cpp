#include "statistics/SessionExtraction.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/LineBlocks.h"
#include "statistics/DayList.h"
#include "statistics/Extraction.h"
#include "statistics/LogText.h"
#include "statistics/MarkerScan.h"
#include "statistics/PartedRead.h"
#include "statistics/Table.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {

namespace {

// Appended lines are few; a continuation reads them in blocks of this size.
constexpr size_t kContinueBlock = size_t { 1 } << 20;

} // namespace

void FillTabl(LogText& log, std::string_view dat1Text, std::string_view dat2Text, const Charge& charge, Table& Str,
    DayList& dat1, std::vector<std::string>& dat2Items, SessionTimes& times, LogContinuation* continuation)
{
    const std::optional<DayRange> range = dayRange(dat1Text, dat2Text);
    auto extraction = std::make_unique<Extraction>(charge, range);
    extraction->attach(Str, dat1, times);
    if (continuation)
        continuation->resumable_ = false; // until the read is complete

    log.reset();
    Str.setRowCount(2);
    Str.clearRow(1);
    Extraction::End end;
    try {
        extraction = readWholeText(log, std::move(extraction), charge, range, Str, dat1, times, end);
        // A read that reached the end of the file checks that it read the whole log.
        if (!end.ctrlZ)
            log.checkUnchanged(end.offset);
    } catch (...) {
        log.close();
        throw;
    }
    if (continuation) {
        continuation->extraction_ = std::move(extraction);
        continuation->offset_ = end.offset;
        continuation->device_ = log.logIdentity().device;
        continuation->inode_ = log.logIdentity().inode;
        continuation->ended_ = end.ctrlZ;
        // A last line without its line feed was taken as a whole line; what the mailer adds to it would
        // make it another line.
        continuation->resumable_ = !end.lastLineOpen;
    }
    log.close();
    dat2Items = dat1.items();
}

int sessionRowsEnd(const Table& Str)
{
    return Str.rowCount() < 2 || Str.cell(0, 1).empty() ? 1 : Str.rowCount();
}

LogContinuation::LogContinuation(std::string_view dat1Text, std::string_view dat2Text, const Charge& charge)
    : extraction_(std::make_unique<Extraction>(charge, dayRange(dat1Text, dat2Text)))
{
}

LogContinuation::~LogContinuation() = default;
LogContinuation::LogContinuation(LogContinuation&&) noexcept = default;
LogContinuation& LogContinuation::operator=(LogContinuation&&) noexcept = default;

Continued continueFillTabl(const std::string& path, LogContinuation& continuation, Table& Str, DayList& dat1,
    std::vector<std::string>& dat2Items, SessionTimes& times)
{
    if (!continuation.resumable())
        return Continued::Rebuild;
    FileDescriptor file(openRegularFile(path));
    if (file.get() < 0)
        throw InOutError::fromErrno(errno);
    if (!lockShared(file.get()))
        return Continued::Locked;
    struct stat info { };
    if (::fstat(file.get(), &info) != 0)
        throw InOutError::fromErrno(errno);
    return continueFrom(file.get(), static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
        static_cast<uint64_t>(info.st_size), continuation, Str, dat1, dat2Items, times);
}

Continued continueFillTabl(const LogText& copy, LogContinuation& continuation, Table& Str, DayList& dat1,
    std::vector<std::string>& dat2Items, SessionTimes& times)
{
    struct stat info { };
    if (copy.copyDescriptor() < 0)
        throw InOutError::notOpen();
    if (::fstat(copy.copyDescriptor(), &info) != 0)
        throw InOutError::fromErrno(errno);
    // The copy stands for the log it was made of: the offset counts in that log.
    return continueFrom(copy.copyDescriptor(), copy.logIdentity().device, copy.logIdentity().inode,
        static_cast<uint64_t>(info.st_size), continuation, Str, dat1, dat2Items, times);
}

Continued continueFrom(int fd, uint64_t device, uint64_t inode, uint64_t size, LogContinuation& continuation,
    Table& Str, DayList& dat1, std::vector<std::string>& dat2Items, SessionTimes& times)
{
    if (!continuation.resumable_)
        return Continued::Rebuild;
    if (continuation.inode_ != 0 && (continuation.device_ != device || continuation.inode_ != inode))
        return Continued::Rebuild;
    continuation.device_ = device;
    continuation.inode_ = inode;
    if (size < continuation.offset_)
        return Continued::Rebuild;
    if (size == continuation.offset_ || continuation.ended_)
        return Continued::Nothing;

    // Only what lies behind the offset is read; a line is taken once its line feed is written, and the
    // lines are read as a rebuild reads them.
    Extraction& extraction = *continuation.extraction_;
    extraction.attach(Str, dat1, times);
    continuation.resumable_ = false; // until every line read is taken in
    // A byte order mark at the start of the file is no text of the log.
    const uint64_t from = continuation.offset_ == 0 ? textStartOf(fd) : continuation.offset_;
    LineBlocks lines(fd, from, size, kContinueBlock);
    const Extraction::End end = extraction.read(lines, true);
    // A Ctrl+Z that starts the unfinished last line ends the text as well.
    bool ended = end.ctrlZ;
    if (!ended && end.offset < size) {
        char next = 0;
        ended = retryInterrupted([&] { return ::pread(fd, &next, 1, static_cast<off_t>(end.offset)); }) == 1
            && next == kCtrlZ;
    }
    const bool read = end.offset > from;
    continuation.offset_ = end.offset;
    continuation.ended_ = ended;
    continuation.resumable_ = true;
    dat2Items = dat1.items();
    return read ? Continued::Read : Continued::Nothing;
}

} // namespace velmar
