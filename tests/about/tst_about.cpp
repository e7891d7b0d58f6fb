#include "about/frmabout.h"
#include "apprig.h"
#include "ui/programicon.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QList<frmAbout *> aboutBoxes()
{
    QList<frmAbout *> out;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *a = qobject_cast<frmAbout *>(w); a && a->isVisible())
            out << a;
    }
    return out;
}

void processDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class TstAbout : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void texts();
    void programIconSizes_data();
    void programIconSizes();
    void geometry_data();
    void geometry();
    void fixedDialogBorder();
    void textsFitTheirLabels_data();
    void textsFitTheirLabels();
    void closing_data();
    void closing();
    void oneAboutBoxFromTheMainWindow();
    void comesBackInFrontOfTheMainWindow();
    void leavesOtherWindowsAlone();
};

void TstAbout::cleanup()
{
    for (frmAbout *a : aboutBoxes())
        delete a;
    processDeletes();
}

void TstAbout::programIconSizes_data()
{
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("drawnFrom"); // the size whose image it is made from
    QTest::newRow("16 from the XPM") << 16 << 32;
    QTest::newRow("22 from the XPM") << 22 << 32;
    QTest::newRow("24 from the XPM") << 24 << 32;
    QTest::newRow("32 is the XPM") << 32 << 32;
    QTest::newRow("100 from 128") << 100 << 128;
    QTest::newRow("256 exact") << 256 << 256;
    QTest::newRow("512 from the largest") << 512 << 256;
}

void TstAbout::programIconSizes()
{
    QFETCH(int, asked);
    QFETCH(int, drawnFrom);
    const QString file = drawnFrom == 32
                             ? QStringLiteral(":/icons/dudud.xpm")
                             : QStringLiteral(DUDUD_TEST_DATA_DIR
                                              "/../../resources/icons/dudud-adadadiz-%1.png")
                                   .arg(drawnFrom);
    const QImage expected = QImage(file)
                                .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                .scaled(asked, asked, Qt::KeepAspectRatio,
                                        Qt::SmoothTransformation);
    const QIcon icon = ui::programIcon();
    QCOMPARE(icon.pixmap(asked, asked).toImage().convertToFormat(expected.format()), expected);
    QCOMPARE(icon.availableSizes().size(), 5);
    QVERIFY(!icon.pixmap(asked, asked, QIcon::Disabled).isNull());
}

void TstAbout::texts()
{
    frmAbout box;
    QCOMPARE(box.windowTitle(), QStringLiteral("About ZIZI Dudud Adadadiz"));
    QCOMPARE(box.lblTitle->text(), QStringLiteral("ZIZI Dudud Adadadiz"));
    QVERIFY(box.lblTitle->font().bold());
    QCOMPARE(box.lblTitle->font().pointSizeF(), 9.75);
    QCOMPARE(box.lblTitle->font().styleHint(), QFont::SansSerif);
    QCOMPARE(box.lblVersion->text(), QStringLiteral("Version 1.00"));
    QVERIFY(box.lblDescription->text().startsWith(
        QStringLiteral("Copyright (C) 2026 the Dudud Adadadiz developers.")));
    QCOMPARE(box.cmdOK->text(), QStringLiteral("OK"));

    const QPixmap icon = box.picIcon->pixmap();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(icon.toImage(), ui::programIcon().pixmap(32, 32).toImage());

    QVERIFY(box.Timer1.isActive());
}

void TstAbout::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    // Design twips divided by 15.
    QTest::newRow("picIcon") << "picIcon" << QRect(16, 16, 34, 34);
    QTest::newRow("lblTitle") << "lblTitle" << QRect(70, 25, 259, 23);
    QTest::newRow("lblVersion") << "lblVersion" << QRect(70, 52, 259, 15);
    QTest::newRow("lblDescription") << "lblDescription" << QRect(70, 75, 259, 78);
    QTest::newRow("cmdOK") << "cmdOK" << QRect(283, 175, 84, 23);
    QTest::newRow("Line1 (grey at y 163, white below)") << "Line1" << QRect(6, 163, 372, 3);
}

void TstAbout::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    frmAbout box;
    box.show();
    auto *w = box.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), rect);

    // Everything lies inside the client area.
    QVERIFY(QRect(QPoint(0, 0), box.size()).contains(w->geometry()));
}

