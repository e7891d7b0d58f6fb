// The entry file's watch: it tells of the entry file, not of other files beside it.

#include "entries/entryfilewatcher.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TstEntryFileWatcher : public QObject
{
    Q_OBJECT
private slots:
    void otherFilesBesideItWakeNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("DAzad.ini"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[count]\nc=0\n");
        f.close();
        EntryFileWatcher w;
        QVERIFY(w.watch(path));
        QSignalSpy spy(&w, &EntryFileWatcher::changed);
        QFile other(dir.filePath(QStringLiteral("app.log")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("x");
        other.close();
        QVERIFY(QFile::remove(other.fileName()));
        QTest::qWait(3 * EntryFileWatcher::settleMs);
        QCOMPARE(spy.count(), 0);
        QVERIFY(f.open(QIODevice::Append));
        f.write("[1]\n");
        f.close();
        QTRY_COMPARE(spy.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TstEntryFileWatcher)
#include "tst_entryfilewatcher.moc"
