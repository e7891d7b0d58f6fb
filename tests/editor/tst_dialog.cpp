#include "apprig.h"
#include "editor/dialog.h"
#include "entries/ini.h"
#include "platform/fake/fakeprofile.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <memory>

namespace {

const QString kQuestion = QStringLiteral("Are you sure you want to delete the selected item?");

/// A main window over an in-memory entry file. Entries are "keyword|hotkey|action"; a null
/// hotkey part ("keyword||action" still stores an empty one) is written as "-" to leave the
/// key out of its section.
struct Env
{
    // Owned by the launcher's bundle.
    fake::MemoryProfile &profile = *new fake::MemoryProfile;
    AppRig rig{QByteArray(), std::unique_ptr<platform::Profile>(&profile)};
    fake::FakePlatform &fp = rig.fp;
    Form1 *f = nullptr;
    QString path;

    explicit Env(const QStringList &entries, const QString &count = QStringLiteral("auto"))
    {
        path = rig.store().path();
        if (count == QLatin1String("auto")) {
            if (!entries.isEmpty())
                profile.seed(path, "count", "c", QString::number(entries.size()));
        } else if (!count.isNull()) {
            profile.seed(path, "count", "c", count);
        }
        for (int i = 0; i < entries.size(); ++i) {
            const QStringList p = entries.at(i).split(QLatin1Char('|'));
            const QString section = QString::number(i + 1);
            profile.seed(path, section, "Action", p.at(2));
            if (p.at(1) != QLatin1String("-"))
                profile.seed(path, section, "Hotkey", p.at(1));
            profile.seed(path, section, "Keyword", p.at(0));
        }
        rig.store().reload();
        f = &rig.form();
        f->selectRow(1);
    }

