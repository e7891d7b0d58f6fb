#include "harness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <csignal>

namespace {

QString freeDisplay()
{
    for (int n = 90; n < 400; ++n) {
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
            !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return QStringLiteral(":%1").arg(n);
    }
    return QString();
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        // Events are processed meanwhile: the program may be waiting on a D-Bus service
        // that the test itself provides.
        QTest::qWait(50);
    }
    return condition();
}

} // namespace

E2eSession::E2eSession() : E2eSession(Options()) {}

E2eSession::E2eSession(const Options &options) : m_options(options)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot make a temporary folder");
        return;
    }
    m_ok = startServer();
}

E2eSession::~E2eSession()
{
    if (QTest::currentTestFailed()) {
        QFile err(path(QStringLiteral("app.err")));
        if (err.open(QIODevice::ReadOnly))
            qInfo("program's error output:\n%s", err.readAll().constData());
    }
    if (m_xdisplay)
        XCloseDisplay(static_cast<Display *>(m_xdisplay));
    stop(m_app);
    stop(m_tray);
    stop(m_wm);
    stop(m_dbus);
    stop(m_xvfb);
}

QString E2eSession::path(const QString &name) const
{
    return QDir(m_dir.path()).filePath(name);
}

bool E2eSession::startProcess(std::unique_ptr<QProcess> &p, const QString &program,
                              const QStringList &args)
{
    p = std::make_unique<QProcess>();
    p->setProcessEnvironment(m_env);
    p->setWorkingDirectory(m_dir.path());
    p->setStandardOutputFile(path(QFileInfo(program).fileName() + QStringLiteral(".out")));
    p->setStandardErrorFile(path(QFileInfo(program).fileName() + QStringLiteral(".err")));
    p->start(program, args);
    if (!p->waitForStarted(5000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(program, p->errorString());
        return false;
    }
    return true;
}

void E2eSession::stop(std::unique_ptr<QProcess> &p)
{
    if (!p)
        return;
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    p.reset();
}

bool E2eSession::startServer()
{
    m_display = freeDisplay();
    if (m_display.isEmpty()) {
        m_error = QStringLiteral("no free X display number");
        return false;
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("home/.config"));
    QDir(m_dir.path()).mkpath(QStringLiteral("home/.local/share/applications"));
    QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(path(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    m_env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_env.remove(QStringLiteral("SESSION_MANAGER"));
    m_env.insert(QStringLiteral("DISPLAY"), m_display);
    m_env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
    m_env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("home/.config")));
    m_env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("home/.local/share")));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    if (!startProcess(
            m_xvfb, QStringLiteral("Xvfb"),
            {m_display, QStringLiteral("-screen"), QStringLiteral("0"),
             QStringLiteral("%1x%2x24").arg(m_options.screenWidth).arg(m_options.screenHeight),
             QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("+extension"),
             QStringLiteral("XTEST")}))
        return false;
    const QString socket = QStringLiteral("/tmp/.X11-unix/X") + m_display.mid(1);
    if (!waitFor([&] { return QFileInfo::exists(socket); }, 10000) ||
        !waitFor(
            [&] {
                int rc = -1;
                run(QStringLiteral("xdpyinfo"), {}, &rc, 3000);
                return rc == 0;
            },
            10000)) {
        m_error = QStringLiteral("Xvfb did not come up on %1").arg(m_display);
        return false;
    }

    // A private session bus, so that no tray watcher of the developer's desktop is seen and
    // nothing is auto-launched.
    if (!startProcess(m_dbus, QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")}))
        return false;
    QFile addressFile(path(QStringLiteral("dbus-daemon.out")));
    QString address;
    waitFor(
        [&] {
            if (!addressFile.open(QIODevice::ReadOnly))
                return false;
            address = QString::fromUtf8(addressFile.readAll()).trimmed();
            addressFile.close();
            return !address.isEmpty();
        },
        5000);
    if (address.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon gave no address");
        return false;
    }
    m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

    if (m_options.windowManager) {
        if (!startProcess(m_wm, QStringLiteral("openbox"), {}))
            return false;
        waitFor(
            [&] {
                return run(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains(QLatin1String("window id"));
            },
            10000);
    }
    if (m_options.tray && !startTray())
        return false;

    const QString binary = QStringLiteral(DUDUD_BINARY);
    if (!QFile::copy(binary, path(QStringLiteral("dudud-adadadiz")))) {
        m_error = QStringLiteral("cannot copy the program");
        return false;
    }
    QFile::copy(QFileInfo(binary).dir().filePath(QStringLiteral("lhelp.hlp")),
                path(QStringLiteral("lhelp.hlp")));
    return true;
}

bool E2eSession::startTray()
{
    if (!startProcess(m_tray, QStringLiteral("trayer"),
                      {QStringLiteral("--edge"), QStringLiteral("bottom"),
                       QStringLiteral("--align"), QStringLiteral("right"),
                       QStringLiteral("--widthtype"), QStringLiteral("request"),
                       QStringLiteral("--height"), QStringLiteral("32"),
                       QStringLiteral("--SetDockType"), QStringLiteral("true")}))
        return false;
    const bool up = waitFor(
        [&] {
            return run(QStringLiteral("xdotool"),
                       {QStringLiteral("search"), QStringLiteral("--classname"),
                        QStringLiteral("^panel$")})
                       .trimmed()
                       .size() > 0;
        },
        10000);
    if (!up)
        m_error = QStringLiteral("the tray did not come up");
    return up;
}

void E2eSession::stopTray()
{
    stop(m_tray);
}

void E2eSession::writeEntryFile(const QByteArray &contents)
{
    QFile f(path(QStringLiteral("DAzad.ini")));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(contents);
}

QByteArray E2eSession::readEntryFile() const
{
    QFile f(path(QStringLiteral("DAzad.ini")));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

QString E2eSession::writeLoggingScript(const QString &name, const QString &tag)
{
    const QString file = path(name);
    QFile f(file);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write("#!/bin/sh\n");
    f.write(QStringLiteral("printf '%s' '%1' >> '%2'\n")
                .arg(tag, path(QStringLiteral("log.txt")))
                .toUtf8());
    f.write(QStringLiteral("for a in \"$@\"; do printf ' [%s]' \"$a\" >> '%1'; done\n")
                .arg(path(QStringLiteral("log.txt")))
                .toUtf8());
    f.write(QStringLiteral("printf '\\n' >> '%1'\n").arg(path(QStringLiteral("log.txt"))).toUtf8());
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                     QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                     QFileDevice::ExeOther);
    return file;
}

void E2eSession::writeStandInBrowser(const QString &tag)
{
    const QString script = writeLoggingScript(tag + QStringLiteral(".sh"), tag);
    QFile desktop(path(QStringLiteral("home/.local/share/applications/teststand.desktop")));
    desktop.open(QIODevice::WriteOnly);
    desktop.write("[Desktop Entry]\nType=Application\nName=Stand-in\nExec=" + script.toUtf8() +
                  " %u\n");
    desktop.close();
    QFile mime(path(QStringLiteral("home/.config/mimeapps.list")));
    mime.open(QIODevice::WriteOnly);
    mime.write("[Default Applications]\nx-scheme-handler/http=teststand.desktop\n"
               "x-scheme-handler/https=teststand.desktop\n");
}

QStringList E2eSession::logLines() const
{
    QFile f(path(QStringLiteral("log.txt")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList E2eSession::appCommand() const
{
    return m_appCommand.isEmpty() ? QStringList{path(QStringLiteral("dudud-adadadiz"))}
                                  : m_appCommand;
}

QStringList E2eSession::lookEnvironment(const QString &look)
{
    return {QStringLiteral("XDG_CURRENT_DESKTOP=KDE"), QStringLiteral("KDE_SESSION_VERSION=5"),
            QStringLiteral("XDG_CONFIG_DIRS=" DUDUD_LOOKS_DIR "/") + look};
}

bool E2eSession::startApp(const QStringList &extraEnv, const std::function<bool()> &ready)
{
    m_app = std::make_unique<QProcess>();
    QProcessEnvironment env = m_env;
    for (const QString &kv : extraEnv) {
        const int eq = kv.indexOf(QLatin1Char('='));
        env.insert(kv.left(eq), kv.mid(eq + 1));
    }
    m_app->setProcessEnvironment(env);
    m_app->setWorkingDirectory(path(QStringLiteral("home")));
    m_app->setStandardOutputFile(path(QStringLiteral("app.out")));
    m_app->setStandardErrorFile(path(QStringLiteral("app.err")));
    const QStringList command = appCommand();
    m_app->start(command.first(), command.mid(1));
    if (!m_app->waitForStarted(5000)) {
        m_error = m_app->errorString();
        return false;
    }
    // With a tray the main window has no window in the X server until it is first shown.
    const bool up = waitFor(
        [&] {
            if (ready)
                return ready();
            return !windows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty() ||
                   !trayIconsOfApp().isEmpty();
        },
        10000);
    if (!up)
        m_error = QStringLiteral("neither the main window nor the tray icon appeared");
    return up;
}

bool E2eSession::waitForAppExit(int ms)
{
    if (!m_app)
        return true;
    if (m_app->state() == QProcess::NotRunning)
        return true;
    return m_app->waitForFinished(ms);
}

QString E2eSession::run(const QString &program, const QStringList &args, int *exitCode,
                        int timeoutMs) const
{
    QProcess p;
    p.setProcessEnvironment(m_env);
    p.start(program, args);
    if (!p.waitForStarted(5000)) {
        if (exitCode)
            *exitCode = -1;
        return QString();
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        if (exitCode)
            *exitCode = -1;
        return QString();
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString E2eSession::xdotool(const QStringList &args, int *exitCode) const
{
    return run(QStringLiteral("xdotool"), args, exitCode);
}

QStringList E2eSession::visibleWindows(const QString &titleRegex) const
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"),
                    QStringLiteral("^") + titleRegex + QStringLiteral("$")})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList E2eSession::windows(const QString &titleRegex) const
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                    QStringLiteral("^") + titleRegex + QStringLiteral("$")})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList E2eSession::trayIconsOfApp() const
{
    return trayIconsOf(QStringLiteral("dudud-adadadiz"));
}

QStringList E2eSession::trayIconsOf(const QString &wmClass) const
{
    QStringList icons;
    const QStringList panels = xdotool({QStringLiteral("search"), QStringLiteral("--classname"),
                                        QStringLiteral("^panel$")})
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    static const QRegularExpression child(QStringLiteral("^\\s+(0x[0-9a-f]+) "));
    for (const QString &panel : panels) {
        const QString tree = run(QStringLiteral("xwininfo"),
                                 {QStringLiteral("-tree"), QStringLiteral("-id"), panel});
        for (const QString &line : tree.split(QLatin1Char('\n'))) {
            const auto m = child.match(line);
            if (!m.hasMatch())
                continue;
            const QString cls = run(QStringLiteral("xprop"), {QStringLiteral("-id"), m.captured(1),
                                                              QStringLiteral("WM_CLASS")});
            if (cls.contains(wmClass))
                icons << m.captured(1);
        }
    }
    return icons;
}

bool E2eSession::activate(const QString &window, int ms) const
{
    QElapsedTimer t;
    t.start();
    do {
        xdotool({QStringLiteral("windowactivate"), window});
        for (int i = 0; i < 10; ++i) {
            if (focusedWindow() == window)
                return true;
            QTest::qWait(20);
        }
    } while (t.elapsed() < ms);
    return false;
}

QString E2eSession::focusedWindow() const
{
    return xdotool({QStringLiteral("getwindowfocus"), QStringLiteral("-f")}).trimmed();
}

QRect E2eSession::geometry(const QString &window) const
{
    // xwininfo gives root coordinates also for windows embedded in another (tray icons).
    const QString out = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    auto field = [&](const char *name) {
        static const QRegularExpression num(QStringLiteral("(-?\\d+)"));
        for (const QString &line : out.split(QLatin1Char('\n'))) {
            if (line.trimmed().startsWith(QLatin1String(name)))
                return num.match(line.mid(line.indexOf(QLatin1Char(':')))).captured(1).toInt();
        }
        return 0;
    };
    return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                 field("Height"));
}

QRect E2eSession::focusedFrame() const
{
    Display *d = XOpenDisplay(m_display.toLocal8Bit().constData());
    if (!d)
        return QRect();
    Window w = None;
    int revert = 0;
    XGetInputFocus(d, &w, &revert);
    QRect frame;
    const Window root = DefaultRootWindow(d);
    // Up to the child of the root: the window manager's frame, title bar included.
    while (w != None && w != PointerRoot && w != root) {
        Window parent = None, r = None, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, w, &r, &parent, &children, &n))
            break;
        if (children)
            XFree(children);
        if (parent == root) {
            XWindowAttributes a;
            if (XGetWindowAttributes(d, w, &a))
                frame =
                    QRect(a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width);
            break;
        }
        w = parent;
    }
    XCloseDisplay(d);
    return frame;
}

