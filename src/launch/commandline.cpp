#include "launch/commandline.h"

#include "editor/rules/editorrules.h"
#include "entries/entrytables.h"
#include "entries/ini.h"
#include "platform/keyboard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace commandline {

namespace {
void print(FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

/// A desktop entry's Exec value: the path quoted as the desktop entry rules ask.
QString execQuoted(const QString &program)
{
    QString q = program;
    for (const char *c : {"\\", "\"", "`", "$"})
        q.replace(QLatin1String(c), QLatin1String("\\") + QLatin1String(c));
    q.replace(QLatin1Char('%'), QLatin1String("%%"));
    return QLatin1Char('"') + q + QLatin1Char('"');
}
} // namespace

QByteArray Request::message() const
{
    switch (kind) {
    case Prompt:
        return "prompt";
    case Hotkey:
        return "hotkey " + key.toUtf8();
    case Show:
        break;
    }
    return "show";
}

std::optional<Request> Request::fromMessage(const QByteArray &line)
{
    const QByteArray m = line.trimmed();
    if (m == "show")
        return Request{};
    if (m == "prompt")
        return Request{Prompt, {}};
    if (m.startsWith("hotkey "))
        return launcherRequest({QStringLiteral("--hotkey"), QString::fromUtf8(m.mid(7))});
    return std::nullopt;
}

std::optional<Request> launcherRequest(const QStringList &args)
{
    if (args.isEmpty())
        return Request{};
    if (args == QStringList{QStringLiteral("--prompt")})
        return Request{Request::Prompt, {}};
    if (args.size() == 2 && args.first() == QLatin1String("--hotkey")) {
        const int index = editor::hotkeyIndexOf(args.at(1));
        if (index > 0)
            return Request{Request::Hotkey, editor::hotkeyChoices().at(index)};
    }
    return std::nullopt;
}

int checkHotkeyRequest(const Request &request, platform::Profile &profile, const QString &entryFile)
{
    if (request.kind != Request::Hotkey)
        return 0;
    EntryTables tables;
    tables.readTables(profile, entryFile);
    const int n = qMin(tables.count(), int(tables.Hotkey.size()));
    for (int i = 0; i < n; ++i) {
        if (tables.Hotkey.at(i).toUpper() == request.key.toUpper())
            return 0;
    }
    print(stderr, QStringLiteral("dudud-adadadiz: no entry has the hotkey %1 in %2. Give an "
                                 "entry that hotkey in the main window first.\n")
                      .arg(request.key, QDir::toNativeSeparators(entryFile)));
    return 1;
}

QString versionText()
{
    return QStringLiteral("Dudud Adadadiz 1.00");
}

QString keyboardSourceName()
{
    switch (platform::chooseKeyboardBackend(qgetenv("DUDUD_KEYBOARD"), qgetenv("XDG_SESSION_TYPE"),
                                            qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"))) {
    case platform::KeyboardBackend::X11:
        return QStringLiteral("X11 (the X server)");
    case platform::KeyboardBackend::Evdev:
        return QStringLiteral("evdev (the keyboards under /dev/input)");
    case platform::KeyboardBackend::Portal:
        return QStringLiteral("portal (the desktop's global shortcuts)");
    case platform::KeyboardBackend::None:
        // Asked without probing the session: on Wayland the choice is made at start-up.
        return QStringLiteral(
            "on Wayland, the desktop's global-shortcuts portal where it offers them, else\n"
            "                 evdev where a keyboard can be read, else none (then bind\n"
            "                 --prompt and --hotkey KEY in the desktop's keyboard settings)");
    case platform::KeyboardBackend::Unknown:
        break;
    }
    return QStringLiteral(
        "none: DUDUD_KEYBOARD must be \"x11\", \"evdev\" or \"portal\", or unset");
}

QString usage(const QString &entryFile, const QString &keyboardSource)
{
    return QStringLiteral(
               "Usage: dudud-adadadiz [--prompt | --hotkey KEY | --help | --version |\n"
               "                       --autostart on|off]\n"
               "\n"
               "Without an option the launcher starts in the tray: Ctrl+Shift+key opens the\n"
               "entries with that hotkey, F7 opens the keyword prompt. When it runs already,\n"
               "its main window comes up.\n"
               "\n"
               "  --prompt          open the keyword prompt of the running launcher (started\n"
               "                    first if none runs), as F7 does\n"
               "  --hotkey KEY      open the entries with hotkey KEY (1-0, A-Z, F1-F12), as\n"
               "                    Ctrl+Shift+KEY does\n"
               "  --help            this text, then ends\n"
               "  --version         the version, then ends\n"
               "  --autostart on    start the launcher at login (%1)\n"
               "  --autostart off   no longer start it at login\n"
               "\n"
               "The entries are kept in DAzad.ini: beside the program for a copy that is not\n"
               "installed (where it may create files there), otherwise, and always for an\n"
               "installed copy, in $XDG_CONFIG_HOME/dudud-adadadiz/ (~/.config/dudud-adadadiz/).\n"
               "\n"
               "Entry file:      %2\n"
               "Keyboard source: %3\n")
        .arg(autostartPath().isEmpty() ? QStringLiteral("no configuration folder")
                                       : QDir::toNativeSeparators(autostartPath()),
             entryFile.isEmpty() ? QStringLiteral("none: HOME is not set")
                                 : QDir::toNativeSeparators(entryFile),
             keyboardSource);
}

QString autostartPath()
{
    const QString config = userConfigFolder();
    return config.isEmpty() ? QString()
                            : config + QStringLiteral("/autostart/dudud-adadadiz.desktop");
}

QByteArray autostartEntry(const QString &program)
{
    // An installed copy is started by its command name, so the entry outlives no particular
    // install folder; TryExec makes a desktop skip it once the program is gone. A copy that is
    // not installed is on no PATH: it is named by its file.
    const bool installed = isInstalledCopy(QFileInfo(program).absolutePath());
    const QString name = QStringLiteral("dudud-adadadiz");
    QString tryExec = installed ? name : program;
    tryExec.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Dudud Adadadiz\n"
           "Comment=Opens web pages, files and programs by hotkey or keyword\n"
           "Exec=" +
           (installed ? name : execQuoted(program)).toUtf8() + "\nTryExec=" + tryExec.toUtf8() +
           "\n"
           "Icon=dudud-adadadiz\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

int run(const QStringList &args, const QString &program)
{
    const QString usageText =
        usage(entryFilePath(QFileInfo(program).absolutePath()), keyboardSourceName());
    if (args == QStringList{QStringLiteral("--help")} ||
        args == QStringList{QStringLiteral("-h")}) {
        print(stdout, usageText);
        return 0;
    }
    if (args == QStringList{QStringLiteral("--version")}) {
        print(stdout, versionText() + QLatin1Char('\n'));
        return 0;
    }
    if (args.size() == 2 && args.first() == QLatin1String("--autostart") &&
        (args.at(1) == QLatin1String("on") || args.at(1) == QLatin1String("off"))) {
        const QString path = autostartPath();
        if (path.isEmpty()) {
            print(stderr, QStringLiteral("dudud-adadadiz: %1\n").arg(noConfigFolderText()));
            return 1;
        }
        if (args.at(1) == QLatin1String("off")) {
            if (QFileInfo::exists(path) && !QFile::remove(path)) {
                print(stderr, QStringLiteral("dudud-adadadiz: %1 could not be removed.\n")
                                  .arg(QDir::toNativeSeparators(path)));
                return 1;
            }
            print(stdout, QStringLiteral("The launcher no longer starts at login.\n"));
            return 0;
        }
        QSaveFile out(path);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !out.open(QIODevice::WriteOnly) ||
            out.write(autostartEntry(program)) < 0 || !out.commit()) {
            print(stderr, QStringLiteral("dudud-adadadiz: %1 could not be written: %2\n")
                              .arg(QDir::toNativeSeparators(path), out.errorString()));
            return 1;
        }
        print(stdout, QStringLiteral("The launcher starts at login (%1).\n")
                          .arg(QDir::toNativeSeparators(path)));
        return 0;
    }
    print(stderr, QStringLiteral("dudud-adadadiz: unknown option \"%1\"\n\n")
                          .arg(args.join(QLatin1Char(' '))) +
                      usageText);
    return 2;
}

} // namespace commandline