    Dialog *editor() const { return f->editor(); }
    QString read(const QString &section, const QString &key)
    {
        return profile.read(path, section, key, QStringLiteral("<missing>"));
    }
    /// The list as shown: "action|keyword|hotkey column" per row.
    QStringList rows()
    {
        QStringList out;
        const QAbstractItemModel *m = rig.tables().list();
        for (int r = 0; r < m->rowCount(); ++r) {
            out << m->index(r, 0).data().toString() + QLatin1Char('|') +
                       m->index(r, 1).data().toString() + QLatin1Char('|') +
                       m->index(r, 2).data().toString();
        }
        return out;
    }
    void select(int row)
    {
        if (row == 0) {
            f->ListView1->selectionModel()->clearSelection();
            return;
        }
        f->ListView1->selectionModel()->select(rig.tables().list()->index(row - 1, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    /// Writes that reached the file, without the folder: "section|key=value".
    QStringList writes() const
    {
        QStringList out;
        for (const QString &l : profile.log)
            out << l.mid(path.size() + 1);
        return out;
    }
    QStringList messageTexts() const
    {
        QStringList out;
        for (const auto &m : std::as_const(fp.dialogs->messages))
            out << m.text;
        return out;
    }
    void fill(const QString &keyword, int hotkey, const QString &action)
    {
        editor()->txtkeyword->setText(keyword);
        editor()->cmbhotkey->setCurrentIndex(hotkey);
        editor()->txtaction->setText(action);
    }
};

const QStringList kThree{"notes|N|/home/u/notes.txt", "web|F5|http://example.org",
                         "|Q|/usr/bin/calc"};

} // namespace

class TstDialog : public QObject
{
    Q_OBJECT
private slots:
    void droppedFileGivesItsPath_data();
    void droppedFileGivesItsPath();
    void layout_data();
    void layout();
    void window();
    void hotkeyList();
    void sharedHotkeyIsToldUnderTheList();
    void tabOrderAndFocus();
    void refusals_data();
    void refusals();
    void add_data();
    void add();
    void addRefusesCountThatIsNoNumber();
    void enterPressesOk();
    void modifyLoads_data();
    void modifyLoads();
    void modifySaves();
    void modifyKeepsLongValuesWhole();
    void modifyAndRemoveNeedARow_data();
    void modifyAndRemoveNeedARow();
    void commandsWhileOpenKeepTheMode();
    void closingClearsModi_data();
    void closingClearsModi();
    void browse_data();
    void browse();
    void failedSaveKeepsEditorOpen_data();
    void failedSaveKeepsEditorOpen();
    void remove_data();
    void remove();
    void removeNotConfirmed();
    void failedRemoveShowsTheFile();
    void removeWhileModifying();
    void exit();
};

void TstDialog::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    const QString kwTip = QStringLiteral("You should at least enter a word or hotkey");
    const QString acTip = QStringLiteral("Type the URL of a webpage or the path of a file");
    QTest::newRow("txtkeyword") << "txtkeyword" << QRect(15, 34, 290, 21) << "" << kwTip;
    QTest::newRow("cmbhotkey") << "cmbhotkey" << QRect(75, 78, 81, 21) << "None" << kwTip;
    QTest::newRow("txtaction") << "txtaction" << QRect(14, 128, 290, 21) << "" << acTip;
    QTest::newRow("cmdbrowse") << "cmdbrowse" << QRect(311, 128, 81, 21) << "Browse"
                               << "";
    QTest::newRow("OKButton") << "OKButton" << QRect(311, 8, 81, 25) << "OK"
                              << "";
    QTest::newRow("CancelButton") << "CancelButton" << QRect(312, 40, 81, 25) << "Cancel"
                                  << "";
    QTest::newRow("Label1") << "Label1" << QRect(8, 15, 50, 14) << "Keyword :"
                            << "";
    QTest::newRow("Label2") << "Label2" << QRect(8, 62, 50, 14) << "Hotkey :"
                            << "";
    QTest::newRow("Label3") << "Label3" << QRect(15, 79, 65, 21) << "Ctrl + Shift +"
                            << "";
    QTest::newRow("Label4") << "Label4" << QRect(8, 109, 50, 14) << "Action :"
                            << "";
}

void TstDialog::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    Env e({});
    e.f->Add_Click();
    QVERIFY(e.editor());
    auto *w = e.editor()->findChild<QWidget *>(name);
    QVERIFY(w);
    // The design holds where the font's text fits it. A label whose text is wider keeps its
    // place and height and grows to the right, moving the list beside Label3 along.
    const QFontMetrics fm(e.editor()->font());
    const int label3Text = fm.horizontalAdvance(e.editor()->Label3->text());
    const bool wider = qobject_cast<QLabel *>(w) && fm.horizontalAdvance(text) > geometry.width();
    const bool pushed = w == e.editor()->cmbhotkey && label3Text > geometry.x() - 15;
    if (wider) {
        QCOMPARE(w->pos(), geometry.topLeft());
        QCOMPARE(w->height(), geometry.height());
        QVERIFY(w->width() >= fm.horizontalAdvance(text));
    } else if (pushed) {
        QCOMPARE(w->y(), geometry.y());
        QCOMPARE(w->size(), geometry.size());
        QVERIFY(w->x() >= 15 + label3Text);
    } else {
        QCOMPARE(w->geometry(), geometry);
    }
    QCOMPARE(w->toolTip(), toolTip);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        QCOMPARE(combo->currentText(), text);
    else
        QCOMPARE(w->property("text").toString(), text);
}

void TstDialog::window()
{
    Env e({});
    e.f->Add_Click();
    Dialog *d = e.editor();
    QVERIFY(d);
    QCOMPARE(d->objectName(), QStringLiteral("Dialog"));
    QCOMPARE(d->windowTitle(), QStringLiteral("Add..."));
    QCOMPARE(d->size(), QSize(402, 156));
    QCOMPARE(d->minimumSize(), QSize(402, 156));
    QCOMPARE(d->maximumSize(), QSize(402, 156));
    const Qt::WindowFlags flags = d->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(d->isVisible());
    QVERIFY(!d->isModal());
    QVERIFY(!d->parentWidget());
    QVERIFY(d->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(d->OKButton->isDefault());
    // The labels' texts are whole at the design sizes (Label3 up to the list it stands by).
    for (QLabel *l : {d->Label1, d->Label2, d->Label4})
        QVERIFY2(QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->width(),
                 qPrintable(l->objectName()));
    QVERIFY(QFontMetrics(d->Label3->font()).horizontalAdvance(d->Label3->text()) <=
            d->cmbhotkey->x() - d->Label3->x());
    // The main window stays usable: a second command reaches the same, single editor.
    e.f->Add_Click();
    QCOMPARE(e.editor(), d);
    const QWidgetList tops = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(tops.begin(), tops.end(),
                           [](QWidget *w) { return qobject_cast<Dialog *>(w) != nullptr; }),
             1);
}

void TstDialog::hotkeyList()
{
    Env e({});
    e.f->Add_Click();
    QComboBox *c = e.editor()->cmbhotkey;
    QStringList expected{"None"};
    expected << QString("1 2 3 4 5 6 7 8 9 0").split(' ');
    expected << QString("A B C D E F G H I J K L M N O P Q R S T U V W X Y Z").split(' ');
    expected << QString("F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12").split(' ');
    QStringList items;
    for (int i = 0; i < c->count(); ++i)
        items << c->itemText(i);
    QCOMPARE(items, expected);
    QVERIFY(!c->isEditable());
    QCOMPARE(c->currentIndex(), 0);
}

// The line under the list comes with a hotkey another program holds, pushes the action row
// down without covering anything, and goes with the next choice.
void TstDialog::sharedHotkeyIsToldUnderTheList()
{
    Env e({});
    e.fp.keyboard->shared = QStringList{"K"};
    e.f->Add_Click();
    Dialog *d = e.editor();
    const QSize design = d->size();
    const int actionTop = d->txtaction->y();
    d->cmbhotkey->setCurrentIndex(editor::hotkeyIndexOf("K"));
    QVERIFY(!d->lblShared->isHidden());
    QCOMPARE(d->lblShared->text(), editor::sharedShortcutNote("K"));
    QVERIFY(d->lblShared->geometry().top() > d->cmbhotkey->geometry().bottom());
    QVERIFY(d->Label4->geometry().top() > d->lblShared->geometry().bottom());
    QVERIFY(d->txtaction->y() > actionTop);
    QVERIFY(d->rect().contains(d->txtaction->geometry()));
    d->cmbhotkey->setCurrentIndex(editor::hotkeyIndexOf("M"));
    QVERIFY(d->lblShared->isHidden());
    QCOMPARE(d->size(), design);
}

void TstDialog::tabOrderAndFocus()
{
    Env e({});
    e.f->Add_Click();
    Dialog *d = e.editor();
    QList<QWidget *> order;
    QWidget *w = d->txtkeyword;
    do {
        if (w->isWindow() || !(w->focusPolicy() & Qt::TabFocus)) {
            w = w->nextInFocusChain();
            continue;
        }
        order << w;
        w = w->nextInFocusChain();
    } while (w != d->txtkeyword && order.size() < 20);
    const QList<QWidget *> expected{d->txtkeyword, d->cmbhotkey, d->txtaction,
                                    d->cmdbrowse,  d->OKButton,  d->CancelButton};
    QCOMPARE(order, expected);
    for (QLabel *l : {d->Label1, d->Label2, d->Label3, d->Label4})
        QCOMPARE(l->focusPolicy(), Qt::NoFocus);
    QCOMPARE(d->focusWidget(), d->txtkeyword);
}

void TstDialog::refusals_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("hotkey");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("message");
    const int N = 24, Q = 27, F5 = 41;
    QTest::newRow("nothing typed") << "" << 0 << ""
                                   << "You should type an Action!";
    QTest::newRow("no action, repeats elsewhere") << "notes" << N << ""
                                                  << "You should type an Action!";
    QTest::newRow("action only") << "" << 0 << "x"
                                 << "You should type at least a Keyword or a Hotkey!";
    QTest::newRow("repeated action with new keyword and hotkey")
        << "fresh" << 1 << "http://example.org"
        << "Action already exists";
    QTest::newRow("repeated action and keyword") << "notes" << N << "/home/u/notes.txt"
                                                 << "Action already exists";
    QTest::newRow("repeated keyword") << "web" << F5 << "new"
                                      << "Keyword already exists";
    QTest::newRow("repeated hotkey") << "fresh" << Q << "new"
                                     << "Hotkey already exists";
    QTest::newRow("repeated hotkey, no keyword") << "" << N << "new"
                                                 << "Hotkey already exists";
}

