// The main window tells the keyboard device the entries' hotkeys at start-up and after each
// reload, each named by its entry.

#include "entries/ini.h"
#include "mainwindow/form1.h"
#include "platform/fake/fakeplatform.h"

#include <QtTest>

using platform::HotkeyUse;

class TstForm1Hotkeys : public QObject
{
    Q_OBJECT
private slots:
    void theDeviceFollowsTheEntries()
    {
        QTemporaryDir dir;
        setProgramDirForTesting(dir.path());
        auto write = [&](const QByteArray &ini) {
            QFile f(dir.filePath(QStringLiteral("DAzad.ini")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
        };
        write("[count]\nc=3\n"
              "[1]\nAction=/bin/true\nHotkey=N\nKeyword=notes\n"
              "[2]\nAction=http://example.com\nHotkey=f5\nKeyword=web\n"
              "[3]\nAction=/tmp\nHotkey=\nKeyword=tmp\n");
        fake::FakePlatform fp;
        Form1 form(std::move(fp.bundle));
        form.endProgram = [] {};
        QVERIFY(form.Form_Load());
        QCOMPARE(fp.keyboard->hotkeys,
                 QList<HotkeyUse>({{QStringLiteral("N"), QStringLiteral("notes")},
                                   {QStringLiteral("f5"), QStringLiteral("web")}}));

        // Changed by another program: an entry without a keyword is named by its action.
        write("[count]\nc=2\n"
              "[1]\nAction=/bin/true\nHotkey=N\nKeyword=notes\n"
              "[2]\nAction=/usr/bin/music\nHotkey=m\nKeyword=\n");
        QVERIFY(form.reloadIfChanged());
        QCOMPARE(fp.keyboard->hotkeys,
                 QList<HotkeyUse>({{QStringLiteral("N"), QStringLiteral("notes")},
                                   {QStringLiteral("m"), QStringLiteral("/usr/bin/music")}}));
        setProgramDirForTesting(QString());
    }
};

QTEST_MAIN(TstForm1Hotkeys)
#include "tst_form1hotkeys.moc"
