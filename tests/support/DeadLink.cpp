#include "DeadLink.h"

#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("cannot make a network of the test's own (this needs root, CAP_NET_ADMIN and "
                                 "iproute2): " +
                                 command + " failed");
}

void quietly(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        // Nothing to remove.
    }
}

// A file descriptor closed on every path.
struct Fd {
    int fd;
    explicit Fd(const std::string& path) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd < 0)
            throw std::runtime_error("cannot open " + path);
    }
    ~Fd() { close(fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

} // namespace

DeadLink::DeadLink() {
    // Names and a /30 of the process's own, so that tests run side by side
    // (and what a killed run left) do not meet.
    const long pid = static_cast<long>(getpid());
    const std::string tag = std::to_string(pid);
    namespace_ = "habitorium-" + tag;
    hostEnd_ = "hab" + tag + "a";
    const std::string otherEnd = "hab" + tag + "b";
    const std::string subnet = "10.231." + std::to_string((pid >> 6) & 255) + ".";
    const int base = static_cast<int>((pid & 63) << 2);
    hostAddress_ = subnet + std::to_string(base + 1);
    const std::string otherAddress = subnet + std::to_string(base + 2);
    quietly("ip link del " + hostEnd_);
    quietly("ip netns del " + namespace_);
    run("ip netns add " + namespace_);
    try {
        run("ip link add " + hostEnd_ + " type veth peer name " + otherEnd + " netns " + namespace_);
        run("ip addr add " + hostAddress_ + "/30 dev " + hostEnd_);
        run("ip link set " + hostEnd_ + " up");
        run("ip -n " + namespace_ + " addr add " + otherAddress + "/30 dev " + otherEnd);
        run("ip -n " + namespace_ + " link set " + otherEnd + " up");
        run("ip -n " + namespace_ + " link set lo up");
    } catch (...) {
        quietly("ip link del " + hostEnd_);
        quietly("ip netns del " + namespace_);
        throw;
    }
}

DeadLink::~DeadLink() {
    quietly("ip link del " + hostEnd_);
    quietly("ip netns del " + namespace_);
}

void DeadLink::inside(const std::function<void()>& f) {
    const Fd home("/proc/thread-self/ns/net");
    const Fd there("/run/netns/" + namespace_);
    if (setns(there.fd, CLONE_NEWNET) != 0)
        throw std::runtime_error("cannot enter the network namespace " + namespace_);
    try {
        f();
    } catch (...) {
        setns(home.fd, CLONE_NEWNET);
        throw;
    }
    if (setns(home.fd, CLONE_NEWNET) != 0)
        throw std::runtime_error("cannot leave the network namespace " + namespace_);
}

void DeadLink::down() {
    run("ip link set " + hostEnd_ + " down");
}

void DeadLink::up() {
    run("ip link set " + hostEnd_ + " up");
}