void TstDialog::refusals()
{
    QFETCH(QString, keyword);
    QFETCH(int, hotkey);
    QFETCH(QString, action);
    QFETCH(QString, message);
    Env e(kThree);
    const QStringList before = e.rows();
    e.f->Add_Click();
    Dialog *d = e.editor();
    e.fill(keyword, hotkey, action);
    d->OKButton->click();

    QCOMPARE(e.fp.dialogs->messages.size(), 1);
    const auto &m = e.fp.dialogs->messages.first();
    QCOMPARE(m.text, message);
    QCOMPARE(m.kind, fake::ScriptedDialogs::Message::Plain);
    QCOMPARE(e.editor(), d);
    QVERIFY(d->isVisible());
    QCOMPARE(d->txtkeyword->text(), keyword);
    QCOMPARE(d->cmbhotkey->currentIndex(), hotkey);
    QCOMPARE(d->txtaction->text(), action);
    QVERIFY(e.writes().isEmpty());
    QCOMPARE(e.rows(), before);
    QVERIFY(!e.f->Modi);
}

void TstDialog::add_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("hotkey");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("lastRow");

    QTest::newRow("no entry file: section 1 and count 1")
        << QStringList() << QString() << "notes" << 0 << "C:/notes.txt"
        << QStringList{"count|c=1", "1|Action=C:/notes.txt", "1|Hotkey=", "1|Keyword=notes"}
        << "C:/notes.txt|notes|";
    QTest::newRow("count 3: section 4 and count 4")
        << kThree << "3"
        << "" << 41 + 3 << "http://new.example"
        << QStringList{"count|c=4", "4|Action=http://new.example", "4|Hotkey=F8", "4|Keyword="}
        << "http://new.example||Ctrl + Shift + F8";
    // A removal left section 3 behind with its hotkey; the new entry takes it over whole.
    QTest::newRow("over a left-over section with a stale hotkey")
        << kThree << "2"
        << "fresh" << 0 << "/opt/new"
        << QStringList{"count|c=3", "3|Action=/opt/new", "3|Hotkey=", "3|Keyword=fresh"}
        << "/opt/new|fresh|";
    QTest::newRow("a second entry without keyword")
        << kThree << "3"
        << "" << 1 << "/bin/two"
        << QStringList{"count|c=4", "4|Action=/bin/two", "4|Hotkey=1", "4|Keyword="}
        << "/bin/two||Ctrl + Shift + 1";
    QTest::newRow("count 0 with old sections")
        << kThree << "0"
        << "k" << 0 << "/a" << QStringList{"count|c=1", "1|Action=/a", "1|Hotkey=", "1|Keyword=k"}
        << "/a|k|";
}

