#include "platform/Screen.h"

#include "platform/Files.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmar {

namespace {

constexpr int kXPortBase = 6000;

// Connects a new socket to the address within the time given: true when the other side took it.
bool connects(int family, const sockaddr* address, socklen_t size, int timeoutMs)
{
    FileDescriptor socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.get() < 0)
        return false;
    if (::connect(socket.get(), address, size) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EAGAIN)
        return false;
    pollfd waiting { socket.get(), POLLOUT, 0 };
    if (retryInterrupted([&] { return ::poll(&waiting, 1, timeoutMs); }) != 1)
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// A local socket by its path; `abstract` for the Linux socket of that name outside the file system.
bool localConnects(const std::string& path, bool abstract, int timeoutMs)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.empty() || path.size() + offset >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const auto size
        = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    return connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), size, timeoutMs);
}

bool tcpConnects(const std::string& host, int port, int timeoutMs)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool reached = false;
    for (const addrinfo* a = found; a != nullptr && !reached; a = a->ai_next)
        reached = connects(a->ai_family, a->ai_addr, a->ai_addrlen, timeoutMs);
    ::freeaddrinfo(found);
    return reached;
}

} // namespace

std::optional<XDisplayAddress> parseXDisplay(std::string_view display)
{
    const size_t colon = display.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view host = display.substr(0, colon);
    std::string_view rest = display.substr(colon + 1);
    // "host::n" is a DECnet display, which no server here offers.
    if (!host.empty() && host.back() == ':')
        return std::nullopt;
    if (const size_t dot = rest.find('.'); dot != std::string_view::npos)
        rest = rest.substr(0, dot);
    XDisplayAddress address;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), address.number);
    if (rest.empty() || error != std::errc {} || end != rest.data() + rest.size() || address.number < 0
        || address.number > 65535 - kXPortBase)
        return std::nullopt;
    // An IPv6 host is written in brackets.
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host != "unix")
        address.host.assign(host);
    return address;
}

bool xDisplayReachable(std::string_view display, const std::string& socketDir, int timeoutMs)
{
    const std::optional<XDisplayAddress> address = parseXDisplay(display);
    if (!address)
        return false;
    if (!address->host.empty())
        return tcpConnects(address->host, kXPortBase + address->number, timeoutMs);
    std::string socketName = "X";
    socketName += std::to_string(address->number);
    const std::string path = joinPath(socketDir, socketName);
    return localConnects(path, false, timeoutMs) || localConnects(path, true, timeoutMs);
}

bool waylandDisplayReachable(std::string_view name, std::string_view runtimeDir, int timeoutMs)
{
    if (name.empty())
        return false;
    if (name.front() == '/')
        return localConnects(std::string(name), false, timeoutMs);
    if (runtimeDir.empty())
        return false;
    return localConnects(joinPath(runtimeDir, name), false, timeoutMs);
}

} // namespace velmar
