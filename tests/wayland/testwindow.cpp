// testwindow: a small Qt window for the compositor tests, standing in for another program or for
// a window that has to appear with the keyboard focus.
//
//   testwindow TITLE [--hidden] [--tray] [--size WIDTHxHEIGHT]
//
// Commands on standard input, one a line: "show" (shows the window centred on its screen,
// raised and activated, as a prompt would be), "hide", "quit". Reports on standard output:
// "active 1" / "active 0" when the window gains or loses the activation, "text WORD" when its
// line edit changes (so typed keys show where the keyboard focus was), "key Return". With
// --tray it also shows a tray icon and reports "tray 1" when the desktop has a tray. The window
// is 400 x 120 unless --size says otherwise.

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

namespace {

void report(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Window : public QWidget
{
public:
    Window()
    {
        auto *layout = new QVBoxLayout(this);
        m_edit = new QLineEdit(this);
        layout->addWidget(m_edit);
        resize(400, 120);
        QObject::connect(m_edit, &QLineEdit::textChanged, this,
                         [](const QString &text) { report("text " + text.toUtf8()); });
        QObject::connect(m_edit, &QLineEdit::returnPressed, this, [] { report("key Return"); });
    }

    void showCentred()
    {
        // Only an X11 window can place itself; on Wayland the compositor places it.
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
        show();
        raise();
        activateWindow();
        m_edit->setFocus();
    }

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::ActivationChange)
            report(isActiveWindow() ? "active 1" : "active 0");
        if (event->type() == QEvent::ActivationChange && isActiveWindow())
            report("size " + QByteArray::number(width()) + "x" + QByteArray::number(height()));
        QWidget::changeEvent(event);
    }

private:
    QLineEdit *m_edit;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: testwindow TITLE [--hidden] [--tray] [--size WxH]\n");
        return 1;
    }
    Window window;
    window.setWindowTitle(args.at(1));
    const qsizetype size = args.indexOf(QStringLiteral("--size"));
    if (size > 0 && size + 1 < args.size()) {
        const QStringList wh = args.at(size + 1).split(QLatin1Char('x'));
        window.resize(wh.value(0).toInt(), wh.value(1).toInt());
    }
    report("platform " + QGuiApplication::platformName().toUtf8());
    if (!args.contains(QStringLiteral("--hidden")))
        window.showCentred();
    QSystemTrayIcon tray;
    if (args.contains(QStringLiteral("--tray"))) {
        QPixmap icon(22, 22);
        icon.fill(Qt::darkCyan);
        tray.setIcon(icon);
        tray.setToolTip(args.at(1));
        tray.show();
        report(QSystemTrayIcon::isSystemTrayAvailable() ? "tray 1" : "tray 0");
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[256];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buf, n);
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(nl).trimmed();
            pending.remove(0, nl + 1);
            if (command == "show")
                window.showCentred();
            else if (command == "hide")
                window.hide();
            else if (command == "quit")
                app.quit();
        }
    });
    return app.exec();
}
