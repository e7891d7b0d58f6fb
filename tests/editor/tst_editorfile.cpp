// The editor and Remove against a real entry file: the bytes on disk after each change,
// and a write the file system refuses.

#include "apprig.h"
#include "editor/dialog.h"
#include "entries/ini/fileprofile.h"
#include "prompt/form2.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kThree = "[count]\n"
                          "c=3\n"
                          "[1]\n"
                          "Action=/home/u/notes.txt\n"
                          "Hotkey=N\n"
                          "Keyword=notes\n"
                          "[2]\n"
                          "Action=http://example.org\n"
                          "Hotkey=F5\n"
                          "Keyword=web\n"
                          "[3]\n"
                          "Action=/usr/bin/calc\n"
                          "Hotkey=Q\n"
                          "Keyword=\n";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<no file>");
    return f.readAll();
}

/// A main window over a real "DAzad.ini" in a temporary folder.
struct Env
{
    std::unique_ptr<AppRig> rig;
    fake::FakePlatform &fp;
    Form1 *f = nullptr;
    QString path;

    explicit Env(const QByteArray &file) : rig(std::make_unique<AppRig>(file)), fp(rig->fp)
    {
        path = rig->store().path();
        rig->store().reload();
        f = &rig->form();
        f->selectRow(1);
    }
    EntryTables &tables() { return rig->tables(); }
    QByteArray bytes() const { return readAll(path); }
    /// Another program replaces the file, as text editors do: a new file renamed over it.
    void replace(const QByteArray &contents) const
    {
        QFile out(path + QStringLiteral(".new"));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(contents) == contents.size());
        out.close();
        QVERIFY(::rename(QFile::encodeName(out.fileName()), QFile::encodeName(path)) == 0);
    }
    void select(int row)
    {
        rig->store().reload();
        f->selectRow(row);
    }
};

/// Takes write permission on the entry file's folder away for as long as it lives: as root,
/// by acting as an unprivileged user (root ignores permission bits); otherwise by the bits.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString &dir, const QString &file) : m_dir(dir), m_file(file)
    {
        ::chmod(QFile::encodeName(m_dir).constData(), 0555);
        ::chmod(QFile::encodeName(m_file).constData(), 0444);
        if (::geteuid() == 0)
            m_dropped = ::seteuid(65534) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (m_dropped && ::seteuid(0) != 0)
            qFatal("could not return to root");
        ::chmod(QFile::encodeName(m_dir).constData(), 0755);
        ::chmod(QFile::encodeName(m_file).constData(), 0644);
    }
    bool effective() const { return ::geteuid() != 0; }

private:
    QString m_dir;
    QString m_file;
    bool m_dropped = false;
};

} // namespace

class TstEditorFile : public QObject
{
    Q_OBJECT
private slots:
    void add_data();
    void add();
    void modify();
    void remove_data();
    void remove();
    void failedSaveLeavesFileAndEditor();
    void anotherProgramsEditSurvives_data();
    void anotherProgramsEditSurvives();
    void theListFollowsTheFile();
    void valuesReadBackExactlyAfterARestart_data();
    void valuesReadBackExactlyAfterARestart();
    void failedRemoveLeavesFileAndList();
};

void TstEditorFile::add_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("hotkey");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("no file: the count comes first")
        << QByteArray() << "notes" << 0 << "C:/notes.txt"
        << QByteArray("[count]\nc=1\n[1]\nAction=C:/notes.txt\nHotkey=\nKeyword=notes\n");
    QByteArray fourth = kThree;
    fourth.replace("c=3", "c=4");
    fourth += "[4]\nAction=/bin/x y\nHotkey=F12\nKeyword=\n";
    QTest::newRow("count 3: section 4") << kThree << "" << 48 << "/bin/x y" << fourth;

    QByteArray leftOver = kThree;
    leftOver.replace("c=3", "c=2");
    QByteArray taken = leftOver;
    taken.replace("Action=/usr/bin/calc\nHotkey=Q\nKeyword=\n",
                  "Action=/opt/new\nHotkey=\nKeyword=fresh\n");
    taken.replace("c=2", "c=3");
    QTest::newRow("over a left-over section with a stale hotkey")
        << leftOver << "fresh" << 0 << "/opt/new" << taken;
}

void TstEditorFile::add()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, keyword);
    QFETCH(int, hotkey);
    QFETCH(QString, action);
    QFETCH(QByteArray, after);
    Env e(before);
    e.f->Add_Click();
    Dialog *d = e.f->editor();
    d->txtkeyword->setText(keyword);
    d->cmbhotkey->setCurrentIndex(hotkey);
    d->txtaction->setText(action);
    d->OKButton_Click();
    QVERIFY(e.fp.dialogs->messages.isEmpty());
    QVERIFY(!e.f->editor());
    QCOMPARE(e.bytes(), after);
}

