#include "about/frmabout.h"
#include "apprig.h"
#include "editor/dialog.h"
#include "ink.h"
#include "prompt/form2.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

/// The ink of the text of @p w drawn at @p size.
int ink(QWidget *w, const QSize &size)
{
    const QSize before = w->size();
    w->resize(size);
    const QImage img = w->grab().toImage();
    w->resize(before);
    return inkIn(img, img.rect());
}

} // namespace

class TstWindowFonts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void textsAreWhole_data();
    void textsAreWhole();
    void mainWindowColumnsShowWholeTexts_data();
    void mainWindowColumnsShowWholeTexts();

private:
    QFont m_default;
};

void TstWindowFonts::initTestCase()
{
    m_default = QApplication::font();
    // A cursor that never blinks is drawn the same in every picture.
    QApplication::setCursorFlashTime(0);
}

void TstWindowFonts::cleanup()
{
    QApplication::setFont(m_default);
}

void TstWindowFonts::textsAreWhole_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<qreal>("points"); // 0: the default font
    QTest::addColumn<QSize>("design");
    const QList<QPair<QString, QSize>> windows{
        {"prompt", QSize(309, 19)}, {"editor", QSize(402, 156)}, {"about", QSize(382, 207)}};
    for (const auto &[window, design] : windows) {
        for (qreal points : {0.0, 12.0, 20.0}) {
            const QString font =
                points == 0 ? QStringLiteral("default font") : QStringLiteral("%1 pt").arg(points);
            QTest::addRow("%s, %s", qPrintable(window), qPrintable(font))
                << window << points << design;
        }
    }
}

void TstWindowFonts::textsAreWhole()
{
    QFETCH(QString, window);
    QFETCH(qreal, points);
    QFETCH(QSize, design);
    if (points > 0) {
        QFont f = m_default;
        f.setPointSizeF(points);
        QApplication::setFont(f);
    }

    AppRig r;
    std::unique_ptr<frmAbout> about;
    QWidget *w = nullptr;
    if (window == QLatin1String("prompt")) {
        r.launcher->qlauncher_Click();
        w = r.launcher->prompt();
    } else if (window == QLatin1String("editor")) {
        r.form().Add_Click();
        w = r.form().editor();
    } else {
        about = std::make_unique<frmAbout>();
        about->show();
        w = about.get();
    }
    QVERIFY(w);
    for (auto *e : w->findChildren<QLineEdit *>())
        e->setText(QStringLiteral("Wgjpq")); // stands for what the user types

    // The design size where the font allows it, never less, and fixed.
    if (points == 0)
        QCOMPARE(w->size(), design);
    QVERIFY(w->width() >= design.width() && w->height() >= design.height());
    QCOMPARE(w->minimumSize(), w->maximumSize());

    const QList<QWidget *> controls = w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *c : controls) {
        if (c->isWindow() || !c->isVisibleTo(w))
            continue;
        const QString name = c->objectName();
        QVERIFY2(w->rect().contains(c->geometry()), qPrintable(name + " leaves the window"));
        for (QWidget *other : controls) {
            const bool byDesign = name == QLatin1String("Label3") &&
                                  other->objectName() == QLatin1String("cmbhotkey");
            if (other != c && !other->isWindow() && other->isVisibleTo(w) && !byDesign &&
                other->objectName() != QLatin1String("Label3")) {
                QVERIFY2(!c->geometry().intersects(other->geometry()),
                         qPrintable(name + " overlaps " + other->objectName()));
            }
        }
        if (auto *l = qobject_cast<QLabel *>(c); l && l->pixmap().isNull()) {
            // The labels are drawn in the window's font; the title is its bold, larger self.
            if (name == QLatin1String("lblTitle")) {
                QCOMPARE(l->font().family(), w->font().family());
                QVERIFY(l->font().pointSizeF() >= w->font().pointSizeF());
            } else {
                QCOMPARE(l->font(), w->font());
            }
        }
        if (!qobject_cast<QLabel *>(c) && !qobject_cast<QLineEdit *>(c) &&
            !qobject_cast<QComboBox *>(c) && !qobject_cast<QPushButton *>(c))
            continue;
        // Whole: the text leaves as much ink at its own size as in a box three times as
        // large, where nothing can be cut off; descenders included. A pixel in a hundred is
        // left to edges blended with a background that shades with the height.
        const int inkHere = ink(c, c->size());
        // Wrapped text is measured at its own width, which decides its lines.
        const auto *wrapped = qobject_cast<QLabel *>(c);
        const bool wraps = wrapped && wrapped->wordWrap();
        const int inkRoomy = ink(c, QSize(c->width() * (wraps ? 1 : 3), c->height() * 3));
        QVERIFY2(inkHere > 0, qPrintable(name + " shows no text"));
        QVERIFY2(inkHere * 100 >= inkRoomy * 99,
                 qPrintable(QStringLiteral("%1 at %2x%3 cuts its text: %4 dark pixels of %5")
                                .arg(name)
                                .arg(c->width())
                                .arg(c->height())
                                .arg(inkHere)
                                .arg(inkRoomy)));
    }
}

