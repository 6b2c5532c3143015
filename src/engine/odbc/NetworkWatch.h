#pragma once
// A bound on how long one call may wait for the database server. A driver
// blocks in its socket wait for as long as the server does not answer, and a
// network that drops the connection's packets (a dead link, a suspended VPN)
// or a server or box in between that has stopped answering (its TCP stack
// still acknowledging) never does; the driver's own timeouts act only on the
// server side, and its keepalives only on a network that acknowledges
// nothing. The watch learns the connection's sockets when it is opened, and
// when a call outlasts its limit it cuts them from its own thread, so the
// driver's blocked wait ends at once with a failure and the call fails as a
// lost connection.
//
// Linux: the sockets are the descriptors that appeared while the connection
// was opened (/proc/self/fd); each is shut down, which ends a poll or recv
// blocked on it and keeps the descriptor, so nothing can reuse it.
// Windows: a SOCKET is a handle, and Winsock keeps no list of a process's
// sockets; the handle values of the process are tried with getsockopt, which
// tells a socket from any other handle. Shutting a socket down is not known
// to end a select() waiting on it there; closing it is (a blocking call or
// select on a socket closed by another thread fails, and the driver's retry
// then finds no socket). A closed handle value may be given to the next
// handle the process makes, so the driver's connection is to be released
// before another is opened (Connection::releaseLost).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace engine::odbc {

// A socket as the system names it: a descriptor on Linux, a SOCKET handle
// on Windows.
using SocketId = std::uintptr_t;

class NetworkWatch {
public:
    NetworkWatch() = default;
    ~NetworkWatch();
    NetworkWatch(const NetworkWatch&) = delete;
    NetworkWatch& operator=(const NetworkWatch&) = delete;

    // The sockets the process has open now. After the connection is opened,
    // the connected TCP sockets it has beyond those of before are the
    // connection's: watch learns them (and forgets those of an earlier
    // connection), each with its two addresses, so that a socket whose value
    // has since come to name another connection is left alone.
    static std::set<SocketId> openSockets();
    void watch(const std::set<SocketId>& before);
    bool watching() const;
    // The connection is released: nothing of it is cut any more.
    void forget();

    // Marks the start and end of a call that waits on the network.
    void arm(std::chrono::milliseconds limit);
    void disarm();
    // Whether the last armed call was cut off by the limit.
    bool fired() const;

private:
    struct Watched {
        SocketId socket;
        std::string addresses; // the local and the peer address, as bytes
    };
    void run();

    std::vector<Watched> sockets_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    bool started_ = false;
    bool stop_ = false;
    bool armed_ = false;
    bool idle_ = true; // the thread waits with no deadline and must be woken
    bool fired_ = false;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::steady_clock::time_point sleepsUntil_ = std::chrono::steady_clock::time_point::max();
};

// Arms the watch for one call and disarms it when the call returns.
class NetworkWait {
public:
    NetworkWait(NetworkWatch& watch, std::chrono::milliseconds limit) : watch_(watch) { watch_.arm(limit); }
    ~NetworkWait() { watch_.disarm(); }
    NetworkWait(const NetworkWait&) = delete;
    NetworkWait& operator=(const NetworkWait&) = delete;

private:
    NetworkWatch& watch_;
};

} // namespace engine::odbc
