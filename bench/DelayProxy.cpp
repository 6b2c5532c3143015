// A TCP proxy on 127.0.0.1 for the benchmark and the fault tests: it stands
// between the tool and the database server and forwards both ways, each
// chunk held back by a delay (a plain office network's quarter of a
// millisecond each way), and on command cuts every connection (closes both
// ends, as a server restart or a reset does) or freezes them (stops
// forwarding and leaves them open, as a dead link or a suspended VPN does,
// so that only a timeout can end a wait), and thaws them; or it refuses
// connections (a server that is down) and accepts them again on its port.
//
//   delay-proxy TARGET_PORT [--delay-us N] [--listen ADDRESS]
//
// It listens on a free port of 127.0.0.1 (or of ADDRESS, an IPv4 address of
// this host) and prints "port N" once it does; the server is reached on
// 127.0.0.1.
// Commands come one a line on standard input: "cut", "freeze", "thaw",
// "refuse" (cut, and stop listening), "accept" (listen again), and
// "cut after N" / "freeze after N" (do so once N more bytes have gone to the
// server, wherever a statement then is: a point that the same work reaches
// alike on a fast machine and a slow one); each
// is answered "ok" on standard output once it has taken effect. It ends when
// standard input closes.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Chunk {
    Clock::time_point due;
    std::string bytes;
    std::size_t sent = 0;
};

// One forwarded connection: the tool's end and the server's end, and what
// waits to be written to each.
struct Link {
    int client = -1;
    int server = -1;
    std::deque<Chunk> toServer;
    std::deque<Chunk> toClient;
};

void nonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    nonBlocking(fd);
    return fd;
}

void closeLink(Link& link) {
    if (link.client >= 0)
        close(link.client);
    if (link.server >= 0)
        close(link.server);
    link.client = link.server = -1;
}

// Reads what from has and queues it for the other end; false when from closed.
bool readInto(int from, std::deque<Chunk>& queue, std::chrono::microseconds delay) {
    char buffer[65536];
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
        return false;
    if (got > 0)
        queue.push_back({Clock::now() + delay, std::string(buffer, static_cast<std::size_t>(got))});
    return true;
}

