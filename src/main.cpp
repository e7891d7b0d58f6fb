#include "app/launcher.h"
#include "app/singleinstance.h"
#include "entries/ini.h"
#include "entries/ini/fileprofile.h"
#include "help/helpviewer.h"
#include "launch/commandline.h"
#include "platform/dialogs.h"
#include "platform/factory/backends.h"
#include "platform/helpviewer.h"
#include "platform/keyboard.h"
#include "platform/shell.h"
#include "platform/termination.h"
#include "platform/trayicon.h"
#include "platform/windowfocus.h"
#include "ui/programicon.h"
#include "ui/textfit.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    // Commands need no display: they run before any window system is asked for.
    std::optional<commandline::Request> request;
    {
        QStringList args;
        for (int i = 1; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        request = commandline::launcherRequest(args);
        if (!request) {
            QCoreApplication core(argc, argv);
            return commandline::run(args, QCoreApplication::applicationFilePath());
        }
        if (request->kind == commandline::Request::Hotkey) {
            QCoreApplication core(argc, argv);
            ini::FileProfile profile;
            const QString file = entryFilePath(QCoreApplication::applicationDirPath());
            if (const int status = commandline::checkHotkeyRequest(*request, profile, file))
                return status;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dudud-adadadiz"));
    // No display name: Qt would append it to every caption ("Add... — Dudud Adadadiz").
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(ui::createMenuSpacingStyle());

    SingleInstance instance;
    if (const SingleInstance::Start s = instance.start(*request); s != SingleInstance::First)
        return s == SingleInstance::HandedOver ? 0 : 1;

    platform::PlatformBundle bundle;
    bundle.keyboard = platform::createKeyboardDevice();
    bundle.shell = platform::createShell();
    bundle.trayIcon = platform::createTrayIcon();
    bundle.dialogs = platform::createDialogs(ui::programIcon());
    bundle.helpViewer = help::createHelpViewer();
    bundle.windowFocus = platform::createWindowFocus();
    bundle.profile = std::make_unique<ini::FileProfile>();

    // Each of the program's windows takes the icon itself: as the application's icon it
    // would also go to the tray icon's window, which would then read all eight sizes.
    Launcher launcher(std::move(bundle), QCoreApplication::applicationDirPath());
    QObject::connect(&launcher, &Launcher::ended, [] { platform::endProcessNow(0); });

    // SIGTERM and SIGINT leave like Exit, so no dead icon stays in the tray.
    platform::onTerminationRequest(&launcher, [&launcher] { launcher.exit1(); });

    QObject::connect(&instance, &SingleInstance::requested, &launcher, &Launcher::requested);

    if (!launcher.Form_Load())
        return 1;
    // Started by --prompt or --hotkey with no copy running: this copy does it itself.
    if (request->kind != commandline::Request::Show)
        QTimer::singleShot(0, &launcher, [&launcher, r = *request] { launcher.requested(r); });
    return app.exec();
}
