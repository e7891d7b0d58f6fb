#include "ui/programicon.h"

#include <QWidget>

namespace ui {

QIcon programIcon()
{
    // Every size a panel may ask for, drawn for that size: a HiDPI tray stays crisp, and the
    // 32 x 32 image is the one the About box has always shown.
    QIcon icon(QStringLiteral(":/icons/dudud.xpm"));
    for (int size : {16, 22, 24, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/dudud-adadadiz-%1.png").arg(size), QSize(size, size));
    return icon;
}

void bringForward(QWidget *w)
{
    w->show();
    w->raise();
    w->activateWindow();
}

} // namespace ui
