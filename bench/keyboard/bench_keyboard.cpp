// Hotkey monitor latency on a real X server: Ctrl+Shift+N pressed through XTest with random
// timing, from the key press to the tick that hands "n" on. Prints figures; asserts nothing.
//
//   bench_keyboard [presses]
//
// Starts its own Xvfb. Measures the monitor alone (device, snapshot, tick), with and without
// the immediate tick on a key press, and the process's CPU while idle with the 150 ms timer.

#include "launch/hotkeymonitor.h"
#include "platform/x11/x11keyboard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {
constexpr unsigned kcLeftCtrl = 37, kcLeftShift = 50, kcN = 57;

QElapsedTimer g_clock;

struct Press
{
    qint64 sentNs = 0;
    qint64 firedNs = -1;
    int fires = 0;
    int holdMs = 0;
};

double percentile(QList<double> v, double p)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    const double idx = p * (v.size() - 1);
    const int lo = int(idx);
    const int hi = std::min(lo + 1, int(v.size()) - 1);
    return v[lo] + (v[hi] - v[lo]) * (idx - lo);
}

double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Presses Ctrl+Shift+N with random holds and gaps on its own connection and thread.
class Driver : public QThread
{
public:
    Driver(QByteArray display, QList<Press> *presses, std::atomic<int> *current)
        : m_display(std::move(display)), m_presses(presses), m_current(current)
    {
    }
    void run() override
    {
        Display *d = XOpenDisplay(m_display.constData());
        if (!d)
            return;
        auto *rng = QRandomGenerator::global();
        for (int i = 0; i < m_presses->size(); ++i) {
            QThread::msleep(100 + rng->bounded(250));
            Press &p = (*m_presses)[i];
            p.holdMs = 30 + int(rng->bounded(170));
            XTestFakeKeyEvent(d, kcLeftCtrl, True, CurrentTime);
            XTestFakeKeyEvent(d, kcLeftShift, True, CurrentTime);
            XSync(d, False);
            QThread::msleep(5);
            m_current->store(i);
            p.sentNs = g_clock.nsecsElapsed();
            XTestFakeKeyEvent(d, kcN, True, CurrentTime);
            XSync(d, False);
            QThread::msleep(p.holdMs);
            XTestFakeKeyEvent(d, kcN, False, CurrentTime);
            XTestFakeKeyEvent(d, kcLeftShift, False, CurrentTime);
            XTestFakeKeyEvent(d, kcLeftCtrl, False, CurrentTime);
            XSync(d, False);
        }
        QThread::msleep(400); // the last tick
        XCloseDisplay(d);
    }

private:
    QByteArray m_display;
    QList<Press> *m_presses;
    std::atomic<int> *m_current;
};

void runSeries(const QByteArray &display, int count, bool immediate)
{
    platform::X11Keyboard kb(display);
    QString error;
    if (!kb.acquire(&error)) {
        std::printf("acquire failed: %s\n", qPrintable(error));
        return;
    }
    HotkeyMonitor monitor;
    QList<Press> presses(count);
    std::atomic<int> current{-1};
    int stray = 0;
    auto tick = [&] {
        platform::KeyState state{};
        if (!kb.readState(state, &error))
            return;
        const HotkeyMonitor::Decision d = monitor.tick(state, QStringLiteral("1"));
        if (!d.keys.contains(QLatin1String("n")))
            return;
        const int i = current.load();
        if (i < 0) {
            ++stray;
            return;
        }
        Press &p = presses[i];
        if (++p.fires == 1)
            p.firedNs = g_clock.nsecsElapsed();
    };
    QTimer timer;
    timer.setInterval(150);
    QObject::connect(&timer, &QTimer::timeout, tick);
    if (immediate)
        QObject::connect(&kb, &platform::KeyboardDevice::keyPressed, &kb, tick,
                         Qt::QueuedConnection);
    timer.start();

    Driver driver(display, &presses, &current);
    QEventLoop loop;
    QObject::connect(&driver, &QThread::finished, &loop, &QEventLoop::quit);
    driver.start();
    loop.exec();

    QList<double> ms;
    int missed = 0, repeated = 0, shortest = 1000;
    for (const Press &p : presses) {
        shortest = std::min(shortest, p.holdMs);
        if (p.fires == 0)
            ++missed;
        else
            ms << (p.firedNs - p.sentNs) / 1e6;
        if (p.fires > 1)
            ++repeated;
    }
    std::printf("%-28s presses %d (holds %d-200 ms): median %.2f ms, p95 %.2f ms, max %.2f ms, "
                "missed %d, fired more than once %d, stray %d\n",
                immediate ? "tick on press + 150 ms timer" : "150 ms timer only", count, shortest,
                percentile(ms, 0.5), percentile(ms, 0.95), percentile(ms, 1.0), missed, repeated,
                stray);
}

void measureIdle(const QByteArray &display, int seconds, bool readDevice)
{
    platform::X11Keyboard kb(display);
    QString error;
    if (!kb.acquire(&error))
        return;
    HotkeyMonitor monitor;
    QTimer timer;
    timer.setInterval(150);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        platform::KeyState state{};
        if (readDevice)
            kb.readState(state, &error);
        monitor.tick(state, QStringLiteral("1"));
    });
    timer.start();
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = cpuSeconds() - cpu0;
    std::printf("idle, %-26s %.4f %% of a core over %d s\n",
                readDevice ? "device read + tick:" : "tick without device read:",
                100.0 * cpu / (wall.nsecsElapsed() / 1e9), seconds);
}
} // namespace

int main(int argc, char *argv[])
{
    XInitThreads();
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    g_clock.start();

    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        std::printf("Xvfb is not installed\n");
        return 1;
    }
    QProcess server;
    server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    QByteArray display;
    // Held until the end: an X server resets when its last client leaves, and refuses the
    // connections that arrive meanwhile, which would fail the next series' keyboard.
    Display *keep = nullptr;
    for (int n = 120; n < 200 && display.isEmpty(); ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
            QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            continue;
        const QByteArray name = ":" + QByteArray::number(n);
        server.start(
            xvfb, {QString::fromLatin1(name), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!server.waitForStarted(5000))
            break;
        for (int i = 0; i < 100 && server.state() == QProcess::Running; ++i) {
            if ((keep = XOpenDisplay(name.constData()))) {
                display = name;
                break;
            }
            QThread::msleep(50);
        }
        if (display.isEmpty()) { // lost a race for that number: try the next
            server.kill();
            server.waitForFinished(5000);
        }
    }
    if (display.isEmpty()) {
        std::printf("Xvfb did not start\n");
        return 1;
    }

    runSeries(display, count, true);
    runSeries(display, count, false);
    measureIdle(display, 10, true);
    measureIdle(display, 10, false);

    XCloseDisplay(keep);
    server.terminate();
    server.waitForFinished(5000);
    return 0;
}