void TstDialog::add()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, count);
    QFETCH(QString, keyword);
    QFETCH(int, hotkey);
    QFETCH(QString, action);
    QFETCH(QStringList, writes);
    QFETCH(QString, lastRow);

    Env e(entries, count);
    const int before = e.rows().size();
    e.f->Add_Click();
    QVERIFY(e.editor());
    QCOMPARE(e.editor()->windowTitle(), QStringLiteral("Add..."));
    e.fill(keyword, hotkey, action);
    e.editor()->OKButton_Click();

    QVERIFY(e.fp.dialogs->messages.isEmpty());
    QCOMPARE(e.writes(), writes);
    QCOMPARE(e.profile.commits, 1);
    QVERIFY(!e.editor());
    QVERIFY(!e.f->Modi);
    QCOMPARE(e.rows().size(), before + 1);
    QCOMPARE(e.rows().last(), lastRow);
    QCOMPARE(e.f->selectedRow(), before + 1);
}

void TstDialog::addRefusesCountThatIsNoNumber()
{
    Env e(kThree, "3x");
    QVERIFY(e.rows().isEmpty());
    e.f->Add_Click();
    e.fill("k", 0, "/a");
    e.editor()->OKButton_Click();
    QCOMPARE(e.fp.dialogs->messages.size(), 1);
    QVERIFY(e.fp.dialogs->messages.first().text.contains("\"3x\""));
    QVERIFY(e.writes().isEmpty());
    QVERIFY(e.editor());
    QCOMPARE(e.read("1", "Action"), QStringLiteral("/home/u/notes.txt"));
}

