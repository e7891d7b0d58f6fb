// The program started as a user starts it: tray icon, hidden main window, close box,
// signals, a second copy, a tray that comes up after the program.

#include "harness.h"

#include <QFile>
#include <QtTest>

#include <csignal>

class TstStartup : public QObject
{
    Q_OBJECT

private:
    static QString netWmName(const E2eSession &x, const QString &window)
    {
        return x.run(QStringLiteral("xprop"),
                     {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_NAME")});
    }

private slots:
    void startsHiddenWithOneTrayIcon()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty(),
                                 5000);
        const QString icon = x.trayIconsOfApp().first();
        QVERIFY2(netWmName(x, icon).contains(QLatin1String("\"Dudud Adadadiz\"")),
                 qPrintable(netWmName(x, icon)));
        // Resting the pointer on the icon shows its tip in a tooltip window of the program.
        const QRect g = x.geometry(QString::number(icon.toULongLong(nullptr, 16)));
        x.xdotool({QStringLiteral("mousemove"), QString::number(g.center().x()),
                   QString::number(g.center().y())});
        QTRY_VERIFY_WITH_TIMEOUT(
            x.run(QStringLiteral("sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("for w in $(xdotool search --onlyvisible --class "
                                  "dudud-adadadiz); do xprop -id $w _NET_WM_WINDOW_TYPE; done")})
                .contains(QLatin1String("_NET_WM_WINDOW_TYPE_TOOLTIP")),
            5000);
        x.xdotool({QStringLiteral("mousemove"), QStringLiteral("10"), QStringLiteral("10")});
        // Still running, still one icon a moment later.
        QTest::qWait(500);
        QCOMPARE(x.app()->state(), QProcess::Running);
        QCOMPARE(x.trayIconsOfApp().size(), 1);
    }

    // A value of megabytes (a hand edit, another program) neither freezes the program nor
    // swells it: the list shows the start of it.
    void aHugeValueStaysCheapAndLeftoversGo()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        // And what a write cut short by a crash left beside the file goes at start-up.
        QFile leftover(x.path(QStringLiteral(".DAzad.ini.k3x9Qa")));
        QVERIFY(leftover.open(QIODevice::WriteOnly) && leftover.write("[count]\nc=") == 10);
        leftover.close();
        x.writeEntryFile("[count]\nc=1\n[1]\nAction=/" + QByteArray(10 << 20, 'a') +
                         "\nHotkey=A\nKeyword=huge\n");
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QVERIFY(!leftover.exists());
        QProcess second; // the main window, shown with the row selected
        second.setProcessEnvironment(x.environment());
        second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
        second.waitForFinished(10000);
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).size(), 1,
                                  5000);
        QFile status(QStringLiteral("/proc/%1/status").arg(x.app()->processId()));
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray s = status.readAll();
        const int at = s.indexOf("VmRSS:");
        const qint64 kb =
            s.mid(at + 6, s.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong();
        qInfo("resident memory with a 10 MB action shown: %lld MB", kb / 1024);
        QVERIFY2(kb > 0 && kb < 100 * 1024, s.constData());
    }

    void secondStartShowsTheFirstCopyAndEnds()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty(),
                                 5000);

        QProcess second;
        second.setProcessEnvironment(x.environment());
        second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).size(), 1,
                                  5000);
        QCOMPARE(x.trayIconsOfApp().size(), 1);
        QCOMPARE(x.app()->state(), QProcess::Running);

        // The shown main window is centred on the screen.
        const QRect g = x.geometry(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).first());
        QVERIFY2(qAbs(g.center().x() - 640) <= 20 && qAbs(g.center().y() - 400) <= 40,
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(g.x())
                                .arg(g.y())
                                .arg(g.width())
                                .arg(g.height())));

        // The close box hides it again; the program and its icon stay.
        const QString w = x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).first();
        x.xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), w});
        x.xdotool({QStringLiteral("key"), QStringLiteral("--window"), w, QStringLiteral("alt+F4")});
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty(),
                                 5000);
        QTest::qWait(300);
        QCOMPARE(x.app()->state(), QProcess::Running);
        QCOMPARE(x.trayIconsOfApp().size(), 1);
    }

    void sigtermRemovesTheIconAndEnds_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void sigtermRemovesTheIconAndEnds()
    {
        QFETCH(int, signal);
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        ::kill(pid_t(x.app()->processId()), signal);
        QVERIFY(x.waitForAppExit(5000));
        QCOMPARE(x.app()->exitStatus(), QProcess::NormalExit);
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 0, 5000);
    }

    void iconAppearsWhenTheTrayComesUpLater()
    {
        E2eSession::Options o;
        o.tray = false;
        E2eSession x(o);
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTest::qWait(2000);
        // No tray: the main window is minimised but stays reachable in the taskbar.
        QCOMPARE(x.app()->state(), QProcess::Running);
        QVERIFY(!x.windows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty());
        QVERIFY(x.startTray());
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
