#pragma once
// The delaying TCP proxy (delay-proxy, a program of the build) between a test
// and the tests' PostgreSQL server, to cut (close both ends) or freeze (stop
// forwarding, ends left open) the connections through it. Missing, it fails
// the test that asks for it.

#include <string>

class FaultProxy {
public:
    // In front of the server of connection (its Port=), listening on
    // listenAddress (an IPv4 address of this host); throws
    // std::runtime_error when the proxy cannot be started.
    explicit FaultProxy(const std::string& connection, int delayMicroseconds = 0,
                        const std::string& listenAddress = "127.0.0.1");
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    // connection, reaching the server through the proxy (its Server= the
    // address the proxy listens on).
    const std::string& connection() const { return connection_; }
    // Each returns once the proxy has done it.
    void cut();
    void freeze();
    void thaw();
    // The same, once this many more bytes have gone to the server: a point
    // the same work reaches alike on a fast machine and a slow one.
    void cutAfter(long long bytes);
    void freezeAfter(long long bytes);
    // Cuts and refuses new connections, as a server that is down; then
    // accepts them again on the same port.
    void refuse();
    void accept();

private:
    void command(const char* text);

    std::string connection_;
    int pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

// Restarts the tests' own PostgreSQL server (every connection is ended by it);
// throws std::runtime_error when the server is not the tests' own or does
// not come back.
void restartPostgresServer();
