// The bound on a call's wait for the database server, on connections of the
// test's own to a peer that accepts them and never answers, as a frozen
// server (or box in between) does while its TCP stack still acknowledges:
// the connection's sockets are learnt as a driver's are, and a wait on one
// is cut once the limit has passed, whichever way the driver waits; what is
// not the connection's is left alone. On Windows (the Windows build under
// Wine) the sockets are Winsock handles, found among the process's handles
// and closed; on Linux descriptors, shut down.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "engine/odbc/NetworkWatch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using engine::odbc::NetworkWatch;
using engine::odbc::SocketId;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

#ifdef _WIN32
using Native = SOCKET;
constexpr Native noSocket = INVALID_SOCKET;
int lastError() {
    return WSAGetLastError();
}
constexpr int interrupted = WSAEINTR;
void closeNative(Native s) {
    closesocket(s);
}
void setNonBlocking(Native s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}
#else
using Native = int;
constexpr Native noSocket = -1;
int lastError() {
    return errno;
}
constexpr int interrupted = EINTR;
void closeNative(Native s) {
    close(s);
}
void setNonBlocking(Native s) {
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
}
#endif

// A listener on 127.0.0.1 whose accepted ends never send anything.
class SilentPeer {
public:
    SilentPeer() {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ == noSocket || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no listening socket on 127.0.0.1");
        address_ = address;
    }
    ~SilentPeer() {
        for (Native s : accepted_)
            closeNative(s);
        closeNative(listener_);
    }
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;

    // A new connection to the peer: the client's end. The peer's end is
    // kept open, and given in peerEnd.
    Native connectClient(Native* peerEnd = nullptr) {
        const Native client = socket(AF_INET, SOCK_STREAM, 0);
        if (client == noSocket || connect(client, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0)
            throw std::runtime_error("cannot connect to the silent peer");
        const Native peer = accept(listener_, nullptr, nullptr);
        if (peer == noSocket)
            throw std::runtime_error("the silent peer accepted nothing");
        accepted_.push_back(peer);
        if (peerEnd)
            *peerEnd = peer;
        return client;
    }

private:
    Native listener_ = noSocket;
    sockaddr_in address_{};
    std::vector<Native> accepted_;
};

// How a wait for the server ended.
struct Waited {
    Clock::time_point ended;
    bool failed;   // an error, or the end of the connection: not data, not a timeout
    bool timedOut; // the wait's own timeout
};

// Waits as libpq does, on a non-blocking socket: select() for reading,
// begun again when it is interrupted, then recv().
Waited selectThenReceive(Native s, milliseconds timeout) {
    setNonBlocking(s);
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        fd_set errors = readable;
        timeval wait{static_cast<long>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000 * 1000)};
        const int ready = select(static_cast<int>(s) + 1, &readable, nullptr, &errors, &wait);
        if (ready < 0 && lastError() == interrupted)
            continue;
        if (ready < 0)
            return {Clock::now(), true, false};
        if (ready == 0)
            return {Clock::now(), false, true};
        char c = 0;
        const auto got = recv(s, &c, 1, 0);
        if (got < 0 && lastError() == interrupted)
            continue;
        return {Clock::now(), got <= 0, false};
    }
}

// Waits in a blocking recv() (its own timeout as SO_RCVTIMEO).
Waited blockingReceive(Native s, milliseconds timeout) {
#ifdef _WIN32
    const DWORD ms = static_cast<DWORD>(timeout.count());
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    const int timedOutError = WSAETIMEDOUT;
#else
    const timeval tv{static_cast<long>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000 * 1000)};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const int timedOutError = EAGAIN;
#endif
    char c = 0;
    const auto got = recv(s, &c, 1, 0);
    if (got < 0 && lastError() == timedOutError)
        return {Clock::now(), false, true};
    return {Clock::now(), got <= 0, false};
}

using Wait = Waited (*)(Native, milliseconds);

struct WaitKind {
    const char* name;
    Wait wait;
};

const WaitKind waitKinds[] = {
    {"select() on a non-blocking socket, retried when interrupted, then recv()", selectThenReceive},
    {"a blocking recv()", blockingReceive},
};

constexpr milliseconds limit{1000};
// Much longer than the limit: a wait that is not cut ends by itself.
constexpr milliseconds ownTimeout{15000};

