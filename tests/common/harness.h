#pragma once

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

/// Runs the real program the way a user does: its own X server (Xvfb), a private D-Bus
/// session bus, optionally a window manager and a tray, the binary copied into a temporary
/// folder with its own "DAzad.ini". Everything started here is stopped by the destructor,
/// also when a test fails.
class E2eSession
{
public:
    struct Options
    {
        bool windowManager = true;
        bool tray = true;
        int screenWidth = 1280;
        int screenHeight = 800;
    };

    E2eSession();
    explicit E2eSession(const Options &options);
    ~E2eSession();
    E2eSession(const E2eSession &) = delete;
    E2eSession &operator=(const E2eSession &) = delete;

    /// Whether the X server (and the rest asked for) came up; error() says why not.
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

    QString display() const { return m_display; }
    /// The folder that holds the program copy, "DAzad.ini" and the test's scripts.
    QString dir() const { return m_dir.path(); }
    QString path(const QString &name) const;
    QProcessEnvironment environment() const { return m_env; }

    /// Writes "DAzad.ini" beside the program copy.
    void writeEntryFile(const QByteArray &contents);
    QByteArray readEntryFile() const;

    /// Writes an executable script that appends "<tag> <args...>" to log.txt, one line per run.
    QString writeLoggingScript(const QString &name, const QString &tag);
    /// The lines of log.txt so far.
    QStringList logLines() const;
    /// Makes a logging script with @p tag the desktop's default browser for web addresses.
    void writeStandInBrowser(const QString &tag);

    /// Starts the tray (trayer) now; for tests that start it after the program.
    bool startTray();
    void stopTray();

    /// The variables for startApp() that give the program the font and colours of the look
    /// @p look of docs/looks/ (its kdeglobals file), as a Plasma desktop gives them.
    static QStringList lookEnvironment(const QString &look);

    /// Starts the program copy; waits until @p ready holds or, without it, until its main
    /// window exists or its icon is docked in the XEmbed tray.
    bool startApp(const QStringList &extraEnv = {}, const std::function<bool()> &ready = {});
    /// The command startApp() runs instead of the program copy (an installed program, run
    /// as another user); empty: the copy.
    void setAppCommand(const QStringList &command) { m_appCommand = command; }
    QStringList appCommand() const;
    QProcess *app() { return m_app.get(); }
    /// Waits for the program to end, at most @p ms; returns whether it ended.
    bool waitForAppExit(int ms);

    /// Runs an X client tool (xdotool, xprop, xwininfo ...) on this display; its stdout.
    QString run(const QString &program, const QStringList &args, int *exitCode = nullptr,
                int timeoutMs = 10000) const;
    QString xdotool(const QStringList &args, int *exitCode = nullptr) const;

    /// Visible top-level windows whose title matches @p regex exactly (xdotool search).
    QStringList visibleWindows(const QString &titleRegex) const;
    /// All windows, mapped or not, with that title.
    QStringList windows(const QString &titleRegex) const;
    /// The windows the tray holds that belong to the program (by their WM_CLASS).
    QStringList trayIconsOfApp() const;
    /// The windows the tray holds whose WM_CLASS contains @p wmClass.
    QStringList trayIconsOf(const QString &wmClass) const;
    /// The window that has the input focus.
    QString focusedWindow() const;
    /// Activates @p window through the window manager until it has the keyboard focus, for
    /// at most @p ms: a window that has just appeared may not be managed yet, and the first
    /// request then leaves the focus where it was.
    bool activate(const QString &window, int ms = 5000) const;
    /// Geometry "x y w h" of a window in root coordinates.
    QRect geometry(const QString &window) const;

    /// X key codes of the server's evdev key map, for keyEvent().
    enum KeyCode : unsigned
    {
        KeyLCtrl = 37,
        KeyRCtrl = 105,
        KeyLShift = 50,
        KeyRShift = 62,
        KeyLAlt = 64,
        KeyN = 57,
        KeyF5 = 71,
        KeyF7 = 73,
        Key1 = 10,
        KeyKP1 = 87,
        KeyReturn = 36,
        KeyEscape = 9,
    };
    /// Presses (@p down) or releases one key through XTest, by key code, at once.
    bool keyEvent(unsigned keycode, bool down);
    /// Presses @p codes in order, holds them @p holdMs, releases them in reverse order.
    void chord(const QList<unsigned> &codes, int holdMs);

    /// Saves a screenshot of the whole screen as PNG; returns its path. With the variable
    /// DUDUD_SCREENSHOT_DIR set, also writes "<name>.png" cropped to the focused window
    /// there (shots named "probe..." excepted).
    QString screenshot(const QString &name) const;
    /// The focused top-level window with its window manager frame, in root coordinates;
    /// empty when no window has the focus.
    QRect focusedFrame() const;

private:
    bool startServer();
    bool startProcess(std::unique_ptr<QProcess> &p, const QString &program,
                      const QStringList &args);
    void stop(std::unique_ptr<QProcess> &p);

    Options m_options;
    QStringList m_appCommand;
    bool m_ok = false;
    QString m_error;
    QString m_display;
    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_dbus;
    std::unique_ptr<QProcess> m_wm;
    std::unique_ptr<QProcess> m_tray;
    std::unique_ptr<QProcess> m_app;
    void *m_xdisplay = nullptr;
};
