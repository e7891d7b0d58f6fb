#include "about/frmabout.h"

#include "ui/programicon.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace {
// Design lengths are in twips; 15 of them make a pixel at 96 dots per inch.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

/// Line1: an etched separator, a grey line with a white one of two pixels below it.
class EtchedLine : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(px(90) - x(), 0, px(5654) - px(90) + 1, 1, QColor(128, 128, 128));
        p.fillRect(px(105) - x(), 1, px(5654) - px(105) + 1, 2, Qt::white);
    }
};
} // namespace

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ZIZI Dudud Adadadiz"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(px(5730), px(3105));
    setSizeGripEnabled(false);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(px(240), px(240), px(510), px(510));
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setPixmap(ui::programIcon().pixmap(32, 32));

    lblTitle = new QLabel(QStringLiteral("ZIZI Dudud Adadadiz"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setGeometry(px(1050), px(375), px(3885), px(345));
    QFont titleFont(QStringLiteral("Sans Serif"));
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPointSizeF(9.75);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = new QLabel(QStringLiteral("Version 1.00"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(px(1050), px(780), px(3885), px(225));

    lblDescription =
        new QLabel(QStringLiteral("Copyright (C) 2026 the Dudud Adadadiz developers.\n"
                                  "Keywords and hotkeys that open web pages, files, programs and "
                                  "folders. This program comes with no warranty."),
                   this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setGeometry(px(1050), px(1125), px(3885), px(1170));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *Line1 = new EtchedLine(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setGeometry(px(90), px(2445), px(5654) - px(90) + 1, 3);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(px(4245), px(2625), px(1260), px(345));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(40);
    connect(&Timer1, &QTimer::timeout, this, &frmAbout::Timer1_Timer);
    Timer1.start();
}

void frmAbout::cmdOK_Click()
{
    Timer1.stop();
    close();
}

void frmAbout::Timer1_Timer()
{
    // Only the main window is given way to: pulling the box in front of the prompt, the
    // editor or an open menu would take their focus and make them unusable while it is
    // open, and another program's window is none of our business.
    if (!m_mainWindow || QApplication::activePopupWidget())
        return;
    if (QApplication::activeWindow() != m_mainWindow)
        return;
    raise();
    activateWindow();
}

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    // OK is the cancel button too: Escape presses it.
    if (event->matches(QKeySequence::Cancel)) {
        cmdOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
