#pragma once
// Window messages between local processes. A message port is a Unix-domain stream socket in
// the program's runtime folder (mode 0700), named after a window's class and caption. A client
// connects, writes one 24-byte message and, for a sent message, reads a 4-byte reply:
//
//   offset 0  uint32  kind     0 = posted (no reply), 1 = sent (the server answers)
//   offset 4  uint32  message
//   offset 8  int64   wParam
//   offset 16 int64   lParam
//   reply     int32   result   (only for kind 1)
//
// All values are in the machine's byte order (little-endian on every supported machine).
// The server runs on the thread that owns it (the main thread) and calls its handler there
// from the Qt event loop.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lirvo::platform {

struct PortMessage {
    std::uint32_t message = 0;
    std::int64_t wParam = 0;
    std::int64_t lParam = 0;
};

// Socket path for a window of this class and caption, or nullopt without a runtime folder.
std::optional<std::string> MessagePortPath(const std::string &windowClass, const std::string &caption);

// A connection to a running port ("the window was found").
class MessagePortClient {
public:
    // Connects to the port of that class and caption; nullopt when no process listens there.
    static std::optional<MessagePortClient> Find(const std::string &windowClass, const std::string &caption);
    static std::optional<MessagePortClient> ConnectPath(const std::string &socketPath);

    MessagePortClient(MessagePortClient &&other) noexcept;
    MessagePortClient &operator=(MessagePortClient &&other) noexcept;
    ~MessagePortClient();

    // Posts the message and returns at once; false when it could not be written.
    bool Post(const PortMessage &message);
    // Sends the message and waits up to `timeout` for the result; nullopt on failure or time-out.
    std::optional<std::int32_t> Send(const PortMessage &message,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    explicit MessagePortClient(int fd) : fd_(fd) {}
    bool WriteMessage(std::uint32_t kind, const PortMessage &message);
    int fd_ = -1;
};

// The listening side. Each connection carries one message; the handler's result is written
// back for sent messages and ignored for posted ones. Connections that do not deliver a whole
// message within a few seconds are dropped, so a stuck client never blocks anything.
class MessagePortServer {
public:
    using Handler = std::function<std::int32_t(const PortMessage &)>;

    MessagePortServer();
    ~MessagePortServer();
    MessagePortServer(const MessagePortServer &) = delete;
    MessagePortServer &operator=(const MessagePortServer &) = delete;

    // Starts listening on the port of this class and caption. A socket file left by a process
    // that died is replaced; a port where another process listens is not (false). Needs a
    // running Qt event loop on this thread to deliver messages.
    bool Listen(const std::string &windowClass, const std::string &caption, Handler handler);
    bool ListenPath(const std::string &socketPath, Handler handler);
    void Close();

    bool IsListening() const;
    const std::string &Path() const;
    const std::string &Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lirvo::platform
