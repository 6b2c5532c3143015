#include "engine/odbc/NetworkWatch.h"

#ifndef _WIN32
#include <cstdlib>
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#endif

namespace engine::odbc {

std::set<int> NetworkWatch::openSockets() {
    std::set<int> out;
#ifndef _WIN32
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return out;
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        struct stat info {};
        if (end && *end == '\0' && fd >= 0 && fstat(static_cast<int>(fd), &info) == 0 && S_ISSOCK(info.st_mode))
            out.insert(static_cast<int>(fd));
    }
    closedir(folder);
#endif
    return out;
}

void NetworkWatch::watch(const std::set<int>& before) {
    std::vector<int> sockets;
#ifndef _WIN32
    for (int fd : openSockets()) {
        if (before.count(fd))
            continue;
        // Only a connected stream socket to another host or port is the server's.
        int type = 0;
        socklen_t length = sizeof type;
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 &&
            (peer.ss_family == AF_INET || peer.ss_family == AF_INET6))
            sockets.push_back(fd);
    }
#else
    (void)before;
#endif
    std::lock_guard<std::mutex> lock(mutex_);
    sockets_ = std::move(sockets);
    armed_ = false;
    fired_ = false;
}

NetworkWatch::~NetworkWatch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void NetworkWatch::arm(std::chrono::milliseconds limit) {
    if (sockets_.empty())
        return;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!started_) {
            started_ = true;
            thread_ = std::thread([this] { run(); });
        }
        armed_ = true;
        fired_ = false;
        deadline_ = std::chrono::steady_clock::now() + limit;
        // A thread waiting for an earlier deadline finds this one when it
        // wakes; only one that waits for none must be woken.
        wake = idle_;
        idle_ = false;
    }
    if (wake)
        wake_.notify_one();
}

void NetworkWatch::disarm() {
    if (sockets_.empty())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
}

bool NetworkWatch::fired() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fired_;
}

void NetworkWatch::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (!armed_) {
            idle_ = true;
            wake_.wait(lock, [this] { return stop_ || !idle_; });
            continue;
        }
        const auto deadline = deadline_;
        if (std::chrono::steady_clock::now() < deadline) {
            wake_.wait_until(lock, deadline);
            continue;
        }
        // The call has waited too long: its blocked read ends now.
        fired_ = true;
        armed_ = false;
#ifndef _WIN32
        for (int fd : sockets_)
            shutdown(fd, SHUT_RDWR);
#endif
    }
}

} // namespace engine::odbc
