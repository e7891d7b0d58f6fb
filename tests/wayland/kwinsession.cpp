#include "kwinsession.h"

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

const QString kwinBinary = QStringLiteral("/usr/bin/kwin_wayland");
const QString gnomeShellBinary = QStringLiteral("/usr/bin/gnome-shell");
const QString portalBinary = QStringLiteral("/usr/libexec/xdg-desktop-portal");
// Debian installs the KDE backend under the multiarch library folder.
const QStringList portalKdeBinaries = {
    QStringLiteral("/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"),
    QStringLiteral("/usr/lib/aarch64-linux-gnu/libexec/xdg-desktop-portal-kde"),
    QStringLiteral("/usr/libexec/xdg-desktop-portal-kde")};
const QString scriptInterface = QStringLiteral("org.dudud.KWinSessionScript");

QString firstExisting(const QStringList &paths)
{
    for (const QString &p : paths) {
        if (QFileInfo(p).isExecutable())
            return p;
    }
    return QString();
}

// Whether Qt 5 (KWin's and the KDE backend's toolkit) has its Wayland platform plugin.
bool qt5HasWayland()
{
    return !QDir(QStringLiteral("/usr/lib/x86_64-linux-gnu/qt5/plugins/platforms"))
                .entryList({QStringLiteral("libqwayland-generic.so")})
                .isEmpty();
}

// The pids of every process whose environment names @p runtimeDir as XDG_RUNTIME_DIR: all
// that a session started, also what was reparented after its parent ended.
QList<pid_t> processesOfSession(const QString &runtimeDir)
{
    QList<pid_t> pids;
    const QByteArray needle = "XDG_RUNTIME_DIR=" + runtimeDir.toLocal8Bit();
    const auto entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &e : entries) {
        bool isPid = false;
        const pid_t pid = e.toInt(&isPid);
        if (!isPid || pid == getpid())
            continue;
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (!environ.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &var : environ.readAll().split('\0')) {
            if (var == needle) {
                pids << pid;
                break;
            }
        }
    }
    return pids;
}

bool isMountPoint(const QString &path)
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    const QByteArray target = ' ' + QFile::encodeName(path) + ' ';
    return mounts.readAll().contains(target);
}

// The display of the Xwayland server that process @p kwinPid started, such as ":1".
QString xwaylandDisplayOf(qint64 kwinPid)
{
    const auto entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &e : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(e));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        if (close < 0 || !line.mid(0, close).contains("(Xwayland"))
            continue;
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (rest.size() < 2 || rest.at(1).toLongLong() != kwinPid)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(e));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = cmdline.readAll().split('\0');
        if (args.size() > 1 && args.at(1).startsWith(':'))
            return QString::fromLatin1(args.at(1));
    }
    return QString();
}

/// The tray of a Plasma session (which its shell provides): programs register their
/// StatusNotifierItem here. Served from a thread of its own, so that a test blocked in a wait
/// does not block a program asking it at start-up.
class StatusNotifierWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit StatusNotifierWatcher(const QDBusConnection &bus) : m_bus(bus) {}
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &serviceOrPath,
                                                 const QDBusMessage &message)
    {
        // An item names its bus name, or only its object path on the caller's connection.
        const bool isPath = serviceOrPath.startsWith(QLatin1Char('/'));
        const QString service = isPath ? message.service() : serviceOrPath;
        const QString item =
            service + (isPath ? serviceOrPath : QStringLiteral("/StatusNotifierItem"));
        {
            QMutexLocker lock(&m_mutex);
            if (m_items.contains(item))
                return;
            m_items << item;
        }
        auto *watcher = new QDBusServiceWatcher(service, m_bus,
                                                QDBusServiceWatcher::WatchForUnregistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this, item, watcher] {
            {
                QMutexLocker lock(&m_mutex);
                m_items.removeAll(item);
            }
            watcher->deleteLater();
            emit StatusNotifierItemUnregistered(item);
        });
        emit StatusNotifierItemRegistered(item);
    }
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString &) {}

signals:
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString &item);
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString &item);
    Q_SCRIPTABLE void StatusNotifierHostRegistered();

private:
    QDBusConnection m_bus;
    mutable QMutex m_mutex;
    QStringList m_items;
};

