// The installed program, as a user who may not write its folder and as the folder's owner:
// started through the link in bin/ under a real X server, it adds an entry through the
// editor into that user's configuration folder and writes nothing under the prefix.

#include "harness.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QtTest>

namespace {
/// Every file and folder under @p dir, with its size and time of change.
QStringList tree(const QString &dir)
{
    QStringList all;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo f = it.nextFileInfo();
        all << QStringLiteral("%1 %2 %3")
                   .arg(f.filePath())
                   .arg(f.size())
                   .arg(f.lastModified().toMSecsSinceEpoch());
    }
    all.sort();
    return all;
}
} // namespace

class TstInstalled : public QObject
{
    Q_OBJECT
private slots:
    void addsAnEntryIntoTheConfigFolder_data()
    {
        QTest::addColumn<bool>("asNobody");
        QTest::newRow("a user who may not write the program's folder") << true;
        QTest::newRow("the owner of the installation (root)") << false;
    }

    void addsAnEntryIntoTheConfigFolder()
    {
        QFETCH(bool, asNobody);
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
        QStringList command{"env", "HOME=" + config, "XDG_CONFIG_HOME=" + config,
                            prefix + "/bin/dudud-adadadiz"};
        if (asNobody)
            command =
                QStringList{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"} +
                command;
        x.setAppCommand(command);
        const QStringList installed = tree(prefix);
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);

        QProcess second; // the running copy shows its main window
        second.setProcessEnvironment(x.environment());
        second.start(command.first(), command.mid(1));
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
        QCOMPARE(tree(prefix), installed);
    }
};

QTEST_GUILESS_MAIN(TstInstalled)
#include "tst_installed.moc"
