#include "Unit1/LogFollower.h"

#include "Unit1/Texts.h"

#include <QFileSystemWatcher>
#include <QTimer>
#include <sys/stat.h>

namespace {

constexpr int kPollMilliseconds = 1000;
constexpr int kSettleMilliseconds = 150;

} // namespace

LogFollower::LogFollower(QObject* parent)
    : QObject(parent)
    , watcher_(new QFileSystemWatcher(this))
    , poll_(new QTimer(this))
    , settle_(new QTimer(this))
{
    poll_->setInterval(kPollMilliseconds);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMilliseconds);
    connect(poll_, &QTimer::timeout, this, &LogFollower::check);
    connect(settle_, &QTimer::timeout, this, &LogFollower::check);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
        if (!settle_->isActive())
            settle_->start();
    });
}

void LogFollower::watch(const QString& path)
{
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    path_ = path;
    settle_->stop();
    if (path_.isEmpty()) {
        poll_->stop();
        return;
    }
    looked_ = seen_ = stampNow();
    if (seen_.exists)
        watcher_->addPath(path_);
    poll_->start();
}

void LogFollower::setPollInterval(int milliseconds)
{
    poll_->setInterval(milliseconds);
}

void LogFollower::markSeen()
{
    seen_ = looked_;
}

LogFollower::Stamp LogFollower::stampNow() const
{
    Stamp stamp;
    struct stat info { };
    if (::stat(toNativePath(path_).c_str(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.size = static_cast<qint64>(info.st_size);
    stamp.modified = static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.device = static_cast<quint64>(info.st_dev);
    stamp.inode = static_cast<quint64>(info.st_ino);
    return stamp;
}

void LogFollower::check()
{
    if (path_.isEmpty())
        return;
    looked_ = stampNow();
    // A log replaced by rotation is a new file: the watch of the old one ends with it.
    if (looked_.exists && !watcher_->files().contains(path_))
        watcher_->addPath(path_);
    if (!(looked_ == seen_))
        emit changed();
}
