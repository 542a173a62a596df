#include "XSession.h"

#include "ChildProcess.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <dlfcn.h>

namespace lirvo::e2e {

struct XSession::Api {
    void *x11 = nullptr;
    void *xtst = nullptr;
    void *(*OpenDisplay)(const char *) = nullptr;
    int (*CloseDisplay)(void *) = nullptr;
    int (*Flush)(void *) = nullptr;
    int (*Sync)(void *, int) = nullptr;
    unsigned char (*KeysymToKeycode)(void *, unsigned long) = nullptr;
    int (*FakeMotion)(void *, int, int, int, unsigned long) = nullptr;
    int (*FakeButton)(void *, unsigned, int, unsigned long) = nullptr;
    int (*FakeKey)(void *, unsigned, int, unsigned long) = nullptr;

    bool Load() {
        x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        xtst = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!x11 || !xtst)
            return false;
        OpenDisplay = reinterpret_cast<decltype(OpenDisplay)>(dlsym(x11, "XOpenDisplay"));
        CloseDisplay = reinterpret_cast<decltype(CloseDisplay)>(dlsym(x11, "XCloseDisplay"));
        Flush = reinterpret_cast<decltype(Flush)>(dlsym(x11, "XFlush"));
        Sync = reinterpret_cast<decltype(Sync)>(dlsym(x11, "XSync"));
        KeysymToKeycode = reinterpret_cast<decltype(KeysymToKeycode)>(dlsym(x11, "XKeysymToKeycode"));
        FakeMotion = reinterpret_cast<decltype(FakeMotion)>(dlsym(xtst, "XTestFakeMotionEvent"));
        FakeButton = reinterpret_cast<decltype(FakeButton)>(dlsym(xtst, "XTestFakeButtonEvent"));
        FakeKey = reinterpret_cast<decltype(FakeKey)>(dlsym(xtst, "XTestFakeKeyEvent"));
        return OpenDisplay && CloseDisplay && Flush && Sync && KeysymToKeycode && FakeMotion && FakeButton &&
               FakeKey;
    }
    ~Api() {
        if (xtst)
            dlclose(xtst);
        if (x11)
            dlclose(x11);
    }
};

XSession::XSession() : m_api(std::make_unique<Api>()) {}

XSession::~XSession() {
    if (m_connection)
        m_api->CloseDisplay(m_connection);
    StopProcess(m_server, 5000);
}

bool XSession::Start(int width, int height) {
    if (!m_api->Load()) {
        m_error = QStringLiteral("libX11.so.6 or libXtst.so.6 could not be loaded");
        return false;
    }
    // -displayfd 1: the server picks a free display and writes its number to standard output.
    EndWithTest(m_server);
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_server.waitForStarted(5000)) {
        m_error = QStringLiteral("Xvfb did not start");
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (!out.contains('\n') && clock.elapsed() < 15000 && m_server.state() == QProcess::Running) {
        m_server.waitForReadyRead(200);
        out += m_server.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        m_error = QStringLiteral("Xvfb gave no display number: %1")
                      .arg(QString::fromLocal8Bit(m_server.readAllStandardError()));
        return false;
    }
    m_display = QStringLiteral(":%1").arg(number);
    m_connection = m_api->OpenDisplay(m_display.toLatin1().constData());
    if (!m_connection) {
        m_error = QStringLiteral("cannot connect to %1").arg(m_display);
        return false;
    }
    return true;
}

bool XSession::MoveTo(int x, int y) {
    if (!m_connection)
        return false;
    m_api->FakeMotion(m_connection, -1, x, y, 0);
    m_api->Sync(m_connection, 0);
    return true;
}

bool XSession::Click(int x, int y) {
    if (!MoveTo(x, y))
        return false;
    QThread::msleep(150);
    m_api->FakeButton(m_connection, 1, 1, 0);
    m_api->Sync(m_connection, 0);
    QThread::msleep(60);
    m_api->FakeButton(m_connection, 1, 0, 0);
    m_api->Sync(m_connection, 0);
    return true;
}

bool XSession::Key(unsigned long keysym) {
    if (!m_connection)
        return false;
    const unsigned code = m_api->KeysymToKeycode(m_connection, keysym);
    if (code == 0)
        return false;
    m_api->FakeKey(m_connection, code, 1, 0);
    m_api->Sync(m_connection, 0);
    QThread::msleep(40);
    m_api->FakeKey(m_connection, code, 0, 0);
    m_api->Sync(m_connection, 0);
    return true;
}

bool XSession::Screenshot(const QString &file, const QRect &area) {
    QStringList args{QStringLiteral("-display"), m_display, QStringLiteral("-window"),
                     QStringLiteral("root")};
    if (!area.isEmpty())
        args
            << QStringLiteral("-crop")
            << QStringLiteral("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y());
    args << file;
    QProcess import;
    EndWithTest(import);
    import.start(QStringLiteral("import"), args);
    return import.waitForFinished(20000) && import.exitStatus() == QProcess::NormalExit &&
           import.exitCode() == 0;
}

QRect XSession::WindowGeometry(const QString &title) {
    // Every window of that name in the tree; the largest one is the top-level window itself
    // (toolkits keep small helper windows with the same name).
    QProcess info;
    EndWithTest(info);
    info.start(QStringLiteral("xwininfo"),
               {QStringLiteral("-display"), m_display, QStringLiteral("-root"), QStringLiteral("-tree")});
    if (!info.waitForFinished(10000) || info.exitCode() != 0)
        return {};
    const QRegularExpression line(
        QStringLiteral("\"%1\".*\\s(\\d+)x(\\d+)[+-]-?\\d+[+-]-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)")
            .arg(QRegularExpression::escape(title)));
    QRect best;
    for (const QString &text :
         QString::fromLocal8Bit(info.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const auto m = line.match(text);
        if (!m.hasMatch())
            continue;
        const QRect r(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(),
                      m.captured(2).toInt());
        if (r.width() * r.height() > best.width() * best.height())
            best = r;
    }
    return best;
}

} // namespace lirvo::e2e
