#include "mainwindow/form1.h"

#include "about/frmabout.h"
#include "editor/dialog.h"
#include "entries/ini.h"
#include "launch/actionlauncher.h"
#include "platform/dialogs.h"
#include "platform/helpviewer.h"
#include "platform/keyboard.h"
#include "platform/shell.h"
#include "prompt/form2.h"

#include <QAction>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTray)
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QTreeView>
#include <QWindow>

#include <unistd.h>

Form1::Form1(platform::PlatformBundle bundle, QWidget *parent)
    : QMainWindow(parent), m_platform(std::move(bundle))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ZIZI Dudud Adadadiz"));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

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
    ListView1->setModel(tables.list());
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setStretchLastSection(false);
    // A third of the list's inner width each, so the three fill it without a scroll bar.
    const int third = (ListView1->width() - 2 * ListView1->frameWidth()) / 3;
    for (int c = 0; c < 3; ++c)
        ListView1->header()->resizeSection(c, third);

    buildMenus();
    setupTrayMenu();

    resize(514, 457 + menuBar()->sizeHint().height());

    endProgram = [] { ::_exit(0); };

    Timer1.setInterval(150);
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

Form1::~Form1() = default;

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

// The resources live in a static library: nothing references them, so the linker would drop
// them unless they are initialised by hand.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

QIcon Form1::programIcon()
{
    static const bool initialised = (initResources(), true);
    Q_UNUSED(initialised);
    return QIcon(QStringLiteral(":/icons/dudud.xpm"));
}

QAction *Form1::action(const QString &name) const
{
    return findChild<QAction *>(name);
}

void Form1::buildMenus()
{
    auto add = [this](QMenu *menu, const char *name, const QString &caption,
                      const QKeySequence &shortcut, void (Form1::*slot)()) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("file"));
    add(file, "Exit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_X),
        &Form1::Exit_Click);

    QMenu *act = menuBar()->addMenu(QStringLiteral("&Action"));
    act->setObjectName(QStringLiteral("Action"));
    add(act, "Add", QStringLiteral("Add..."), QKeySequence(Qt::Key_F3), &Form1::Add_Click);
    add(act, "Modify", QStringLiteral("Modify..."), QKeySequence(Qt::Key_F4), &Form1::Modify_Click);
    add(act, "Remove", QStringLiteral("Remove"), QKeySequence(Qt::Key_Delete),
        &Form1::Remove_Click);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help"));
    add(help, "contents", QStringLiteral("Contents"), QKeySequence(Qt::Key_F1),
        &Form1::contents_Click);
    add(help, "index", QStringLiteral("Index"), QKeySequence(), &Form1::index_Click);
    add(help, "About", QStringLiteral("About"), QKeySequence(Qt::CTRL | Qt::Key_B),
        &Form1::About_Click);
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

bool Form1::Form_Load()
{
    QString error;
    if (!init_DI(&error)) {
        dialogs().messageBox(this, error, platform::MbOk | platform::MbIconStop);
        return false;
    }
    getinfo();
    selectRow(1);
    show();

    nid = platform::NotifyIconData();
    nid.hWnd = quintptr(winId());
    nid.hIcon = windowIcon();
    nid.szTip = QStringLiteral("Dudud Adadadiz");
    notifyIcon().onEvent = [this](int code) { Form_MouseMove(code); };
    notifyIcon().setContextMenu(mPopupSys);
    notifyIcon().Shell_NotifyIconA(platform::NimAdd, nid);

    minimise();
    m_loaded = true;

    connect(&keyboard(), &platform::KeyboardDevice::keyPressed, this, &Form1::Timer1_Timer,
            Qt::QueuedConnection);
    connect(&keyboard(), &platform::KeyboardDevice::failed, this, &Form1::keyboardFailed);
    Timer1.start();
    return true;
}

bool Form1::init_DI(QString *error)
{
    return keyboard().acquire(error);
}

void Form1::getinfo()
{
    tables.getinfo();
}

void Form1::reload(int preferredRow)
{
    tables.list()->clear();
    tables.getinfo();
    selectRow(preferredRow);
}

void Form1::selectRow(int row)
{
    const int rows = tables.list()->rowCount();
    if (rows == 0)
        return;
    const QModelIndex idx = tables.list()->index(qBound(1, row, rows) - 1, 0);
    ListView1->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    ListView1->scrollTo(idx);
}

bool Form1::set_arrays(QStringList &hotkeys, QStringList &keywords, QStringList &actions) const
{
    return tables.set_arrays(hotkeys, keywords, actions);
}

int Form1::selectedRow() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
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

void Form1::Timer1_Timer()
{
    platform::KeyState state{};
    QString error;
    if (m_keyboardFailed)
        return;
    if (!keyboard().readState(state, &error)) {
        keyboardFailed(error);
        return;
    }
    const HotkeyMonitor::Decision d = m_monitor.tick(state, s);
    if (d.openPrompt)
        qlauncher_Click();
    for (const QString &k : d.keys)
        check(k);
}

void Form1::keyboardFailed(const QString &why)
{
    // Told once: the message box is modal, and the ticks that run meanwhile would find the
    // device failing again.
    if (m_keyboardFailed)
        return;
    m_keyboardFailed = true;
    Timer1.stop();
    dialogs().messageBox(this, why, platform::MbOk | platform::MbIconStop);
    exit1();
}

void Form1::exit1()
{
    notifyIcon().Shell_NotifyIconA(platform::NimDelete, nid);
    Timer1.stop();
    endProgram();
}

void Form1::Form_Resize()
{
    qCDebug(lcTray) << "resize rule, state" << windowState();
    if (windowState() & Qt::WindowMinimized) {
        // Without a tray the minimised window stays in the taskbar: it is then the only way
        // back to the main window.
        if (notifyIcon().trayAvailable()) {
            hide();
            // Hidden, it is in the tray: shown again, it comes back in its normal state.
            m_restoring = true;
            setWindowState(windowState() & ~Qt::WindowMinimized);
            m_restoring = false;
        }
        return;
    }
    const QScreen *scr = screen();
    if (!scr)
        return;
    const QRect sg = scr->geometry();
    const QRect fg = frameGeometry();
    move(sg.x() + sg.width() / 2 - fg.width() / 2, sg.y() + sg.height() / 2 - fg.height() / 2);
}

void Form1::minimise()
{
    // With a tray, a minimised main window is hidden at once, as the resize rule does. It is
    // hidden without going through the window system's minimised state: a window minimised
    // by the program carries a hint to map it minimised, and the window manager would then
    // minimise it again, out of sight, each time it is shown.
    if (notifyIcon().trayAvailable()) {
        hide();
        return;
    }
    setWindowState(windowState() | Qt::WindowMinimized);
    Form_Resize();
}

void Form1::restoreWindowState()
{
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void Form1::Form_Unload(bool &Cancel)
{
    Cancel = true;
    minimise();
}

void Form1::closeEvent(QCloseEvent *event)
{
    bool Cancel = false;
    Form_Unload(Cancel);
    if (Cancel)
        event->ignore();
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        qCDebug(lcTray) << "window state" << windowState() << "restoring" << m_restoring;
    if (event->type() == QEvent::WindowStateChange && m_loaded && !m_restoring)
        Form_Resize();
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_loaded)
        Form_Resize();
}