QString E2eSession::screenshot(const QString &name) const
{
    const QString file = path(name + QStringLiteral(".png"));
    run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    // For people to look at: a copy cropped to the focused window, in the folder named by
    // DUDUD_SCREENSHOT_DIR. Probes are for reading pixels and stay here.
    const QString folder = qEnvironmentVariable("DUDUD_SCREENSHOT_DIR");
    if (!folder.isEmpty() && !name.startsWith(QLatin1String("probe")) && QDir().mkpath(folder)) {
        QStringList args{file};
        const QRect frame =
            focusedFrame().intersected(QRect(0, 0, m_options.screenWidth, m_options.screenHeight));
        if (!frame.isEmpty()) {
            args << QStringLiteral("-crop")
                 << QStringLiteral("%1x%2+%3+%4")
                        .arg(frame.width())
                        .arg(frame.height())
                        .arg(frame.x())
                        .arg(frame.y())
                 << QStringLiteral("+repage");
        }
        // Small files: no time stamps or other text chunks, the fewest colours that do.
        args << QStringLiteral("-strip") << QStringLiteral("-define")
             << QStringLiteral("png:exclude-chunks=date,time")
             << QDir(folder).absoluteFilePath(name + QStringLiteral(".png"));
        run(QStringLiteral("convert"), args);
    }
    return file;
}

bool E2eSession::keyEvent(unsigned keycode, bool down)
{
    if (!m_xdisplay)
        m_xdisplay = XOpenDisplay(m_display.toLocal8Bit().constData());
    auto *d = static_cast<Display *>(m_xdisplay);
    if (!d)
        return false;
    XTestFakeKeyEvent(d, keycode, down ? True : False, CurrentTime);
    XFlush(d);
    return true;
}

void E2eSession::chord(const QList<unsigned> &codes, int holdMs)
{
    for (unsigned c : codes) {
        keyEvent(c, true);
        QThread::msleep(10);
    }
    QThread::msleep(holdMs);
    for (auto it = codes.crbegin(); it != codes.crend(); ++it) {
        keyEvent(*it, false);
        QThread::msleep(10);
    }
    if (m_xdisplay)
        XSync(static_cast<Display *>(m_xdisplay), False);
}
