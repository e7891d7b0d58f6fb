// The real program under Xvfb with a tray, next to sxhkd with one Ctrl+Shift binding,
// measured in the same run:
//   - start-up: from the start of the process to the tray icon shown (ours), and to the
//     first hotkey served (both);
//   - resident memory after start-up;
//   - CPU time and wakeups (context switches of all threads) over an idle period;
//   - hotkey latency: from the XTest key press to the action's process starting, over
//     presses with random timing (holds from 30 ms), both programs bound to the same keys
//     and answering the same presses.
// Prints figures; asserts nothing.
//
//   bench_app [runs=5] [presses=50] [idle-seconds=60]

#include "benchfigures.h"
#include "harness.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

double rssMb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray s = f.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

/// Voluntary and involuntary context switches of each thread of @p pid so far, by
/// "<name> <thread id>": every time one of them went to sleep and was woken again, or was
/// preempted.
QMap<QString, qint64> threadSwitches(qint64 pid)
{
    const QString taskDir = QStringLiteral("/proc/%1/task").arg(pid);
    QMap<QString, qint64> out;
    for (const QString &tid : QDir(taskDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(taskDir + QLatin1Char('/') + tid + QStringLiteral("/status"));
        if (!f.open(QIODevice::ReadOnly))
            continue; // the thread has just ended
        QString name;
        qint64 sum = 0;
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.startsWith("Name:"))
                name = QString::fromUtf8(line.mid(5).trimmed());
            else if (line.startsWith("voluntary_ctxt_switches:") ||
                     line.startsWith("nonvoluntary_ctxt_switches:"))
                sum += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        out.insert(name + QLatin1Char(' ') + tid, sum);
    }
    return out;
}

/// The switches of each thread between two readings; a thread that began meanwhile counts
/// from 0, and one that ended meanwhile counts once, for the wakeup that ended it.
QMap<QString, qint64> switchesBetween(const QMap<QString, qint64> &before,
                                      const QMap<QString, qint64> &after)
{
    QMap<QString, qint64> out;
    for (auto it = after.begin(); it != after.end(); ++it)
        out.insert(it.key(), it.value() - before.value(it.key()));
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            out.insert(it.key() + QStringLiteral(" (ended)"), 1);
    }
    return out;
}

qint64 total(const QMap<QString, qint64> &m)
{
    qint64 sum = 0;
    for (qint64 v : m)
        sum += v;
    return sum;
}

/// Lines "<tag> <ms since the epoch>" written by the action scripts.
QList<QPair<QString, double>> stamps(const E2eSession &x)
{
    QList<QPair<QString, double>> out;
    QFile f(x.path(QStringLiteral("stamps.txt")));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> p = line.split(' ');
        if (p.size() == 2)
            out.append({QString::fromLatin1(p[0]), p[1].toDouble() * 1000.0});
    }
    return out;
}

QString writeStampScript(const E2eSession &x, const QString &tag)
{
    const QString file = x.path(tag + QStringLiteral(".sh"));
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("#!/bin/bash\necho \"%1 $EPOCHREALTIME\" >> '%2'\n")
                .arg(tag, x.path(QStringLiteral("stamps.txt")))
                .toUtf8());
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return file;
}

