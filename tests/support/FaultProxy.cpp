#include "FaultProxy.h"

#include "Programs.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::string lowered(const std::string& text) {
    std::string out;
    for (char c : text)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A line from the proxy, waited for at most a few seconds.
std::string readLine(int fd) {
    std::string line;
#ifndef _WIN32
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0)
            throw std::runtime_error("the delay proxy did not answer within 10 s");
        char c = 0;
        if (read(fd, &c, 1) != 1)
            throw std::runtime_error("the delay proxy ended");
        if (c == '\n')
            return line;
        line += c;
    }
#else
    (void)fd;
    return line;
#endif
}

// connection with the value of key (in lower case) set to value.
std::string withValue(const std::string& connection, const std::string& key, const std::string& value) {
    const std::size_t at = lowered(connection).find(key + "=");
    if (at == std::string::npos)
        return connection + key + "=" + value + ";";
    const std::size_t begin = at + key.size() + 1;
    const std::size_t end = connection.find(';', begin);
    return connection.substr(0, begin) + value + (end == std::string::npos ? std::string() : connection.substr(end));
}

} // namespace

FaultProxy::FaultProxy(const std::string& connection, int delayMicroseconds, const std::string& listenAddress) {
#if defined(_WIN32) || !defined(HABITORIUM_DELAY_PROXY)
    (void)connection;
    (void)delayMicroseconds;
    (void)listenAddress;
    throw std::runtime_error("The delay proxy (delay-proxy) is not part of this build.");
#else
    const std::string lower = lowered(connection);
    const std::size_t at = lower.find("port=");
    if (at == std::string::npos)
        throw std::runtime_error("The connection text names no port: " + connection);
    const std::size_t end = connection.find(';', at);
    const std::string port = connection.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
    std::vector<std::string> words = ProgramArguments(HABITORIUM_DELAY_PROXY);
    words.insert(words.end(), {port, "--delay-us", std::to_string(delayMicroseconds), "--listen", listenAddress});
    std::vector<char*> arguments;
    for (std::string& word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0)
        throw std::runtime_error("no pipe for the delay proxy");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1]})
            close(fd);
        execv(arguments.front(), arguments.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    const std::string first = readLine(output_);
    if (first.rfind("port ", 0) != 0)
        throw std::runtime_error("the delay proxy " HABITORIUM_DELAY_PROXY " did not start: " + first);
    connection_ = withValue(connection.substr(0, at) + "Port=" + first.substr(5) +
                                (end == std::string::npos ? std::string(";") : connection.substr(end)),
                            "server", listenAddress);
#endif
}

FaultProxy::~FaultProxy() {
#ifndef _WIN32
    if (input_ >= 0)
        close(input_); // the proxy ends when its input closes
    if (output_ >= 0)
        close(output_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
#endif
}

void FaultProxy::cutAfter(long long bytes) {
    command(("cut after " + std::to_string(bytes)).c_str());
}

void FaultProxy::freezeAfter(long long bytes) {
    command(("freeze after " + std::to_string(bytes)).c_str());
}

void FaultProxy::command(const char* text) {
#ifndef _WIN32
    const std::string line = std::string(text) + "\n";
    if (write(input_, line.data(), line.size()) != static_cast<ssize_t>(line.size()) || readLine(output_) != "ok")
        throw std::runtime_error(std::string("the delay proxy did not take the command ") + text);
#else
    (void)text;
#endif
}

void FaultProxy::cut() {
    command("cut");
}

void FaultProxy::freeze() {
    command("freeze");
}

void FaultProxy::thaw() {
    command("thaw");
}

void FaultProxy::refuse() {
    command("refuse");
}

void FaultProxy::accept() {
    command("accept");
}