/// Receives the results KWin scripts send back with callDBus().
class ScriptResults : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.dudud.KWinSessionScript")
public:
    QHash<QString, QString> results;
public slots:
    Q_SCRIPTABLE void result(const QString &id, const QString &value) { results[id] = value; }
};

} // namespace

KWinSession::KWinSession() : KWinSession(Options()) {}

KWinSession::KWinSession(const Options &options) : m_options(options)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot make a temporary folder");
        return;
    }
    m_ok = start();
}

KWinSession::~KWinSession()
{
    if (QTest::currentTestFailed()) {
        for (const auto &[component, process] : m_processes)
            qInfo("%s's output:\n%s", qPrintable(component), log(component).right(4000).data());
    }
    stopAll();
}

QString KWinSession::path(const QString &name) const
{
    return QDir(m_dir.path()).filePath(name);
}

QDBusConnection KWinSession::bus() const
{
    return QDBusConnection(m_busName);
}

QByteArray KWinSession::log(const QString &component) const
{
    QByteArray all;
    for (const char *ext : {".out", ".err"}) {
        QFile f(path(QStringLiteral("logs/") + component + QLatin1String(ext)));
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll();
    }
    return all;
}

bool KWinSession::waitFor(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QTest::qWait(20);
    }
    return condition();
}

bool KWinSession::startProcess(const QString &component, const QString &program,
                               const QStringList &args, const QProcessEnvironment &env)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(path(QStringLiteral("home")));
    p->setStandardOutputFile(path(QStringLiteral("logs/") + component + QStringLiteral(".out")));
    p->setStandardErrorFile(path(QStringLiteral("logs/") + component + QStringLiteral(".err")));
    // Ends with the test process, also when that one crashes or is killed.
    p->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    p->start(program, args);
    if (!p->waitForStarted(5000)) {
        m_error =
            QStringLiteral("cannot start %1 (%2): %3").arg(component, program, p->errorString());
        return false;
    }
    m_processes.emplace_back(component, std::move(p));
    return true;
}

bool KWinSession::waitForName(const QString &name, int ms)
{
    return waitFor([&] { return bus().interface()->isServiceRegistered(name).value(); }, ms);
}

