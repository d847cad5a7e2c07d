#include "settings/ConfigFile.h"

#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Files.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {

namespace {

// The read-only attribute of our users' systems shows here as a file without any write permission bit;
// it must refuse the file for every user, root included, for whom open() would succeed.
bool isReadOnly(const struct stat& st)
{
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Removes the temporary file on every way out of a failed save.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path)
        : path_(std::move(path))
    {
    }
    ~TemporaryFile()
    {
        if (!kept_)
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

} // namespace

void readConfRec(const std::string& path, TConfRec& rec)
{
    // Read only: a "config" the user made read-only is read all the same (only a save refuses it). A FIFO,
    // a device or a directory at that name is refused without waiting for a writer.
    FileDescriptor file(openRegularFile(path));
    if (file.get() < 0)
        throw InOutError::fromErrno(errno);

    unsigned char buffer[TConfRec::kSize];
    size_t got = 0;
    while (got < sizeof buffer) {
        const ssize_t n = retryInterrupted([&] { return ::read(file.get(), buffer + got, sizeof buffer - got); });
        if (n < 0) {
            rec.fromBytes(buffer, got);
            throw InOutError::fromErrno(errno);
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    rec.fromBytes(buffer, got);
    if (got < sizeof buffer)
        throw InOutError::readBeyondEnd();
    file.close();
    // A tariff that is no finite number would price every session as "NAN" or "INF": it is refused as a
    // tariff text that does not convert is, and the record keeps none of it.
    if (!std::isfinite(rec.TarifPerMin)) {
        const std::string shown = formatFloat(rec.TarifPerMin);
        rec.TarifPerMin = 0.0;
        throw ConvertError::invalidFloat(shown);
    }
}

void writeConfRec(const std::string& path, const TConfRec& rec)
{
    struct stat old { };
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && isReadOnly(old))
        throw InOutError::fromErrno(EACCES);

    // A "config" that is a symbolic link stays one: the file it leads to gets the new record.
    const std::string target = resolveLink(path);
    const std::string temporaryPath = target + ".tmp";
    // The temporary file is always a new one of our own: whatever stands at its name (a file a crashed save
    // left behind, a link, a FIFO) is removed first, and it is created exclusively, never through a link.
    struct stat there { };
    if (::lstat(temporaryPath.c_str(), &there) == 0 && !S_ISDIR(there.st_mode))
        ::unlink(temporaryPath.c_str());
    FileDescriptor file(retryInterrupted(
        [&] { return ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666); }));
    if (file.get() < 0) {
        const int err
            = errno == EEXIST && ::lstat(temporaryPath.c_str(), &there) == 0 && S_ISDIR(there.st_mode) ? EISDIR : errno;
        throw InOutError::fromErrno(err);
    }
    TemporaryFile guard(temporaryPath);
    if (exists && S_ISREG(old.st_mode))
        ::fchmod(file.get(), old.st_mode & 0777); // keep the permissions the user gave the file

    const std::array<unsigned char, TConfRec::kSize> bytes = rec.toBytes();
    if (writeAll(file.get(), reinterpret_cast<const char*>(bytes.data()), bytes.size()) != bytes.size())
        throw InOutError::fromErrno(errno);
    if (::fsync(file.get()) != 0)
        throw InOutError::fromErrno(errno);
    file.close();
    if (::rename(temporaryPath.c_str(), target.c_str()) != 0)
        throw InOutError::fromErrno(errno);
    guard.keep();

    // Make the new name itself durable; a directory that cannot be synced does not undo the save.
    const int directory = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

void fillConfRec(TConfRec& rec, const ConfTexts& texts)
{
    rec.TarifPerMin = toFloat(texts.tarif);
    rec.OffsetSec = offsetToInt32(texts.offset);
    rec.setLogFile(texts.logFile);
    rec.setExpFormat(texts.exp);
    rec.setExp2Format(texts.exp2);
    rec.setLangName(texts.langName);
}

void saveConfRec(const std::string& path, TConfRec& rec, const ConfTexts& texts)
{
    fillConfRec(rec, texts);
    writeConfRec(path, rec);
}

int chooseLanguage(const std::vector<std::string>& items, std::string_view langName)
{
    for (size_t i = 0; i < items.size(); ++i) {
        if (sameTextIgnoringCase(items[i], langName))
            return static_cast<int>(i);
    }
    for (size_t i = 0; i < items.size(); ++i) {
        if (sameTextIgnoringCase(items[i], "russian"))
            return static_cast<int>(i);
    }
    return -1;
}

int firstRunLanguage(const std::vector<std::string>& items)
{
    const int russian = chooseLanguage(items, "russian");
    if (russian >= 0 || items.empty())
        return russian;
    return 0;
}

} // namespace velmar
