#pragma once
// The real player on a private X server with a private HOME and runtime folder: starting it,
// talking to it through lirvo-send, screenshots of its windows.

#include "ChildProcess.h"
#include "XSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace lirvo::e2e {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
// A deadline for what the player shows or does: far beyond what a sanitized build on a busy
// two-core machine needs, since a wait that is met returns at once.
constexpr int kPatienceMs = 30000;
// The main window's size, and the player panel's and playlist panel's top-left inside it
// (panels are placed by their centres: 504, 573 and 504, 304; sizes 380 x 115 and 380 x 423).
constexpr QSize kMainWindowSize(1008, 768);
constexpr double kPanelX = 504 - 190;
constexpr double kPanelY = 573 - 57.5;
constexpr double kListX = 504 - 190;
constexpr double kListY = 304 - 211.5;

inline QString FromEnvironment(const char *name, const char *builtIn) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromUtf8(builtIn) : value;
}

inline bool WaitUntil(const std::function<bool()> &done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(100);
    }
    return true;
}

class PlayerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        bin_ = FromEnvironment("LIRVO_BIN_DIR", LIRVO_TEST_BIN_DIR);
        shots_ = QStringLiteral(LIRVO_TEST_SHOTS_DIR);
        ASSERT_TRUE(QFile::exists(bin_ + "/lirvo"));
        QDir().mkpath(shots_);
        ASSERT_TRUE(x_.Start(kScreenWidth, kScreenHeight)) << x_.Error().toStdString();

        const QString h = home_.path();
        for (const char *sub : {"Documents", "run", "songs", ".config", ".cache"})
            QDir().mkpath(h + "/" + sub);
        QFile::setPermissions(h + "/run",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString demo = FromEnvironment("LIRVO_SOURCE_DIR", LIRVO_TEST_SOURCE_DIR) + "/resources/demo/";
        ASSERT_TRUE(QFile::copy(demo + "lirvo-demo.ogg", Song("lirvo-demo.ogg")));
        ASSERT_TRUE(QFile::copy(demo + "lirvo-demo.lrc", Song("lirvo-demo.lrc")));
        ASSERT_TRUE(QFile::copy(demo + "lirvo-demo.ogg", Song("second.ogg")));

        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", h);
        env_.insert("XDG_RUNTIME_DIR", h + "/run");
        env_.insert("XDG_DOCUMENTS_DIR", h + "/Documents");
        env_.insert("XDG_CONFIG_HOME", h + "/.config");
        env_.insert("XDG_CACHE_HOME", h + "/.cache");
        env_.insert("DISPLAY", x_.Display());
        env_.insert("QT_QPA_PLATFORM", "xcb");
        env_.insert("SDL_AUDIODRIVER", "dummy");
        env_.remove("WAYLAND_DISPLAY");
        // No session bus unless a test starts one (DesktopSession): an address that leads
        // nowhere, so that the bus library does not fork to launch a bus for the X display. A
        // forked child of this sanitized, many-threaded program can hang in the sanitizer's
        // allocator before its exec, spinning, with the player's SIGTERM handler; its parent
        // then waits for it when it quits.
        env_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + h + "/run/no-session-bus");
        // The player is a sanitized build too. Its leak check stays off here: at exit Qt's
        // image cache and raster engine leave blocks behind after the application object is
        // gone (and the OpenGL driver, where one is used, is unloaded before the check). The
        // offscreen UI tests check the same window code for leaks.
        env_.insert("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=0:detect_stack_use_after_return=0");
    }

    // A player still running when the test is done is asked to quit as the desktop would ask
    // it; one that ignores SIGTERM is a fault of its own, reported with its stacks, then killed.
    void TearDown() override {
        if (StopProcess(player_, kPatienceMs, true) == Stopped::Killed)
            ADD_FAILURE() << "the player did not end within " << kPatienceMs / 1000 << " s of SIGTERM";
    }

    QString Song(const QString &name) const { return home_.path() + "/songs/" + name; }
    QString DataFile(const char *name) const { return home_.path() + "/Documents/lirvo/" + name; }

    void StartPlayer(const QString &song) {
        EndWithTest(player_);
        player_.setProcessEnvironment(env_);
        player_.setProcessChannelMode(QProcess::ForwardedChannels);
        player_.start(bin_ + "/lirvo", {song});
        ASSERT_TRUE(player_.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return player_.state() != QProcess::Running || Send({"cmd", "15"}) == "1";
            },
            60000))
            << "the player never answered";
        ASSERT_EQ(player_.state(), QProcess::Running)
            << "the player ended early, exit code " << player_.exitCode();
    }

    // Runs lirvo-send (in `folder` when given); its output, trimmed, or "" when it failed.
    // `exitCode` gets its exit code.
    QString Send(const QStringList &args, int *exitCode = nullptr, const QString &folder = {}) {
        QProcess send;
        EndWithTest(send);
        send.setProcessEnvironment(env_);
        if (!folder.isEmpty())
            send.setWorkingDirectory(folder);
        send.start(bin_ + "/lirvo-send", args);
        const bool finished = send.waitForFinished(20000);
        if (!finished)
            StopProcess(send, 0);
        if (exitCode)
            *exitCode = finished ? send.exitCode() : -1;
        if (!finished || send.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(send.readAllStandardOutput()).trimmed();
    }

    // A point of the main window given in its own coordinates, on the screen.
    QPoint OnScreen(double x, double y) const { return window_.topLeft() + QPoint(qRound(x), qRound(y)); }

    QImage Shot(const QString &name, const QRect &area) {
        const QString file = shots_ + "/" + name;
        EXPECT_TRUE(x_.Screenshot(file, area)) << name.toStdString();
        return QImage(file);
    }

    // Waits until the window system shows the top-level window with this title at this size;
    // its geometry, or an empty one on time-out.
    QRect WaitForWindow(const QString &title, QSize size) {
        QRect found;
        WaitUntil([&] { return (found = x_.WindowGeometry(title)).size() == size; }, kPatienceMs);
        return found.size() == size ? found : QRect();
    }

    // Screenshots of `area` until three in a row are the same and `ready` holds for the last;
    // that picture, or a null one on time-out. Three equal shots span about a second, longer
    // than a busy machine holds a frame back in the middle of an animation.
    QImage WaitForStill(const QString &name, const QRect &area,
                        const std::function<bool(const QImage &)> &ready = {}) {
        QImage last;
        int same = 0;
        const bool still = WaitUntil(
            [&] {
                const QImage shot = Shot(name, area);
                same = !shot.isNull() && shot == last ? same + 1 : 0;
                last = shot;
                return same >= 2 && (!ready || ready(shot));
            },
            kPatienceMs);
        return still ? last : QImage();
    }

    // Screenshots of `area` until at least `share` of its pixels differ from `before`; that
    // picture, or a null one on time-out.
    QImage WaitForChange(const QString &name, const QRect &area, const QImage &before, double share) {
        QImage last;
        const bool changed = WaitUntil(
            [&] { return !(last = Shot(name, area)).isNull() && ChangedShare(before, last) >= share; },
            kPatienceMs);
        return changed ? last : QImage();
    }

    // Waits for the main window and the end of its start animation (the player panel fades in,
    // then the playlist panel grows to its full size, where its "+" button shows at the top
    // right); sets window_. False on time-out.
    bool WaitForStartAnimation() {
        window_ = WaitForWindow("Lirvo4", kMainWindowSize);
        if (window_.isEmpty())
            return false;
        const QRect plus(OnScreen(kListX + 340, kListY + 12), QSize(26, 26));
        return !WaitForStill("main-window-start.png", window_, [&](const QImage &shot) {
                    return LitShare(shot.copy(QRect(plus.topLeft() - window_.topLeft(), plus.size()))) > 0.05;
                }).isNull();
    }

    // Clicks the main menu's button and waits until the menu is drawn under it (it replaces what
    // was there by its own background and items). False when it did not open.
    bool OpenMainMenu() {
        const QRect menuArea(OnScreen(kPanelX + 327, kPanelY + 23), QSize(130, 180));
        const QImage before = Shot("main-menu-area-closed.png", menuArea);
        const QPoint button = OnScreen(kPanelX + 327 + 10, kPanelY + 3 + 10);
        return x_.Click(button.x(), button.y()) &&
               !WaitForChange("main-menu-area.png", menuArea, before, 0.5).isNull();
    }

    // Share of the pixels that differ between two pictures of the same size (1 when either is
    // missing or the sizes differ).
    static double ChangedShare(const QImage &a, const QImage &b) {
        if (a.isNull() || b.isNull() || a.size() != b.size())
            return 1;
        qint64 changed = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                changed += a.pixel(x, y) != b.pixel(x, y);
        return double(changed) / (double(a.width()) * a.height());
    }

    // Share of the picture's pixels that are lit (drawn text and pictures on black).
    static double LitShare(const QImage &image) {
        if (image.isNull())
            return 0;
        qint64 lit = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                lit += qGray(image.pixel(x, y)) > 60;
        return double(lit) / (double(image.width()) * image.height());
    }

    QTemporaryDir home_;
    QString bin_, shots_;
    XSession x_;
    QProcessEnvironment env_;
    QProcess player_;
    QRect window_;
};

} // namespace lirvo::e2e