bool KWinSession::start()
{
    const bool gnome = m_options.desktop == Desktop::Gnome;
    if (!gnome && !QFileInfo(kwinBinary).isExecutable()) {
        m_error = QStringLiteral("%1 is missing: install the packages of tools/deps.d/kwin.sh "
                                 "(or run ./test, which does)")
                      .arg(kwinBinary);
        return false;
    }
    const QDir d(m_dir.path());
    for (const char *sub : {"home/.config", "home/.cache", "home/.local/share", "runtime", "logs",
                            "share/applications"})
        d.mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(path(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    m_waylandDisplay = QStringLiteral("wayland-dudud");
    m_env = QProcessEnvironment::systemEnvironment();
    for (const char *var : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                            "QT_QPA_PLATFORM", "SESSION_MANAGER", "XAUTHORITY",
                            "XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID", "KDE_FULL_SESSION"})
        m_env.remove(QString::fromLatin1(var));
    m_env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("home/.config")));
    m_env.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("home/.cache")));
    m_env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("home/.local/share")));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    // The session's own desktop entries (the key tool's) come first.
    m_env.insert(QStringLiteral("XDG_DATA_DIRS"),
                 path(QStringLiteral("share")) + QStringLiteral(":/usr/local/share:/usr/share"));
    m_env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    m_env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"),
                 gnome ? QStringLiteral("GNOME") : QStringLiteral("KDE"));
    m_env.insert(QStringLiteral("XDG_SESSION_DESKTOP"),
                 gnome ? QStringLiteral("gnome") : QStringLiteral("KDE"));
    m_env.insert(QStringLiteral("WAYLAND_DISPLAY"), m_waylandDisplay);

    // The session bus first: KWin registers its global shortcuts service there. Without the
    // portal the bus must not start it on demand either: it gets no service folders.
    QStringList busArgs = {QStringLiteral("--nofork"), QStringLiteral("--print-address=1")};
    if (m_options.portal) {
        busArgs << QStringLiteral("--session");
    } else {
        QFile config(path(QStringLiteral("bus.conf")));
        config.open(QIODevice::WriteOnly);
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                     "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                     "busconfig.dtd\">\n<busconfig><type>session</type><keep_umask/>"
                     "<listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                     "<policy context=\"default\"><allow send_destination=\"*\" "
                     "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                     "</policy></busconfig>\n");
        config.close();
        busArgs << QStringLiteral("--config-file=") + config.fileName();
    }
    if (!startProcess(QStringLiteral("dbus"), QStringLiteral("dbus-daemon"), busArgs, m_env))
        return false;
    QString address;
    waitFor(
        [&] {
            address =
                QString::fromUtf8(log(QStringLiteral("dbus"))).section(QLatin1Char('\n'), 0, 0);
            return address.startsWith(QLatin1String("unix:"));
        },
        5000);
    if (!address.startsWith(QLatin1String("unix:"))) {
        m_error = QStringLiteral("dbus-daemon gave no address");
        return false;
    }
    m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    // DUDUD_KWIN_MONITOR=1 records the bus's traffic in logs/monitor.out, for debugging.
    if (qEnvironmentVariableIntValue("DUDUD_KWIN_MONITOR") == 1 &&
        !startProcess(QStringLiteral("monitor"), QStringLiteral("dbus-monitor"), {}, m_env))
        return false;
    m_busName = QStringLiteral("kwinsession-") + QFileInfo(m_dir.path()).fileName();
    if (!QDBusConnection::connectToBus(address, m_busName).isConnected()) {
        m_error = QStringLiteral("cannot connect to the session bus");
        return false;
    }

    if (!(m_options.desktop == Desktop::Gnome ? startGnomeShell() : startKWin()))
        return false;

    // Services the bus starts on demand see the same session as programs started from it.
    QProcess update;
    QProcessEnvironment updateEnv = m_env;
    QStringList exported = {QStringLiteral("WAYLAND_DISPLAY"),
                            QStringLiteral("XDG_CURRENT_DESKTOP"),
                            QStringLiteral("XDG_SESSION_TYPE")};
    if (m_options.xwayland)
        exported << QStringLiteral("DISPLAY");
    if (!gnome && !qt5HasWayland()) {
        // Without Qt 5's Wayland plugin the KDE backend runs without a display.
        updateEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        exported << QStringLiteral("QT_QPA_PLATFORM");
    }
    update.setProcessEnvironment(updateEnv);
    update.start(QStringLiteral("dbus-update-activation-environment"), exported);
    if (!update.waitForFinished(10000) || update.exitCode() != 0) {
        m_error = QStringLiteral("dbus-update-activation-environment failed: %1")
                      .arg(QString::fromUtf8(update.readAllStandardError()));
        return false;
    }

    if (m_options.tray) {
        m_trayThread = std::make_unique<QThread>();
        m_trayThread->start();
        auto *watcher = new StatusNotifierWatcher(bus());
        m_tray.reset(watcher);
        if (!bus().registerObject(QStringLiteral("/StatusNotifierWatcher"), watcher,
                                  QDBusConnection::ExportScriptableContents |
                                      QDBusConnection::ExportAllProperties) ||
            !bus().registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
            m_error = QStringLiteral("cannot register the tray's StatusNotifierWatcher");
            return false;
        }
        watcher->moveToThread(m_trayThread.get());
    }

    if (m_options.portal) {
        // Started here rather than by the bus, so that they end with the test process.
        const QString backend = gnome ? m_portalBackend : firstExisting(portalKdeBinaries);
        if (backend.isEmpty() || !QFileInfo(portalBinary).isExecutable()) {
            m_error = QStringLiteral("xdg-desktop-portal or xdg-desktop-portal-kde is missing: "
                                     "install the packages of tools/deps.d/kwin.sh");
            return false;
        }
        QProcessEnvironment backendEnv = m_env;
        if (!gnome && !qt5HasWayland())
            backendEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString name = gnome ? QStringLiteral("gnome") : QStringLiteral("kde");
        if (!startProcess(QStringLiteral("portal-") + name, backend, {}, backendEnv) ||
            !waitForName(QStringLiteral("org.freedesktop.impl.portal.desktop.") + name, 15000)) {
            m_error =
                m_error.isEmpty() ? QStringLiteral("the portal backend did not come up") : m_error;
            return false;
        }
        if (!startProcess(QStringLiteral("portal"), portalBinary, {QStringLiteral("--verbose")},
                          m_env) ||
            !waitForName(QStringLiteral("org.freedesktop.portal.Desktop"), 15000)) {
            m_error =
                m_error.isEmpty() ? QStringLiteral("xdg-desktop-portal did not come up") : m_error;
            return false;
        }
    }
    // GNOME Shell starts in its overview, as after a log-in.
    if (gnome && !keys({QStringLiteral("Escape")})) {
        m_error = QStringLiteral("no key presses through mutter's remote-desktop API");
        return false;
    }
    return true;
}