void TstDialog::enterPressesOk()
{
    Env e({});
    e.f->Add_Click();
    Dialog *d = e.editor();
    QVERIFY(QTest::qWaitForWindowExposed(d));
    QTest::keyClicks(d->txtkeyword, "typed");
    d->txtaction->setText("/bin/true");
    QTest::keyClick(d->txtkeyword, Qt::Key_Return);
    QCOMPARE(e.writes().value(3), QStringLiteral("1|Keyword=typed"));
    QVERIFY(!e.editor());
}

void TstDialog::modifyLoads_data()
{
    QTest::addColumn<QString>("stored"); // "-": no Hotkey key at all
    QTest::addColumn<int>("index");
    QTest::newRow("N") << "N" << 24;
    QTest::newRow("lower-case f5") << "f5" << 41;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("no key") << "-" << 0;
    QTest::newRow("hand-edited name") << "Ctrl" << 0;
}

void TstDialog::modifyLoads()
{
    QFETCH(QString, stored);
    QFETCH(int, index);
    Env e({"first|A|/a", " kw with  spaces |" + stored + "|  C:\\path with spaces\\x.exe "});
    e.select(2);
    e.f->Modify_Click();
    Dialog *d = e.editor();
    QVERIFY(d);
    QVERIFY(e.f->Modi);
    QCOMPARE(d->windowTitle(), QStringLiteral("Modify..."));
    QCOMPARE(d->edit_index, 2);
    QCOMPARE(d->txtkeyword->text(), QStringLiteral(" kw with  spaces "));
    QCOMPARE(d->txtaction->text(), QStringLiteral("  C:\\path with spaces\\x.exe "));
    QCOMPARE(d->cmbhotkey->currentIndex(), index);
    QCOMPARE(d->cmbhotkey->count(), 49);
}

void TstDialog::modifySaves()
{
    Env e(kThree);
    e.select(1);
    e.f->Modify_Click();
    Dialog *d = e.editor();
    // Another entry's keyword is no obstacle when modifying.
    d->txtkeyword->setText("web");
    d->cmbhotkey->setCurrentIndex(0);
    d->OKButton_Click();
    QVERIFY(e.fp.dialogs->messages.isEmpty());
    QCOMPARE(e.writes(), QStringList({"1|Action=/home/u/notes.txt", "1|Hotkey=", "1|Keyword=web"}));
    QVERIFY(!e.f->Modi);
    QVERIFY(!e.editor());
    QCOMPARE(e.rows().first(), QStringLiteral("/home/u/notes.txt|web|"));
    QCOMPARE(e.f->selectedRow(), 1);
}

