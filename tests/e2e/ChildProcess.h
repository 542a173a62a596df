#pragma once
// Processes the end-to-end tests start (players, X servers, buses, helpers) never outlive them:
// each child gets SIGKILL from the kernel when the test program ends, however it ends (a time-out
// that kills it, a crash), and a child still running when its test is done is stopped: SIGTERM,
// a grace period, then SIGKILL, and always reaped. Each child leads a process group of its own,
// and the group is swept with SIGKILL once the child has ended, so that what it forked goes too
// (a forked child that hangs before its exec keeps the name and the signal handlers of its
// parent, and the parent-death signal is not passed on to it).

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

namespace lirvo::e2e {

// Makes `process`, once started, end with the test program.
inline void EndWithTest(QProcess &process) {
    const pid_t test = ::getpid();
    process.setChildProcessModifier([test] {
        // In the child, before exec: only async-signal-safe calls. The parent may have ended
        // before the request took hold; then there is no one to run for.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != test)
            ::_exit(127);
    });
}

// The stacks of every thread of a running process, by gdb where it is installed; for the report
// of a process that had to be killed.
inline std::string ThreadStacks(qint64 pid) {
    const QString gdb = QStandardPaths::findExecutable(QStringLiteral("gdb"));
    if (gdb.isEmpty())
        return "(gdb is not installed: no stacks)";
    QProcess trace;
    EndWithTest(trace);
    trace.setProcessChannelMode(QProcess::MergedChannels);
    trace.start(gdb, {QStringLiteral("-p"), QString::number(pid), QStringLiteral("-batch"),
                      QStringLiteral("-ex"), QStringLiteral("thread apply all bt")});
    if (!trace.waitForFinished(60000)) {
        trace.kill();
        trace.waitForFinished(5000);
        return "(gdb did not finish)";
    }
    return trace.readAll().toStdString();
}

enum class Stopped { NotRunning, OnSignal, Killed };

// Ends a process that may still run: `signal` (SIGTERM unless told), up to `graceMs` for it to
// end, then SIGKILL; the process is reaped in every case. With `stacksBeforeKill`, the stacks
// of a process that ignored the signal go to standard error first.
inline Stopped StopProcess(QProcess &process, int graceMs, bool stacksBeforeKill = false,
                           int signal = SIGTERM) {
    if (process.state() == QProcess::NotRunning)
        return Stopped::NotRunning;
    const qint64 pid = process.processId();
    const auto sweepGroup = [pid] {
        if (pid > 0)
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
    };
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), signal);
    if (process.waitForFinished(graceMs)) {
        sweepGroup();
        return Stopped::OnSignal;
    }
    if (stacksBeforeKill && pid > 0)
        std::fprintf(stderr, "%s (pid %lld) did not end within %d ms of signal %d; its threads:\n%s\n",
                     qPrintable(process.program()), static_cast<long long>(pid), graceMs, signal,
                     ThreadStacks(pid).c_str());
    sweepGroup();
    process.kill();
    process.waitForFinished(30000);
    return Stopped::Killed;
}

} // namespace lirvo::e2e
