#include "mainwindow/form1.h"

#include "about/frmabout.h"
#include "editor/dialog.h"
#include "entries/entrystore.h"
#include "mainwindow/rules/windowsize.h"
#include "platform/trayicon.h"
#include "ui/programicon.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWindow>

Q_DECLARE_LOGGING_CATEGORY(lcTray)

namespace {
// The design's client area, and the list's margins in it.
constexpr QSize DesignClient(514, 457);
constexpr QMargins ListMargins(3, 5, 4, 4);
// The most of the screen's free width one column takes; a longer text is shortened.
constexpr int ColumnShareOfScreen = 2; // a half
} // namespace

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
    resize(DesignClient.width(), DesignClient.height() + menuBar()->sizeHint().height());
    connect(&m_store, &EntryStore::aboutToReload, this, &Form1::keepSelection);
    connect(&m_store, &EntryStore::reloaded, this, &Form1::restoreSelection);
    connect(&m_store, &EntryStore::reloaded, this, &Form1::fitColumns);
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

    // The list fills the window within the design's margins, so that a window grown for a
    // larger font, or shrunk to fit the screen, shows as much of it as there is room for.
    auto *layout = new QVBoxLayout(client);
    layout->setContentsMargins(ListMargins);
    ListView1 = new QTreeView(client);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    layout->addWidget(ListView1);
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
    ListView1->resize(DesignClient - QSize(ListMargins.left() + ListMargins.right(),
                                           ListMargins.top() + ListMargins.bottom()));
    // The columns follow the list's width, which its layout sets after the window's.
    ListView1->installEventFilter(this);
    fitColumns();
}

QList<int> Form1::columnNeeds() const
{
    // Through the base class, where the view's own measure is public.
    const QAbstractItemView *view = ListView1;
    QList<int> needs;
    for (int c = 0; c < ListView1->model()->columnCount(); ++c)
        needs << qMax(ListView1->header()->sectionSizeHint(c), view->sizeHintForColumn(c));
    return needs;
}

int Form1::columnRoom() const
{
    // The rows' room: the list less its frame, and less the scroll bar when the rows are
    // more than the list holds (the bar comes later, once the list has laid itself out).
    int room = ListView1->width() - 2 * ListView1->frameWidth();
    const int rows = ListView1->model()->rowCount();
    const int inner = ListView1->height() - 2 * ListView1->frameWidth() -
                      ListView1->header()->sizeHint().height();
    const QAbstractItemView *view = ListView1;
    if (rows > 0 && rows * view->sizeHintForRow(0) > inner)
        room -= ListView1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ListView1);
    return room;
}

void Form1::fitColumns()
{
    const QList<int> widths = mainwindow::columnWidths(columnNeeds(), columnRoom());
    for (int c = 0; c < widths.size(); ++c)
        ListView1->header()->resizeSection(c, widths.at(c));
}

void Form1::fitToTexts()
{
    // The design's width where its columns hold their texts; wider where they need it, each
    // column up to a share of the screen. Too large for the screen, the window is shrunk by
    // the resize rule once its frame is known.
    const QScreen *scr = screen();
    const int cap = scr ? scr->availableGeometry().width() / ColumnShareOfScreen : INT_MAX;
    const int room = columnRoom();
    const int wanted = mainwindow::wantedColumnRoom(columnNeeds(), room, cap);
    resize(width() + wanted - room, height());
    fitColumns();
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
    if (!m_sized) {
        m_sized = true;
        fitToTexts();
    }
    show();
    Form_Resize();
    checkFrameLater(10);
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
    const QRect fg = outerGeometry();
    // Until the window manager has framed the window its frame is not known: centre again
    // once it is. The frame's size can become known without a move of the window (its
    // extents come as a property), so it is also looked at for a while after the show.
    m_centreOnFrame = isVisible() && fg == geometry();
    const QRect place = mainwindow::placeFrame(fg.size(), scr->availableGeometry());
    if (place.size() != fg.size()) {
        // Larger than the screen's free area, title bar included: shrunk to fit, and the
        // list scrolls. The resize comes back here and centres it.
        const QSize before = size();
        resize(size() - (fg.size() - place.size()));
        if (size() != before)
            return;
    }
    // The client area is placed, so that the frame's size is the one read here, not the one
    // the widget last heard of.
    setGeometry(QRect(place.topLeft() + (geometry().topLeft() - fg.topLeft()), size()));
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
        if (!isVisible() || (windowState() & Qt::WindowMinimized))
            return;
        // A window manager may still move the framed window after it was placed (openbox,
        // when the frame's extents arrive late at a large scale): it is placed again.
        const QRect fg = outerGeometry();
        const QScreen *scr = screen();
        const bool moved =
            scr &&
            (mainwindow::placeFrame(fg.size(), scr->availableGeometry()).topLeft() - fg.topLeft())
                    .manhattanLength() > 1;
        const bool again = moved || (m_centreOnFrame && fg != geometry());
        if (again)
            Form_Resize(); // which looks again itself while the frame is not known
        if (times > 1 && !(again && m_centreOnFrame))
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

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView1 && event->type() == QEvent::Resize)
        fitColumns();
    return QMainWindow::eventFilter(watched, event);
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}
