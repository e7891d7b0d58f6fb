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
//   bench_app refs [rounds=10] [rest-seconds=10]     only the figures next to the bare Qt
//                                                    tray program

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
#include <functional>
#include <unistd.h>

namespace {

double rssMb(qint64 pid)
{
    return procMb(pid, "status", "VmRSS");
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

// --- Next to the bare Qt tray program -------------------------------------------------------
//
// Each round starts, on one X server with a tray, the bare Qt tray program (the least any Qt
// tray program costs), the program with two entries, and sxhkd (which has no icon); the
// first two alternate which starts first. Measured: start-up to the docked icon, resident
// and proportional memory at rest, and CPU over a rest period.

double pssMb(qint64 pid)
{
    return procMb(pid, "smaps_rollup", "Pss");
}

struct RestFigures
{
    QList<double> startMs, rssMb, pssMb, cpuPercent, wakeupsPerS;
};

struct ReferenceRuns
{
    RestFigures qt, ours, sx;
};

/// Milliseconds from the start of @p start() to an icon of @p wmClass in the tray.
double msToDockedIcon(const E2eSession &x, const QString &wmClass,
                      const std::function<bool()> &start)
{
    const double t0 = nowMs();
    if (!start())
        return -1;
    while (x.trayIconsOf(wmClass).isEmpty()) {
        if (nowMs() - t0 > 20000)
            return -1;
        QThread::msleep(2);
    }
    return nowMs() - t0;
}

bool referenceRound(int round, int restSeconds, ReferenceRuns &r)
{
    E2eSession x;
    if (!x.ok()) {
        std::fprintf(stderr, "session: %s\n", qPrintable(x.error()));
        return false;
    }
    x.writeEntryFile("[count]\nc=2\n[1]\nAction=/bin/true\nHotkey=N\nKeyword=n\n"
                     "[2]\nAction=/bin/false\nHotkey=M\nKeyword=m\n");
    QProcess qt;
    qt.setProcessEnvironment(x.environment());
    auto startQt = [&] {
        return msToDockedIcon(x, QStringLiteral("bench_qttray"), [&] {
            qt.start(QStringLiteral(DUDUD_QTTRAY), {});
            return qt.waitForStarted(5000);
        });
    };
    // Started the same way as the reference, so that both are timed alike.
    QProcess ours;
    ours.setProcessEnvironment(x.environment());
    ours.setWorkingDirectory(x.path(QStringLiteral("home")));
    auto startOurs = [&] {
        return msToDockedIcon(x, QStringLiteral("dudud-adadadiz"), [&] {
            ours.start(x.path(QStringLiteral("dudud-adadadiz")), {});
            return ours.waitForStarted(5000);
        });
    };
    double qtMs, ourMs;
    if (round % 2) {
        ourMs = startOurs();
        qtMs = startQt();
    } else {
        qtMs = startQt();
        ourMs = startOurs();
    }
    if (qtMs < 0 || ourMs < 0) {
        std::fprintf(stderr, "no docked icon: bench_qttray %.0f ms, ours %.0f ms\n", qtMs, ourMs);
        return false;
    }
    r.qt.startMs << qtMs;
    r.ours.startMs << ourMs;
    QProcess sx;
    sx.setProcessEnvironment(x.environment());
    QFile rc(x.path(QStringLiteral("sxhkdrc")));
    rc.open(QIODevice::WriteOnly);
    rc.write("ctrl + shift + n\n    /bin/true\n");
    rc.close();
    sx.start(QStringLiteral("sxhkd"), {QStringLiteral("-c"), rc.fileName()});
    sx.waitForStarted(5000);

    // Let start-up settle: the tray's embedding, the first paints, lazy loading.
    QThread::sleep(2);
    const qint64 pids[3] = {qt.processId(), ours.processId(), sx.processId()};
    RestFigures *into[3] = {&r.qt, &r.ours, &r.sx};
    double cpu0[3];
    QMap<QString, qint64> switches0[3];
    for (int i = 0; i < 3; ++i) {
        cpu0[i] = cpuSeconds(pids[i]);
        switches0[i] = threadSwitches(pids[i]);
    }
    QThread::sleep(restSeconds);
    for (int i = 0; i < 3; ++i) {
        into[i]->wakeupsPerS
            << double(total(switchesBetween(switches0[i], threadSwitches(pids[i])))) / restSeconds;
        into[i]->cpuPercent << 100.0 * (cpuSeconds(pids[i]) - cpu0[i]) / restSeconds;
        into[i]->rssMb << rssMb(pids[i]);
        into[i]->pssMb << pssMb(pids[i]);
    }
    sx.terminate();
    sx.waitForFinished(2000);
    qt.terminate();
    qt.waitForFinished(2000);
    ours.terminate();
    ours.waitForFinished(2000);
    return true;
}

void printReferenceFigures(int rounds, int restSeconds, const ReferenceRuns &r)
{
    std::printf("\nAt rest next to the bare Qt tray program (bench_qttray) and sxhkd: %d rounds, "
                "CPU over %d s\n\n",
                rounds, restSeconds);
    std::printf("%-30s %15s %15s %15s   %-12s %s\n", "", "bare Qt tray", "sxhkd", "ours",
                "ours/Qt tray", "target");
    std::printf("%-30s %15s %15s %15s\n", "", "med / p95", "med / p95", "med / p95");
    auto cell = [](const QList<double> &v) {
        if (v.isEmpty())
            return QStringLiteral("-");
        const Stats st = stats(v);
        return QStringLiteral("%1 / %2").arg(st.median, 0, 'f', 2).arg(st.p95, 0, 'f', 2);
    };
    auto row = [&](const char *what, const QList<double> &qt, const QList<double> &sx,
                   const QList<double> &ours, double maxRatio, double maxAbsolute) {
        const Stats q = stats(qt), o = stats(ours);
        const double ratio = q.median > 0 ? o.median / q.median : -1;
        QString target, verdict;
        bool met = true;
        if (maxAbsolute > 0) {
            target += QStringLiteral("<= %1").arg(maxAbsolute);
            met &= o.median <= maxAbsolute;
        }
        if (maxRatio > 0) {
            if (!target.isEmpty())
                target += QStringLiteral(" and ");
            target += QStringLiteral("<= %1 x Qt tray").arg(maxRatio);
            met &= ratio >= 0 && ratio <= maxRatio;
        }
        if (!target.isEmpty())
            verdict = met ? QStringLiteral("  met") : QStringLiteral("  MISSED");
        std::printf("%-30s %15s %15s %15s   %-12s %s%s\n", what, qPrintable(cell(qt)),
                    qPrintable(cell(sx)), qPrintable(cell(ours)),
                    ratio >= 0 ? qPrintable(QStringLiteral("%1").arg(ratio, 0, 'f', 2)) : "-",
                    qPrintable(target), qPrintable(verdict));
    };
    row("start-up to docked icon (ms)", r.qt.startMs, {}, r.ours.startMs, 1.2, 0);
    row("resident memory, VmRSS (MB)", r.qt.rssMb, r.sx.rssMb, r.ours.rssMb, 1.05, 28);
    row("proportional memory, PSS (MB)", r.qt.pssMb, r.sx.pssMb, r.ours.pssMb, 0, 0);
    row("CPU at rest (% of a core)", r.qt.cpuPercent, r.sx.cpuPercent, r.ours.cpuPercent, 0, 0.1);
    // 0 is the target: any wakeup at all misses it.
    row("wakeups per second at rest", r.qt.wakeupsPerS, r.sx.wakeupsPerS, r.ours.wakeupsPerS, 0,
        1e-9);
    const Stats so = stats(r.ours.rssMb), ss = stats(r.sx.rssMb);
    const Stats po = stats(r.ours.pssMb), ps = stats(r.sx.pssMb);
    std::printf("%-30s VmRSS %.1f x, PSS %.1f x\n", "ours / sxhkd (medians)",
                ss.median > 0 ? so.median / ss.median : -1,
                ps.median > 0 ? po.median / ps.median : -1);
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

    // Next to the bare Qt tray program; "bench_app refs [rounds=10] [rest-seconds=10]" runs
    // only this part.
    {
        const bool only = argc > 1 && QByteArrayView(argv[1]) == "refs";
        const int rounds = only && argc > 2 ? atoi(argv[2]) : 10;
        const int restSeconds = only && argc > 3 ? atoi(argv[3]) : 10;
        ReferenceRuns refs;
        for (int round = 0; round < rounds; ++round) {
            if (!referenceRound(round, restSeconds, refs))
                return 1;
        }
        printReferenceFigures(rounds, restSeconds, refs);
        if (only)
            return 0;
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
