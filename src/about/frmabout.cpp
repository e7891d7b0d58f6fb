#include "about/frmabout.h"

#include "ui/programicon.h"
#include "ui/textfit.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

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
        // The white line starts a pixel right of the grey one. On a dark palette the same
        // etching is drawn in its own shades: a white line would glare there.
        const bool dark = palette().color(QPalette::Window).lightness() < 128;
        QPainter p(this);
        p.fillRect(0, 0, width(), 1,
                   dark ? palette().color(QPalette::Shadow) : QColor(128, 128, 128));
        p.fillRect(px(105) - px(90), 1, width() - (px(105) - px(90)), 2,
                   dark ? palette().color(QPalette::Light) : QColor(Qt::white));
    }
};
} // namespace

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ZIZI Dudud Adadadiz"));
    setWindowIcon(ui::programIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(false);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(px(240), px(240), px(510), px(510));
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setPixmap(ui::programIcon().pixmap(32, 32));

    lblTitle = new QLabel(QStringLiteral("ZIZI Dudud Adadadiz"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));

    lblVersion = new QLabel(QStringLiteral("Version 1.00"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    lblDescription =
        new QLabel(QStringLiteral("Copyright (C) 2026 the Dudud Adadadiz developers.\n"
                                  "Keywords and hotkeys that open web pages, files, programs and "
                                  "folders. This program comes with no warranty."),
                   this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Line1 = new EtchedLine(this);
    Line1->setObjectName(QStringLiteral("Line1"));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    fitToFont();

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(40);
    connect(&Timer1, &QTimer::timeout, this, &frmAbout::Timer1_Timer);
    Timer1.start();
}

void frmAbout::fitToFont()
{
    // The title: bold, a little larger than the window's font, and at least its design size.
    QFont title = font();
    title.setStyleHint(QFont::SansSerif);
    title.setBold(true);
    if (title.pointSizeF() > 0)
        title.setPointSizeF(qMax(9.75, title.pointSizeF() + 0.75));
    else
        title.setPixelSize(title.pixelSize() + 1);
    lblTitle->setFont(title);

    // The design in twips holds a small font; a larger one widens the text column in
    // proportion and lets each row take the height its text needs, which moves the rows
    // below it down. The box keeps its design size where nothing needs more.
    const int column = std::max({px(3885), qRound(px(3885) * ui::fontGrowth(this)),
                                 ui::roomyTextSize(lblTitle, lblTitle->text()).width(),
                                 ui::roomyTextSize(lblVersion, lblVersion->text()).width()});
    const int width = qMax(px(5730), px(1050) + column + (px(5730) - px(1050) - px(3885)));
    const int titleHeight = qMax(px(345), ui::roomyTextSize(lblTitle, lblTitle->text()).height());
    const int versionHeight =
        qMax(px(225), ui::roomyTextSize(lblVersion, lblVersion->text()).height());
    const QRect wrapped = lblDescription->fontMetrics().boundingRect(
        QRect(0, 0, column, 100000), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
        lblDescription->text());
    const int descriptionHeight = qMax(px(1170), wrapped.height());
    const QSize ok = ui::roomyTextSize(cmdOK, cmdOK->text()).expandedTo(cmdOK->sizeHint());
    const int okWidth = qMax(px(1260), ok.width());
    const int okHeight = qMax(px(345), ui::roomyTextSize(cmdOK, cmdOK->text()).height());

    const int versionDown = titleHeight - px(345);
    const int descriptionDown = versionDown + versionHeight - px(225);
    const int lineDown = descriptionDown + descriptionHeight - px(1170);
    // OK keeps its distance from the box's right edge.
    const int okRight = px(5730) - px(4245) - px(1260);

    picIcon->setGeometry(px(240), px(240), px(510), px(510));
    lblTitle->setGeometry(px(1050), px(375), column, titleHeight);
    lblVersion->setGeometry(px(1050), px(780) + versionDown, column, versionHeight);
    lblDescription->setGeometry(px(1050), px(1125) + descriptionDown, column, descriptionHeight);
    Line1->setGeometry(px(90), px(2445) + lineDown, width - px(90) - (px(5730) - px(5654) - 1), 3);
    cmdOK->setGeometry(width - okRight - okWidth, px(2625) + lineDown, okWidth, okHeight);
    setFixedSize(width,
                 qMax(px(3105), cmdOK->geometry().bottom() + 1 + (px(3105) - px(2625) - px(345))));
}

void frmAbout::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange)
        fitToFont();
    QDialog::changeEvent(e);
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