void TstEditorFile::modify()
{
    Env e(kThree);
    e.select(2);
    e.f->Modify_Click();
    Dialog *d = e.f->editor();
    QCOMPARE(d->cmbhotkey->currentText(), QStringLiteral("F5"));
    d->cmbhotkey->setCurrentIndex(0);
    d->txtaction->setText(QStringLiteral("line\nbreak"));
    d->OKButton_Click();
    QByteArray after = kThree;
    after.replace("Action=http://example.org\nHotkey=F5\n", "Action=line break\nHotkey=\n");
    QCOMPARE(e.bytes(), after);
    QCOMPARE(e.tables().Action.at(1), QStringLiteral("line break"));
}

void TstEditorFile::remove_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("rows");

    QByteArray first = "[count]\n"
                       "c=2\n"
                       "[1]\n"
                       "Action=http://example.org\n"
                       "Hotkey=F5\n"
                       "Keyword=web\n"
                       "[2]\n"
                       "Action=/usr/bin/calc\n"
                       "Hotkey=Q\n"
                       "Keyword=\n"
                       "[3]\n"
                       "Action=/usr/bin/calc\n"
                       "Hotkey=Q\n"
                       "Keyword=\n";
    QTest::newRow("entry 1 of 3") << kThree << 1 << first << 2;
    QByteArray last = kThree;
    last.replace("c=3", "c=2");
    QTest::newRow("last entry: only the count") << kThree << 3 << last << 2;
    const QByteArray only = "[count]\r\nc=1\r\n[1]\r\nAction=/a\r\nKeyword=k\r\n";
    QByteArray none = only;
    none.replace("c=1", "c=0");
    QTest::newRow("only entry, CRLF file") << only << 1 << none << 0;
}

void TstEditorFile::remove()
{
    QFETCH(QByteArray, before);
    QFETCH(int, n);
    QFETCH(QByteArray, after);
    QFETCH(int, rows);
    Env e(before);
    e.select(n);
    e.f->Remove_Click();
    QCOMPARE(e.fp.dialogs->messages.size(), 1);
    QCOMPARE(e.bytes(), after);
    QCOMPARE(e.tables().list()->rowCount(), rows);
}

// Another program changes the file while the list shows it: what the user does next is
// tested and written against the file as it is then, and the other program's change stays.
void TstEditorFile::anotherProgramsEditSurvives_data()
{
    QTest::addColumn<QString>("command"); // "add", "modify" or "remove"
    QTest::addColumn<int>("row");         // selected before the other program's change
    QTest::addColumn<QByteArray>("external");
    QTest::addColumn<QString>("keyword"); // typed into the editor, with the action "/mine"
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("message");

    QByteArray four = kThree;
    four.replace("c=3", "c=4").append("[4]\nAction=/opt/late\nHotkey=\nKeyword=late\n");
    QByteArray five = four;
    five.replace("c=4", "c=5").append("[5]\nAction=/mine\nHotkey=\nKeyword=mine\n");
    QTest::newRow("an appended entry is not overwritten by Add")
        << "add" << 1 << four << "mine" << five << "";
    QTest::newRow("the repeat tests see the appended entry")
        << "add" << 1 << four << "late" << four << "Keyword already exists";

    QByteArray changed = kThree;
    changed.replace("/usr/bin/calc", "/usr/bin/other");
    QTest::newRow("Remove moves the other program's values")
        << "remove" << 1 << changed << ""
        << QByteArray("[count]\nc=2\n[1]\nAction=http://example.org\nHotkey=F5\nKeyword=web\n"
                      "[2]\nAction=/usr/bin/other\nHotkey=Q\nKeyword=\n"
                      "[3]\nAction=/usr/bin/other\nHotkey=Q\nKeyword=\n")
        << "";
    QByteArray two = kThree;
    two.replace("c=3", "c=2");
    QTest::newRow("Modify of an entry the other program removed is refused")
        << "modify" << 3 << two << "mine" << two << "another program";
    QTest::newRow("Modify follows its entry to where it moved")
        << "modify" << 3 << QByteArray("[count]\nc=1\n[1]\nAction=/usr/bin/calc\nHotkey=Q\n")
        << "mine" << QByteArray("[count]\nc=1\n[1]\nAction=/mine\nHotkey=Q\nKeyword=mine\n") << "";
}

void TstEditorFile::anotherProgramsEditSurvives()
{
    QFETCH(QString, command);
    QFETCH(int, row);
    QFETCH(QByteArray, external);
    QFETCH(QString, keyword);
    QFETCH(QByteArray, after);
    QFETCH(QString, message);
    Env e(kThree);
    e.select(row);
    if (command == QLatin1String("remove")) {
        e.replace(external);
        e.f->Remove_Click();
    } else {
        command == QLatin1String("add") ? e.f->Add_Click() : e.f->Modify_Click();
        e.replace(external);
        Dialog *d = e.f->editor();
        d->txtkeyword->setText(keyword);
        d->txtaction->setText(QStringLiteral("/mine"));
        d->OKButton_Click();
    }
    QCOMPARE(e.bytes(), after);
    const QList<fake::ScriptedDialogs::Message> &shown = e.fp.dialogs->messages;
    const QString last = shown.isEmpty() ? QString() : shown.last().text;
    if (message.isEmpty())
        QVERIFY2(last.isEmpty() || command == QLatin1String("remove"), qPrintable(last));
    else
        QVERIFY2(last.contains(message), qPrintable(last));
    // The list shows the file as it is.
    QCOMPARE(e.tables().list()->rowCount(), e.tables().count());
}

