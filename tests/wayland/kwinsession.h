#pragma once

#include <QDBusConnection>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>
#include <vector>

/// A headless KDE Wayland session for end-to-end tests: its own session bus, KWin on a virtual
/// output (optionally with Xwayland), the desktop portal with its KDE backend, a tray, and real
/// key presses through KWin's fake input. Every process of the session is stopped by the
/// destructor, also when a test fails; the direct children also end when the test process dies.
/// With Desktop::Gnome the same with GNOME Shell on a virtual monitor (no Xwayland) and the
/// portal's GNOME backend, keys pressed through mutter's remote-desktop API.
class KWinSession
{
public:
    enum class Desktop
    {
        Plasma,
        Gnome,
    };
    struct Options
    {
        Desktop desktop = Desktop::Plasma;
        bool xwayland = false;
        /// The desktop portal and its KDE backend; without, the bus cannot start them either.
        bool portal = true;
        /// A tray (StatusNotifierWatcher) on the bus, as Plasma's shell provides.
        bool tray = true;
        int width = 1280;
        int height = 800;
    };

    KWinSession();
    explicit KWinSession(const Options &options);
    ~KWinSession();
    KWinSession(const KWinSession &) = delete;
    KWinSession &operator=(const KWinSession &) = delete;

    /// Whether everything asked for came up; error() says what did not.
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

    /// The temporary folder holding the session's home, runtime folder and logs.
    QString dir() const { return m_dir.path(); }
    QString path(const QString &name) const;
    /// The environment of a program started on this session as a user's desktop starts it:
    /// WAYLAND_DISPLAY, DISPLAY (with Xwayland), DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR,
    /// XDG_SESSION_TYPE=wayland, XDG_CURRENT_DESKTOP=KDE, a private HOME and XDG folders; no
    /// QT_QPA_PLATFORM.
    QProcessEnvironment environment() const { return m_env; }
    QString waylandDisplay() const { return m_waylandDisplay; }
    QString x11Display() const { return m_x11Display; }
    /// The test's own connection to the session bus.
    QDBusConnection bus() const;

    /// Presses keys through KWin's fake input, as the "fakekey" tool does: chords such as
    /// "ctrl+shift+n" or "F7", or "type:word". Returns whether every key was sent; @p pressedUs
    /// gets, for each chord, the CLOCK_MONOTONIC time (µs) its last key went down.
    bool keys(const QStringList &steps, QList<qint64> *pressedUs = nullptr);

    struct Window
    {
        QString caption;
        QString resourceClass;
        QRect geometry;
        bool active = false;
        bool x11 = false;
        qint64 pid = 0;
    };
    /// The normal windows KWin manages, in stacking order, asked through a KWin script.
    QList<Window> windows();
    /// The window with that caption; an empty caption when there is none.
    Window window(const QString &caption);
    /// Makes the window with that caption the active one, as a click on it would.
    bool activate(const QString &caption);
    /// The StatusNotifierItems registered with the tray, as "SERVICE/PATH".
    QStringList trayItems() const;
    /// The area of the virtual output.
    QRect screen() const { return QRect(0, 0, m_options.width, m_options.height); }

    /// The output a component wrote so far: "kwin", "dbus", "portal", "portal-kde",
    /// "fakekey".
    QByteArray log(const QString &component) const;

    /// Waits, processing events, until @p condition holds; at most @p ms.
    static bool waitFor(const std::function<bool()> &condition, int ms);

private:
    bool start();
    bool startKWin();
    bool startGnomeShell();
    bool gnomeKeys(const QStringList &steps, QList<qint64> *pressedUs);
    QString gnomeEval(const QString &script);
    bool startProcess(const QString &component, const QString &program, const QStringList &args,
                      const QProcessEnvironment &env);
    bool waitForName(const QString &name, int ms);
    QString runScript(const QString &body);
    void stopAll();

    Options m_options;
    bool m_ok = false;
    QString m_error;
    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_waylandDisplay;
    QString m_x11Display;
    QString m_portalBackend;
    QString m_remoteDesktop; ///< mutter's remote-desktop session, once started
    QString m_busName;
    QString m_fakekey;
    int m_scripts = 0;
    std::unique_ptr<QObject> m_scriptResults;
    std::unique_ptr<QThread> m_trayThread;
    std::unique_ptr<QObject> m_tray;
    // Started in this order, stopped in the reverse one.
    std::vector<std::pair<QString, std::unique_ptr<QProcess>>> m_processes;
};

/// A small Qt window in a process of its own on the session (tests/wayland/testwindow.cpp),
/// standing in for another program or for a window that has to take the focus. Its reports
/// ("active 1", "text WORD", "tray 1" ...) are collected from its standard output.
class TestWindow
{
public:
    /// @p platform is the Qt platform plugin: "wayland" (native) or "xcb" (Xwayland). A hidden
    /// window appears on command("show").
    TestWindow(const KWinSession &session, const QString &title, const QString &platform,
               bool hidden, bool tray = false, const QString &size = QString());
    ~TestWindow();
    TestWindow(const TestWindow &) = delete;
    TestWindow &operator=(const TestWindow &) = delete;

    /// Sends one command: "show", "hide" or "quit".
    void command(const char *line);
    bool has(const QString &report) const { return reports.contains(report); }

    QProcess process;
    QStringList reports;
};