void printRow(const char *what, const Stats &a, const Stats &b, const char *unit,
              const char *target)
{
    std::printf("%-44s %9.2f %9.2f   %9.2f %9.2f  %-3s  %s\n", what, a.median, a.p95, b.median,
                b.p95, unit, target);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 5;
    const int presses = argc > 2 ? atoi(argv[2]) : 50;
    const int idleSeconds = argc > 3 ? atoi(argv[3]) : 60;
    if (QStandardPaths::findExecutable(QStringLiteral("sxhkd")).isEmpty()) {
        std::fprintf(stderr, "sxhkd is not installed (bench/run installs it)\n");
        return 1;
    }

    QList<double> ourStart, ourReady, sxStart, ourRss, sxRss, ourCpu, sxCpu, ourLat, sxLat, ourWake,
        sxWake, ourWakeTotal, sxWakeTotal;
    QMap<QString, qint64> ourThreads; // of the last round
    int ourMissed = 0, sxMissed = 0, ourTwice = 0, sxTwice = 0;

    for (int run = 0; run < runs; ++run) {
        E2eSession x;
        if (!x.ok()) {
            std::fprintf(stderr, "session: %s\n", qPrintable(x.error()));
            return 1;
        }
        const QString ours = writeStampScript(x, QStringLiteral("ours"));
        const QString theirs = writeStampScript(x, QStringLiteral("sxhkd"));
        x.writeEntryFile("[count]\nc=1\n[1]\nAction=" + ours.toUtf8() + "\nHotkey=N\nKeyword=n\n");
        QFile rc(x.path(QStringLiteral("sxhkdrc")));
        rc.open(QIODevice::WriteOnly);
        rc.write("ctrl + shift + n\n    " + theirs.toUtf8() + "\n");
        rc.close();

        // Ours: start to tray icon, then to the first hotkey served.
        const double t0 = nowMs();
        if (!x.startApp()) {
            std::fprintf(stderr, "app: %s\n", qPrintable(x.error()));
            return 1;
        }
        while (x.trayIconsOfApp().isEmpty() && nowMs() - t0 < 10000)
            QThread::msleep(5);
        ourStart << nowMs() - t0;
        auto firstServed = [&](const QString &tag, double since) {
            while (nowMs() - since < 10000) {
                x.chord({E2eSession::KeyLCtrl, E2eSession::KeyLShift, E2eSession::KeyN}, 20);
                for (const auto &s : stamps(x)) {
                    if (s.first == tag)
                        return s.second - since;
                }
                QThread::msleep(20);
            }
            return -1.0;
        };
        ourReady << firstServed(QStringLiteral("ours"), t0);

        // sxhkd: start to the first hotkey served.
        QProcess sx;
        sx.setProcessEnvironment(x.environment());
        const double t1 = nowMs();
        sx.start(QStringLiteral("sxhkd"),
                 {QStringLiteral("-c"), x.path(QStringLiteral("sxhkdrc"))});
        sx.waitForStarted();
        sxStart << firstServed(QStringLiteral("sxhkd"), t1);
        QThread::msleep(500);

        ourRss << rssMb(x.app()->processId());
        sxRss << rssMb(sx.processId());

        // Idle CPU and wakeups, both at once. This process only sleeps meanwhile, so that
        // nothing here wakes either program.
        if (idleSeconds > 0) {
            const qint64 ourPid = x.app()->processId(), sxPid = sx.processId();
            const double a0 = cpuSeconds(ourPid), b0 = cpuSeconds(sxPid);
            const QMap<QString, qint64> w0 = threadSwitches(ourPid), v0 = threadSwitches(sxPid);
            QThread::sleep(idleSeconds);
            ourThreads = switchesBetween(w0, threadSwitches(ourPid));
            const qint64 w = total(ourThreads);
            const qint64 v = total(switchesBetween(v0, threadSwitches(sxPid)));
            ourCpu << 100.0 * (cpuSeconds(ourPid) - a0) / idleSeconds;
            sxCpu << 100.0 * (cpuSeconds(sxPid) - b0) / idleSeconds;
            ourWake << double(w) / idleSeconds;
            sxWake << double(v) / idleSeconds;
            ourWakeTotal << double(w);
            sxWakeTotal << double(v);
        }

        // Latency: one press answered by both.
        if (run == 0) {
            QFile::remove(x.path(QStringLiteral("stamps.txt")));
            auto *rng = QRandomGenerator::global();
            for (int i = 0; i < presses; ++i) {
                QThread::msleep(200 + rng->bounded(400));
                x.keyEvent(E2eSession::KeyLCtrl, true);
                x.keyEvent(E2eSession::KeyLShift, true);
                QThread::msleep(20);
                QFile::remove(x.path(QStringLiteral("stamps.txt")));
                const double sent = nowMs();
                x.keyEvent(E2eSession::KeyN, true);
                QThread::msleep(30 + rng->bounded(170));
                x.keyEvent(E2eSession::KeyN, false);
                x.keyEvent(E2eSession::KeyLShift, false);
                x.keyEvent(E2eSession::KeyLCtrl, false);
                QThread::msleep(250);
                int o = 0, s = 0;
                for (const auto &st : stamps(x)) {
                    if (st.first == QLatin1String("ours")) {
                        if (++o == 1)
                            ourLat << st.second - sent;
                    } else if (++s == 1) {
                        sxLat << st.second - sent;
                    }
                }
                ourMissed += o == 0;
                sxMissed += s == 0;
                ourTwice += o > 1;
                sxTwice += s > 1;
            }
        }
        sx.terminate();
        sx.waitForFinished(2000);
    }

    // One action of 10 MB (a hand edit or another program): start-up and memory with it, the
    // main window shown with its row selected.
    QList<double> hugeStart, hugeRss;
    for (int run = 0; run < runs; ++run) {
        E2eSession x;
        if (!x.ok())
            return 1;
        x.writeEntryFile("[count]\nc=1\n[1]\nAction=/" + QByteArray(10 << 20, 'a') +
                         "\nHotkey=N\nKeyword=n\n");
        const double t0 = nowMs();
        if (!x.startApp())
            return 1;
        while (x.trayIconsOfApp().isEmpty() && nowMs() - t0 < 20000)
            QThread::msleep(5);
        hugeStart << nowMs() - t0;
        QProcess second;
        second.setProcessEnvironment(x.environment());
        second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
        second.waitForFinished(10000);
        QThread::msleep(500);
        hugeRss << rssMb(x.app()->processId());
    }

    std::printf("\n%d runs; %d presses with random timing (holds 30-200 ms)\n\n", runs, presses);
    std::printf("%-44s %9s %9s   %9s %9s\n", "", "ours med", "ours p95", "sxhkd med", "sxhkd p95");
    printRow("start-up to tray icon shown / process ready", stats(ourStart), stats(sxStart), "ms",
             "target < 400 ms (ours)");
    printRow("start-up to first hotkey served", stats(ourReady), stats(sxStart), "ms", "");
    printRow("resident memory after start-up", stats(ourRss), stats(sxRss), "MB", "target < 40 MB");
    if (idleSeconds > 0) {
        printRow(qPrintable(QStringLiteral("CPU over %1 s idle").arg(idleSeconds)), stats(ourCpu),
                 stats(sxCpu), "%", "target < 0.1 % of a core");
        printRow("wakeups per second at rest", stats(ourWake), stats(sxWake), "/s",
                 "target 0 wakeups over 60 s");
        printRow(qPrintable(QStringLiteral("wakeups over %1 s at rest").arg(idleSeconds)),
                 stats(ourWakeTotal), stats(sxWakeTotal), "", "");
        std::printf("  ours by thread, last round:");
        for (auto it = ourThreads.begin(); it != ourThreads.end(); ++it)
            std::printf(" %s: %lld;", qPrintable(it.key()), it.value());
        std::printf("\n");
    }
    printRow("key press to action started", stats(ourLat), stats(sxLat), "ms",
             "target: below sxhkd's");
    const Stats hs = stats(hugeStart), hr = stats(hugeRss), os = stats(ourStart);
    std::printf("%-44s %9.2f %9.2f   %9s %9s  ms   %.2f x the normal start-up (target <= 2)\n",
                "start-up to tray icon, one 10 MB action", hs.median, hs.p95, "", "",
                hs.median / os.median);
    std::printf("%-44s %9.2f %9.2f   %9s %9s  MB   target < 100 MB\n",
                "memory, 10 MB action, main window shown", hr.median, hr.p95, "", "");
    std::printf("\nmissed presses: ours %d, sxhkd %d of %d; fired twice: ours %d, sxhkd %d\n",
                ourMissed, sxMissed, presses, ourTwice, sxTwice);
    return 0;
}