void TstAbout::fixedDialogBorder()
{
    frmAbout box;
    box.show();
    QCOMPARE(box.size(), QSize(382, 207));
    QCOMPARE(box.minimumSize(), QSize(382, 207));
    QCOMPARE(box.maximumSize(), QSize(382, 207));
    const Qt::WindowFlags f = box.windowFlags();
    QVERIFY(!(f & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(f & Qt::WindowMaximizeButtonHint));
    QVERIFY(f & Qt::WindowCloseButtonHint);
    QVERIFY(!(f & Qt::WindowStaysOnTopHint));
    QVERIFY(!box.parentWidget());

    // The separator is drawn: grey on top, white below, across the box.
    const QImage img = box.grab().toImage();
    QCOMPARE(img.pixelColor(100, 163), QColor(128, 128, 128));
    QCOMPARE(img.pixelColor(100, 164), QColor(Qt::white));
    QCOMPARE(img.pixelColor(100, 165), QColor(Qt::white));
    QCOMPARE(img.pixelColor(376, 163), QColor(128, 128, 128));
}

void TstAbout::textsFitTheirLabels_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("lblTitle") << "lblTitle";
    QTest::newRow("lblVersion") << "lblVersion";
    QTest::newRow("lblDescription") << "lblDescription";
    QTest::newRow("cmdOK") << "cmdOK";
}

void TstAbout::textsFitTheirLabels()
{
    QFETCH(QString, name);
    frmAbout box;
    box.show();
    auto *w = box.findChild<QWidget *>(name);
    QVERIFY(w);
    QString text;
    int flags = Qt::AlignLeft | Qt::AlignTop;
    if (auto *l = qobject_cast<QLabel *>(w)) {
        text = l->text();
        if (l->wordWrap())
            flags |= Qt::TextWordWrap;
    } else {
        text = qobject_cast<QPushButton *>(w)->text();
    }
    const QFontMetrics fm(w->font());
    const QRect need = fm.boundingRect(QRect(0, 0, w->width(), 10000), flags, text);
    QVERIFY2(need.width() <= w->width() && need.height() <= w->height(),
             qPrintable(QStringLiteral("%1 needs %2x%3 in %4x%5")
                            .arg(name)
                            .arg(need.width())
                            .arg(need.height())
                            .arg(w->width())
                            .arg(w->height())));
}

void TstAbout::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("OK clicked") << "click";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("keypad Enter") << "keypad enter";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close box") << "close";
}

void TstAbout::closing()
{
    QFETCH(QString, how);
    auto *box = new frmAbout;
    QPointer<frmAbout> guard = box;
    box->show();
    QVERIFY(QTest::qWaitForWindowActive(box));
    QVERIFY(box->cmdOK->isDefault());

    if (how == QLatin1String("click"))
        QTest::mouseClick(box->cmdOK, Qt::LeftButton);
    else if (how == QLatin1String("enter"))
        QTest::keyClick(box, Qt::Key_Return);
    else if (how == QLatin1String("keypad enter"))
        QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(box, Qt::Key_Escape);
    else
        box->close();
    processDeletes();
    QVERIFY2(guard.isNull(), "the About box is destroyed when it closes");
}

void TstAbout::oneAboutBoxFromTheMainWindow()
{
    AppRig r;
    Form1 &f = r.form();

    f.About_Click();
    QPointer<frmAbout> first = f.about();
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(!first->parentWidget());

    f.action(QStringLiteral("About"))->trigger(); // Help > About again
    QCOMPARE(f.about(), first.data());
    QCOMPARE(aboutBoxes(), QList<frmAbout *>({first.data()}));

    // After OK, the next click makes a new one with the same texts.
    QTest::mouseClick(first->cmdOK, Qt::LeftButton);
    processDeletes();
    QVERIFY(first.isNull());
    QVERIFY(!f.about());
    f.About_Click();
    QVERIFY(f.about());
    QCOMPARE(aboutBoxes().size(), 1);
    QCOMPARE(f.about()->lblVersion->text(), QStringLiteral("Version 1.00"));

    // The box does not outlive the main window.
    QPointer<frmAbout> second = f.about();
    {
        auto r2 = std::make_unique<AppRig>();
        r2->form().About_Click();
        QPointer<frmAbout> other = r2->form().about();
        r2.reset();
        QVERIFY(other.isNull());
    }
    QVERIFY(second);
}

void TstAbout::comesBackInFrontOfTheMainWindow()
{
    AppRig r;
    Form1 &f = r.form();
    f.show();
    f.About_Click();
    frmAbout *box = f.about();
    QVERIFY(QTest::qWaitForWindowActive(box));

    f.activateWindow();
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), &f, 1000);
    // Timer1 brings the box back and activates it again.
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), box, 1000);
    QVERIFY(!(box->windowFlags() & Qt::WindowStaysOnTopHint));
}

void TstAbout::leavesOtherWindowsAlone()
{
    AppRig r;
    Form1 &f = r.form();
    f.show();
    f.About_Click();
    frmAbout *box = f.about();
    QVERIFY(QTest::qWaitForWindowActive(box));

    // Another window of the program (the prompt, the editor, the help) keeps its focus.
    QWidget other;
    other.setObjectName(QStringLiteral("other"));
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTest::qWait(200); // five ticks of Timer1
    QCOMPARE(QApplication::activeWindow(), &other);
}

QTEST_MAIN(TstAbout)
#include "tst_about.moc"