// A wait cut by the limit armed at armed ends after it (the watch cuts
// nothing early) and well before its own timeout, in failure, as the
// driver's call then fails.
void expectCut(const Waited& waited, Clock::time_point armed, const char* what) {
    EXPECT_TRUE(waited.failed && !waited.timedOut) << what;
    EXPECT_GE(waited.ended - armed, limit) << what;
    EXPECT_LT(waited.ended - armed, limit + milliseconds(5000)) << what;
}

TEST(NetworkWatch, AWaitOnASilentServerIsCutOnceTheLimitHasPassed) {
    for (const WaitKind& kind : waitKinds) {
        SCOPED_TRACE(kind.name);
        SilentPeer peer;
        NetworkWatch watch;
        const auto scanned = Clock::now();
        const auto before = NetworkWatch::openSockets();
        std::printf("the process's sockets found in %.1f ms\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - scanned).count());
        const Native client = peer.connectClient();
        watch.watch(before);
        ASSERT_TRUE(watch.watching()) << "the connection's socket is found among the process's";

        const auto armed = Clock::now();
        watch.arm(limit);
        auto waited = std::async(std::launch::async, kind.wait, client, ownTimeout);
        const Waited result = waited.get();
        watch.disarm();
        expectCut(result, armed, kind.name);
        EXPECT_TRUE(watch.fired());
        std::printf("%s: cut %.2f s after the call began\n", kind.name,
                    std::chrono::duration<double>(result.ended - armed).count());
#ifndef _WIN32
        closeNative(client); // on Windows the watch closed it
#endif
    }
}

// Only what appeared as the connection was opened is its own: a socket the
// process had before is left as it was, and a call answered in time is not
// cut at all.
TEST(NetworkWatch, WhatIsNotTheConnectionsOrIsAnsweredInTimeIsLeftAlone) {
    SilentPeer peer;
    Native othersPeer = noSocket;
    const Native other = peer.connectClient(&othersPeer);
    NetworkWatch watch;
    const auto before = NetworkWatch::openSockets();
    Native ownPeer = noSocket;
    const Native own = peer.connectClient(&ownPeer);
    watch.watch(before);

    // Answered within the limit: the connection goes on.
    watch.arm(limit);
    ASSERT_EQ(send(ownPeer, "a", 1, 0), 1);
    const Waited answered = blockingReceive(own, ownTimeout);
    watch.disarm();
    EXPECT_FALSE(answered.failed || answered.timedOut);
    std::this_thread::sleep_for(limit + milliseconds(500));
    EXPECT_FALSE(watch.fired());

    // Silent past the limit: only the connection's own wait is cut.
    const auto armed = Clock::now();
    watch.arm(limit);
    auto othersWait = std::async(std::launch::async, selectThenReceive, other, limit + milliseconds(2500));
    const Waited cut = selectThenReceive(own, ownTimeout);
    watch.disarm();
    expectCut(cut, armed, "the connection's own socket");
    const Waited notCut = othersWait.get();
    EXPECT_TRUE(notCut.timedOut) << "the other socket waits out its own timeout";
    ASSERT_EQ(send(othersPeer, "b", 1, 0), 1);
    EXPECT_FALSE(blockingReceive(other, ownTimeout).failed) << "and still works";
    closeNative(other);
#ifndef _WIN32
    closeNative(own);
#endif
}

#ifndef _WIN32
// A socket closed by its driver may have its number taken by another
// connection (Linux gives out the lowest free descriptor): the watch cuts
// only the connection it learnt, found by its addresses.
TEST(NetworkWatch, ANumberThatNowNamesAnotherConnectionIsLeftAlone) {
    SilentPeer peer;
    NetworkWatch watch;
    const auto before = NetworkWatch::openSockets();
    const Native own = peer.connectClient();
    watch.watch(before);
    Native othersPeer = noSocket;
    const Native other = peer.connectClient(&othersPeer);
    ASSERT_EQ(dup2(other, own), own);

    watch.arm(limit);
    const Waited waited = selectThenReceive(own, limit + milliseconds(2500));
    watch.disarm();
    EXPECT_TRUE(waited.timedOut);
    EXPECT_TRUE(watch.fired());
    ASSERT_EQ(send(othersPeer, "c", 1, 0), 1);
    EXPECT_FALSE(blockingReceive(own, ownTimeout).failed) << "the other connection still works";
    closeNative(own);
    closeNative(other);
}
#endif

} // namespace