bool KWinSession::startKWin()
{
    // The key tool: KWin offers its fake input only to programs whose desktop entry asks for
    // it, and finds the entry by the executable path in Exec=. KWin 6 reads the entries
    // through KService's cache, made as it starts and only from a menu: the entry and a
    // minimal menu come first.
    QDir().mkpath(path(QStringLiteral("home/.config/menus")));
    QFile menu(path(QStringLiteral("home/.config/menus/applications.menu")));
    menu.open(QIODevice::WriteOnly);
    menu.write("<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\" "
               "\"http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd\">\n"
               "<Menu><Name>Applications</Name><DefaultAppDirs/><DefaultDirectoryDirs/>"
               "<Include><All/></Include></Menu>\n");
    menu.close();
    m_fakekey = path(QStringLiteral("fakekey"));
    if (!QFile::copy(QStringLiteral(DUDUD_FAKEKEY), m_fakekey)) {
        m_error = QStringLiteral("cannot copy the key tool");
        return false;
    }
    QFile entry(path(QStringLiteral("share/applications/dudud-test-fakekey.desktop")));
    entry.open(QIODevice::WriteOnly);
    entry.write("[Desktop Entry]\nType=Application\nName=Test key presses\nExec=" +
                QFile::encodeName(m_fakekey) +
                "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
    entry.close();

    // The installed binary carries a file capability, which a sandbox may refuse to exec; a
    // copy has none.
    const QString kwin = path(QStringLiteral("kwin_wayland"));
    if (!QFile::copy(kwinBinary, kwin)) {
        m_error = QStringLiteral("cannot copy %1").arg(kwinBinary);
        return false;
    }
    QStringList kwinArgs = {QStringLiteral("--virtual"),
                            QStringLiteral("--socket"),
                            m_waylandDisplay,
                            QStringLiteral("--width"),
                            QString::number(m_options.width),
                            QStringLiteral("--height"),
                            QString::number(m_options.height),
                            QStringLiteral("--no-lockscreen"),
                            QStringLiteral("--no-kactivities")};
    if (m_options.xwayland) {
        // Xwayland needs the X socket folder, which a container may lack.
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix"))) {
            QDir(QStringLiteral("/tmp")).mkdir(QStringLiteral(".X11-unix"));
            chmod("/tmp/.X11-unix", 01777);
        }
        kwinArgs << QStringLiteral("--xwayland");
    }
    QProcessEnvironment kwinEnv = m_env;
    kwinEnv.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kwin_*.debug=false"));
    const QStringList x11Before =
        QDir(QStringLiteral("/tmp/.X11-unix")).entryList({QStringLiteral("X*")}, QDir::System);
    if (!startProcess(QStringLiteral("kwin"), kwin, kwinArgs, kwinEnv))
        return false;
    const QString socket = path(QStringLiteral("runtime/") + m_waylandDisplay);
    if (!waitFor([&] { return QFileInfo::exists(socket); }, 15000) ||
        !waitForName(QStringLiteral("org.kde.kglobalaccel"), 15000)) {
        m_error = QStringLiteral("KWin did not come up (no socket %1 or no global shortcuts "
                                 "service on the bus)")
                      .arg(m_waylandDisplay);
        return false;
    }
    if (m_options.xwayland) {
        const qint64 kwinPid = m_processes.back().second->processId();
        waitFor(
            [&] {
                m_x11Display = xwaylandDisplayOf(kwinPid);
                // KWin 6 starts Xwayland on the first X client: the socket it listens on.
                for (const QString &x : QDir(QStringLiteral("/tmp/.X11-unix"))
                                            .entryList({QStringLiteral("X*")}, QDir::System)) {
                    if (m_x11Display.isEmpty() && !x11Before.contains(x))
                        m_x11Display = QLatin1Char(':') + x.mid(1);
                }
                return !m_x11Display.isEmpty() &&
                       QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + m_x11Display.mid(1));
            },
            15000);
        if (m_x11Display.isEmpty()) {
            m_error = QStringLiteral("KWin started no Xwayland");
            return false;
        }
        m_env.insert(QStringLiteral("DISPLAY"), m_x11Display);
    }
    return true;
}

