#pragma once
// The real player on a private X server with a private HOME and runtime folder: starting it,
// talking to it through lirvo-send, screenshots of its windows.

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
        // The player is a sanitized build too. Its leak check stays off here: at exit Qt's
        // image cache and raster engine leave blocks behind after the application object is
        // gone (and the OpenGL driver, where one is used, is unloaded before the check). The
        // offscreen UI tests check the same window code for leaks.
        env_.insert("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=0:detect_stack_use_after_return=0");
    }

    void TearDown() override {
        if (player_.state() != QProcess::NotRunning) {
            player_.terminate();
            if (!player_.waitForFinished(20000))
                player_.kill();
            player_.waitForFinished(5000);
        }
    }

    QString Song(const QString &name) const { return home_.path() + "/songs/" + name; }
    QString DataFile(const char *name) const { return home_.path() + "/Documents/lirvo/" + name; }

    void StartPlayer(const QString &song) {
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
        send.setProcessEnvironment(env_);
        if (!folder.isEmpty())
            send.setWorkingDirectory(folder);
        send.start(bin_ + "/lirvo-send", args);
        const bool finished = send.waitForFinished(20000);
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
