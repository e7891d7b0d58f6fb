#include "mainwindow/form1.h"

#include "about/frmabout.h"
#include "editor/dialog.h"
#include "entries/entrystore.h"
#include "platform/trayicon.h"
#include "ui/programicon.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QScreen>
#include <QTreeView>
#include <QWindow>

Q_DECLARE_LOGGING_CATEGORY(lcTray)

Form1::Form1(EntryStore &store, platform::Dialogs &dialogs, platform::HelpViewer &help,
             const platform::TrayIcon &tray, QWidget *parent)
    : QMainWindow(parent), m_store(store), m_dialogs(dialogs), m_help(help), m_tray(tray)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("ZIZI Dudud Adadadiz"));
    setWindowIcon(ui::programIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildList();
    buildMenus();
    resize(514, 457 + menuBar()->sizeHint().height());
    connect(&m_store, &EntryStore::aboutToReload, this, &Form1::keepSelection);
    connect(&m_store, &EntryStore::reloaded, this, &Form1::restoreSelection);
    selectRow(1);
}

Form1::~Form1()
{
    // The windows it opened have no owner, and work on this window's state.
    delete m_dialog.data();
    delete m_about.data();
}

void Form1::buildList()
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
    ListView1->setModel(m_store.tables.list());
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setStretchLastSection(false);
    // A third of the list's inner width each, so the three fill it without a scroll bar.
    const int third = (ListView1->width() - 2 * ListView1->frameWidth()) / 3;
    for (int c = 0; c < 3; ++c)
        ListView1->header()->resizeSection(c, third);
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
    auto add = [this](QMenu *menu, const char *name, const QString &caption,
                      const QKeySequence &shortcut, void (Form1::*slot)()) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this, slot);
        // The shortcuts work while the window is active, whichever control has the focus.
        addAction(a);
    };
    auto menu = [this](const QString &caption, const char *name) {
        QMenu *m = menuBar()->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    QMenu *file = menu(QStringLiteral("&File"), "file");
    add(file, "Exit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_X),
        &Form1::Exit_Click);
    QMenu *actions = menu(QStringLiteral("&Action"), "Action");
    add(actions, "Add", QStringLiteral("Add..."), QKeySequence(Qt::Key_F3), &Form1::Add_Click);
    add(actions, "Modify", QStringLiteral("Modify..."), QKeySequence(Qt::Key_F4),
        &Form1::Modify_Click);
    add(actions, "Remove", QStringLiteral("Remove"), QKeySequence(Qt::Key_Delete),
        &Form1::Remove_Click);
    QMenu *help = menu(QStringLiteral("&Help"), "Help");
    add(help, "contents", QStringLiteral("Contents"), QKeySequence(Qt::Key_F1),
        &Form1::contents_Click);
    add(help, "index", QStringLiteral("Index"), QKeySequence(), &Form1::index_Click);
    add(help, "About", QStringLiteral("About"), QKeySequence(Qt::CTRL | Qt::Key_B),
        &Form1::About_Click);
}

void Form1::selectRow(int row)
{
    const int rows = m_store.tables.list()->rowCount();
    if (rows == 0)
        return;
    const QModelIndex idx = m_store.tables.list()->index(qBound(1, row, rows) - 1, 0);
    ListView1->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    ListView1->scrollTo(idx);
}

int Form1::selectedRow() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return 0;
    return rows.first().row() + 1;
}

void Form1::reload(int row)
{
    m_store.reload();
    selectRow(row);
}

void Form1::keepSelection()
{
    m_keptRow = selectedRow();
    m_kept = m_keptRow ? m_store.tables.entry(m_keptRow) : entries::EntryValues();
}

void Form1::restoreSelection()
{
    const int moved = m_keptRow ? m_store.tables.find(m_kept, m_keptRow) : 0;
    selectRow(moved ? moved : m_keptRow);
}

void Form1::present()
{
    restoreWindowState();
    show();
    Form_Resize();
    ui::bringForward(this);
}

void Form1::Form_Resize()
{
    qCDebug(lcTray) << "resize rule, state" << windowState();
    if (windowState() & Qt::WindowMinimized) {
        // Without a tray the minimised window stays in the taskbar: it is then the only way
        // back to the main window.
        //
        // Hidden, it keeps the minimised state until it is shown again (restoreWindowState):
        // leaving that state maps the window, and a window mapped again while hidden would
        // stay on screen unpainted.
        if (m_tray.trayAvailable())
            hide();
        return;
    }
    const QScreen *scr = screen();
    if (!scr)
        return;
    const QRect sg = scr->geometry();
    const QRect fg = outerGeometry();
    // Until the window manager has framed the window its frame is not known: centre again
    // once it is. The frame's size can become known without a move of the window (its
    // extents come as a property), so it is also looked at for a while after the show.
    m_centreOnFrame = isVisible() && fg == geometry();
    // The client area is placed, so that the frame's size is the one read here, not the one
    // the widget last heard of.
    const QPoint frameAt(sg.x() + sg.width() / 2 - fg.width() / 2,
                         sg.y() + sg.height() / 2 - fg.height() / 2);
    setGeometry(QRect(frameAt + (geometry().topLeft() - fg.topLeft()), size()));
    if (m_centreOnFrame)
        checkFrameLater(10);
}

QRect Form1::outerGeometry() const
{
    // The widget's own frame geometry is brought up to date only by a move or resize of the
    // window. A window manager that frames the window where it stands sends neither, and
    // only sets the frame's extents: the native window reads them when they change.
    if (const QWindow *w = windowHandle(); w && w->handle())
        return w->frameGeometry();
    return frameGeometry();
}

void Form1::checkFrameLater(int times)
{
    QTimer::singleShot(100, this, [this, times] {
        if (!m_centreOnFrame || !isVisible())
            return;
        if (outerGeometry() != geometry())
            Form_Resize();
        else if (times > 1)
            checkFrameLater(times - 1);
    });
}

void Form1::minimise()
{
    // With a tray, a minimised main window is hidden at once, as the resize rule does. It is
    // hidden without going through the window system's minimised state: a window minimised
    // by the program carries a hint to map it minimised, and the window manager would then
    // minimise it again, out of sight, each time it is shown.
    if (m_tray.trayAvailable()) {
        hide();
        return;
    }
    setWindowState(windowState() | Qt::WindowMinimized);
    Form_Resize();
}

void Form1::restoreWindowState()
{
    if (windowState() & Qt::WindowMinimized) {
        m_restoring = true;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        m_restoring = false;
    }
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
    if (event->type() == QEvent::WindowStateChange) {
        qCDebug(lcTray) << "window state" << windowState() << "restoring" << m_restoring;
        if (!m_restoring)
            Form_Resize();
    }
}

void Form1::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    if (m_centreOnFrame && outerGeometry() != geometry())
        Form_Resize();
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}