void TstDialog::modifyKeepsLongValuesWhole()
{
    const QString longAction = "/srv/" + QString(400, QLatin1Char('a'));
    Env e({"k|B|" + longAction});
    e.f->Modify_Click(); // the list selected its first row at load
    QCOMPARE(e.editor()->txtaction->text(), longAction);
    e.editor()->txtkeyword->setText("k2");
    e.editor()->OKButton_Click();
    QCOMPARE(e.read("1", "Action"), longAction);
    QCOMPARE(e.read("1", "Keyword"), QStringLiteral("k2"));
}

void TstDialog::modifyAndRemoveNeedARow_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("row");
    QTest::newRow("no entries") << QStringList() << QString() << 0;
    QTest::newRow("count 0, old sections in the file") << kThree << "0" << 0;
    QTest::newRow("count that is no number") << kThree << "abc" << 0;
    QTest::newRow("entries, no selected row") << kThree << "3" << 0;
}

void TstDialog::modifyAndRemoveNeedARow()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, count);
    QFETCH(int, row);
    Env e(entries, count);
    e.select(row);
    e.f->Modify_Click();
    QVERIFY(!e.editor());
    QVERIFY(!e.f->Modi);
    e.f->Remove_Click();
    QVERIFY(e.fp.dialogs->messages.isEmpty());
    QVERIFY(e.writes().isEmpty());

    // An editor loaded in modify mode anyway has no entry to aim OK at: it opens as an Add.
    e.f->Modi = true;
    std::unique_ptr<Dialog> d(new Dialog(*e.f));
    QCOMPARE(d->windowTitle(), QStringLiteral("Add..."));
    QCOMPARE(d->edit_index, 0);
    QVERIFY(!e.f->Modi);
}

void TstDialog::commandsWhileOpenKeepTheMode()
{
    Env e(kThree);
    e.f->Add_Click();
    Dialog *d = e.editor();
    d->txtkeyword->setText("typed");
    e.f->Modify_Click();
    QCOMPARE(e.editor(), d);
    QVERIFY(!e.f->Modi);
    QCOMPARE(d->windowTitle(), QStringLiteral("Add..."));
    QCOMPARE(d->txtkeyword->text(), QStringLiteral("typed"));
    d->CancelButton_Click();

    e.select(2);
    e.f->Modify_Click();
    d = e.editor();
    QVERIFY(d);
    d->txtaction->setText("changed");
    e.f->Add_Click();
    QCOMPARE(e.editor(), d);
    QVERIFY(e.f->Modi);
    QCOMPARE(d->windowTitle(), QStringLiteral("Modify..."));
    QCOMPARE(d->txtaction->text(), QStringLiteral("changed"));
    d->OKButton_Click();
    QCOMPARE(e.writes().first(), QStringLiteral("2|Action=changed"));
}

void TstDialog::closingClearsModi_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("close box") << "close box";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("OK") << "OK";
}

void TstDialog::closingClearsModi()
{
    QFETCH(QString, way);
    Env e(kThree);
    e.select(3);
    e.f->Modify_Click();
    QPointer<Dialog> d = e.editor();
    QVERIFY(QTest::qWaitForWindowExposed(d));
    if (way == "Cancel")
        QTest::mouseClick(d->CancelButton, Qt::LeftButton);
    else if (way == "close box")
        d->windowHandle()->close();
    else if (way == "Escape")
        QTest::keyClick(d->txtaction, Qt::Key_Escape);
    else
        QTest::mouseClick(d->OKButton, Qt::LeftButton);

    QVERIFY(!e.f->Modi);
    QVERIFY(!e.editor());
    QVERIFY(!d->isVisible());
    QTRY_VERIFY(d.isNull()); // deleted once it has closed
    if (way != "OK")
        QVERIFY(e.writes().isEmpty());
    else
        QCOMPARE(e.writes().size(), 3);

    // The next Add opens an empty Add, whatever the last editor was.
    e.f->Add_Click();
    QCOMPARE(e.editor()->windowTitle(), QStringLiteral("Add..."));
    QVERIFY(e.editor()->txtaction->text().isEmpty());
    QVERIFY(!e.f->Modi);
}

