#include "about/frmabout.h"
#include "editor/dialog.h"
#include "apprig.h"
#include "prompt/form2.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

/// Dark grey pixels of @p w drawn at @p size: the ink of its text (frames and backgrounds are
/// lighter in the default palette, a default button's frame is coloured).
int ink(QWidget *w, const QSize &size)
{
    const QSize before = w->size();
    w->resize(size);
    const QImage img = w->grab().toImage();
    w->resize(before);
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            const int spread =
                std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()});
            n += qGray(c.rgb()) < 100 && spread < 40;
        }
    }
    return n;
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

QTEST_MAIN(TstWindowFonts)
#include "tst_windowfonts.moc"
