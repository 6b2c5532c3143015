#pragma once
// A bound on how long one call may wait for the database server. A driver
// blocks in its socket read for as long as the server does not answer, and a
// network that drops the connection's packets (a dead link, a suspended VPN)
// or a server that has stopped answering never does; the driver's own
// timeouts act only on the server side. The watch learns the connection's
// sockets when it is opened, and when a call outlasts its limit it shuts them
// down, so the call fails at once as a lost connection and the window goes on.
// On Windows it does nothing: there the driver's keepalives bound the wait.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace engine::odbc {

class NetworkWatch {
public:
    NetworkWatch() = default;
    ~NetworkWatch();
    NetworkWatch(const NetworkWatch&) = delete;
    NetworkWatch& operator=(const NetworkWatch&) = delete;

    // The sockets the process has open now; after the connection is opened,
    // those it has beyond them are the connection's (watch, which forgets
    // those of an earlier connection).
    static std::set<int> openSockets();
    void watch(const std::set<int>& before);
    bool watching() const { return !sockets_.empty(); }

    // Marks the start and end of a call that waits on the network.
    void arm(std::chrono::milliseconds limit);
    void disarm();
    // Whether the last armed call was cut off by the limit.
    bool fired() const;

private:
    void run();

    std::vector<int> sockets_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    bool started_ = false;
    bool stop_ = false;
    bool armed_ = false;
    bool idle_ = true; // the thread waits with no deadline and must be woken
    bool fired_ = false;
    std::chrono::steady_clock::time_point deadline_;
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