void TstDialog::browse_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a file replaces the address") << "/home/u/doc 1.pdf"
                                                 << "/home/u/doc 1.pdf";
    QTest::newRow("cancelled leaves the box") << ""
                                              << "http://typed.example";
}

void TstDialog::browse()
{
    QFETCH(QString, answer);
    QFETCH(QString, expected);
    Env e({});
    e.f->Add_Click();
    e.editor()->txtaction->setText("http://typed.example");
    e.fp.dialogs->fileAnswers.enqueue(answer);
    QTest::mouseClick(e.editor()->cmdbrowse, Qt::LeftButton);
    QCOMPARE(e.fp.dialogs->fileDialogCalls, 1);
    QCOMPARE(e.editor()->txtaction->text(), expected);
}

void TstDialog::failedSaveKeepsEditorOpen_data()
{
    QTest::addColumn<bool>("modify");
    QTest::addColumn<bool>("failEachWrite");
    QTest::newRow("add, commit fails") << false << false;
    QTest::newRow("add, write refused") << false << true;
    QTest::newRow("modify, commit fails") << true << false;
}

void TstDialog::failedSaveKeepsEditorOpen()
{
    QFETCH(bool, modify);
    QFETCH(bool, failEachWrite);
    Env e(kThree);
    const QStringList before = e.rows();
    e.select(2);
    modify ? e.f->Modify_Click() : e.f->Add_Click();
    Dialog *d = e.editor();
    e.fill("new kw", 5, "/new/action");
    (failEachWrite ? e.profile.failWritesWith : e.profile.failCommitWith) =
        QStringLiteral("Permission denied");
    d->OKButton_Click();

    QCOMPARE(e.fp.dialogs->messages.size(), 1);
    const QString text = e.fp.dialogs->messages.first().text;
    QVERIFY2(text.contains(e.path) && text.contains("Permission denied"), qPrintable(text));
    QCOMPARE(e.fp.dialogs->messages.first().kind, fake::ScriptedDialogs::Message::Error);
    QCOMPARE(e.editor(), d);
    QVERIFY(d->isVisible());
    QCOMPARE(e.f->Modi, modify);
    QCOMPARE(d->txtkeyword->text(), QStringLiteral("new kw"));
    QCOMPARE(d->cmbhotkey->currentIndex(), 5);
    QCOMPARE(d->txtaction->text(), QStringLiteral("/new/action"));
    QVERIFY(e.writes().isEmpty());
    QCOMPARE(e.read("count", "c"), QStringLiteral("3"));
    QCOMPARE(e.rows(), before);

    // Once the file can be written again, the same OK goes through.
    e.profile.failWritesWith.clear();
    e.profile.failCommitWith.clear();
    d->OKButton_Click();
    QVERIFY(!e.editor());
    QCOMPARE(e.writes().size(), modify ? 3 : 4);
}

void TstDialog::remove_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("n");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("selected");
    QTest::newRow("entry 1 of 3")
        << kThree << 1 << QStringList{"count|c=2",     "1|Action=http://example.org", "1|Hotkey=F5",
                                      "1|Keyword=web", "2|Action=/usr/bin/calc",      "2|Hotkey=Q",
                                      "2|Keyword="}
        << QStringList{"http://example.org|web|Ctrl + Shift + F5",
                       "/usr/bin/calc||Ctrl + Shift + Q"}
        << 1;
    QTest::newRow("last entry") << kThree << 3 << QStringList{"count|c=2"}
                                << QStringList{"/home/u/notes.txt|notes|Ctrl + Shift + N",
                                               "http://example.org|web|Ctrl + Shift + F5"}
                                << 2;
    QTest::newRow("only entry") << QStringList{"k|-|/a"} << 1 << QStringList{"count|c=0"}
                                << QStringList() << 0;
}

