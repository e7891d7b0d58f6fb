#include "mainwindow/form1.h"
#include "mainwindow/singleinstance.h"
#include "platform/dialogs.h"
#include "platform/helpviewer.h"
#include "platform/keyboard.h"
#include "platform/notifyicon.h"
#include "platform/qt/qtbackends.h"
#include "platform/shell.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dudud-adadadiz"));
    // No display name: Qt would append it to every caption ("Add... — Dudud Adadadiz").
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (instance.otherCopyRunning())
        return 0;
    instance.listen();

    platform::PlatformBundle bundle;
    bundle.keyboard = platform::createKeyboardDevice();
    bundle.shell = platform::createShell();
    bundle.notifyIcon = platform::createNotifyIcon();
    bundle.dialogs = platform::createDialogs();
    bundle.helpViewer = platform::createHelpViewer();

    Form1 form1(std::move(bundle));
    QApplication::setWindowIcon(Form1::programIcon());

    // SIGTERM and SIGINT leave like Exit, so no dead icon stays in the tray.
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &form1, [&form1] {
            char buf[16];
            while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
            }
            form1.exit1();
        });
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }

    QObject::connect(&instance, &SingleInstance::showRequested, &form1, &Form1::mwindow_Click);

    if (!form1.Form_Load())
        return 1;
    return app.exec();
}
