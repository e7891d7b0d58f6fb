// The installed program as a user who may not write its folder: started through the link in
// bin/ under a real X server, it adds an entry through the editor into that user's
// configuration folder.

#include "harness.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TstInstalled : public QObject
{
    Q_OBJECT
private slots:
    void addsAnEntryIntoTheConfigFolder()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        const QString prefix = x.path(QStringLiteral("prefix"));
        QCOMPARE(x.run(QStringLiteral("cmake"), {"--install", DUDUD_BUILD_DIR, "--prefix", prefix},
                       nullptr, 60000)
                     .contains("bin/dudud-adadadiz"),
                 true);
        const QString config = x.path(QStringLiteral("config"));
        QVERIFY(QDir().mkpath(config));
        QFile::setPermissions(x.dir(), QFileDevice::Permissions(0x7755));
        QFile::setPermissions(config, QFileDevice::Permissions(0x7777));
        const QStringList asNobody{"setpriv",
                                   "--reuid=nobody",
                                   "--regid=nogroup",
                                   "--clear-groups",
                                   "env",
                                   "HOME=" + config,
                                   "XDG_CONFIG_HOME=" + config,
                                   prefix + "/bin/dudud-adadadiz"};
        x.setAppCommand(asNobody);
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);

        QProcess second; // the running copy shows its main window
        second.setProcessEnvironment(x.environment());
        second.start(asNobody.first(), asNobody.mid(1));
        QVERIFY(second.waitForFinished(10000));
        const QString title = QStringLiteral("ZIZI Dudud Adadadiz");
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(title).size(), 1, 5000);
        QVERIFY(x.activate(x.visibleWindows(title).first()));
        x.xdotool({"key", "--delay", "60", "F3"});
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("Add\\.\\.\\.")).size(), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(x.focusedWindow(),
                                  x.visibleWindows(QStringLiteral("Add\\.\\.\\.")).first(), 3000);
        x.xdotool({"type", "--delay", "20", "mine"});
        x.xdotool({"key", "--delay", "60", "Tab", "Tab"});
        x.xdotool({"type", "--delay", "20", "/usr/bin/true"});
        x.xdotool({"key", "Return"});

        QFile entries(config + QStringLiteral("/dudud-adadadiz/DAzad.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(entries.exists(), 5000);
        QVERIFY(entries.open(QIODevice::ReadOnly));
        const QByteArray ini = entries.readAll();
        QVERIFY2(ini.contains("c=1") && ini.contains("Keyword=mine") &&
                     ini.contains("Action=/usr/bin/true"),
                 ini.constData());
        QVERIFY(!QFile::exists(prefix + QStringLiteral("/lib/dudud-adadadiz/DAzad.ini")));
    }
};

QTEST_GUILESS_MAIN(TstInstalled)
#include "tst_installed.moc"