bool KWinSession::startGnomeShell()
{
    const QString portalGnome = QStringLiteral("/usr/libexec/xdg-desktop-portal-gnome");
    if (!QFileInfo(gnomeShellBinary).isExecutable() || !QFileInfo(portalGnome).isExecutable()) {
        m_error = QStringLiteral("gnome-shell or xdg-desktop-portal-gnome is missing: install the "
                                 "packages of tools/deps.d/gnome.sh");
        return false;
    }
    // GNOME Shell needs a system bus: the machine's, or one started here where there is none
    // (a root made for tests).
    const QString systemBus = QStringLiteral("/run/dbus/system_bus_socket");
    if (!QFileInfo::exists(systemBus) &&
        (!startProcess(QStringLiteral("system-bus"), QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--system"), QStringLiteral("--nofork"),
                        QStringLiteral("--nopidfile")},
                       m_env) ||
         !waitFor([&] { return QFileInfo::exists(systemBus); }, 5000))) {
        m_error = QStringLiteral("there is no system bus, and none could be started");
        return false;
    }

    // The shell answers org.gnome.Shell.Eval (the test's questions about its windows) only in
    // unsafe mode, which an extension of the session's own turns on.
    const QString uuid = QStringLiteral("dudud-test-eval@dududadadadiz.org");
    const QString ext = path(QStringLiteral("home/.local/share/gnome-shell/extensions/") + uuid);
    QDir().mkpath(ext);
    QFile metadata(ext + QStringLiteral("/metadata.json"));
    metadata.open(QIODevice::WriteOnly);
    metadata.write("{\"uuid\": \"" + uuid.toUtf8() +
                   "\", \"name\": \"Test questions\", \"description\": \"Unsafe mode\", "
                   "\"shell-version\": [\"48\", \"49\", \"50\"]}\n");
    metadata.close();
    QFile js(ext + QStringLiteral("/extension.js"));
    js.open(QIODevice::WriteOnly);
    js.write("export default class {\n"
             "  enable() { global.context.unsafe_mode = true; }\n"
             "  disable() {}\n"
             "}\n");
    js.close();
    for (const QStringList &args :
         {QStringList{QStringLiteral("org.gnome.shell"), QStringLiteral("enabled-extensions"),
                      QStringLiteral("['%1']").arg(uuid)},
          QStringList{QStringLiteral("org.gnome.shell"),
                      QStringLiteral("disable-extension-version-validation"),
                      QStringLiteral("true")}}) {
        QProcess g;
        g.setProcessEnvironment(m_env);
        g.start(QStringLiteral("gsettings"), QStringList{QStringLiteral("set")} + args);
        if (!g.waitForFinished(10000) || g.exitCode() != 0) {
            m_error = QStringLiteral("gsettings failed: ") +
                      QString::fromLocal8Bit(g.readAllStandardError());
            return false;
        }
    }

    QProcessEnvironment shellEnv = m_env;
    // Its start-up is told among the debug messages.
    shellEnv.insert(QStringLiteral("G_MESSAGES_DEBUG"), QStringLiteral("all"));
    if (!startProcess(QStringLiteral("gnome-shell"), gnomeShellBinary,
                      {QStringLiteral("--headless"), QStringLiteral("--wayland"),
                       QStringLiteral("--no-x11"), QStringLiteral("--virtual-monitor"),
                       QStringLiteral("%1x%2").arg(m_options.width).arg(m_options.height),
                       QStringLiteral("--wayland-display"), m_waylandDisplay},
                      shellEnv) ||
        !waitFor([&] { return log(QStringLiteral("gnome-shell")).contains("GNOME Shell started"); },
                 60000)) {
        m_error = QStringLiteral("GNOME Shell did not start");
        return false;
    }
    if (!waitFor([&] { return !gnomeEval(QStringLiteral("1")).isEmpty(); }, 20000)) {
        m_error = QStringLiteral("GNOME Shell answers no questions (org.gnome.Shell.Eval)");
        return false;
    }
    // The portal backend asks the shell for its services as it starts: after the shell.
    m_portalBackend = portalGnome;
    return true;
}

