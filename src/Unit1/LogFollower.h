#pragma once

#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QTimer;

/// Watches the log for what the mailer writes into it: the file system's events where it sends them, and a
/// light poll of size, modification time and identity where it does not. It only tells that the log
/// changed; reading it is the window's, which says when it has taken a change in.
class LogFollower : public QObject {
    Q_OBJECT
public:
    explicit LogFollower(QObject* parent = nullptr);

    /// Watches the file at `path` from now on; an empty path stops watching. The file as it stands now
    /// counts as seen.
    void watch(const QString& path);
    const QString& path() const { return path_; }
    /// How often the file is looked at without an event (milliseconds).
    void setPollInterval(int milliseconds);
    /// Takes the file as it stood at the last look as seen: until it changes again, no further `changed`.
    void markSeen();

public slots:
    /// Looks at the file now and emits `changed` when it differs from what was seen.
    void check();

signals:
    /// The log is not as it was seen: grown, shortened, replaced, removed or back again.
    void changed();

private:
    struct Stamp {
        bool exists = false;
        qint64 size = 0;
        qint64 modified = 0; // nanoseconds
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stampNow() const;

    QString path_;
    QFileSystemWatcher* watcher_;
    QTimer* poll_;
    QTimer* settle_; // events come in bursts while a line is written: one look after the burst
    Stamp seen_;
    Stamp looked_;
};
