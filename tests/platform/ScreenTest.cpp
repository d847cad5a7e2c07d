#include "platform/Screen.h"

#include "platform/Files.h"
#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace velmar;

namespace {

// A socket that takes connections at a path, as an X server or a Wayland compositor does; closed, it
// leaves its file behind, as a server that died does.
class Listener {
public:
    explicit Listener(const std::string& path)
        : socket_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        bound_ = ::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
            && ::listen(socket_.get(), 4) == 0;
    }
    bool bound() const { return bound_; }
    void close() { socket_.close(); }

private:
    FileDescriptor socket_;
    bool bound_ = false;
};

} // namespace

TEST(Screen, ParsesTheDisplayTexts)
{
    struct Case {
        const char* display;
        bool valid;
        const char* host; // "" for the local socket
        int number;
    };
    const Case cases[] = {
        { ":0", true, "", 0 },
        { ":0.1", true, "", 0 }, // the screen does not change where the server listens
        { ":12", true, "", 12 },
        { "unix:3", true, "", 3 }, // "unix" is the local socket
        { "localhost:10.0", true, "localhost", 10 }, // as ssh forwards X: TCP port 6010
        { "10.0.0.2:1", true, "10.0.0.2", 1 },
        { "[::1]:2", true, "::1", 2 },
        { "host::0", false, "", 0 }, // DECnet
        { "0", false, "", 0 },
        { ":", false, "", 0 },
        { ":x", false, "", 0 },
        { ":1x", false, "", 0 },
        { ":-1", false, "", 0 },
        { ":59536", false, "", 0 }, // beyond the last TCP port
        { "", false, "", 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.display);
        const std::optional<XDisplayAddress> address = parseXDisplay(c.display);
        ASSERT_EQ(address.has_value(), c.valid);
        if (address) {
            EXPECT_EQ(address->host, c.host);
            EXPECT_EQ(address->number, c.number);
        }
    }
}

TEST(Screen, AnXDisplayIsReachedWhereAServerListens)
{
    test::TempDir dir;
    Listener server(dir.file("X7"));
    ASSERT_TRUE(server.bound());
    EXPECT_TRUE(xDisplayReachable(":7", dir.path()));
    EXPECT_TRUE(xDisplayReachable("unix:7.0", dir.path()));
    EXPECT_FALSE(xDisplayReachable(":8", dir.path())); // no socket
    EXPECT_FALSE(xDisplayReachable("not a display", dir.path()));
    server.close();
    EXPECT_FALSE(xDisplayReachable(":7", dir.path())); // the socket file of a server that is gone
}

TEST(Screen, AnXDisplayOverTcp)
{
    // A port of the X range that is free here, listened at on the loopback address.
    FileDescriptor server(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int number = -1;
    for (int n = 500; n < 600 && number < 0; ++n) {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(6000 + n));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(server.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            number = n;
    }
    ASSERT_GE(number, 0);
    ASSERT_EQ(::listen(server.get(), 4), 0);
    const std::string display = "127.0.0.1:" + std::to_string(number) + ".0";
    EXPECT_TRUE(xDisplayReachable(display, "/nonexistent", 2000));
    server.close();
    EXPECT_FALSE(xDisplayReachable(display, "/nonexistent", 2000)); // refused at once
}

TEST(Screen, AWaylandDisplayIsReachedWhereACompositorListens)
{
    test::TempDir runtime;
    Listener compositor(runtime.file("wayland-9"));
    ASSERT_TRUE(compositor.bound());
    EXPECT_TRUE(waylandDisplayReachable("wayland-9", runtime.path()));
    EXPECT_TRUE(waylandDisplayReachable(runtime.file("wayland-9"), "")); // an absolute path needs no directory
    EXPECT_FALSE(waylandDisplayReachable("wayland-9", "")); // a name without the runtime directory
    EXPECT_FALSE(waylandDisplayReachable("wayland-1", runtime.path()));
    EXPECT_FALSE(waylandDisplayReachable("", runtime.path()));
    compositor.close();
    EXPECT_FALSE(waylandDisplayReachable("wayland-9", runtime.path()));
}