void KWinSession::stopAll()
{
    if (!m_busName.isEmpty())
        QDBusConnection::disconnectFromBus(m_busName);
    m_scriptResults.reset();
    if (m_trayThread) {
        // The watcher lives in the thread: deleted there, before the thread ends.
        QObject *tray = m_tray.release();
        if (tray)
            QMetaObject::invokeMethod(
                tray, [tray] { delete tray; }, Qt::BlockingQueuedConnection);
        m_trayThread->quit();
        m_trayThread->wait();
        m_trayThread.reset();
    }
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        QProcess *p = it->second.get();
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    m_processes.clear();
    // What the bus or KWin started (the document portal, Xwayland, programs a test started
    // through them) ends too.
    const QString runtime = path(QStringLiteral("runtime"));
    QList<pid_t> left = processesOfSession(runtime);
    for (pid_t pid : left)
        kill(pid, SIGTERM);
    waitFor([&] { return processesOfSession(runtime).isEmpty(); }, 3000);
    for (pid_t pid : processesOfSession(runtime))
        kill(pid, SIGKILL);
    for (pid_t pid : left)
        waitpid(pid, nullptr, WNOHANG);
    // The document portal mounts its file system in the runtime folder.
    const QString doc = QDir(runtime).filePath(QStringLiteral("doc"));
    if (!waitFor([&] { return !isMountPoint(doc); }, 3000))
        QProcess::execute(QStringLiteral("fusermount3"),
                          {QStringLiteral("-u"), QStringLiteral("-z"), doc});
}

bool KWinSession::keys(const QStringList &steps, QList<qint64> *pressedUs)
{
    if (m_options.desktop == Desktop::Gnome)
        return gnomeKeys(steps, pressedUs);
    QProcess p;
    p.setProcessEnvironment(m_env);
    p.setStandardErrorFile(path(QStringLiteral("logs/fakekey.err")), QIODevice::Append);
    p.start(m_fakekey, steps);
    // Events are handled meanwhile, so that signals the keys cause arrive when they are sent.
    if (!waitFor([&] { return p.state() == QProcess::NotRunning; }, 20000)) {
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    const QByteArray out = p.readAllStandardOutput();
    if (pressedUs) {
        pressedUs->clear();
        for (const QByteArray &line : out.split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 3 && parts.at(0) == "pressed")
                pressedUs->append(parts.at(2).toLongLong());
        }
    }
    const bool sent = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!sent)
        qWarning("fakekey %s failed", qPrintable(steps.join(QLatin1Char(' '))));
    return sent;
}

QString KWinSession::runScript(const QString &body)
{
    QDBusConnection c = bus();
    if (!m_scriptResults) {
        m_scriptResults = std::make_unique<ScriptResults>();
        c.registerObject(QStringLiteral("/KWinSessionScript"), m_scriptResults.get(),
                         QDBusConnection::ExportScriptableSlots);
    }
    auto &results = static_cast<ScriptResults *>(m_scriptResults.get())->results;
    const QString id = QString::number(++m_scripts);
    const QString file = path(QStringLiteral("script%1.js").arg(id));
    QFile f(file);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(QStringLiteral("function reply(value) { callDBus(%1, '/KWinSessionScript', %2, "
                           "'result', %3, value); }\n")
                .arg(QString::fromUtf8(
                         QJsonDocument(QJsonArray{c.baseService()}).toJson(QJsonDocument::Compact))
                         .mid(1)
                         .chopped(1),
                     QStringLiteral("'") + scriptInterface + QStringLiteral("'"),
                     QStringLiteral("'") + id + QStringLiteral("'"))
                .toUtf8());
    f.write(body.toUtf8());
    f.close();
    const QString plugin = QStringLiteral("dudud-test-script-") + id;
    QDBusInterface scripting(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                             QStringLiteral("org.kde.kwin.Scripting"), c);
    const QDBusReply<int> loaded = scripting.call(QStringLiteral("loadScript"), file, plugin);
    if (!loaded.isValid() || loaded.value() < 0) {
        qWarning("KWin did not load a script: %s", qPrintable(loaded.error().message()));
        return QString();
    }
    // KWin 5.27 puts a loaded script at "/ID", later versions at "/Scripting/ScriptID".
    for (const QString &scriptPath :
         {QStringLiteral("/%1"), QStringLiteral("/Scripting/Script%1")}) {
        const QDBusMessage ran = c.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), scriptPath.arg(loaded.value()),
            QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run")));
        if (ran.type() != QDBusMessage::ErrorMessage)
            break;
    }
    waitFor([&] { return results.contains(id); }, 5000);
    scripting.call(QStringLiteral("unloadScript"), plugin);
    return results.take(id);
}

