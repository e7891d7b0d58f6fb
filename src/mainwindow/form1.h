#pragma once

#include "editor/editorhost.h"
#include "entries/entryfilewatcher.h"
#include "entries/entrytables.h"
#include "launch/hotkeymonitor.h"
#include "platform/notifyicon.h"
#include "platform/platformbundle.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class QTreeView;
class QItemSelectionModel;
class QMenu;
class QAction;
class Form2;
class Dialog;
class frmAbout;
namespace commandline {
struct Request;
}

/// The main window: owns the shared state (`s`, the entry tables, `Modi`, the keyboard
/// device, the notification icon record) and the procedures the other windows call.
///
/// Its handlers are spread over files by concern: form1.cpp (layout, menus, entry store,
/// launcher), launch/startup/form1_launch.cpp (start-up, hotkey tick, resize, unload, exit),
/// form1_commands.cpp (Add, Modify, Remove), form1_prompt.cpp (qlauncher_Click),
/// helpcommands.cpp (Help menu and About), traydispatch.cpp (icon events and the tray menu).
///
/// The windows it opens get only what they use: the editor works through EditorHost, the
/// prompt gets the tables and the services it needs. Form1 deletes them when it goes.
class Form1 : public QMainWindow, public EditorHost
{
    Q_OBJECT
public:
    explicit Form1(platform::PlatformBundle bundle, QWidget *parent = nullptr);
    ~Form1() override;

    // --- shared state -------------------------------------------------------------------
    EntryTables tables;
    QString &s = tables.s;
    bool Modi = false;
    platform::NotifyIconData nid;
    /// The list of entries; made when the window is first shown. Its rows live in the tables'
    /// model from the start; the selected row is a number until selection() is first asked
    /// for, which makes the list's selection model.
    QTreeView *ListView1 = nullptr;
    QItemSelectionModel *selection();

    // --- start-up and shutdown ----------------------------------------------------------
    /// The whole start-up. A keyboard device that cannot be had is told once, and the program
    /// runs on without hotkeys: the tray, the windows, --prompt and --hotkey still work.
    /// Returns true once started.
    bool Form_Load();
    /// Removes the notification icon and ends the program at once.
    void exit1();
    /// Ending the process; tests replace it so that exit1 can be observed.
    std::function<void()> endProgram;

    // --- entry store --------------------------------------------------------------------
    /// Appends the entries of the entry file to the list (the list is not cleared).
    void getinfo();
    /// Clears the list, calls getinfo() and selects @p preferredRow (1-based; clamped to the
    /// last row; 0 selects the first), so the list has a selected row whenever it has rows.
    void reload(int preferredRow = 0);
    /// Selects row @p row (1-based, clamped to the rows there are), when there are rows.
    void selectRow(int row);
    /// Reloads when the entry file holds other entries than the tables: another program or
    /// a text editor changed it. The selection stays on the same entry where it is still
    /// there. Returns whether it reloaded.
    bool reloadIfChanged();
    bool set_arrays(QStringList &hotkeys, QStringList &keywords, QStringList &actions) const;
    /// The 1-based index of the selected row, or 0 when none is selected.
    int selectedRow() const override;

    // --- launcher -----------------------------------------------------------------------
    void check(const QString &k);
    void SHELL_internetlink(const QString &url);

    // --- hotkey monitor -----------------------------------------------------------------
    bool init_DI(QString *error);
    /// Reads a snapshot and makes the monitor's calls. Stops Timer1 when the monitor says
    /// the keys are at rest; a press reported by the device starts it again.
    void Timer1_Timer();
    /// Runs while a watched key or modifier is held; started by Form_Load.
    QTimer Timer1;

    // --- windows this one opens ----------------------------------------------------------
    Form2 *prompt() const;
    Dialog *editor() const;
    frmAbout *about() const;

    // --- platform services --------------------------------------------------------------
    platform::KeyboardDevice &keyboard() { return *m_platform.keyboard; }
    platform::Shell &shell() { return *m_platform.shell; }
    platform::NotifyIcon &notifyIcon() { return *m_platform.notifyIcon; }
    platform::Dialogs &dialogs() override { return *m_platform.dialogs; }
    platform::HelpViewer &helpViewer() { return *m_platform.helpViewer; }
    platform::WindowFocus &windowFocus() { return *m_platform.windowFocus; }

    // --- EditorHost ---------------------------------------------------------------------
    EntryTables &entryTables() override { return tables; }
    bool &modifyMode() override { return Modi; }
    void entrySaved(int row) override;
    bool refreshEntries() override { return reloadIfChanged(); }
    void editorClosed(Dialog *editor) override;

    /// The tray menu mPopupSys and the menu bar's actions, by their item names.
    QMenu *mPopupSys = nullptr;
    QAction *action(const QString &name) const;

public slots:
    // form1_prompt.cpp
    void qlauncher_Click();
    // launch/startup/form1_launch.cpp: what a later start (or this one's command line) asks
    void requested(const commandline::Request &request);
    // traydispatch.cpp
    void Form_MouseMove(int code);
    void mwindow_Click();
    void ex_Click();
    // form1_commands.cpp
    void Add_Click();
    void Modify_Click();
    void Remove_Click();
    void Exit_Click();
    // helpcommands.cpp
    void contents_Click();
    void index_Click();
    void About_Click();

    /// Builds the window's contents when it is first shown.
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Form_Resize();
    void checkFrameLater(int times);
    QRect outerGeometry() const;
    void restoreWindowState();
    void minimise();
    void keyboardFailed(const QString &why);
    /// A press: ticks at once and keeps ticking until the keys are at rest.
    void wakeTick();
    void Form_Unload(bool &Cancel);
    void buildMenus();
    void buildWindow();
    void setupTrayMenu();

    platform::PlatformBundle m_platform;
    HotkeyMonitor m_monitor;
    EntryFileWatcher m_fileWatcher;
    QPointer<Form2> m_form2;
    QPointer<Dialog> m_dialog;
    QPointer<frmAbout> m_about;
    bool m_loaded = false;
    QItemSelectionModel *m_selection = nullptr;
    int m_selectedRow = 0; ///< the selected row while there is no selection model; 0 for none
    /// The menu bar's menus, each a caption and its actions; put in the bar by buildWindow.
    QList<QPair<QString, QList<QAction *>>> m_menus;
    bool m_restoring = false;
    bool m_centreOnFrame = false; ///< centred before the frame was known
    bool m_keyboardFailed = false;
};
