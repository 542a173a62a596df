#pragma once
// A QCoreApplication for the whole test program (workers deliver to its thread) and a wait
// that runs its event loop until a condition holds.

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

namespace lirvo::lyrics::testing {

class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app = std::make_unique<QCoreApplication>(argc, argv); }
    void TearDown() override { app.reset(); }

private:
    int argc = 1;
    char name[16] = "lyrics-tests";
    char *argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
};

inline bool OnMainThread() {
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs the event loop until `done` holds or `limit` passes; returns whether it held.
inline bool WaitUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

} // namespace lirvo::lyrics::testing