// Changed by another program, the file shows in the list and in the prompt's copies without
// anything done by the user.
void TstEditorFile::theListFollowsTheFile()
{
    Env e(QByteArray("[count]\nc=0\n"));
    QVERIFY(e.rig->launcher->Form_Load());
    e.rig->launcher->qlauncher_Click();
    Form2 *prompt = e.rig->launcher->prompt();
    QVERIFY(!prompt->hasEntries());
    e.replace(kThree);
    QTRY_COMPARE_WITH_TIMEOUT(e.tables().list()->rowCount(), 3, 1000);
    QVERIFY(prompt->hasEntries());
    QFile::remove(e.path);
    QTRY_COMPARE_WITH_TIMEOUT(e.tables().list()->rowCount(), 0, 1000);
    e.replace(kThree); // created anew: watched again
    QTRY_COMPARE_WITH_TIMEOUT(e.tables().list()->rowCount(), 3, 1000);
}

// What the editor accepts is what the next start of the program reads.
void TstEditorFile::valuesReadBackExactlyAfterARestart_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("action");
    QTest::newRow("a trailing blank beside the same keyword without") << "notes "
                                                                      << "/n2";
    QTest::newRow("an action of blanks") << "blank"
                                         << "   ";
    QTest::newRow("quotes around") << "\"q\""
                                   << "'/opt/my app'";
    QTest::newRow("a leading byte order mark") << QStringLiteral("\uFEFFbom") << "/b";
}

void TstEditorFile::valuesReadBackExactlyAfterARestart()
{
    QFETCH(QString, keyword);
    QFETCH(QString, action);
    Env e(kThree);
    e.f->Add_Click();
    Dialog *d = e.f->editor();
    d->txtkeyword->setText(keyword);
    d->txtaction->setText(action);
    d->OKButton_Click();
    QVERIFY(e.fp.dialogs->messages.isEmpty());
    // The program ends, and starts again.
    const QString folder = e.rig->dir.path();
    e.rig->launcher.reset();
    fake::FakePlatform again;
    again.bundle.profile = std::make_unique<ini::FileProfile>();
    Launcher restarted(std::move(again.bundle), folder);
    restarted.store().getinfo();
    const EntryTables &t = restarted.store().tables;
    QCOMPARE(t.count(), 4);
    QCOMPARE(t.Keyword.at(3), keyword);
    QCOMPARE(t.Action.at(3), action);
}

void TstEditorFile::failedSaveLeavesFileAndEditor()
{
    Env e(kThree);
    e.f->Add_Click();
    Dialog *d = e.f->editor();
    d->txtkeyword->setText(QStringLiteral("new"));
    d->txtaction->setText(QStringLiteral("/new"));
    {
        ReadOnlyFolder ro(e.rig->dir.path(), e.path);
        if (!ro.effective())
            QSKIP("cannot act as an unprivileged user");
        d->OKButton_Click();
    }
    QCOMPARE(e.fp.dialogs->messages.size(), 1);
    const QString text = e.fp.dialogs->messages.first().text;
    QVERIFY2(text.contains(e.path) && text.contains(QString::fromLocal8Bit(strerror(EACCES))),
             qPrintable(text));
    QCOMPARE(e.f->editor(), d);
    QCOMPARE(d->txtkeyword->text(), QStringLiteral("new"));
    QCOMPARE(e.bytes(), kThree);
    QCOMPARE(e.tables().list()->rowCount(), 3);
}

void TstEditorFile::failedRemoveLeavesFileAndList()
{
    Env e(kThree);
    e.select(1);
    {
        ReadOnlyFolder ro(e.rig->dir.path(), e.path);
        if (!ro.effective())
            QSKIP("cannot act as an unprivileged user");
        e.f->Remove_Click();
    }
    QCOMPARE(e.fp.dialogs->messages.size(), 2);
    const QString text = e.fp.dialogs->messages.at(1).text;
    QVERIFY2(text.contains(e.path) && text.contains(QString::fromLocal8Bit(strerror(EACCES))),
             qPrintable(text));
    QCOMPARE(e.bytes(), kThree);
    QCOMPARE(e.tables().list()->rowCount(), 3);
    QCOMPARE(e.f->selectedRow(), 1);
}

QTEST_MAIN(TstEditorFile)
#include "tst_editorfile.moc"
