// The channel between copies: a line asked is answered by the copy that listens; a socket
// left by a copy that died is taken over; a second listener is refused.

#include "platform/localchannel.h"

#include <QtTest>

#include <atomic>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
QByteArray askFromAnotherThread(const QString &name, const QByteArray &line, bool *taken)
{
    // The asking side blocks; the listening side needs its event loop meanwhile.
    QByteArray answer;
    std::atomic<bool> done = false;
    std::thread t([&] {
        *taken = platform::askLocalChannel(name, line, 2000, &answer);
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i)
        QTest::qWait(10);
    t.join();
    return answer;
}
} // namespace

class TstLocalChannel : public QObject
{
    Q_OBJECT
private slots:
    void init() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path())); }

    void askedLinesAreAnswered()
    {
        const QString name = QStringLiteral("channel-a");
        QVERIFY(!platform::askLocalChannel(name, "show", 200));
        QByteArrayList got;
        platform::LocalChannelServer server([&](const QByteArray &l) {
            got << l;
            return l == "show" ? QByteArray("ok") : QByteArray();
        });
        QString error;
        QVERIFY2(server.listen(name, &error), qPrintable(error));
        bool taken = false;
        QCOMPARE(askFromAnotherThread(name, "show", &taken), QByteArray("ok"));
        QVERIFY(taken);
        QCOMPARE(askFromAnotherThread(name, "other", &taken), QByteArray());
        QVERIFY(taken);
        QCOMPARE(got, (QByteArrayList{"show", "other"}));

        platform::LocalChannelServer second([](const QByteArray &) { return QByteArray("no"); });
        QVERIFY(!second.listen(name, &error));
        QCOMPARE(askFromAnotherThread(name, "show", &taken), QByteArray("ok"));
    }

    void aSocketLeftByADeadCopyIsTakenOver()
    {
        const QString name = QStringLiteral("channel-b");
        // Bound and listening, then gone without removing its file, as after SIGKILL.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(m_dir.filePath(name));
        qstrncpy(addr.sun_path, path.constData(), sizeof addr.sun_path);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
        QVERIFY(::listen(fd, 1) == 0);
        ::close(fd);
        QVERIFY(QFile::exists(m_dir.filePath(name)));

        platform::LocalChannelServer server([](const QByteArray &) { return QByteArray("ok"); });
        QString error;
        QVERIFY2(server.listen(name, &error), qPrintable(error));
        bool taken = false;
        QCOMPARE(askFromAnotherThread(name, "show", &taken), QByteArray("ok"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TstLocalChannel)
#include "tst_localchannel.moc"
