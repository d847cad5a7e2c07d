#include "Unit1/LogFollower.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

void append(const std::string& path, std::string_view text)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

TEST(LogFollower, TellsOfEveryChangeUntilItIsTakenIn)
{
    velmar::test::TempDir dir;
    const std::string path = dir.write("new_line.log", "line\r\n");
    LogFollower follower;
    follower.setPollInterval(3600 * 1000); // only the looks of the test
    QSignalSpy changed(&follower, &LogFollower::changed);
    follower.watch(QString::fromStdString(path));

    struct Step {
        const char* name;
        std::function<void()> action;
        bool markSeenBefore; // the window took the last change in
        int emitted; // `changed` emitted by one look after the action
    } const steps[] = {
        { "nothing happened", [] {}, false, 0 },
        { "a line appended", [&] { append(path, "more\r\n"); }, false, 1 },
        { "not taken in yet: told again", [] {}, false, 1 },
        { "taken in", [] {}, true, 0 },
        // Emptied by rotation: same file, shorter.
        { "shortened", [&] { velmar::test::writeFile(path, ""); }, true, 1 },
        { "removed", [&] { ::unlink(path.c_str()); }, true, 1 },
        { "back as a new file", [&] { velmar::test::writeFile(path, "new\r\n"); }, true, 1 },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.markSeenBefore)
            follower.markSeen();
        changed.clear();
        step.action();
        follower.check();
        EXPECT_EQ(changed.count(), step.emitted);
    }

    follower.watch(QString());
    changed.clear();
    append(path, "after\r\n");
    follower.check();
    EXPECT_EQ(changed.count(), 0); // no longer watched
}

TEST(LogFollower, AnAppendIsNoticedWithoutAPoll)
{
    velmar::test::TempDir dir;
    const std::string path = dir.write("new_line.log", "line\r\n");
    LogFollower follower;
    follower.setPollInterval(3600 * 1000);
    QSignalSpy changed(&follower, &LogFollower::changed);
    follower.watch(QString::fromStdString(path));
    append(path, "more\r\n");
    // The file system's event arrives through the event loop; it is waited for, ten seconds at most.
    QElapsedTimer waited;
    waited.start();
    while (changed.isEmpty() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(changed.count(), 1);
}

} // namespace
