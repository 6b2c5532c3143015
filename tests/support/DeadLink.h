#pragma once
// A network of the test's own between the tool and the database server: a
// network namespace joined to the test's by a pair of virtual links, one
// address at each end. Sockets made inside it reach this namespace across
// the link; taking the link down drops every packet between them, as a dead
// link does (nothing answers, nothing resets). Needs root (CAP_NET_ADMIN)
// and iproute2's ip.

#include <functional>
#include <string>

class DeadLink {
public:
    // Makes the namespace and the link, up; throws std::runtime_error,
    // saying why, when they cannot be made.
    DeadLink();
    ~DeadLink();
    DeadLink(const DeadLink&) = delete;
    DeadLink& operator=(const DeadLink&) = delete;

    // The address of this namespace's end, where a server for the other
    // side listens.
    const std::string& hostAddress() const { return hostAddress_; }
    // Runs f with the calling thread inside the other namespace: the sockets
    // it makes there stay there.
    void inside(const std::function<void()>& f);
    // Takes this end of the link down (every packet is dropped), or up again.
    void down();
    void up();

private:
    std::string namespace_;
    std::string hostEnd_;
    std::string hostAddress_;
};