void TstDialog::remove()
{
    QFETCH(QStringList, entries);
    QFETCH(int, n);
    QFETCH(QStringList, writes);
    QFETCH(QStringList, rows);
    QFETCH(int, selected);
    Env e(entries);
    e.select(n);
    e.f->Remove_Click();

    QCOMPARE(e.fp.dialogs->messages.size(), 1);
    QCOMPARE(e.fp.dialogs->messages.first().text, kQuestion);
    QCOMPARE(e.fp.dialogs->messages.first().kind, fake::ScriptedDialogs::Message::Question);
    QCOMPARE(e.writes(), writes);
    QCOMPARE(e.profile.commits, 1);
    QCOMPARE(e.rows(), rows);
    QCOMPARE(e.f->selectedRow(), selected);
    // The old last section stays in the file as it was.
    const QString last = QString::number(entries.size());
    QCOMPARE(e.read(last, "Action"), entries.last().section(QLatin1Char('|'), 2));
}

void TstDialog::removeNotConfirmed()
{
    Env e(kThree);
    e.select(2);
    e.fp.dialogs->answers.enqueue(false);
    e.f->Remove_Click();
    QCOMPARE(e.messageTexts(), QStringList{kQuestion});
    QVERIFY(e.writes().isEmpty());
    QCOMPARE(e.rows().size(), 3);
}

void TstDialog::failedRemoveShowsTheFile()
{
    Env e(kThree);
    e.select(1);
    e.profile.failCommitWith = QStringLiteral("No space left on device");
    e.f->Remove_Click();
    QCOMPARE(e.fp.dialogs->messages.size(), 2);
    const QString text = e.fp.dialogs->messages.at(1).text;
    QVERIFY2(text.contains(e.path) && text.contains("No space left on device"), qPrintable(text));
    QVERIFY(e.writes().isEmpty());
    QCOMPARE(e.rows().size(), 3);
    QCOMPARE(e.rows().first(), QStringLiteral("/home/u/notes.txt|notes|Ctrl + Shift + N"));
    QCOMPARE(e.f->selectedRow(), 1);
}

void TstDialog::removeWhileModifying()
{
    Env e(kThree);
    e.select(3);
    e.f->Modify_Click();
    Dialog *d = e.editor();
    e.select(1);
    e.f->Remove_Click();
    QCOMPARE(d->edit_index, 2);
    d->txtkeyword->setText("calc");
    d->OKButton_Click();
    QCOMPARE(e.read("2", "Keyword"), QStringLiteral("calc"));
    QCOMPARE(e.read("2", "Action"), QStringLiteral("/usr/bin/calc"));

    // The entry being modified is removed: OK has nothing left to write to.
    e.select(2);
    e.f->Modify_Click();
    d = e.editor();
    e.f->Remove_Click();
    const int before = e.writes().size();
    d->OKButton_Click();
    QCOMPARE(e.messageTexts().last(),
             QStringLiteral("The entry being modified is no longer in the list."));
    QCOMPARE(e.writes().size(), before);
    QCOMPARE(e.editor(), d);
}

void TstDialog::exit()
{
    Env e({});
    e.f->Exit_Click();
    QCOMPARE(e.rig.ended, 1);
    QVERIFY(!e.fp.trayIcon->shown);
}

void TstDialog::droppedFileGivesItsPath_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QString>("text");
    QTest::newRow("a file") << QList<QUrl>{QUrl::fromLocalFile("/home/u/my notes.txt")}
                            << "/home/u/my notes.txt";
    QTest::newRow("a web address stays the line edit's own")
        << QList<QUrl>{QUrl("https://example.org/a")} << "https://example.org/a";
}

void TstDialog::droppedFileGivesItsPath()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QString, text);
    Env e({});
    e.f->Add_Click();
    QLineEdit *box = e.editor()->txtaction;
    QMimeData data; // as a file manager or a browser offers it: the address, also as text
    data.setUrls(urls);
    data.setText(urls.first().toString());
    const QPoint at = box->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &drop);
    QCOMPARE(box->text(), text);
}

QTEST_MAIN(TstDialog)
#include "tst_dialog.moc"
