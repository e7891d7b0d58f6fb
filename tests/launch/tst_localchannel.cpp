// The channel between copies: a line asked is answered by the copy that listens; a socket
// left by a copy that died is taken over; a second listener is refused; idle connections
// neither pile up nor keep a caller out.

#include "channelclient.h"
#include "platform/localchannel.h"

#include <QtTest>

#include <atomic>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
QByteArray askFromAnotherThread(const QString &name, const QByteArray &line, bool *taken,
                                int ms = 2000)
{
    // The asking side blocks; the listening side needs its event loop meanwhile.
    QByteArray answer;
    std::atomic<bool> done = false;
    std::thread t([&] {
        *taken = platform::askLocalChannel(name, line, ms, &answer);
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i)
        QTest::qWait(10);
    t.join();
    return answer;
}

/// Whether the listener has closed @p fd's connection.
bool closedByServer(int fd)
{
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
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
        QCOMPARE(server.listen(name, &error), platform::LocalChannelServer::Listening);
        bool taken = false;
        QCOMPARE(askFromAnotherThread(name, "show", &taken), QByteArray("ok"));
        QVERIFY(taken);
        QCOMPARE(askFromAnotherThread(name, "other", &taken), QByteArray());
        QVERIFY(taken);
        QCOMPARE(got, (QByteArrayList{"show", "other"}));

        platform::LocalChannelServer second([](const QByteArray &) { return QByteArray("no"); });
        QCOMPARE(second.listen(name, &error), platform::LocalChannelServer::HeldByOther);
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
        QCOMPARE(server.listen(name, &error), platform::LocalChannelServer::Listening);
        bool taken = false;
        QCOMPARE(askFromAnotherThread(name, "show", &taken), QByteArray("ok"));
    }

    // Connections that send no line (or half of one) are held a second at most, a few at a
    // time; a caller is answered among them well within that second.
    void idleConnectionsAreFewAndShortLived()
    {
        const QString name = QStringLiteral("channel-c");
        platform::LocalChannelServer server([](const QByteArray &) { return QByteArray("ok"); });
        QString error;
        QCOMPARE(server.listen(name, &error), platform::LocalChannelServer::Listening);
        const QByteArray path = QFile::encodeName(m_dir.filePath(name));
        QList<int> idle;
        for (int i = 0; i < 40; ++i) {
            idle << idleClient(path, i % 2 ? QByteArray("sho") : QByteArray());
            QVERIFY(idle.last() >= 0);
            QTest::qWait(1);
        }
        QTest::qWait(100);
        const auto stillOpen = [&] {
            return std::count_if(idle.begin(), idle.end(),
                                 [](int fd) { return !closedByServer(fd); });
        };
        QCOMPARE(stillOpen(), 8);
        bool taken = false;
        QCOMPARE(askFromAnotherThread(name, "show", &taken, 500), QByteArray("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(stillOpen(), 0, 1500);
        for (int fd : idle)
            ::close(fd);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TstLocalChannel)
#include "tst_localchannel.moc"
