// A writer killed at random moments: the entry file always holds the state before or after
// the write in flight, and once swept, nothing else lies beside it.

#include "entries/ini/fileprofile.h"
#include "entries/ini/inifile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kEntries = 3000;
constexpr int kKills = 300;
const char kWriterFlag[] = "--write-loop";

/// Write number @p i of the sequence, on any store with get(section, key) and
/// set(section, key, value). Every fourth is a grouped rewrite shaped like Remove: the
/// entries after a point move down one place, and the one taken out goes last so that the
/// file keeps its size; the others are single writes.
template <typename Store> void applyWrite(Store &store, int i)
{
    if (i % 4 == 0) {
        const int from = 1 + int((qint64(i) * 7919) % kEntries);
        const QStringList keys = {"Action", "Hotkey", "Keyword"};
        QStringList taken;
        for (const QString &k : keys)
            taken << store.get(QString::number(from), k);
        for (int n = from; n < kEntries; ++n) {
            for (const QString &k : keys)
                store.set(QString::number(n), k, store.get(QString::number(n + 1), k));
        }
        for (int k = 0; k < keys.size(); ++k)
            store.set(QString::number(kEntries), keys[k], taken[k]);
        return;
    }
    const QString entry = QString::number(1 + (i * 31) % kEntries);
    store.set(entry, "Keyword", QStringLiteral("k%1%2").arg(i).arg(i % 3 ? "" : " "));
}

struct DocumentStore
{
    ini::IniDocument doc;
    QString get(const QString &s, const QString &k) const
    {
        return doc.value(s, k).value_or(QString());
    }
    void set(const QString &s, const QString &k, const QString &v) { doc.setValue(s, k, v); }
};

struct FileStore
{
    ini::FileProfile profile;
    QString path;
    QString get(const QString &s, const QString &k) { return profile.read(path, s, k, {}); }
    void set(const QString &s, const QString &k, const QString &v)
    {
        if (!profile.write(path, s, k, v).ok)
            std::exit(3);
    }
};

/// The child: writes from number @p first on, telling each number before it starts, until
/// it is killed.
int writeLoop(const QString &path, int first)
{
    FileStore store;
    store.path = path;
    for (int i = first; i < first + 100000; ++i) {
        std::printf("%d\n", i);
        std::fflush(stdout);
        if (i % 4 == 0) {
            platform::ProfileGroup group(store.profile);
            applyWrite(store, i);
            if (!group.commit().ok)
                return 3;
        } else {
            applyWrite(store, i);
        }
    }
    return 0;
}

QByteArray initialFile()
{
    QByteArray out = "[count]\nc=" + QByteArray::number(kEntries) + "\n";
    for (int n = 1; n <= kEntries; ++n) {
        const QByteArray k = QByteArray::number(n);
        out += '[' + k + "]\nAction=C:\\Tools\\app" + k + ".exe\nHotkey=F" +
               QByteArray::number(n % 12 + 1) + "\nKeyword=kw" + k + '\n';
    }
    return out;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TstWriteCrash : public QObject
{
    Q_OBJECT
private slots:
    void killedWritesLeaveBeforeOrAfter();
};

void TstWriteCrash::killedWritesLeaveBeforeOrAfter()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("DAzad.ini");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(initialFile());
    }
    DocumentStore model{ini::IniDocument(contents(path))};
    int done = 0; // the writes the file holds
    int before = 0, after = 0, grouped = 0, leftovers = 0;
    QRandomGenerator random(20240611);

    for (int kill = 0; kill < kKills; ++kill) {
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(),
                     {kWriterFlag, path, QString::number(done + 1)});
        QVERIFY(writer.waitForStarted());
        QVERIFY2(writer.waitForReadyRead(10000), "the writer never started a write");
        QThread::usleep(random.bounded(40000));
        writer.kill();
        QVERIFY(writer.waitForFinished());
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        const QList<QByteArray> told = writer.readAllStandardOutput().trimmed().split('\n');
        const int inFlight = told.last().toInt();
        QVERIFY(inFlight > done);
        DocumentStore next = model;
        for (int i = done + 1; i < inFlight; ++i)
            applyWrite(next, i);
        const QByteArray beforeBytes = next.doc.toBytes();
        applyWrite(next, inFlight);
        const QByteArray afterBytes = next.doc.toBytes();

        const QByteArray now = contents(path);
        if (now == beforeBytes) {
            ++before;
            done = inFlight - 1;
        } else {
            QVERIFY2(now == afterBytes,
                     qPrintable(QStringLiteral("killed in write %1: the file is neither the state "
                                               "before nor after it (%2 bytes)")
                                    .arg(inFlight)
                                    .arg(now.size())));
            ++after;
            done = inFlight;
        }
        grouped += inFlight % 4 == 0;
        model.doc = ini::IniDocument(now);

        const QStringList beside = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        leftovers += int(beside.size()) - 1;
        const platform::SweepResult swept = ini::sweepWriteLeftovers(path);
        QVERIFY2(swept.ok, qPrintable(swept.error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"DAzad.ini"});
    }
    qInfo("%d kills after %d writes: %d left the state before the write in flight, %d the state "
          "after; %d in grouped rewrites of %d entries; %d temporary files were left and swept",
          kKills, done, before, after, grouped, kEntries, leftovers);
    // Kills that all landed between writes would prove nothing about a write cut short.
    QVERIFY(before > 0);
    QVERIFY(grouped > 0);
}

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], kWriterFlag) == 0)
        return writeLoop(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    QCoreApplication app(argc, argv);
    TstWriteCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_writecrash.moc"
