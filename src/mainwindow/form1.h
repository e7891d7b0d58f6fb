#pragma once

#include "editor/editorhost.h"
#include "entries/entryfile.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

class EntryStore;
class QTreeView;
class QAction;
class Dialog;
class frmAbout;
namespace platform {
class Dialogs;
class HelpViewer;
class TrayIcon;
} // namespace platform

/// The main window: the list of entries and its selection, the menus and their commands
/// (form1_commands.cpp: Add, Modify, Remove, Exit; helpcommands.cpp: Help and About), and the
/// rules of its size and place. Closing or minimising it hides it in the tray; it never ends
/// the program itself, but asks through exitRequested().
///
/// It works on @p store, tells through @p dialogs, shows help through @p help and asks
/// @p tray whether there is a tray to hide in; all of them must outlive it. The editor and
/// the About box it opens have no owner; it deletes them when it goes.
class Form1 : public QMainWindow, public EditorHost
{
    Q_OBJECT
public:
    Form1(EntryStore &store, platform::Dialogs &dialogs, platform::HelpViewer &help,
          const platform::TrayIcon &tray, QWidget *parent = nullptr);
    ~Form1() override;

    QTreeView *ListView1 = nullptr;
    bool Modi = false;

    /// Selects row @p row (1-based, clamped to the rows there are), when there are rows.
    void selectRow(int row);
    /// The 1-based index of the selected row, or 0 when none is selected.
    int selectedRow() const override;

    /// Shows the window in its normal state, centred, in front.
    void present();
    /// Minimises the window: hidden where there is a tray, in the taskbar where there is none.
    void minimise();

    Dialog *editor() const;
    frmAbout *about() const;
    /// The menu bar's actions, by their item names.
    QAction *action(const QString &name) const;

    // --- EditorHost ---------------------------------------------------------------------
    EntryStore &entries() override { return m_store; }
    bool &modifyMode() override { return Modi; }
    platform::Dialogs &dialogs() override { return m_dialogs; }
    void entrySaved(int row) override;
    void editorClosed(Dialog *editor) override;
    bool sharedShortcut(const QString &key) override
    {
        return m_shortcutProbe && m_shortcutProbe(key);
    }
    /// What sharedShortcut() asks: the keyboard source, which alone can tell.
    void setShortcutProbe(std::function<bool(const QString &)> probe)
    {
        m_shortcutProbe = std::move(probe);
    }

public slots:
    // form1_commands.cpp
    void Add_Click();
    void Modify_Click();
    void Remove_Click();
    void Exit_Click();
    // helpcommands.cpp
    void contents_Click();
    void index_Click();
    void About_Click();

signals:
    /// The user chose Exit.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Resize();
    void Form_Unload(bool &Cancel);
    void checkFrameLater(int times);
    QRect outerGeometry() const;
    void restoreWindowState();
    void buildList();
    void buildMenus();
    /// What each column needs for its heading and its widest shown text.
    QList<int> columnNeeds() const;
    /// The width the list gives its columns now.
    int columnRoom() const;
    /// Shares the list's width out among its columns by their needs.
    void fitColumns();
    /// The first size: as wide as the columns' texts want, within a share of the screen.
    void fitToTexts();
    /// Reloads the list and selects @p row (1-based; clamped; 0 selects the first).
    void reload(int row);
    /// Keeps the selection on the same entry across a reload, where it is still there.
    void keepSelection();
    void restoreSelection();

    EntryStore &m_store;
    platform::Dialogs &m_dialogs;
    platform::HelpViewer &m_help;
    const platform::TrayIcon &m_tray;
    QPointer<Dialog> m_dialog;
    QPointer<frmAbout> m_about;
    int m_keptRow = 0; ///< the row selected before a reload, 0 for none
    entries::EntryValues m_kept;
    bool m_restoring = false;
    bool m_centreOnFrame = false; ///< centred before the frame was known
    std::function<bool(const QString &)> m_shortcutProbe;
    bool m_sized = false;         ///< the first size is set
};