QList<KWinSession::Window> KWinSession::windows()
{
    // Window types 0 and 3 are normal windows and dialogs, client type 1 is X11.
    const QString json =
        m_options.desktop == Desktop::Gnome
            ? gnomeEval(QStringLiteral(
                  "global.get_window_actors().map(a => a.meta_window)\n"
                  "  .filter(w => w.get_window_type() === 0 || w.get_window_type() === 3)\n"
                  "  .map(w => { const g = w.get_frame_rect(); return {caption: w.get_title(),\n"
                  "    x: g.x, y: g.y, w: g.width, h: g.height, active: w.has_focus(),\n"
                  "    pid: w.get_pid(), x11: w.get_client_type() === 1}; })"))
            : runScript(
                  QStringLiteral("const list = [];\n"
                                 "for (const w of (workspace.windowList ? workspace.windowList() : "
                                 "workspace.clientList())) {\n"
                                 "  if (!w.normalWindow && !w.dialog) continue;\n"
                                 "  const g = w.frameGeometry;\n"
                                 "  list.push({caption: w.caption, x: g.x, y: g.y, w: g.width,\n"
                                 "    h: g.height, active: w.active, pid: w.pid,\n"
                                 "    x11: w.windowId === undefined ? null : w.windowId != 0});\n"
                                 "}\n"
                                 "reply(JSON.stringify(list));\n"));
    QList<Window> result;
    for (const QJsonValue &v : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        Window w;
        w.caption = o.value(QLatin1String("caption")).toString();
        w.geometry =
            QRect(o.value(QLatin1String("x")).toInt(), o.value(QLatin1String("y")).toInt(),
                  o.value(QLatin1String("w")).toInt(), o.value(QLatin1String("h")).toInt());
        w.active = o.value(QLatin1String("active")).toBool();
        w.x11 = o.value(QLatin1String("x11")).toBool();
        // KWin 6 gives scripts no X window id: an X11 window is one the X server knows.
        if (o.value(QLatin1String("x11")).isNull() && !m_x11Display.isEmpty()) {
            QProcess x;
            x.setProcessEnvironment(m_env);
            x.start(QStringLiteral("xdotool"),
                    {QStringLiteral("search"), QStringLiteral("--name"),
                     QStringLiteral("^%1$").arg(QRegularExpression::escape(w.caption))});
            w.x11 = x.waitForFinished(3000) && !x.readAllStandardOutput().trimmed().isEmpty();
        }
        w.pid = o.value(QLatin1String("pid")).toInteger();
        result << w;
    }
    return result;
}

QStringList KWinSession::trayItems() const
{
    return m_tray ? static_cast<StatusNotifierWatcher *>(m_tray.get())->items() : QStringList();
}

KWinSession::Window KWinSession::window(const QString &caption)
{
    const QList<Window> all = windows();
    for (const Window &w : all) {
        if (w.caption == caption)
            return w;
    }
    return Window();
}

bool KWinSession::activate(const QString &caption)
{
    const QString quoted =
        QString::fromUtf8(QJsonDocument(QJsonArray{caption}).toJson(QJsonDocument::Compact))
            .mid(1)
            .chopped(1);
    if (m_options.desktop == Desktop::Gnome) {
        gnomeEval(QStringLiteral("for (const a of global.get_window_actors()) {\n"
                                 "  if (a.meta_window.get_title() === %1)\n"
                                 "    a.meta_window.activate(global.get_current_time());\n"
                                 "}\n")
                      .arg(quoted));
        return waitFor([&] { return window(caption).active; }, 3000);
    }
    runScript(QStringLiteral("for (const w of (workspace.windowList ? workspace.windowList() : "
                             "workspace.clientList())) {\n"
                             "  if (w.caption === %1) { if ('activeWindow' in workspace) "
                             "workspace.activeWindow = w; else workspace.activeClient = w; }\n"
                             "}\n"
                             "reply('');\n")
                  .arg(quoted));
    return waitFor([&] { return window(caption).active; }, 3000);
}

