#include "mainwindow/form1.h"

#include "about/frmabout.h"
#include "editor/dialog.h"
#include "entries/ini.h"
#include "launch/actionlauncher.h"
#include "platform/dialogs.h"
#include "platform/helpviewer.h"
#include "platform/keyboard.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/shell.h"
#include "platform/windowfocus.h"
#include "prompt/form2.h"
#include "ui/programicon.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenuBar>
#include <QTreeView>

#include <utility>

Form1::Form1(platform::PlatformBundle bundle, QWidget *parent)
    : QMainWindow(parent), m_platform(std::move(bundle))
{
    // ini_read and ini_write reach the entry file through the bundle's profile.
    platform::setProfile(m_platform.profile.get());

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ZIZI Dudud Adadadiz"));
    setWindowIcon(ui::programIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // The rows and the selected row are kept without the view: a program that stays in the
    // tray never makes the window's contents, nor loads the fonts they need.

    buildMenus();
    setupTrayMenu();

    endProgram = [] { platform::endProcessNow(0); };

    Timer1.setInterval(150);
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

void Form1::setVisible(bool visible)
{
    const bool first = visible && !ListView1;
    if (first)
        buildWindow();
    QMainWindow::setVisible(visible);
    // Its size was set while it was hidden: it is centred now that it is shown, and again
    // once the window manager has framed it.
    if (first && m_loaded)
        Form_Resize();
}

void Form1::buildWindow()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    // The list keeps its design position and size whatever the window's size.
    ListView1 = new QTreeView(client);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(3, 5, 507, 448);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSortingEnabled(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAllColumnsShowFocus(true);
    // Paths keep their file name in view.
    ListView1->setTextElideMode(Qt::ElideMiddle);
    ListView1->setModel(tables.list());
    ListView1->setSelectionModel(selection());
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setStretchLastSection(false);
    // A third of the list's inner width each, so the three fill it without a scroll bar.
    const int third = (ListView1->width() - 2 * ListView1->frameWidth()) / 3;
    for (int c = 0; c < 3; ++c)
        ListView1->header()->resizeSection(c, third);
    if (m_selection->currentIndex().isValid())
        ListView1->scrollTo(m_selection->currentIndex());

    for (const auto &[caption, actions] : std::as_const(m_menus)) {
        QMenu *menu = menuBar()->addMenu(caption);
        menu->setObjectName(actions.first()->property("menu").toString());
        menu->addActions(actions);
    }
    resize(514, 457 + menuBar()->sizeHint().height());
}

Form1::~Form1()
{
    // The windows it opened have no owner, and work on this window's state.
    delete m_form2.data();
    delete m_dialog.data();
    delete m_about.data();
    if (&platform::profile() == m_platform.profile.get())
        platform::setProfile(nullptr);
}

Form2 *Form1::prompt() const
{
    return m_form2;
}

Dialog *Form1::editor() const
{
    return m_dialog;
}

frmAbout *Form1::about() const
{
    return m_about;
}

QAction *Form1::action(const QString &name) const
{
    return findChild<QAction *>(name);
}

void Form1::buildMenus()
{
    // The actions are the window's from the start (its shortcuts, the commands); the menus
    // that show them are made with the window.
    auto add = [this](const char *menu, const char *name, const QString &caption,
                      const QKeySequence &shortcut, void (Form1::*slot)()) {
        auto *a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setProperty("menu", QString::fromLatin1(menu));
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        return a;
    };

    m_menus = {
        {QStringLiteral("&File"),
         {add("file", "Exit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_X),
              &Form1::Exit_Click)}},
        {QStringLiteral("&Action"),
         {add("Action", "Add", QStringLiteral("Add..."), QKeySequence(Qt::Key_F3),
              &Form1::Add_Click),
          add("Action", "Modify", QStringLiteral("Modify..."), QKeySequence(Qt::Key_F4),
              &Form1::Modify_Click),
          add("Action", "Remove", QStringLiteral("Remove"), QKeySequence(Qt::Key_Delete),
              &Form1::Remove_Click)}},
        {QStringLiteral("&Help"),
         {add("Help", "contents", QStringLiteral("Contents"), QKeySequence(Qt::Key_F1),
              &Form1::contents_Click),
          add("Help", "index", QStringLiteral("Index"), QKeySequence(), &Form1::index_Click),
          add("Help", "About", QStringLiteral("About"), QKeySequence(Qt::CTRL | Qt::Key_B),
              &Form1::About_Click)}},
    };
}

void Form1::setupTrayMenu()
{
    mPopupSys = new QMenu(QStringLiteral("&Systray"), this);
    mPopupSys->setObjectName(QStringLiteral("mPopupSys"));
    QAction *mwindow = mPopupSys->addAction(QStringLiteral("&Main window"));
    mwindow->setObjectName(QStringLiteral("mwindow"));
    connect(mwindow, &QAction::triggered, this, &Form1::mwindow_Click);
    QAction *qlauncher = mPopupSys->addAction(QStringLiteral("&Dudud Adadadiz"));
    qlauncher->setObjectName(QStringLiteral("qlauncher"));
    // Shown in the menu only: F7 is watched by the hotkey monitor, not a window shortcut.
    qlauncher->setShortcut(QKeySequence(Qt::Key_F7));
    qlauncher->setShortcutContext(Qt::WidgetShortcut);
    qlauncher->setShortcutVisibleInContextMenu(true);
    connect(qlauncher, &QAction::triggered, this, &Form1::qlauncher_Click);
    QAction *ex = mPopupSys->addAction(QStringLiteral("&Exit"));
    ex->setObjectName(QStringLiteral("ex"));
    connect(ex, &QAction::triggered, this, &Form1::ex_Click);
    mPopupSys->setDefaultAction(mwindow);
}

namespace {
// One row per entry with a hotkey, named by its keyword (its action when it has none).
QList<platform::HotkeyUse> hotkeyUses(const EntryTables &t)
{
    QList<platform::HotkeyUse> uses;
    const int n = qMin(t.count(), int(qMin(t.Hotkey.size(), t.Keyword.size())));
    for (int i = 0; i < n; ++i) {
        if (!t.Hotkey.at(i).isEmpty())
            uses.append(
                {t.Hotkey.at(i), t.Keyword.at(i).isEmpty() ? t.Action.value(i) : t.Keyword.at(i)});
    }
    return uses;
}
} // namespace

void Form1::getinfo()
{
    tables.getinfo();
    keyboard().setHotkeys(hotkeyUses(tables));
    // The tables hold what the program needs at rest; the parsed file, as large as the file
    // again, is read anew by the next command that needs it.
    m_platform.profile->releaseCache();
}

void Form1::reload(int preferredRow)
{
    tables.list()->clear();
    getinfo();
    selectRow(preferredRow);
    if (m_form2)
        m_form2->takeCopies();
}

bool Form1::reloadIfChanged()
{
    EntryTables now;
    now.readTables(entryFilePath());
    if (now.sameEntries(tables))
        return false;
    const int row = selectedRow();
    const entries::EntryValues selected = row ? tables.entry(row) : entries::EntryValues();
    const int moved = row ? now.find(selected, row) : 0;
    reload(moved ? moved : row);
    return true;
}

void Form1::selectRow(int row)
{
    const int rows = tables.list()->rowCount();
    if (rows == 0)
        return;
    if (!m_selection) {
        m_selectedRow = qBound(1, row, rows);
        return;
    }
    const QModelIndex idx = tables.list()->index(qBound(1, row, rows) - 1, 0);
    m_selection->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
    if (ListView1)
        ListView1->scrollTo(idx);
}

bool Form1::set_arrays(QStringList &hotkeys, QStringList &keywords, QStringList &actions) const
{
    return tables.set_arrays(hotkeys, keywords, actions);
}

QItemSelectionModel *Form1::selection()
{
    if (!m_selection) {
        m_selection = new QItemSelectionModel(tables.list(), this);
        const int row = std::exchange(m_selectedRow, 0);
        if (row)
            selectRow(row);
    }
    return m_selection;
}

int Form1::selectedRow() const
{
    if (!m_selection)
        return m_selectedRow <= tables.count() ? m_selectedRow : 0;
    const QModelIndexList rows = m_selection->selectedRows();
    if (rows.isEmpty())
        return 0;
    return rows.first().row() + 1;
}

void Form1::check(const QString &k)
{
    checkHotkey(
        k, tables.Hotkey, tables.Action, tables.count(),
        [this](const QString &url) { SHELL_internetlink(url); }, shell());
}

void Form1::SHELL_internetlink(const QString &url)
{
    shell().openUrl(url);
}