// Writes what is due; false when to is gone.
bool writeDue(int to, std::deque<Chunk>& queue) {
    const auto now = Clock::now();
    while (!queue.empty() && queue.front().due <= now) {
        Chunk& chunk = queue.front();
        const ssize_t put = write(to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent);
        if (put < 0)
            return errno == EAGAIN || errno == EINTR;
        chunk.sent += static_cast<std::size_t>(put);
        if (chunk.sent < chunk.bytes.size())
            return true;
        queue.pop_front();
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TARGET_PORT [--delay-us N] [--listen ADDRESS]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    // A quarter of a millisecond is kept to the microsecond, not to the
    // kernel's default 50 microseconds of timer slack.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const int target = std::atoi(argv[1]);
    std::chrono::microseconds delay{0};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--delay-us") == 0)
            delay = std::chrono::microseconds(std::atol(argv[i + 1]));
        if (std::strcmp(argv[i], "--listen") == 0 && inet_pton(AF_INET, argv[i + 1], &address.sin_addr) != 1) {
            std::fprintf(stderr, "delay-proxy: not an IPv4 address: %s\n", argv[i + 1]);
            return 2;
        }
    }
    // Listens on address (its port 0: any free one, which it then holds).
    auto listenOn = [&address]() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("delay-proxy: listen");
            std::exit(1);
        }
        nonBlocking(fd);
        return fd;
    };
    int listener = listenOn();
    std::printf("port %d\n", ntohs(address.sin_port));
    std::fflush(stdout);

    std::vector<Link> links;
    bool frozen = false;
    // An armed "cut after" or "freeze after": the bytes still to go.
    long long cutAfter = -1;
    long long freezeAfter = -1;
    std::string command;
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({STDIN_FILENO, POLLIN, 0});
        fds.push_back({listener, static_cast<short>(listener >= 0 ? POLLIN : 0), 0});
        auto soonest = Clock::time_point::max();
        for (const Link& link : links) {
            short toServer = frozen ? 0 : POLLIN;
            short toClient = frozen ? 0 : POLLIN;
            if (!frozen && !link.toServer.empty()) {
                soonest = std::min(soonest, link.toServer.front().due);
                if (link.toServer.front().due <= Clock::now())
                    toServer |= POLLOUT;
            }
            if (!frozen && !link.toClient.empty()) {
                soonest = std::min(soonest, link.toClient.front().due);
                if (link.toClient.front().due <= Clock::now())
                    toClient |= POLLOUT;
            }
            // The client's end is read (for the server) and written (from it).
            fds.push_back({link.client, static_cast<short>((toServer & POLLIN) | (toClient & POLLOUT)), 0});
            fds.push_back({link.server, static_cast<short>((toClient & POLLIN) | (toServer & POLLOUT)), 0});
        }
        timespec wait{1, 0};
        timespec* timeout = &wait;
        if (soonest != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), soonest - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        }
        if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR)
            return 1;

        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char c = 0;
            const ssize_t got = read(STDIN_FILENO, &c, 1);
            if (got <= 0)
                return 0;
            if (c != '\n') {
                command += c;
            } else {
                if (command == "cut") {
                    for (Link& link : links)
                        closeLink(link);
                    links.clear();
                } else if (command == "freeze") {
                    frozen = true;
                } else if (command == "thaw") {
                    frozen = false;
                } else if (command == "refuse") {
                    for (Link& link : links)
                        closeLink(link);
                    links.clear();
                    if (listener >= 0)
                        close(listener);
                    listener = -1;
                } else if (command == "accept" && listener < 0) {
                    listener = listenOn();
                } else if (command.rfind("cut after ", 0) == 0) {
                    cutAfter = std::atoll(command.c_str() + 10);
                } else if (command.rfind("freeze after ", 0) == 0) {
                    freezeAfter = std::atoll(command.c_str() + 13);
                }
                command.clear();
                std::printf("ok\n");
                std::fflush(stdout);
            }
        }
        if (listener >= 0 && (fds[1].revents & POLLIN)) {
            const int client = accept(listener, nullptr, nullptr);
            if (client >= 0) {
                nonBlocking(client);
                const int server = connectTo(target);
                if (server < 0)
                    close(client);
                else
                    links.push_back({client, server, {}, {}});
            }
        }
        // A link whose end closed is closed at both ends.
        for (std::size_t i = 0, f = 2; i < links.size() && f + 1 < fds.size(); ++i, f += 2) {
            Link& link = links[i];
            if (fds[f].fd != link.client)
                break;
            bool alive = true;
            if (fds[f].revents & (POLLIN | POLLHUP | POLLERR)) {
                const std::size_t queued = link.toServer.size();
                alive = readInto(link.client, link.toServer, delay);
                const long long got =
                    link.toServer.size() > queued ? static_cast<long long>(link.toServer.back().bytes.size()) : 0;
                if (cutAfter >= 0 && (cutAfter -= got) < 0) {
                    // The bytes past the mark never reach the server.
                    cutAfter = -1;
                    for (Link& each : links)
                        closeLink(each);
                    continue;
                }
                if (freezeAfter >= 0 && (freezeAfter -= got) < 0) {
                    freezeAfter = -1;
                    frozen = true;
                }
            }
            if (alive && (fds[f + 1].revents & (POLLIN | POLLHUP | POLLERR)))
                alive = readInto(link.server, link.toClient, delay);
            if (alive && !frozen)
                alive = writeDue(link.server, link.toServer) && writeDue(link.client, link.toClient);
            if (!alive)
                closeLink(link);
        }
        std::erase_if(links, [](const Link& link) { return link.client < 0 || link.server < 0; });
    }
}
