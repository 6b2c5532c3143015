// Winsock's headers come before any that brings in windows.h (on MinGW the
// threads' headers do); winsock2.h brings it in itself.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#endif

#include "engine/odbc/NetworkWatch.h"

#ifndef _WIN32
#include <cstdlib>
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#endif

namespace engine::odbc {

namespace {

#ifdef _WIN32
using Native = SOCKET;

// Winsock answers nothing before it is started; the driver starts it for
// itself, perhaps only once it connects.
void startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
#else
using Native = int;
#endif

Native native(SocketId socket) {
    return static_cast<Native>(socket);
}

// The local and the peer address of a connected TCP socket, as bytes;
// empty for any other socket, or for what is not a socket.
std::string addressesOf(SocketId socket) {
    int type = 0;
    socklen_t length = sizeof type;
    sockaddr_storage local{};
    socklen_t localLength = sizeof local;
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (getsockopt(native(socket), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) != 0 ||
        type != SOCK_STREAM || getpeername(native(socket), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        (peer.ss_family != AF_INET && peer.ss_family != AF_INET6) ||
        getsockname(native(socket), reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
        return {};
    return std::string(reinterpret_cast<const char*>(&local), static_cast<std::size_t>(localLength)) +
           std::string(reinterpret_cast<const char*>(&peer), static_cast<std::size_t>(peerLength));
}

} // namespace

std::set<SocketId> NetworkWatch::openSockets() {
    std::set<SocketId> out;
#ifdef _WIN32
    startWinsock();
    // Handle values are multiples of 4, given out from the lowest free one
    // (or the last freed), so they stay below the most the process has held;
    // twice the handles it holds now, and a thousand more, leave room.
    DWORD count = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &count))
        count = 0;
    const std::uintptr_t last = 4 * (2 * static_cast<std::uintptr_t>(count) + 1024);
    for (std::uintptr_t value = 4; value <= last; value += 4) {
        // A value that names no handle costs no more than this.
        DWORD flags = 0;
        if (!GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            continue;
        int type = 0;
        int length = sizeof type;
        if (getsockopt(static_cast<SOCKET>(value), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0)
            out.insert(value);
    }
#else
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return out;
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        struct stat info {};
        if (end && *end == '\0' && fd >= 0 && fstat(static_cast<int>(fd), &info) == 0 && S_ISSOCK(info.st_mode))
            out.insert(static_cast<SocketId>(fd));
    }
    closedir(folder);
#endif
    return out;
}

void NetworkWatch::watch(const std::set<SocketId>& before) {
    std::vector<Watched> sockets;
    for (SocketId socket : openSockets()) {
        if (before.count(socket))
            continue;
        // Only a connected stream socket to another host or port is the server's.
        std::string addresses = addressesOf(socket);
        if (!addresses.empty())
            sockets.push_back({socket, std::move(addresses)});
    }
    std::lock_guard<std::mutex> lock(mutex_);
    sockets_ = std::move(sockets);
    armed_ = false;
    fired_ = false;
}

bool NetworkWatch::watching() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !sockets_.empty();
}

void NetworkWatch::forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    sockets_.clear();
    armed_ = false;
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
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fired_ = false;
        if (sockets_.empty())
            return;
        if (!started_) {
            started_ = true;
            thread_ = std::thread([this] { run(); });
        }
        armed_ = true;
        deadline_ = std::chrono::steady_clock::now() + limit;
        // A thread waiting for an earlier deadline finds this one when it
        // wakes; one that waits for none, or for a later one (the limit was
        // made shorter), must be woken.
        wake = idle_ || deadline_ < sleepsUntil_;
        idle_ = false;
    }
    if (wake)
        wake_.notify_one();
}

void NetworkWatch::disarm() {
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
            sleepsUntil_ = deadline;
            wake_.wait_until(lock, deadline);
            sleepsUntil_ = std::chrono::steady_clock::time_point::max();
            continue;
        }
        // The call has waited too long: its blocked wait ends now. A socket
        // whose value names another connection by now is not this one's.
        // Once cut, a socket is never touched again.
        fired_ = true;
        armed_ = false;
        for (const Watched& watched : sockets_) {
            if (addressesOf(watched.socket) != watched.addresses)
                continue;
#ifdef _WIN32
            closesocket(native(watched.socket));
#else
            shutdown(native(watched.socket), SHUT_RDWR);
#endif
        }
        sockets_.clear();
    }
}

} // namespace engine::odbc
