#include "ui/programicon.h"

#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QWidget>

namespace ui {
namespace {

// The sizes drawn for themselves: a HiDPI tray stays crisp, and the 32 x 32 image is the one
// the About box has always shown. A tray's usual sizes (16, 22, 24) are scaled from that XPM:
// the PNGs drawn for them would run the PNG and zlib decoders in a program resting in the
// tray, 0.12 MB more resident memory (25.68 against 25.55 MB, 1.055 x the bare Qt tray
// program instead of 1.049 x).
constexpr int Sizes[] = {32, 48, 64, 128, 256};

/// Reads a size's image by the built-in reader of its format: guessing the format from the
/// content would load every image format plugin (about 300 KB) only to ask each about it.
QImage imageOfSize(int size)
{
    QImageReader reader = size == 32
        ? QImageReader(QStringLiteral(":/icons/dudud.xpm"), "xpm")
        : QImageReader(QStringLiteral(":/icons/dudud-adadadiz-%1.png").arg(size), "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

/// Reads a size's image each time it is asked for, and keeps none: a program resting in the
/// tray holds no image of its icon (all eight sizes, asked for once for the window icon, are
/// about 350 KB). The image is read without QPixmap's file cache, whose flush timer would
/// wake the program half a minute after start-up.
class ProgramIconEngine : public QIconEngine
{
public:
    QPixmap pixmap(const QSize &want, QIcon::Mode mode, QIcon::State state) override
    {
        const int side = qMax(want.width(), want.height());
        int size = Sizes[std::size(Sizes) - 1];
        for (int s : Sizes) {
            if (s >= side) {
                size = s;
                break;
            }
        }
        const QPixmap p = QPixmap::fromImage(imageOfSize(size));
        QPixmap out = size == side ? p
                                   : p.scaled(want, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        // The disabled and selected looks are the ones Qt gives any icon.
        if (mode != QIcon::Normal)
            out = QIcon(out).pixmap(out.size(), mode, state);
        return out;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size() * painter->device()->devicePixelRatio(),
                                         mode, state));
    }

    QSize actualSize(const QSize &want, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(qMax(want.width(), want.height()), Sizes[std::size(Sizes) - 1]);
        return QSize(side, side).boundedTo(want);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> out;
        for (int s : Sizes)
            out << QSize(s, s);
        return out;
    }

    QIconEngine *clone() const override { return new ProgramIconEngine(*this); }
    QString key() const override { return QStringLiteral("ProgramIconEngine"); }
};

} // namespace

QIcon programIcon()
{
    return QIcon(new ProgramIconEngine);
}

void bringForward(QWidget *w)
{
    w->show();
    w->raise();
    w->activateWindow();
}

} // namespace ui
