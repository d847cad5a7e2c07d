#include "settings/ConfigFile.h"

#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Files.h"

#include <cerrno>
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

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

void readConfRec(const std::string& path, TConfRec& rec)
{
    FileDescriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (file.get() < 0)
        throw InOutError::fromErrno(errno);
    struct stat st { };
    if (::fstat(file.get(), &st) != 0)
        throw InOutError::fromErrno(errno);
    // A FIFO opened for reading and writing would wait for ever for the record we would have to write.
    if (isReadOnly(st) || !S_ISREG(st.st_mode))
        throw InOutError::fromErrno(EACCES);

    unsigned char buffer[TConfRec::kSize];
    size_t got = 0;
    while (got < sizeof buffer) {
        const ssize_t n = ::read(file.get(), buffer + got, sizeof buffer - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
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
}

void writeConfRec(const std::string& path, const TConfRec& rec)
{
    struct stat old { };
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && isReadOnly(old))
        throw InOutError::fromErrno(EACCES);

    const std::string temporaryPath = path + ".tmp";
    // O_EXCL is not used: a temporary file that a crashed save left behind is simply replaced.
    FileDescriptor file(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.get() < 0)
        throw InOutError::fromErrno(errno);
    TemporaryFile guard(temporaryPath);
    if (exists && S_ISREG(old.st_mode))
        ::fchmod(file.get(), old.st_mode & 0777); // keep the permissions the user gave the file

    const std::array<unsigned char, TConfRec::kSize> bytes = rec.toBytes();
    if (writeAll(file.get(), reinterpret_cast<const char*>(bytes.data()), bytes.size()) != bytes.size())
        throw InOutError::fromErrno(errno);
    if (::fsync(file.get()) != 0)
        throw InOutError::fromErrno(errno);
    file.close();
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0)
        throw InOutError::fromErrno(errno);
    guard.keep();

    // Make the new name itself durable; a directory that cannot be synced does not undo the save.
    const int directory = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
