// The reference for the whole-program benchmarks: the least a Qt 6 tray program can be, a
// tray icon with a three-item menu and nothing else.

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter(&pixmap).fillRect(4, 4, 24, 24, Qt::darkBlue);

    QMenu menu;
    menu.addAction(QStringLiteral("&Open"));
    menu.addAction(QStringLiteral("&Settings"));
    QObject::connect(menu.addAction(QStringLiteral("&Quit")), &QAction::triggered, &app,
                     &QApplication::quit);

    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.setToolTip(QStringLiteral("Qt tray"));
    icon.setContextMenu(&menu);
    icon.show();
    return app.exec();
}
