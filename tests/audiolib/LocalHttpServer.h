#pragma once
// HTTP servers on 127.0.0.1 for network stream tests: a cpp-httplib server on a free port,
// and a listener that accepts connections but never answers.

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace lirvo::audio::testing {

class LocalHttpServer {
public:
    httplib::Server server;

    void Start() {
        port_ = server.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~LocalHttpServer() {
        server.stop();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::string Url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    int port_ = 0;
    std::thread thread_;
};

// Connections complete in the kernel's backlog, but nobody ever reads or answers.
class SilentServer {
public:
    SilentServer() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(socket_, 16);
        socklen_t length = sizeof address;
        ::getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(socket_); }
    std::string Url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    int socket_ = -1;
    int port_ = 0;
};

} // namespace lirvo::audio::testing
