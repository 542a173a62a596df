#include "function/tray/SessionEnd.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lirvo::tray {

namespace {

int g_signalPipe[2] = {-1, -1};
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnEndSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    if (g_signalPipe[1] >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    }
    errno = saved;
}

QString SignalName(int signal) {
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

} // namespace

TSessionEndWatcher::TSessionEndWatcher(QObject *parent) : QObject(parent) {
    if (g_signalPipe[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }
    if (g_signalPipe[0] >= 0) {
        m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &TSessionEndWatcher::OnSignalByte);
        struct sigaction action {};
        action.sa_handler = OnEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : kSignals) {
            ::sigaction(signal, &action, nullptr);
        }
    }
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        // The session manager asks the program to save its data before the desktop session ends.
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager &) { Fire(QStringLiteral("session")); });
    }
}

TSessionEndWatcher::~TSessionEndWatcher() {
    if (m_notifier) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        for (int signal : kSignals) {
            ::sigaction(signal, &action, nullptr);
        }
    }
}

void TSessionEndWatcher::OnSignalByte() {
    char byte = 0;
    int last = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1) {
        last = static_cast<unsigned char>(byte);
    }
    if (last != 0) {
        Fire(SignalName(last));
    }
}

void TSessionEndWatcher::Fire(const QString &reason) {
    if (m_fired) {
        return;
    }
    m_fired = true;
    Q_EMIT EndSession(reason);
}

} // namespace lirvo::tray
