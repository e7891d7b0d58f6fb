#pragma once

#include "entries/entrystore.h"
#include "launch/hotkeymonitor.h"
#include "platform/platformbundle.h"
#include "platform/shell.h"
#include "platform/trayicon.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <memory>

class Form1;
class Form2;
class QMenu;
namespace commandline {
struct Request;
}

/// The running program, apart from its windows: the platform services, the entries, the
/// hotkey monitor and its tick, the tray icon and its menu mPopupSys, the requests of later
/// starts, and the windows it opens: the keyword prompt and the main window, each made when
/// it is first asked for (the main window at start-up where there is no tray).
class Launcher : public QObject
{
    Q_OBJECT
public:
    /// The entry file is the one of a program in @p programDir.
    Launcher(platform::PlatformBundle bundle, const QString &programDir, QObject *parent = nullptr);
    ~Launcher() override;

    /// The whole start-up. A keyboard device that cannot be had is told once, and the program
    /// runs on without hotkeys: the tray, the windows, --prompt and --hotkey still work.
    /// Returns true once started.
    bool Form_Load();
    /// Takes the tray icon away and emits ended(): main.cpp then ends the process at once.
    void exit1();

    /// Opens the action of every entry with hotkey @p k. The actions that cannot be opened
    /// are told in one message box (and on standard error).
    void check(const QString &k);
    platform::OpenResult SHELL_internetlink(const QString &url);

    bool init_DI(QString *error);
    /// Reads a snapshot and makes the monitor's calls. Stops Timer1 when the monitor says
    /// the keys are at rest; a press reported by the device starts it again.
    void Timer1_Timer();
    /// Runs while a watched key or modifier is held; started by Form_Load.
    QTimer Timer1;

    EntryStore &store() { return m_store; }
    /// The main window, made (hidden) when first asked for.
    Form1 &mainWindow();
    bool hasMainWindow() const { return m_form1 != nullptr; }
    /// The prompt, once it was first shown.
    Form2 *prompt() const;
    QMenu *mPopupSys() const { return m_trayMenu.get(); }

public slots:
    /// What a later start (or this one's command line) asks for.
    void requested(const commandline::Request &request);
    /// What the user did with the tray icon.
    void Form_MouseMove(platform::TrayActivation activation);
    /// Shows the keyword prompt and gives it the keyboard.
    void qlauncher_Click();
    /// Shows the main window in its normal state.
    void mwindow_Click();
    void ex_Click();

signals:
    /// exit1() is done: the program is to end now.
    void ended();

private:
    void buildTrayMenu();
    void keyboardFailed(const QString &why);
    /// A press: ticks at once and keeps ticking until the keys are at rest.
    void wakeTick();
    void entriesReloaded();

    platform::PlatformBundle m_platform;
    EntryStore m_store;
    HotkeyMonitor m_monitor;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<Form1> m_form1;
    QPointer<Form2> m_form2;
    bool m_keyboardFailed = false;
    QSet<QString> m_sharedTold; ///< keys told to be another program's shortcut too
};
