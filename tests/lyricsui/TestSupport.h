#pragma once
// Shared pieces of the lyric window and tray tests: one QApplication per test program (offscreen
// platform from the environment), waiting with the event loop running, and a scripted lyric
// service whose searches and downloads can be held until the test releases them.

#include "lyrics/core/LRC_Header.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <vector>

namespace lirvo::testing {

inline QApplication &App() {
    static int argc = 1;
    static char name[] = "lyricsui-tests";
    static char *argv[] = {name, nullptr};
    // Never needs a display, however the test is started.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

// Base of fixtures whose members need the application while they are built.
class QtFixture : public ::testing::Test {
protected:
    QtFixture() { App(); }
};

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
inline bool WaitUntil(const std::function<bool()> &done, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}

// A gate the service waits at while closed.
class Gate {
public:
    explicit Gate(bool open = true) : m_open(open) {}
    void Open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_wake.notify_all();
    }
    void Close() {
        std::lock_guard lock(m_mutex);
        m_open = false;
    }
    void Pass() {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_wake.wait(lock, [this] { return m_open; });
        --m_waiting;
    }
    int Waiting() {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_open;
    int m_waiting = 0;
};

class FakeLrcService : public lyrics::ILrcService {
public:
    std::vector<lyrics::TLrcResult> Results;
    std::map<int32_t, std::string> Texts; // by Id
    Gate SearchGate;
    Gate DownloadGate;
    std::atomic<int> Searches{0};
    std::atomic<int> Downloads{0};

    std::optional<lyrics::TLrcResult> GetResult(int32_t index) override {
        std::lock_guard lock(m_mutex);
        if (index < 0 || index >= static_cast<int32_t>(m_current.size())) {
            return std::nullopt;
        }
        return m_current[static_cast<std::size_t>(index)];
    }
    int32_t GetCount() override {
        std::lock_guard lock(m_mutex);
        return static_cast<int32_t>(m_current.size());
    }
    void Reset() override {
        std::lock_guard lock(m_mutex);
        m_current.clear();
    }
    std::string Download(int32_t id) override {
        ++Downloads;
        DownloadGate.Pass();
        std::lock_guard lock(m_mutex);
        auto it = Texts.find(id);
        return it == Texts.end() ? std::string() : it->second;
    }
    void Search(const std::string &title, const std::string &singer, const std::string &, int32_t) override {
        ++Searches;
        SearchGate.Pass();
        std::lock_guard lock(m_mutex);
        LastTitle = title;
        LastSinger = singer;
        m_current = Results;
    }

    std::string LastTitle;
    std::string LastSinger;

private:
    std::mutex m_mutex;
    std::vector<lyrics::TLrcResult> m_current;
};

} // namespace lirvo::testing
