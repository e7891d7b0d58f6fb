// The main window on the offscreen platform: its layout, its menus, and the close and
// minimise rules that hide it in the tray.

#include "apprig.h"

#include <QAction>
#include <QHeaderView>
#include <QMenuBar>
#include <QTreeView>
#include <QtTest>

class TstForm1 : public QObject
{
    Q_OBJECT
private slots:
    void layout()
    {
        AppRig r;
        Form1 &f = r.form();
        QCOMPARE(f.windowTitle(), QStringLiteral("ZIZI Dudud Adadadiz"));
        QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!f.windowIcon().isNull());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.centralWidget()->size(), QSize(514, 457));
        f.hide();
        QCOMPARE(f.ListView1->geometry(), QRect(3, 5, 507, 448));
        QCOMPARE(f.ListView1->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(f.ListView1->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(!f.ListView1->isSortingEnabled());
        QCOMPARE(f.ListView1->model()->columnCount(), 3);
        const QStringList headings = {QStringLiteral("Action"), QStringLiteral("Keyword"),
                                      QStringLiteral("Hotkey")};
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(f.ListView1->model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
            QCOMPARE(f.ListView1->header()->sectionSize(c), f.ListView1->viewport()->width() / 3);
            QVERIFY(f.ListView1->header()->length() <= f.ListView1->viewport()->width());
        }
    }

    void closeBoxMinimisesAndHides()
    {
        AppRig r;
        QVERIFY(r.launcher->Form_Load());
        Form1 &f = r.form();
        f.present();
        QVERIFY(f.isVisible());
        QVERIFY(!(f.windowState() & Qt::WindowMinimized));
        QVERIFY(!f.close());
        QVERIFY(!f.isVisible());
        QCOMPARE(r.ended, 0);
        // Minimised by the window system (its minimise button): hidden as well, and shown
        // again in its normal state.
        f.present();
        QVERIFY(f.isVisible());
        f.setWindowState(Qt::WindowMinimized);
        QVERIFY(!f.isVisible());
        f.present();
        QVERIFY(f.isVisible());
        QVERIFY(!(f.windowState() & Qt::WindowMinimized));
        QVERIFY(r.fp.trayIcon->shown);
    }

    void menus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::newRow("Exit") << "Exit"
                              << "E&xit" << QKeySequence(Qt::CTRL | Qt::Key_X);
        QTest::newRow("Add") << "Add"
                             << "Add..." << QKeySequence(Qt::Key_F3);
        QTest::newRow("Modify") << "Modify"
                                << "Modify..." << QKeySequence(Qt::Key_F4);
        QTest::newRow("Remove") << "Remove"
                                << "Remove" << QKeySequence(Qt::Key_Delete);
        QTest::newRow("contents") << "contents"
                                  << "Contents" << QKeySequence(Qt::Key_F1);
        QTest::newRow("index") << "index"
                               << "Index" << QKeySequence();
        QTest::newRow("About") << "About"
                               << "About" << QKeySequence(Qt::CTRL | Qt::Key_B);
    }

    void menus()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QKeySequence, shortcut);
        AppRig r;
        QAction *a = r.form().action(name);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), shortcut);
    }

    void menuBarOrder()
    {
        AppRig r;
        r.form().show();
        QStringList titles;
        for (QAction *a : r.form().menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&Action", "&Help"}));
    }
};

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