void TstWindowFonts::mainWindowColumnsShowWholeTexts_data()
{
    QTest::addColumn<qreal>("points"); // 0: the default font
    QTest::newRow("default font") << 0.0;
    QTest::newRow("12 pt") << 12.0;
    QTest::newRow("20 pt") << 20.0;
}

// Entries as people have them, on a 1280x800 screen: every cell whole, the window on the
// screen.
void TstWindowFonts::mainWindowColumnsShowWholeTexts()
{
    QFETCH(qreal, points);
    if (points > 0) {
        QFont f = m_default;
        f.setPointSizeF(points);
        QApplication::setFont(f);
    }
    AppRig r("[count]\nc=3\n"
             "[1]\nAction=https://www.debian.org/releases/bookworm/\nHotkey=E\nKeyword=debian\n"
             "[2]\nAction=/home/me/Documents/Budget 2026.ods\nHotkey=F12\nKeyword=budget\n"
             "[3]\nAction=/usr/bin/xterm -e htop\nHotkey=T\nKeyword=top\n");
    QVERIFY(r.launcher->Form_Load());
    Form1 &f = r.form();
    f.present();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(f.screen()->availableGeometry(), QRect(0, 0, 1280, 800));
    QVERIFY(f.screen()->availableGeometry().contains(f.frameGeometry()));
    QTreeView *v = f.ListView1;
    v->selectionModel()->clear(); // selected text is light on dark
    QAbstractItemModel *m = v->model();
    for (int c = 0; c < m->columnCount(); ++c) {
        const int width = v->header()->sectionSize(c);
        const QImage here = v->viewport()->grab().toImage();
        v->header()->resizeSection(c, width * 3);
        const QImage roomy = v->viewport()->grab().toImage();
        v->header()->resizeSection(c, width);
        for (int row = 0; row < m->rowCount(); ++row) {
            const QModelIndex i = m->index(row, c);
            const int inkHere = inkIn(here, v->visualRect(i));
            QRect wide = v->visualRect(i);
            wide.setWidth(width * 3);
            const int inkRoomy = inkIn(roomy, wide);
            QVERIFY2(inkHere > 0 && inkHere == inkRoomy,
                     qPrintable(QStringLiteral("\"%1\" cut at %2 px: %3 dark pixels of %4")
                                    .arg(i.data().toString())
                                    .arg(width)
                                    .arg(inkHere)
                                    .arg(inkRoomy)));
        }
    }
}

int main(int argc, char *argv[])
{
    // A screen as large as the laptops' that the main window is sized for.
    qputenv("QT_QPA_PLATFORM",
            "offscreen:configfile=" DUDUD_TEST_DATA_DIR "/screens/1280x800.json");
    QApplication app(argc, argv);
    TstWindowFonts t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_windowfonts.moc"
