#include "ui/programicon.h"

#include <QWidget>

namespace ui {

QIcon programIcon()
{
    return QIcon(QStringLiteral(":/icons/dudud.xpm"));
}

void bringForward(QWidget *w)
{
    w->show();
    w->raise();
    w->activateWindow();
}

} // namespace ui