QString KWinSession::gnomeEval(const QString &script)
{
    const QDBusMessage r =
        bus().call(QDBusMessage::createMethodCall(
                       QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                       QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"))
                   << script);
    if (r.type() == QDBusMessage::ErrorMessage || !r.arguments().value(0).toBool())
        return QString();
    return r.arguments().value(1).toString();
}

bool KWinSession::gnomeKeys(const QStringList &steps, QList<qint64> *pressedUs)
{
    const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
    QDBusConnection c = bus();
    if (m_remoteDesktop.isEmpty()) {
        const QDBusReply<QDBusObjectPath> created = c.call(QDBusMessage::createMethodCall(
            service, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), service,
            QStringLiteral("CreateSession")));
        if (!created.isValid()) {
            qWarning("no remote-desktop session: %s", qPrintable(created.error().message()));
            return false;
        }
        m_remoteDesktop = created.value().path();
        c.call(QDBusMessage::createMethodCall(service, m_remoteDesktop,
                                              service + QStringLiteral(".Session"),
                                              QStringLiteral("Start")));
    }
    auto key = [&](uint keysym, bool down) {
        QDBusMessage m = QDBusMessage::createMethodCall(service, m_remoteDesktop,
                                                        service + QStringLiteral(".Session"),
                                                        QStringLiteral("NotifyKeyboardKeysym"));
        m << keysym << down;
        return c.call(m).type() != QDBusMessage::ErrorMessage;
    };
    // X key symbols: Latin-1 characters are their own.
    auto keysym = [](const QString &name) -> uint {
        static const QHash<QString, uint> named = {
            {QStringLiteral("ctrl"), 0xffe3},   {QStringLiteral("shift"), 0xffe1},
            {QStringLiteral("alt"), 0xffe9},    {QStringLiteral("Return"), 0xff0d},
            {QStringLiteral("Escape"), 0xff1b}, {QStringLiteral("Tab"), 0xff09}};
        if (named.contains(name))
            return named.value(name);
        if (name.size() > 1 && name.startsWith(QLatin1Char('F')))
            return 0xffbe + name.mid(1).toUInt() - 1;
        return name.at(0).unicode();
    };
    bool sent = true;
    if (pressedUs)
        pressedUs->clear();
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("type:"))) {
            for (const QChar ch : step.mid(5)) {
                sent = key(ch.unicode(), true) && key(ch.unicode(), false) && sent;
                QTest::qWait(30);
            }
            continue;
        }
        const QStringList chord = step.split(QLatin1Char('+'));
        for (const QString &k : chord) {
            sent = key(keysym(k), true) && sent;
            if (pressedUs && &k == &chord.last()) {
                timespec now;
                clock_gettime(CLOCK_MONOTONIC, &now);
                pressedUs->append(qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
            }
            QTest::qWait(40);
        }
        QTest::qWait(80);
        for (auto it = chord.crbegin(); it != chord.crend(); ++it) {
            sent = key(keysym(*it), false) && sent;
            QTest::qWait(40);
        }
        QTest::qWait(150);
    }
    return sent;
}

TestWindow::TestWindow(const KWinSession &session, const QString &title, const QString &platform,
                       bool hidden, bool tray, const QString &size)
{
    QProcessEnvironment env = session.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(
        session.path(QStringLiteral("logs/") + title + QStringLiteral(".err")));
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
        while (process.canReadLine())
            reports << QString::fromUtf8(process.readLine()).trimmed();
    });
    QStringList args = {title};
    if (hidden)
        args << QStringLiteral("--hidden");
    if (tray)
        args << QStringLiteral("--tray");
    if (!size.isEmpty())
        args << QStringLiteral("--size") << size;
    process.start(QStringLiteral(DUDUD_TESTWINDOW), args);
    process.waitForStarted(5000);
}

TestWindow::~TestWindow()
{
    process.write("quit\n");
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

void TestWindow::command(const char *line)
{
    process.write(line);
    process.write("\n");
    process.waitForBytesWritten(1000);
}

#include "kwinsession.moc"
