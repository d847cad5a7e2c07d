#include "platform/BackgroundSync.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

using namespace velmar;

TEST(BackgroundSync, SyncsWhatIsAskedAndKeepsTheFirstFailure)
{
    struct Case {
        const char* name;
        int requests; // each waited for until made
        std::vector<int> results; // what the syncs return, in turn (the last one from then on)
        int expected; // what finish() gives: the first failure
    } const cases[] = {
        { "nothing asked", 0, { 0 }, 0 },
        { "one sync", 1, { 0 }, 0 },
        { "three syncs", 3, { 0 }, 0 },
        { "a failure", 1, { EIO }, EIO },
        // The second sync fails with no room left; a later one that succeeds does not clear it.
        { "a failure among successes", 3, { 0, ENOSPC, 0 }, ENOSPC },
        { "the first of two failures", 2, { EIO, ENOSPC }, EIO },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> calls { 0 };
        std::atomic<int> fdSeen { -1 };
        BackgroundSync sync(42, [&](int fd) {
            fdSeen = fd;
            const auto k = static_cast<size_t>(calls.load());
            const int result = c.results[std::min(k, c.results.size() - 1)];
            ++calls;
            return result;
        });
        for (int r = 1; r <= c.requests; ++r) {
            sync.request();
            ASSERT_TRUE(test::eventually([&] { return sync.syncs() >= static_cast<uint64_t>(r); }));
        }
        EXPECT_EQ(sync.finish(), c.expected);
        EXPECT_EQ(calls.load(), c.requests);
        EXPECT_EQ(sync.syncs(), static_cast<uint64_t>(c.requests));
        EXPECT_EQ(fdSeen.load(), c.requests > 0 ? 42 : -1);
        // Finishing twice changes nothing.
        EXPECT_EQ(sync.finish(), c.expected);
    }
}

TEST(BackgroundSync, RequestsDuringASyncAreAnsweredTogether)
{
    std::atomic<bool> release { false };
    std::atomic<int> calls { 0 };
    BackgroundSync sync(3, [&](int) {
        ++calls;
        while (!release)
            std::this_thread::yield();
        return 0;
    });
    sync.request();
    ASSERT_TRUE(test::eventually([&] { return calls.load() == 1; }));
    // Three more while the first runs: one more sync answers them all.
    sync.request();
    sync.request();
    sync.request();
    release = true;
    ASSERT_TRUE(test::eventually([&] { return sync.syncs() == 2; }));
    EXPECT_EQ(sync.finish(), 0);
    EXPECT_EQ(calls.load(), 2);
}
