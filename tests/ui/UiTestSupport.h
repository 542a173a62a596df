#pragma once
// Shared pieces of the main-window tests: one QApplication per program (offscreen platform from
// the environment), a private HOME and XDG folders per test, a player built over the scripted
// audio library, and helpers to find QML items by name and drive them with the pointer.

#include "../audio/engine/FakeAudioLibrary.h"
#include "lyrics/views/Unt_Dlrc.h"
#include "shell/app/PlayerApp.h"
#include "shell/app/QmlMainView.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lirvo::uitest {

// The source folder (from the test environment, else as built).
inline QString SourceDir() {
    const QString dir = qEnvironmentVariable("LIRVO_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(LIRVO_TEST_SOURCE_DIR) : dir;
}

// The animations' clock in these tests: every frame advances the animations by exactly one
// 16 ms step, however late the frame comes. On a busy machine an animation then takes longer
// instead of leaping over its middle, so a check of what an animation passes through (a swing
// past its end, a face swapped while edge-on) sees every step. `onStep` runs after each step.
class SteppedAnimationClock : public QAnimationDriver {
public:
    static constexpr qint64 kStepMs = 16;

    SteppedAnimationClock() {
        frame_.setTimerType(Qt::PreciseTimer);
        frame_.setInterval(static_cast<int>(kStepMs));
        QObject::connect(&frame_, &QTimer::timeout, this, [this] { Step(); });
    }
    qint64 elapsed() const override { return time_; }

    std::function<void()> onStep;

protected:
    // Time counts from the start of each run of animations (the unified timer adds its own
    // offset); the frame timer runs only while some animation does.
    void start() override {
        time_ = 0;
        QAnimationDriver::start();
        frame_.start();
    }
    void stop() override {
        frame_.stop();
        QAnimationDriver::stop();
    }

private:
    void Step() {
        time_ += kStepMs;
        advance();
        if (onStep)
            onStep();
    }

    QTimer frame_;
    qint64 time_ = 0;
};

// Installed with the application object, for the life of the program.
inline SteppedAnimationClock *g_animationClock = nullptr;

inline QApplication &App() {
    // The window is drawn offscreen and sound goes nowhere, whatever the caller's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    static int argc = 1;
    static char name[] = "ui-tests";
    static char *argv[] = {name, nullptr};
    static QApplication *app = [] {
        auto *a = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        g_animationClock = new SteppedAnimationClock;
        g_animationClock->install();
        return a;
    }();
    return *app;
}

inline SteppedAnimationClock &AnimationClock() {
    App();
    return *g_animationClock;
}

// A deadline for waits on the window: far beyond what a busy machine needs, since a wait that
// is met returns at once.
constexpr int kPatienceMs = 30000;

// Runs the event loop until `done` holds or `ms` pass, calling `sample` after every animation
// step and on every round.
inline bool WaitUntil(const std::function<bool()> &done, int ms = kPatienceMs,
                      const std::function<void()> &sample = {}) {
    QElapsedTimer clock;
    clock.start();
    AnimationClock().onStep = sample;
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (sample)
            sample();
        QThread::msleep(2);
    }
    AnimationClock().onStep = nullptr;
    return done();
}

inline void Spin(int ms) {
    WaitUntil([] { return false; }, ms);
}

inline double Num(QObject *o, const char *property) {
    return QQmlProperty::read(o, property).toDouble();
}
inline QString Str(QObject *o, const char *property) {
    return QQmlProperty::read(o, property).toString();
}
inline bool Flag(QObject *o, const char *property) {
    return QQmlProperty::read(o, property).toBool();
}

class PlayerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(home_.isValid());
        const QString h = home_.path();
        QDir().mkpath(h + "/Documents");
        QDir().mkpath(h + "/run");
        QFile::setPermissions(h + "/run",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir().mkpath(h + "/app");
        qputenv("HOME", h.toUtf8());
        qputenv("XDG_DOCUMENTS_DIR", (h + "/Documents").toUtf8());
        qputenv("XDG_CONFIG_HOME", (h + "/.config").toUtf8());
        qputenv("XDG_CACHE_HOME", (h + "/.cache").toUtf8());
        qputenv("XDG_RUNTIME_DIR", (h + "/run").toUtf8());
        const QString presets = SourceDir() + "/resources/effect.dat";
        if (QFile::exists(presets))
            QFile::copy(presets, h + "/app/effect.dat");
    }

    void TearDown() override {
        player_.reset();
        QCoreApplication::processEvents();
    }

    std::string Home() const { return home_.path().toStdString(); }
    std::string DataDir() const { return Home() + "/Documents/lirvo/"; }

    // A song the scripted library plays: an empty file on disk with these tags.
    std::string AddSong(const std::string &name, const std::string &title, const std::string &artist,
                        int seconds = 180) {
        const std::string path = Home() + "/" + name;
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        audio::testing::FakeFile file;
        file.lengthBytes = static_cast<std::uint64_t>(seconds) * audio::testing::kBytesPerSecond;
        file.title = title;
        file.artist = artist;
        library_.files[path] = file;
        return path;
    }

    // Builds and shows the player; `prepare` may adjust the options first.
    void Start(const std::function<void(app::PlayerAppOptions &)> &prepare = {}) {
        app::PlayerAppOptions options;
        options.Controller.Library = &library_;
        options.Controller.AppDir = Home() + "/app/";
        options.Controller.ExePath = Home() + "/app/lirvo";
        options.Controller.InstallCrashGuard = false;
        options.Controller.LoadPlugins = false;
        options.Controller.StartUpdateCheck = false;
        options.Controller.CreateLrcService = [](const lyrics::TGuid &, const lyrics::LrcServiceOptions &) {
            return std::shared_ptr<lyrics::ILrcService>();
        };
        options.Controller.SetAutorun = [this](bool enable) { autorunCalls_.push_back(enable); };
        options.ListenForCommands = false;
        options.TrayIcon = false;
        options.WatchSessionEnd = false;
        if (prepare)
            prepare(options);
        player_ = std::make_unique<app::PlayerApp>(std::move(options));
        ASSERT_TRUE(player_->Start()) << player_->Error().toStdString();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(player_->Window(), kPatienceMs));
        // The band, the menu, the icon and the engine follow the first frame.
        ASSERT_TRUE(WaitUntil([&] { return player_->Started(); }));
        // The offscreen platform activates every window that shows, the band too (which takes
        // no focus on a real display), so the main window is made the active one again.
        Window()->requestActivate();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window(), kPatienceMs));
    }

    // Lets the start animation run to its end (player faded in, playlist panel open).
    void FinishStartAnimation() {
        QObject *list = Item("ListBox");
        ASSERT_TRUE(WaitUntil(
            [&] { return Flag(list, "visible") && Num(list, "width") == 380 && Num(list, "height") == 423; },
            kPatienceMs));
    }

    QQuickWindow *Window() const { return player_->Window(); }
    shell::TZylMain &Controller() { return player_->Controller(); }
    app::QmlMainView &View() { return player_->View(); }

    QObject *Object(const char *name) const {
        return Window()->findChild<QObject *>(QString::fromLatin1(name));
    }
    QQuickItem *Item(const char *name) const {
        QQuickItem *item = Window()->findChild<QQuickItem *>(QString::fromLatin1(name));
        EXPECT_NE(item, nullptr) << name;
        return item;
    }

    // The row delegates of the playlist, in row order (rows being removed excluded).
    std::vector<QQuickItem *> Rows() const {
        std::vector<QQuickItem *> rows;
        auto *list = Window()->findChild<QQuickItem *>(QStringLiteral("lstDefault"));
        if (!list)
            return rows;
        auto *content = qvariant_cast<QQuickItem *>(list->property("contentItem"));
        for (QQuickItem *child : content->childItems())
            if (child->property("index").isValid() && child->property("index").toInt() >= 0 &&
                child->opacity() == 1.0)
                rows.push_back(child);
        std::sort(rows.begin(), rows.end(), [](QQuickItem *a, QQuickItem *b) {
            return a->property("index").toInt() < b->property("index").toInt();
        });
        return rows;
    }
    static QQuickItem *Child(QQuickItem *row, const char *name) {
        return row->findChild<QQuickItem *>(QString::fromLatin1(name));
    }

    QPoint Centre(QQuickItem *item) const {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    }
    void MoveTo(QQuickItem *item) { QTest::mouseMove(Window(), Centre(item)); }
    void Click(QQuickItem *item) { QTest::mouseClick(Window(), Qt::LeftButton, {}, Centre(item)); }

    QTemporaryDir home_;
    audio::testing::FakeAudioLibrary library_;
    std::vector<bool> autorunCalls_;
    std::unique_ptr<app::PlayerApp> player_;
};

} // namespace lirvo::uitest
