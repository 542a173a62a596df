#include "platform/MessagePort.h"

#include "platform/RuntimeDir.h"

#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace lirvo::platform {

namespace {

constexpr std::size_t WireSize = 24;
constexpr std::uint32_t KindPost = 0;
constexpr std::uint32_t KindSend = 1;
// Connections that have not delivered their message by then are dropped.
constexpr int IncompleteMessageTimeoutMs = 5000;
constexpr std::size_t MaxPendingConnections = 64;

bool MakeAddress(const std::string &path, sockaddr_un &addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

int ConnectTo(const std::string &path) {
    sockaddr_un addr{};
    if (!MakeAddress(path, addr))
        return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::array<char, WireSize> Encode(std::uint32_t kind, const PortMessage &m) {
    std::array<char, WireSize> wire{};
    std::memcpy(wire.data(), &kind, 4);
    std::memcpy(wire.data() + 4, &m.message, 4);
    std::memcpy(wire.data() + 8, &m.wParam, 8);
    std::memcpy(wire.data() + 16, &m.lParam, 8);
    return wire;
}

// Escapes what a file name cannot hold, so any class and caption give one socket name.
std::string SocketNamePart(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '/' || c == '%' || c < 0x20) {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

std::optional<std::string> MessagePortPath(const std::string &windowClass, const std::string &caption) {
    const auto dir = ProgramRuntimeDir();
    if (!dir)
        return std::nullopt;
    return *dir + "/" + SocketNamePart(windowClass) + "." + SocketNamePart(caption) + ".port";
}

// ---- client ----

std::optional<MessagePortClient> MessagePortClient::Find(const std::string &windowClass,
                                                         const std::string &caption) {
    const auto path = MessagePortPath(windowClass, caption);
    if (!path)
        return std::nullopt;
    return ConnectPath(*path);
}

std::optional<MessagePortClient> MessagePortClient::ConnectPath(const std::string &socketPath) {
    const int fd = ConnectTo(socketPath);
    if (fd < 0)
        return std::nullopt;
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return MessagePortClient(fd);
}

MessagePortClient::MessagePortClient(MessagePortClient &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

MessagePortClient &MessagePortClient::operator=(MessagePortClient &&other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

MessagePortClient::~MessagePortClient() {
    if (fd_ >= 0)
        close(fd_);
}

bool MessagePortClient::WriteMessage(std::uint32_t kind, const PortMessage &message) {
    if (fd_ < 0)
        return false;
    const auto wire = Encode(kind, message);
    std::size_t done = 0;
    while (done < wire.size()) {
        const ssize_t n = send(fd_, wire.data() + done, wire.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool MessagePortClient::Post(const PortMessage &message) {
    const bool ok = WriteMessage(KindPost, message);
    // One message per connection: closing tells the server nothing else follows.
    close(fd_);
    fd_ = -1;
    return ok;
}

std::optional<std::int32_t> MessagePortClient::Send(const PortMessage &message,
                                                    std::chrono::milliseconds timeout) {
    std::optional<std::int32_t> result;
    if (WriteMessage(KindSend, message)) {
        char reply[4];
        std::size_t got = 0;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got < sizeof reply) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            const int r = poll(&p, 1, static_cast<int>(left.count()));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            const ssize_t n = recv(fd_, reply + got, sizeof reply - got, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (got == sizeof reply) {
            std::int32_t value;
            std::memcpy(&value, reply, 4);
            result = value;
        }
    }
    close(fd_);
    fd_ = -1;
    return result;
}

// ---- server ----

struct MessagePortServer::Impl {
    struct Connection {
        int fd = -1;
        std::string buffer;
        std::unique_ptr<QSocketNotifier> notifier;
        std::unique_ptr<QTimer> deadline;
    };

    int listenFd = -1;
    std::string path;
    ino_t socketInode = 0;
    std::string error;
    Handler handler;
    std::unique_ptr<QSocketNotifier> listenNotifier;
    // Keyed by acceptance order, so that messages are handled in the order they were sent.
    std::map<std::uint64_t, Connection> connections;
    std::uint64_t nextSequence = 0;
    bool pumping = false;
    bool pumpAgain = false;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    ~Impl() {
        *alive = false;
        Shutdown();
    }

    void Shutdown() {
        for (auto &[sequence, connection] : connections)
            close(connection.fd);
        connections.clear();
        listenNotifier.reset();
        if (listenFd >= 0) {
            close(listenFd);
            listenFd = -1;
            // Remove the socket file only while it is still the one we created.
            struct stat st {};
            if (lstat(path.c_str(), &st) == 0 && st.st_ino == socketInode)
                unlink(path.c_str());
        }
    }

    void AcceptPending() {
        while (listenFd >= 0) {
            const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (connections.size() >= MaxPendingConnections) {
                close(fd);
                continue;
            }
            const std::uint64_t sequence = nextSequence++;
            Connection &c = connections[sequence];
            c.fd = fd;
            c.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(c.notifier.get(), &QSocketNotifier::activated, [this] { Pump(); });
            c.deadline = std::make_unique<QTimer>();
            c.deadline->setSingleShot(true);
            QObject::connect(c.deadline.get(), &QTimer::timeout, [this, sequence] { Drop(sequence); });
            c.deadline->start(IncompleteMessageTimeoutMs);
        }
    }

    void Drop(std::uint64_t sequence) {
        auto it = connections.find(sequence);
        if (it == connections.end())
            return;
        // Qt objects of this connection may be the sender of the running slot: delete later.
        if (it->second.notifier) {
            it->second.notifier->setEnabled(false);
            it->second.notifier.release()->deleteLater();
        }
        if (it->second.deadline) {
            it->second.deadline->stop();
            it->second.deadline.release()->deleteLater();
        }
        close(it->second.fd);
        connections.erase(it);
    }

    enum class ReadState { Waiting, Complete, Closed };

    static ReadState ReadAvailable(Connection &c) {
        char chunk[WireSize];
        while (c.buffer.size() < WireSize) {
            const ssize_t n = recv(c.fd, chunk, WireSize - c.buffer.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return ReadState::Waiting;
            if (n <= 0)
                return ReadState::Closed; // closed before the message was complete
            c.buffer.append(chunk, static_cast<std::size_t>(n));
        }
        return ReadState::Complete;
    }

    // Accepts what is waiting, then handles every complete message in acceptance order. A
    // handler that runs a nested event loop does not re-enter: what arrives meanwhile is
    // handled when it returns.
    void Pump() {
        if (pumping) {
            pumpAgain = true;
            return;
        }
        pumping = true;
        do {
            pumpAgain = false;
            AcceptPending();
            for (auto it = connections.begin(); it != connections.end();) {
                const std::uint64_t sequence = it->first;
                const ReadState state = ReadAvailable(it->second);
                if (state == ReadState::Waiting) {
                    ++it;
                    continue;
                }
                if (state == ReadState::Closed) {
                    Drop(sequence);
                } else if (!Deliver(sequence)) {
                    return; // the server was destroyed by the handler
                }
                it = connections.upper_bound(sequence);
            }
        } while (pumpAgain);
        pumping = false;
    }

    // Handles the complete message of a connection; false when the handler destroyed the server.
    bool Deliver(std::uint64_t sequence) {
        Connection &c = connections.at(sequence);
        std::uint32_t kind;
        PortMessage m;
        std::memcpy(&kind, c.buffer.data(), 4);
        std::memcpy(&m.message, c.buffer.data() + 4, 4);
        std::memcpy(&m.wParam, c.buffer.data() + 8, 8);
        std::memcpy(&m.lParam, c.buffer.data() + 16, 8);
        const int replyFd = dup(c.fd);
        Drop(sequence);
        std::int32_t result = -1;
        auto stillAlive = alive;
        if (handler) {
            try {
                result = handler(m);
            } catch (...) {
                result = -1; // an exception ends the operation without a message
            }
        }
        if (replyFd >= 0) {
            if (kind == KindSend)
                (void)send(replyFd, &result, sizeof result, MSG_NOSIGNAL | MSG_DONTWAIT);
            close(replyFd);
        }
        return *stillAlive;
    }
};

MessagePortServer::MessagePortServer() : impl_(std::make_unique<Impl>()) {}

MessagePortServer::~MessagePortServer() = default;

bool MessagePortServer::Listen(const std::string &windowClass, const std::string &caption, Handler handler) {
    const auto path = MessagePortPath(windowClass, caption);
    if (!path) {
        impl_->error = "no private runtime folder";
        return false;
    }
    return ListenPath(*path, std::move(handler));
}

bool MessagePortServer::ListenPath(const std::string &socketPath, Handler handler) {
    Close();
    Impl &d = *impl_;
    d.error.clear();
    sockaddr_un addr{};
    if (!MakeAddress(socketPath, addr)) {
        d.error = "socket path too long: " + socketPath;
        return false;
    }
    const int probe = ConnectTo(socketPath);
    if (probe >= 0) {
        close(probe);
        d.error = "another process listens on " + socketPath;
        return false;
    }
    unlink(socketPath.c_str()); // left by a process that died
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        d.error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    if (bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, SOMAXCONN) != 0) {
        d.error = "bind " + socketPath + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    chmod(socketPath.c_str(), 0600);
    struct stat st {};
    lstat(socketPath.c_str(), &st);
    d.socketInode = st.st_ino;
    d.listenFd = fd;
    d.path = socketPath;
    d.handler = std::move(handler);
    d.listenNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(d.listenNotifier.get(), &QSocketNotifier::activated, [&d] { d.Pump(); });
    return true;
}

void MessagePortServer::Close() {
    impl_->Shutdown();
}

bool MessagePortServer::IsListening() const {
    return impl_->listenFd >= 0;
}

const std::string &MessagePortServer::Path() const {
    return impl_->path;
}

const std::string &MessagePortServer::Error() const {
    return impl_->error;
}

} // namespace lirvo::platform
